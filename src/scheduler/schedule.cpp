#include "scheduler/schedule.h"

#include <algorithm>
#include <cstdio>
#include <memory>
#include <unordered_map>

#include "platform/clock.h"
#include "platform/text_format.h"
#include "scheduler/schedule_commands.h"
#include "transmit/data_file_name.h"
#include "transmit/data_files.h"

namespace sked {

namespace {

// Blanks and tabs separate the words of a line (and the other white space
// characters, as they always have).
bool IsBlank(char c) { return c == ' ' || c == '\t' || c == '\v' || c == '\f'; }
// White space as scanf skips it before a number.
bool IsSpace(char c) { return IsBlank(c) || c == '\n' || c == '\r'; }
bool IsDigit(char c) { return c >= '0' && c <= '9'; }

// A number as scanf's %d reads it: white space skipped, an optional sign, one
// digit or more. It stops growing past eight digits, which no date or time
// has, so that no run of digits can overflow it.
bool ScanNumber(std::string_view text, std::size_t& at, int& value) {
    while (at < text.size() && IsSpace(text[at])) ++at;
    bool negative = false;
    if (at < text.size() && (text[at] == '+' || text[at] == '-')) negative = text[at++] == '-';
    if (at >= text.size() || !IsDigit(text[at])) return false;
    int number = 0;
    for (; at < text.size() && IsDigit(text[at]); ++at)
        if (number < 100'000'000) number = number * 10 + (text[at] - '0');
    value = negative ? -number : number;
    return true;
}

// What the list keeps of a line: its first kScheduleLineChars characters (not
// cutting a UTF-8 character in two), tabs made blanks.
std::string ListLine(std::string_view line) {
    std::size_t length = line.size();
    if (length > kScheduleLineChars) {
        length = kScheduleLineChars;
        // Back to the first byte of the character cut (at most four bytes long).
        for (int i = 0; i < 3 && (static_cast<unsigned char>(line[length]) & 0xC0) == 0x80; ++i) --length;
    }
    std::string text(line.substr(0, length));
    std::replace(text.begin(), text.end(), '\t', ' ');
    return text;
}

// `tag` plus the estimated sending time of `length` characters, truncated to
// whole seconds; `limit` when that reaches it.
std::time_t Later(std::time_t tag, std::uintmax_t length, float perCharacter, std::time_t limit) {
    const float seconds = static_cast<float>(length) * perCharacter;
    if (tag >= limit || static_cast<double>(seconds) >= static_cast<double>(limit - tag)) return limit;
    return tag + static_cast<std::time_t>(seconds);
}

std::string TrimEnd(std::string_view text) {
    while (!text.empty() && IsBlank(text.back())) text.remove_suffix(1);
    return std::string(text);
}

constexpr std::size_t kMaxScheduleBytes = 16 << 20;  // some 60 000 full lines

// "RULE [INTERVAL] HH:MM:SS name [comment]": the rule and the time as written
// stand where a dated entry's date and time do.
void ReadRepeatingLine(std::string_view raw, const ScheduleWords& words, ScheduleLine& line) {
    line.kind = ScheduleLine::Kind::Repeating;
    std::string_view interval, time, name;
    std::size_t end = words.end;
    if (RuleTakesInterval(words.word[0])) {
        const std::size_t afterRule = static_cast<std::size_t>(words.word[0].data() + words.word[0].size() - raw.data());
        const ScheduleWords rest = FirstScheduleWords(raw.substr(afterRule));
        interval = rest.word[0];
        time = rest.word[1];
        name = rest.word[2];
        end = afterRule + rest.end;
        line.date = std::string(words.word[0]) + " " + std::string(interval);
        if (rest.count < 3) line.ruleProblem = "every wants an interval, a time of day and a name";
    } else {
        time = words.word[1];
        name = words.word[2];
        line.date = words.word[0];
    }
    line.time = time;
    line.name = name;
    line.tooLong = end > kScheduleLineChars;
    line.comment = TrimEnd(raw.substr(end));
    if (!line.ruleProblem.empty()) return;
    if (auto rule = ReadRepeatRule(words.word[0], interval, line.ruleProblem)) line.rule = *rule;
    else return;
    if (auto second = ReadTimeOfDay(time)) line.secondOfDay = *second;
    else line.ruleProblem = "\"" + std::string(time) + "\" is not a time of day (HH:MM:SS)";
}

}  // namespace

std::string_view NextScheduleLine(std::string_view text, std::size_t& at) {
    std::size_t end = std::min(text.find_first_of("\r\n", at), text.size());
    std::string_view line = text.substr(at, end - at);
    at = end;
    if (at < text.size() && text[at++] == '\r' && at < text.size() && text[at] == '\n') ++at;
    return line.substr(0, line.find('\0'));
}

ScheduleWords FirstScheduleWords(std::string_view line) {
    ScheduleWords words;
    std::size_t at = 0;
    while (words.count < 3) {
        while (at < line.size() && IsBlank(line[at])) ++at;
        if (at == line.size()) break;
        std::size_t start = at;
        while (at < line.size() && !IsBlank(line[at])) ++at;
        words.word[words.count++] = line.substr(start, at - start);
        words.end = at;
    }
    return words;
}

LineTime ReadLineTime(std::string_view line) {
    int n[6];
    std::size_t at = 0;
    for (int i = 0; i < 6; ++i) {
        if (!ScanNumber(line, at, n[i])) return {};
        if (i == 5) break;
        // "%d/%d/%d %d:%d:%d": the blank between year and hour is the white
        // space that ScanNumber skips anyway.
        if (i == 2) continue;
        if (at >= line.size() || line[at] != (i < 2 ? '/' : ':')) return {};
        ++at;
    }
    if (!IsCalendarTime(n[2], n[0], n[1], n[3], n[4], n[5])) return {LineTime::kInvalid, -1};
    return {LineTime::kValid, MakeLocalTime(n[2], n[0], n[1], n[3], n[4], n[5])};
}

std::vector<ScheduleLine> ParseSchedule(std::string_view text) {
    std::vector<ScheduleLine> lines;
    for (std::size_t at = 0; at < text.size();) {
        const std::string_view raw = NextScheduleLine(text, at);
        const ScheduleWords words = FirstScheduleWords(raw);
        ScheduleLine& line = lines.emplace_back();
        line.text = ListLine(raw);
        line.tooLong = words.end > kScheduleLineChars;
        switch (words.count) {
            case 0:
                break;
            case 1:
                line.kind = ScheduleLine::Kind::Untimed;
                line.name = words.word[0];
                break;
            case 2:
                line.kind = ScheduleLine::Kind::Pair;
                line.name = words.word[0];  // tested for a speed marker all the same
                break;
            default:
                if (StartsRepeatRule(words.word[0])) {
                    ReadRepeatingLine(raw, words, line);
                    break;
                }
                line.kind = ScheduleLine::Kind::Dated;
                line.date = words.word[0];
                line.time = words.word[1];
                line.name = words.word[2];
                line.comment = TrimEnd(raw.substr(words.end));
                // The time is read from the list line, as the queue shows it.
                line.when = ReadLineTime(line.text);
                break;
        }
    }
    return lines;
}

float SecondsPerCharacter(Mode mode, float baud) {
    if (mode == Mode::Ascii) return 10.0f / baud;
    if (mode == Mode::Psk31) return 0.25f;
    return 7.5f / baud;
}

DataFileSize SizeOncePerName(DataFileSize sizeOf) {
    using Sizes = std::unordered_map<std::string, std::optional<std::uintmax_t>>;
    return [sizeOf = std::move(sizeOf), known = std::make_shared<Sizes>()](const std::string& name) {
        auto [at, fresh] = known->try_emplace(name);
        if (fresh) at->second = sizeOf(name);
        return at->second;
    };
}

std::vector<EntryEstimate> EstimateSchedule(const std::vector<ScheduleLine>& lines, std::time_t now,
                                            std::time_t expiry, Mode mode, float baud, const DataFileSize& sizeOf) {
    using Status = EntryEstimate::Status;
    std::vector<EntryEstimate> estimates;
    // The first moment that no longer has a list line of four-digit year
    // that reads back: untimed entries from there on are refused.
    const std::time_t pastLastDate = MakeLocalTime(kLastCalendarYear + 1, 1, 1, 0, 0, 0);
    std::time_t runningTag = now + 10;
    std::uintmax_t lastLength = 1;
    // An entry's length: its file's size; a command or a missing file counts as one character.
    auto lengthOf = [&sizeOf](const std::string& name) -> std::uintmax_t {
        if (name[0] == '$' || !IsDataFileName(name)) return 1;
        return sizeOf(name).value_or(1);
    };

    for (std::size_t i = 0; i < lines.size(); ++i) {
        const ScheduleLine& line = lines[i];
        if (line.kind == ScheduleLine::Kind::Blank) continue;
        if (const ScheduleCommand* command = CommandOfWord(line.name); command && command->action == ScheduleAction::Baud)
            baud = BaudOfButton(command->baudButton);
        if (line.kind == ScheduleLine::Kind::Pair) continue;
        const float perCharacter = SecondsPerCharacter(mode, baud);
        EntryEstimate& estimate = estimates.emplace_back();
        estimate.line = i;
        estimate.baud = baud;
        const bool named = line.name[0] == '$' || IsDataFileName(line.name);
        if (line.tooLong) {
            estimate.status = Status::TooLong;
            continue;
        }
        if (line.kind == ScheduleLine::Kind::Untimed) {
            estimate.start = runningTag;
            if (runningTag <= expiry) {
                estimate.status = Status::Expired;
                continue;
            }
            if (!named) {
                estimate.status = Status::OutsideData;
                continue;
            }
            runningTag = Later(runningTag, lastLength, perCharacter, pastLastDate);
            estimate.start = runningTag;
            if (runningTag >= pastLastDate) {
                estimate.status = Status::Invalid;
                continue;
            }
            lastLength = lengthOf(line.name);
            continue;
        }
        if (line.kind == ScheduleLine::Kind::Repeating) {
            if (!line.ruleProblem.empty()) {
                estimate.status = Status::BadRule;
                continue;
            }
            estimate.start = runningTag = NextOccurrence(line.rule, line.secondOfDay, now);
            if (runningTag == -1 || runningTag >= pastLastDate) estimate.status = Status::Invalid;
            else if (!named) estimate.status = Status::OutsideData;
            else lastLength = lengthOf(line.name);
            continue;
        }
        if (line.when.kind != LineTime::kValid) {
            estimate.status = line.when.kind == LineTime::kInvalid ? Status::Invalid : Status::Unreadable;
            continue;
        }
        // Also an expired time sets the running tag: the untimed entries after it expire with it.
        estimate.start = runningTag = line.when.time;
        if (line.when.time <= expiry) estimate.status = Status::Expired;
        else if (!named) estimate.status = Status::OutsideData;
        else lastLength = lengthOf(line.name);
    }
    return estimates;
}

ScheduleFileRead ReadScheduleFile(const std::string& path, std::string& text, std::string* problem) {
    text.clear();
    std::FILE* file = OpenForReading(path, problem);
    if (!file) return ScheduleFileRead::kCannotOpen;
    char chunk[16384];
    for (std::size_t n; text.size() <= kMaxScheduleBytes && (n = std::fread(chunk, 1, sizeof chunk, file)) > 0;)
        text.append(chunk, n);
    const bool failed = std::ferror(file) != 0;
    std::fclose(file);
    if (!failed && text.size() <= kMaxScheduleBytes) return ScheduleFileRead::kWhole;
    text.resize(std::min(text.size(), kMaxScheduleBytes));
    text.resize(text.find_last_of("\r\n") + 1);  // npos + 1: nothing
    return failed ? ScheduleFileRead::kReadError : ScheduleFileRead::kTooLong;
}

}  // namespace sked
