#include "app/kept_settings.h"

#include <algorithm>
#include <array>
#include <cerrno>
#include <charconv>
#include <cstdio>
#include <cstring>
#include <map>

#include <ini.h>

#include "app/mode_words.h"
#include "app/run_options.h"
#include "keying/ptt_setting.h"
#include "platform/text_format.h"
#include "scheduler/schedule_commands.h"

namespace sked {

namespace {

// A value either reads ("") or says what the key wants.
using Wants = std::string;

// A whole number or a decimal one, read the same under every locale.
template <class Number>
std::optional<Number> ReadNumber(std::string_view text) {
    Number value{};
    const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), value);
    if (error != std::errc() || end != text.data() + text.size()) return std::nullopt;
    return value;
}

std::string WriteNumber(double value) {
    char text[32];
    const auto [end, error] = std::to_chars(text, text + sizeof text, value);
    return error == std::errc() ? std::string(text, end) : std::string();
}

static_assert(std::size(kBaudWords) == kBaudButtons);
constexpr int kLowestPskFrequency = 1500;
constexpr int kHighestPskFrequency = 2100;
constexpr int kPskFrequencyStep = 100;
// Tones the 8000 samples a second of the sound can carry.
constexpr double kHighestTone = 4000.0;
constexpr double kMostNoiseDb = 60.0;
constexpr int kMirrorPorts = 16;
constexpr std::size_t kLongestAddress = 253;

// ---- One function per kind of value: read into a field, write from it ----

template <std::optional<bool> KeptSettings::*Field>
Wants ReadSwitch(KeptSettings& kept, std::string_view value) {
    const std::string word = Lowered(value);
    if (word != "on" && word != "off") return "on or off";
    kept.*Field = word == "on";
    return "";
}
template <std::optional<bool> KeptSettings::*Field>
std::optional<std::string> WriteSwitch(const KeptSettings& kept) {
    if (!(kept.*Field)) return std::nullopt;
    return *(kept.*Field) ? "on" : "off";
}

template <std::optional<double> KeptSettings::*Field>
Wants ReadTone(KeptSettings& kept, std::string_view value) {
    const auto hertz = ReadNumber<double>(value);
    if (!hertz || !(*hertz > 0.0 && *hertz < kHighestTone)) return "a frequency in Hz above 0 and below 4000";
    kept.*Field = *hertz;
    return "";
}
template <std::optional<double> KeptSettings::*Field>
std::optional<std::string> WriteTone(const KeptSettings& kept) {
    if (!(kept.*Field)) return std::nullopt;
    return WriteNumber(*(kept.*Field));
}

Wants ReadMode(KeptSettings& kept, std::string_view value) {
    const std::string word = Lowered(value);
    for (const ModeWord& m : kModeWords)
        if (word == m.word) {
            kept.mode = m.mode;
            return "";
        }
    return "ascii, ita2, telex, military, psk31 or cw";
}
std::optional<std::string> WriteMode(const KeptSettings& kept) {
    if (!kept.mode) return std::nullopt;
    for (const ModeWord& m : kModeWords)
        if (*kept.mode == m.mode) return m.word;
    return std::nullopt;
}

Wants ReadBaud(KeptSettings& kept, std::string_view value) {
    const auto it = std::find(std::begin(kBaudWords), std::end(kBaudWords), value);
    if (it == std::end(kBaudWords)) return "45.45, 50, 56.9, 74.2, 100, 110 or 300";
    kept.baudButton = static_cast<int>(it - std::begin(kBaudWords));
    return "";
}
std::optional<std::string> WriteBaud(const KeptSettings& kept) {
    if (!kept.baudButton || *kept.baudButton < 0 || *kept.baudButton >= kBaudButtons) return std::nullopt;
    return kBaudWords[*kept.baudButton];
}

Wants ReadPskFrequency(KeptSettings& kept, std::string_view value) {
    const auto hertz = ReadNumber<int>(value);
    if (!hertz || *hertz < kLowestPskFrequency || *hertz > kHighestPskFrequency || *hertz % kPskFrequencyStep != 0)
        return "1500, 1600, 1700, 1800, 1900, 2000 or 2100";
    kept.pskFrequency = *hertz;
    return "";
}
std::optional<std::string> WritePskFrequency(const KeptSettings& kept) {
    if (!kept.pskFrequency) return std::nullopt;
    return std::to_string(*kept.pskFrequency);
}

