#include "app/run_options.h"

#include <algorithm>
#include <charconv>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <cstdlib>

#include <arpa/inet.h>
#include <getopt.h>

#include "platform/clock.h"
#include "platform/text_format.h"

namespace sked {

const char* const kUsageText =
    "Usage: skedcast [OPTIONS] CALLSIGN [PORT [RTS|DTR]]\n"
    "\n"
    "  CALLSIGN            station callsign (at most 7 characters)\n"
    "  PORT                serial port 1..8 (COM1..COM8; 0 opens only the schedule editor)\n"
    "  RTS|DTR             the modem-control line that keys the transmitter (default DTR);\n"
    "                      the other one switches the transmitter's power\n"
    "\n"
    "Options:\n"
    "  --serial=tty[:DEVICE]        serial device (default; COMn is /dev/ttyS(n-1))\n"
    "  --serial=emulated[:TRACE]    emulated 16550; writes the line trace to TRACE\n"
    "  --serial=ioports             direct port access (x86, root)\n"
    "  --onair=FILE.wav             with the emulated port: what the transmitter radiates\n"
    "  --onair=DIR/                 the same, a WAV file per transmission in DIR (created if missing)\n"
    "  --headless                   no window: fields on standard output, commands on standard input\n"
    "  --simulate[=YYYY-MM-DDTHH:MM:SS]  simulated clock from that local time (default now; years\n"
    "                               1970..2099); implies --serial=emulated unless --serial is given\n"
    "  --run-for=SECONDS            end cleanly after that many seconds of the clock in use\n"
    "                               (0 to 315360000, ten years)\n"
    "  --enable                     start with automatic sending enabled\n"
    "  --exit-when-idle             end once the queue is empty and nothing is being sent\n"
    "  --cw-timer=on|off            the hourly identification (CW-Timer), as its box (default off)\n"
    "  --net-port=OFF|1..16         the TCP mirror's port (TCP 6000..6015); OFF: no mirror\n"
    "  --net-address=HOST           the mirror's peer (default 127.0.0.1)\n"
    "  --auth-file=FILE             the mirror's authentication text: the first line of FILE\n"
    "  --sound-card=None|-1|1..4    the sound card (-1: the default device)\n"
    "  --audio=alsa[:PCM]           sound through ALSA (default; -1 opens PCM, default \"default\";\n"
    "                               1..4 open plughw:0..3)\n"
    "  --audio=wav:FILE             the sound card's audio to a WAV file, at the pace of the clock\n"
    "  --audio=null                 the audio paced and dropped (the default with --simulate)\n"
    "  --noise=DB                   the sound's noise floor, DB below the tones (0..60, default 60),\n"
    "                               to try receivers on a noisy signal\n"
    "  --fsk-shaping=on|off         raised-cosine frequency transitions in the AFSK (default off)\n"
    "  --check-schedule[=PERIOD]    check data/schedule.lst as the station would load it now (or at\n"
    "                               the --simulate time): each entry and its start, each occurrence of\n"
    "                               a repeating entry within PERIOD (24h unless given, e.g. 7d), each\n"
    "                               line refused and why; status 1 when a line is refused\n"
    "  --tx-timeout=MINUTES         no single key-down lasts longer: at the limit the transmission is\n"
    "                               cancelled (ABORTED, with the reason) and the key dropped (default off)\n"
    "  --ptt=DEVICE                 what keys the transmitter (default serial: the RTS or DTR line):\n"
    "                               hamlib:MODEL[:DEVICE[:SPEED]], rigctld:HOST[:PORT],\n"
    "                               cm108:/dev/hidrawN[:PIN] (pin 3 unless given), gpio:CHIP:LINE[:active-low]\n"
    "  --control=PATH               a control socket at PATH (mode 0660): skedcast ctl, or one command\n"
    "                               per line with JSON replies\n"
    "  --http=[ADDRESS:]PORT        serve the web page on ADDRESS (default 127.0.0.1; [::1] for IPv6)\n"
    "                               and TCP PORT (0: any free port, the one taken is printed)\n"
    "  --http-password-file=FILE    the operator password's hash, written by skedcast passwd FILE;\n"
    "                               needed for any address other than loopback\n"
    "  --http-public-status         the page may be watched without logging in (steering still needs it)\n"
    "  --http-cert=PEM --http-key=PEM   serve the page over HTTPS with this certificate and key\n"
    "  --help, --version\n"
    "\n"
    "       skedcast ctl [--station=NAME | --control=PATH] [--json] COMMAND [ARGUMENTS...]\n"
    "  sends a command to a running station (see skedcast ctl --help)\n"
    "       skedcast passwd FILE\n"
    "  writes the web page's password hash to FILE (the password is read from standard input)\n";

namespace {

// Reads the digits at `at` (at least one) into `value`, saturating instead of
// overflowing so that an absurd year is reported as such.
bool ReadNumber(const std::string& text, std::size_t& at, long long& value) {
    std::size_t start = at;
    value = 0;
    for (; at < text.size() && text[at] >= '0' && text[at] <= '9'; ++at)
        value = std::min(value * 10 + (text[at] - '0'), 999'999'999LL);
    return at > start;
}

bool ReadSeparator(const std::string& text, std::size_t& at, char separator) {
    if (at >= text.size() || text[at] != separator) return false;
    ++at;
    return true;
}

bool LeapYear(long long year) { return (year % 4 == 0 && year % 100 != 0) || year % 400 == 0; }

int DaysInMonth(long long year, long long month) {
    static const int days[] = {31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
    return month == 2 && LeapYear(year) ? 29 : days[month - 1];
}

std::string Range(const char* what, long long value, long long low, long long high) {
    return std::string(what) + " " + std::to_string(value) + " is outside " + std::to_string(low) + ".." +
           std::to_string(high);
}

std::optional<std::time_t> ReadTimestamp(const std::string& text, std::string& why) {
    long long year, month, day, hour, minute, second;
    long long* fields[] = {&year, &month, &day, &hour, &minute, &second};
    const char separators[] = "--T::";
    std::size_t at = 0;
    for (int i = 0; i < 6; ++i)
        if (!ReadNumber(text, at, *fields[i]) || (i < 5 && !ReadSeparator(text, at, separators[i])))
            return std::nullopt;
    if (at != text.size()) return std::nullopt;

    if (year < kFirstSimulatedYear || year > kLastSimulatedYear)
        why = Range("year", year, kFirstSimulatedYear, kLastSimulatedYear);
    else if (month < 1 || month > 12)
        why = Range("month", month, 1, 12);
    else if (day < 1 || day > DaysInMonth(year, month))
        why = Range("day", day, 1, DaysInMonth(year, month)) + " of that month";
    else if (hour > 23)
        why = Range("hour", hour, 0, 23);
    else if (minute > 59)
        why = Range("minute", minute, 0, 59);
    else if (second > 59)
        why = Range("second", second, 0, 59);
    if (!why.empty()) return std::nullopt;

    std::time_t t = MakeLocalTime(static_cast<int>(year), static_cast<int>(month), static_cast<int>(day),
                                  static_cast<int>(hour), static_cast<int>(minute), static_cast<int>(second));
    // At or before 0 lies before 1970 in UTC (and 0 would read as "now").
    if (t <= 0) {
        why = "before 1970-01-01T00:00:00 UTC";
        return std::nullopt;
    }
    return t;
}

}  // namespace

std::optional<std::time_t> ParseLocalTimestamp(const std::string& text, std::string* problem) {
    std::string why;
    auto t = ReadTimestamp(text, why);
    if (problem) *problem = why;
    return t;
}

bool ParseHttpAddress(const std::string& text, std::string& host, int& port, std::string& problem) {
    std::string portText = text;
    host = "127.0.0.1";
    if (!text.empty() && text.front() == '[') {
        const std::size_t close = text.find("]:");
        if (close == std::string::npos) {
            problem = "an IPv6 address is written [ADDRESS]:PORT";
            return false;
        }
        host = text.substr(1, close - 1);
        portText = text.substr(close + 2);
    } else if (const std::size_t colon = text.rfind(':'); colon != std::string::npos) {
        host = text.substr(0, colon);
        portText = text.substr(colon + 1);
    }
    in6_addr six{};
    in_addr four{};
    const bool numeric = host.find(':') != std::string::npos ? ::inet_pton(AF_INET6, host.c_str(), &six) == 1
                                                             : ::inet_pton(AF_INET, host.c_str(), &four) == 1;
    if (!numeric) {
        problem = "\"" + host + "\" is not a numeric IPv4 or IPv6 address";
        return false;
    }
    char* end = nullptr;
    const long number = std::strtol(portText.c_str(), &end, 10);
    if (portText.empty() || *end != '\0' || number < 0 || number > 65535) {
        problem = "the port \"" + portText + "\" is not a number from 0 to 65535";
        return false;
    }
    port = static_cast<int>(number);
    return true;
}

std::string HttpOptionsProblem(const RunOptions& o) {
    const bool any = !o.httpPasswordFile.empty() || o.httpPublicStatus || !o.httpCert.empty() || !o.httpKey.empty();
    if (o.httpHost.empty()) return any ? "the --http-... options need --http=[ADDRESS:]PORT" : "";
    if (o.httpCert.empty() != o.httpKey.empty()) return "--http-cert and --http-key go together";
    if (o.httpPasswordFile.empty() && !IsLoopbackAddress(o.httpHost))
        return "--http=" + o.httpHost + ": the page is reachable from other machines there and would let anyone "
               "steer the station; give --http-password-file (written by skedcast passwd FILE) or a loopback address";
    return "";
}

bool IsLoopbackAddress(const std::string& host) {
    in_addr four{};
    if (::inet_pton(AF_INET, host.c_str(), &four) == 1) return (ntohl(four.s_addr) >> 24) == 127;
    in6_addr six{};
    return ::inet_pton(AF_INET6, host.c_str(), &six) == 1 && IN6_IS_ADDR_LOOPBACK(&six);
}

std::optional<std::string> ReadAuthenticationFile(const std::string& path, std::string& problem) {
    std::FILE* file = std::fopen(path.c_str(), "r");
    if (!file) {
        problem = path + ": " + std::strerror(errno);
        return std::nullopt;
    }
    char line[256] = {};
    bool read = std::fgets(line, sizeof line, file) != nullptr || std::feof(file);
    bool failed = std::ferror(file) != 0;
    std::fclose(file);
    if (!read || failed) {
        problem = path + ": cannot be read";
        return std::nullopt;
    }
    std::string text = line;
    while (!text.empty() && (text.back() == '\n' || text.back() == '\r')) text.pop_back();
    return text;
}

std::optional<int> ReadTxTimeoutMinutes(std::string_view text) {
    if (text == "off") return 0;
    int minutes = 0;
    const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), minutes);
    if (error != std::errc() || end != text.data() + text.size() || minutes < 1 || minutes > kLongestTxTimeoutMinutes)
        return std::nullopt;
    return minutes;
}