Wants ReadEntry(KeptSettings& kept, std::string_view value) {
    const std::string word = Lowered(value);
    if (word != "centre" && word != "center" && word != "mark")
        return "centre (centre and shift) or mark (mark and space)";
    kept.centreAndShift = word != "mark";
    return "";
}
std::optional<std::string> WriteEntry(const KeptSettings& kept) {
    if (!kept.centreAndShift) return std::nullopt;
    return *kept.centreAndShift ? "centre" : "mark";
}

Wants ReadCard(KeptSettings& kept, std::string_view value) {
    const auto number = ReadNumber<int>(value);
    if (Lowered(value) == "none") kept.soundCard = kNoSoundCard;
    else if (number && (*number == kDefaultSoundCard || (*number >= 1 && *number <= kSoundCards)))
        kept.soundCard = *number;
    else return "None, -1 (the default device) or 1..4";
    return "";
}
std::optional<std::string> WriteCard(const KeptSettings& kept) {
    if (!kept.soundCard) return std::nullopt;
    return *kept.soundCard == kNoSoundCard ? "None" : std::to_string(*kept.soundCard);
}

Wants ReadNoise(KeptSettings& kept, std::string_view value) {
    const auto db = ReadNumber<double>(value);
    if (!db || !(*db >= 0.0 && *db <= kMostNoiseDb)) return "the noise floor in dB below the tones, 0 to 60";
    kept.noiseDb = *db;
    return "";
}
std::optional<std::string> WriteNoise(const KeptSettings& kept) {
    if (!kept.noiseDb) return std::nullopt;
    return WriteNumber(*kept.noiseDb);
}

Wants ReadPort(KeptSettings& kept, std::string_view value) {
    const auto number = ReadNumber<int>(value);
    if (Lowered(value) == "off") kept.netPort = 0;
    else if (number && *number >= 1 && *number <= kMirrorPorts) kept.netPort = *number;
    else return "OFF or 1..16 (TCP port 6000..6015)";
    return "";
}
std::optional<std::string> WritePort(const KeptSettings& kept) {
    if (!kept.netPort) return std::nullopt;
    return *kept.netPort == 0 ? "OFF" : std::to_string(*kept.netPort);
}

// Nothing the file's comments or blanks would cut short when it is written back.
bool PlainValue(std::string_view value) {
    return !value.empty() && std::all_of(value.begin(), value.end(), [](char c) {
        return std::isgraph(static_cast<unsigned char>(c)) && c != ';' && c != '#';
    });
}

Wants ReadAddress(KeptSettings& kept, std::string_view value) {
    if (value.size() > kLongestAddress || !PlainValue(value)) return "a host name or address";
    kept.address = std::string(value);
    return "";
}
std::optional<std::string> WriteAddress(const KeptSettings& kept) { return kept.address; }

Wants ReadPtt(KeptSettings& kept, std::string_view value) {
    PttSetting setting;
    if (std::string wants = ReadPttSetting(value, setting); !wants.empty()) return wants;
    kept.ptt = std::string(value);
    return "";
}
std::optional<std::string> WritePtt(const KeptSettings& kept) { return kept.ptt; }

Wants ReadTxTimeout(KeptSettings& kept, std::string_view value) {
    const auto minutes = ReadTxTimeoutMinutes(Lowered(value));
    if (!minutes) return kTxTimeoutWants;
    kept.txTimeoutMinutes = *minutes;
    return "";
}
std::optional<std::string> WriteTxTimeout(const KeptSettings& kept) {
    if (!kept.txTimeoutMinutes) return std::nullopt;
    return *kept.txTimeoutMinutes == 0 ? "off" : std::to_string(*kept.txTimeoutMinutes);
}

Wants ReadWebAddress(KeptSettings& kept, std::string_view value) {
    std::string host, problem;
    int port = 0;
    if (!ParseHttpAddress(std::string(value), host, port, problem)) return "[ADDRESS:]PORT as --http takes it";
    kept.webAddress = std::string(value);
    return "";
}
std::optional<std::string> WriteWebAddress(const KeptSettings& kept) { return kept.webAddress; }

Wants ReadWebPasswordFile(KeptSettings& kept, std::string_view value) {
    if (!PlainValue(value)) return "the path of the file skedcast passwd wrote (no blanks, ';' or '#')";
    kept.webPasswordFile = std::string(value);
    return "";
}
std::optional<std::string> WriteWebPasswordFile(const KeptSettings& kept) { return kept.webPasswordFile; }

struct Key {
    const char* section;
    const char* name;
    Wants (*read)(KeptSettings&, std::string_view);
    std::optional<std::string> (*write)(const KeptSettings&);
};

// In the order the file lists them.
constexpr std::array kKeys = {
    Key{"keying", "ptt", ReadPtt, WritePtt},
    Key{"keying", "tx_timeout", ReadTxTimeout, WriteTxTimeout},
    Key{"signal", "mode", ReadMode, WriteMode},
    Key{"signal", "baud", ReadBaud, WriteBaud},
    Key{"signal", "psk31_frequency", ReadPskFrequency, WritePskFrequency},
    Key{"tones", "entry", ReadEntry, WriteEntry},
    Key{"tones", "centre", ReadTone<&KeptSettings::centre>, WriteTone<&KeptSettings::centre>},
    Key{"tones", "shift", ReadTone<&KeptSettings::shift>, WriteTone<&KeptSettings::shift>},
    Key{"tones", "mark", ReadTone<&KeptSettings::mark>, WriteTone<&KeptSettings::mark>},
    Key{"tones", "space", ReadTone<&KeptSettings::space>, WriteTone<&KeptSettings::space>},
    Key{"sound", "card", ReadCard, WriteCard},
    Key{"sound", "no_sound", ReadSwitch<&KeptSettings::noSound>, WriteSwitch<&KeptSettings::noSound>},
    Key{"sound", "noise_db", ReadNoise, WriteNoise},
    Key{"sound", "fsk_shaping", ReadSwitch<&KeptSettings::fskShaping>, WriteSwitch<&KeptSettings::fskShaping>},
    Key{"identification", "cw_timer", ReadSwitch<&KeptSettings::cwTimer>, WriteSwitch<&KeptSettings::cwTimer>},
    Key{"sending", "header", ReadSwitch<&KeptSettings::header>, WriteSwitch<&KeptSettings::header>},
    Key{"sending", "diddle", ReadSwitch<&KeptSettings::diddle>, WriteSwitch<&KeptSettings::diddle>},
    Key{"sending", "repeat", ReadSwitch<&KeptSettings::repeat>, WriteSwitch<&KeptSettings::repeat>},
    Key{"mirror", "port", ReadPort, WritePort},
    Key{"mirror", "address", ReadAddress, WriteAddress},
    Key{"web", "address", ReadWebAddress, WriteWebAddress},
    Key{"web", "password_file", ReadWebPasswordFile, WriteWebPasswordFile},
    Key{"web", "public_status", ReadSwitch<&KeptSettings::webPublicStatus>,
        WriteSwitch<&KeptSettings::webPublicStatus>},
};

const Key* FindKey(std::string_view section, std::string_view name) {
    for (const Key& key : kKeys)
        if (section == key.section && name == key.name) return &key;
    return nullptr;
}

// ---- Reading the file through the INI parser ----

struct Reading {
    Reading(KeptSettings& settings, std::FILE* from) : kept(settings), file(from) {}

    KeptSettings& kept;
    std::FILE* file;
    int line = 0;  // the lines handed to the parser so far
    int readError = 0;
    int refusedLine = 0;  // the first line refused here, and why
    std::string reason;
    std::map<std::string, int> seen;  // "section.key" and its line

    void Refuse(const std::string& why) {
        if (refusedLine != 0) return;
        refusedLine = line;
        reason = why;
    }
};