RunOptions ParseRunOptions(int argc, char* const argv[]) {
    RunOptions o;
    enum {
        kSerial = 1000, kHeadless, kSimulate, kRunFor, kOnAir, kEnable, kExitWhenIdle, kHelp, kVersion,
        kNetPort, kNetAddress, kAuthFile, kSoundCard, kAudio, kNoise, kCwTimer, kFskShaping, kCheckSchedule,
        kControl, kTxTimeout, kPtt, kHttp, kHttpPasswordFile, kHttpPublicStatus, kHttpCert, kHttpKey
    };
    static const option longOptions[] = {
        {"serial", required_argument, nullptr, kSerial},  {"headless", no_argument, nullptr, kHeadless},
        {"simulate", optional_argument, nullptr, kSimulate}, {"run-for", required_argument, nullptr, kRunFor},
        {"onair", required_argument, nullptr, kOnAir},    {"enable", no_argument, nullptr, kEnable},
        {"exit-when-idle", no_argument, nullptr, kExitWhenIdle}, {"help", no_argument, nullptr, kHelp},
        {"version", no_argument, nullptr, kVersion},      {"net-port", required_argument, nullptr, kNetPort},
        {"net-address", required_argument, nullptr, kNetAddress}, {"auth-file", required_argument, nullptr, kAuthFile},
        {"sound-card", required_argument, nullptr, kSoundCard}, {"audio", required_argument, nullptr, kAudio},
        {"noise", required_argument, nullptr, kNoise},    {"cw-timer", required_argument, nullptr, kCwTimer},
        {"fsk-shaping", required_argument, nullptr, kFskShaping},
        {"check-schedule", optional_argument, nullptr, kCheckSchedule},
        {"control", required_argument, nullptr, kControl},
        {"tx-timeout", required_argument, nullptr, kTxTimeout},
        {"ptt", required_argument, nullptr, kPtt},
        {"http", required_argument, nullptr, kHttp},
        {"http-password-file", required_argument, nullptr, kHttpPasswordFile},
        {"http-public-status", no_argument, nullptr, kHttpPublicStatus},
        {"http-cert", required_argument, nullptr, kHttpCert},
        {"http-key", required_argument, nullptr, kHttpKey},
        {nullptr, 0, nullptr, 0},
    };
    optind = 1;
    opterr = 0;
    std::vector<char*> args(argv, argv + argc);
    int c;
    // "-" keeps the station parameters in order, as non-option arguments.
    while ((c = getopt_long(argc, args.data(), "-", longOptions, nullptr)) != -1) {
        std::string value = optarg ? optarg : "";
        switch (c) {
            case 1:
                o.parameters.push_back(value);
                break;
            case kSerial: {
                o.serialGiven = true;
                std::string kind = value.substr(0, value.find(':'));
                o.serialArgument = value.find(':') == std::string::npos ? "" : value.substr(value.find(':') + 1);
                if (kind == "tty") o.serial = RunOptions::Serial::Tty;
                else if (kind == "emulated") o.serial = RunOptions::Serial::Emulated;
                else if (kind == "ioports") o.serial = RunOptions::Serial::IoPorts;
                else o.error = "unknown serial back end \"" + kind + "\" (tty, emulated or ioports)";
                break;
            }
            case kHeadless:
                o.headless = true;
                break;
            case kSimulate:
                o.simulate = true;
                if (!value.empty()) {
                    std::string problem;
                    auto t = ParseLocalTimestamp(value, &problem);
                    if (!t)
                        o.error = "--simulate wants a local time as YYYY-MM-DDTHH:MM:SS in the years " +
                                  std::to_string(kFirstSimulatedYear) + ".." + std::to_string(kLastSimulatedYear) +
                                  ", not \"" + value + "\"" + (problem.empty() ? "" : " (" + problem + ")");
                    else o.simulateFrom = *t;
                }
                break;
            case kRunFor: {
                char* end = nullptr;
                double seconds = std::strtod(value.c_str(), &end);
                // NaN and infinity fail the range test too.
                if (value.empty() || *end != '\0' || !(seconds >= 0 && seconds <= kMaxRunForSeconds))
                    o.error = Format("--run-for wants seconds from 0 to %.0f (10 years), not \"%s\"", kMaxRunForSeconds,
                                     value.c_str());
                else o.runFor = seconds;
                break;
            }
            case kOnAir:
                if (value.empty()) o.error = "--onair wants a WAV file or a folder (DIR/)";
                else o.onAirFile = value;
                break;
            case kEnable:
                o.enable = true;
                break;
            case kExitWhenIdle:
                o.exitWhenIdle = true;
                break;
            case kCheckSchedule: {
                o.checkSchedule = true;
                // How far ahead repeating entries are listed: 24h, 7d, ... (1 hour to 366 days).
                char* end = nullptr;
                const long count = value.empty() ? 24 : std::strtol(value.c_str(), &end, 10);
                const long unit = value.empty() ? 3600 : *end == 'h' ? 3600 : *end == 'd' ? 86400 : 0;
                const long seconds = count * unit;
                if (!value.empty() && (end == value.c_str() || unit == 0 || end[1] != '\0'))
                    o.error = "--check-schedule wants a period such as 24h or 7d, not \"" + value + "\"";
                else if (seconds < 3600 || seconds > 366L * 86400)
                    o.error = "--check-schedule: the period " + value + " is not between 1h and 366d";
                else o.checkPeriodSeconds = seconds;
                break;
            }
            case kTxTimeout:
                o.txTimeoutMinutes = ReadTxTimeoutMinutes(value);
                if (!o.txTimeoutMinutes)
                    o.error = std::string("--tx-timeout wants ") + kTxTimeoutWants + ", not \"" + value + "\"";
                break;
            case kPtt: {
                PttSetting setting;
                if (const std::string wants = ReadPttSetting(value, setting); !wants.empty())
                    o.error = "--ptt wants " + wants + ", not \"" + value + "\"";
                else o.ptt = setting;
                break;
            }
            case kControl:
                if (value.empty()) o.error = "--control wants the path of the control socket";
                else o.controlPath = value;
                break;
            case kHttp: {
                std::string problem;
                if (!ParseHttpAddress(value, o.httpHost, o.httpPort, problem)) {
                    o.httpHost.clear();
                    o.error = "--http wants [ADDRESS:]PORT, not \"" + value + "\": " + problem;
                }
                break;
            }
            case kHttpPasswordFile:
                if (value.empty()) o.error = "--http-password-file wants the file skedcast passwd wrote";
                else o.httpPasswordFile = value;
                break;
            case kHttpPublicStatus:
                o.httpPublicStatus = true;
                break;
            case kHttpCert:
            case kHttpKey:
                if (value.empty()) o.error = std::string(c == kHttpCert ? "--http-cert" : "--http-key") + " wants a PEM file";
                else (c == kHttpCert ? o.httpCert : o.httpKey) = value;
                break;
            case kFskShaping:
                if (value == "on" || value == "off") o.fskShaping = value == "on";
                else o.error = "--fsk-shaping wants on or off, not \"" + value + "\"";
                break;
            case kCwTimer:
                if (value == "on" || value == "off") o.cwTimer = value == "on";
                else o.error = "--cw-timer wants on or off, not \"" + value + "\"";
                break;
            case kNetPort: {
                char* end = nullptr;
                long port = std::strtol(value.c_str(), &end, 10);
                if (value == "OFF" || value == "off") o.netPort = "OFF";
                else if (!value.empty() && *end == '\0' && port >= 1 && port <= 16) o.netPort = std::to_string(port);
                else o.error = "--net-port wants OFF or 1..16 (TCP port 6000..6015), not \"" + value + "\"";
                break;
            }
            case kNetAddress:
                if (value.empty() || value.size() > 253) o.error = "--net-address wants a host name or address";
                else o.netAddress = value;
                break;
            case kAuthFile:
                o.authFile = value;
                break;
            case kSoundCard:
                if (value == "None" || value == "none") o.soundCard = "None";
                else if (value == "-1") o.soundCard = "-1 Auto";
                else if (value.size() == 1 && value[0] >= '1' && value[0] <= '4') o.soundCard = value;
                else o.error = "--sound-card wants None, -1 (the default device) or 1..4, not \"" + value + "\"";
                break;
            case kAudio:
                if (value == "alsa" || value.starts_with("alsa:")) {
                    o.audio = RunOptions::Audio::Alsa;
                    o.audioArgument = value.size() > 5 ? value.substr(5) : "default";
                } else if (value.starts_with("wav:") && value.size() > 4) {
                    o.audio = RunOptions::Audio::WavFile;
                    o.audioArgument = value.substr(4);
                } else if (value == "null") {
                    o.audio = RunOptions::Audio::Null;
                } else {
                    o.error = "--audio wants alsa[:PCM], wav:FILE or null, not \"" + value + "\"";
                }
                o.audioGiven = true;
                break;
            case kNoise: {
                char* end = nullptr;
                const double db = std::strtod(value.c_str(), &end);
                if (!value.empty() && *end == '\0' && db >= 0.0 && db <= 60.0) o.noiseDb = db;
                else o.error = "--noise wants the noise floor in dB below the tones, 0 to 60, not \"" + value + "\"";
                break;
            }
            case kHelp:
                o.help = true;
                break;
            case kVersion:
                o.version = true;
                break;
            default:
                o.error = std::string("unknown option ") + (optind > 0 && optind <= argc ? argv[optind - 1] : "");
                break;
        }
    }
    if (o.simulate && !o.serialGiven) o.serial = RunOptions::Serial::Emulated;
    // A simulated hour passes in a moment: no sound card could keep up with it.
    if (o.simulate && !o.audioGiven) o.audio = RunOptions::Audio::Null;
    if (o.simulate && o.audio == RunOptions::Audio::Alsa && o.error.empty())
        o.error = "--audio=alsa cannot follow the simulated clock; use --audio=wav:FILE or --audio=null";
    if (!o.onAirFile.empty() && o.serial != RunOptions::Serial::Emulated && o.error.empty())
        o.error = "--onair needs the emulated serial port (--serial=emulated or --simulate)";
    if (o.error.empty()) o.error = HttpOptionsProblem(o);
    return o;
}

}  // namespace sked