char* ReadLine(char* buffer, int size, void* stream) {
    Reading& r = *static_cast<Reading*>(stream);
    if (!std::fgets(buffer, size, r.file)) {
        if (std::ferror(r.file)) r.readError = errno;
        return nullptr;
    }
    ++r.line;
    const std::size_t length = std::strlen(buffer);
    if (length > 0 && buffer[length - 1] != '\n') {
        // A line longer than the parser takes is refused, not cut in two: the rest is skipped here, so that
        // the lines keep their numbers.
        int c, skipped = 0;
        while ((c = std::fgetc(r.file)) != EOF && c != '\n') skipped += c == '\r' ? 0 : 1;
        if (skipped > 0) r.Refuse("longer than " + std::to_string(size - 1) + " characters");
    }
    return buffer;
}

int TakeValue(void* user, const char* section, const char* name, const char* value) {
    Reading& r = *static_cast<Reading*>(user);
    const std::string id = std::string(section) + "." + name;
    const auto [first, fresh] = r.seen.emplace(id, r.line);
    const std::string reason =
        fresh ? r.kept.Set(section, name, value)
              : std::string(name) + " given twice (first on line " + std::to_string(first->second) + ")";
    if (reason.empty()) return 1;
    r.Refuse(reason);
    return 0;
}

}  // namespace

std::string KeptSettings::Set(std::string_view section, std::string_view name, std::string_view value) {
    const std::string quoted = "\"" + std::string(name) + "\"";
    if (const Key* key = FindKey(section, name)) {
        const Wants wants = key->read(*this, value);
        return wants.empty() ? "" : std::string(name) + " wants " + wants + ", not \"" + std::string(value) + "\"";
    }
    if (Lowered(name).starts_with("auth"))
        return "the mirror's authentication text is never kept in this file (give it with --auth-file)";
    for (const Key& key : kKeys)
        if (name == key.name) return "the key " + quoted + " belongs in [" + key.section + "]";
    if (section.empty()) return "the key " + quoted + " stands before any [section]";
    return "unknown key " + quoted + " in [" + std::string(section) + "]";
}

std::vector<KeptSettings::KeyName> KeptSettings::Keys() {
    std::vector<KeyName> keys;
    for (const Key& key : kKeys) keys.push_back({key.section, key.name});
    return keys;
}

std::optional<std::string> KeptSettings::Get(std::string_view section, std::string_view name) const {
    const Key* key = FindKey(section, name);
    return key ? key->write(*this) : std::nullopt;
}

std::string KeptSettings::Summary() const {
    std::string summary;
    for (const Key& key : kKeys)
        if (const auto value = key.write(*this))
            summary += (summary.empty() ? "" : " ") + std::string(key.section) + "." + key.name + "=" + *value;
    return summary;
}

std::string KeptSettings::Text() const {
    std::string text =
        "# Skedcast's kept settings: what the operator last chose, rewritten at every change.\n"
        "# The schedule's $ commands and the command-line options do not change this file; the keying\n"
        "# section is set here by the operator alone (--ptt and --tx-timeout override it for one run).\n"
        "# The mirror's authentication text is never written here.\n";
    const char* section = nullptr;
    for (const Key& key : kKeys) {
        const auto value = key.write(*this);
        if (!value) continue;
        if (!section || std::strcmp(section, key.section) != 0)
            text += std::string("\n[") + (section = key.section) + "]\n";
        text += std::string(key.name) + " = " + *value + "\n";
    }
    return text;
}

bool ReadKeptSettings(const std::string& path, KeptSettings& kept, std::string& problem) {
    std::FILE* file = std::fopen(path.c_str(), "r");
    if (!file) {
        if (errno == ENOENT) return true;
        problem = path + ": " + std::strerror(errno);
        return false;
    }
    Reading reading(kept, file);
    const int result = ini_parse_stream(ReadLine, &reading, TakeValue, &reading);
    std::fclose(file);
    if (reading.readError != 0) {
        problem = path + ": " + std::strerror(reading.readError);
        return false;
    }
    // The parser names the first line it could not take; a line refused here may come before it.
    if (reading.refusedLine != 0 && (result <= 0 || reading.refusedLine <= result)) {
        problem = path + " line " + std::to_string(reading.refusedLine) + ": " + reading.reason;
        return false;
    }
    if (result > 0) {
        problem = path + " line " + std::to_string(result) + ": neither a [section] nor a key = value line";
        return false;
    }
    if (result < 0) {
        problem = path + ": " + std::strerror(ENOMEM);
        return false;
    }
    return true;
}

}  // namespace sked
