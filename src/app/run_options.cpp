#include "app/run_options.h"

#include <cstdio>
#include <cstdlib>

#include <getopt.h>

#include "platform/clock.h"

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
    "  --headless                   no window: fields on standard output, commands on standard input\n"
    "  --simulate[=YYYY-MM-DDTHH:MM:SS]  simulated clock from that local time (default now);\n"
    "                               implies --serial=emulated unless --serial is given\n"
    "  --run-for=SECONDS            end cleanly after that many seconds of the clock in use\n"
    "  --enable                     start with automatic sending enabled\n"
    "  --exit-when-idle             end once the queue is empty and nothing is being sent\n"
    "  --help, --version\n";

std::optional<std::time_t> ParseLocalTimestamp(const std::string& text) {
    int y, mo, d, h, mi, s;
    char tail;
    if (std::sscanf(text.c_str(), "%d-%d-%dT%d:%d:%d%c", &y, &mo, &d, &h, &mi, &s, &tail) != 6) return std::nullopt;
    if (mo < 1 || mo > 12 || d < 1 || d > 31 || h < 0 || h > 23 || mi < 0 || mi > 59 || s < 0 || s > 60)
        return std::nullopt;
    std::time_t t = MakeLocalTime(y, mo, d, h, mi, s);
    if (t == -1) return std::nullopt;
    return t;
}

RunOptions ParseRunOptions(int argc, char* const argv[]) {
    RunOptions o;
    enum { kSerial = 1000, kHeadless, kSimulate, kRunFor, kOnAir, kEnable, kExitWhenIdle, kHelp, kVersion };
    static const option longOptions[] = {
        {"serial", required_argument, nullptr, kSerial},  {"headless", no_argument, nullptr, kHeadless},
        {"simulate", optional_argument, nullptr, kSimulate}, {"run-for", required_argument, nullptr, kRunFor},
        {"onair", required_argument, nullptr, kOnAir},    {"enable", no_argument, nullptr, kEnable},
        {"exit-when-idle", no_argument, nullptr, kExitWhenIdle}, {"help", no_argument, nullptr, kHelp},
        {"version", no_argument, nullptr, kVersion},      {nullptr, 0, nullptr, 0},
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
                    auto t = ParseLocalTimestamp(value);
                    if (!t) o.error = "--simulate wants a local time as YYYY-MM-DDTHH:MM:SS, not \"" + value + "\"";
                    else o.simulateFrom = *t;
                }
                break;
            case kRunFor: {
                char* end = nullptr;
                double seconds = std::strtod(value.c_str(), &end);
                if (value.empty() || *end != '\0' || !(seconds >= 0)) o.error = "--run-for wants seconds, not \"" + value + "\"";
                else o.runFor = seconds;
                break;
            }
            case kOnAir:
                o.onAirFile = value;
                break;
            case kEnable:
                o.enable = true;
                break;
            case kExitWhenIdle:
                o.exitWhenIdle = true;
                break;
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
    if (!o.onAirFile.empty() && o.serial != RunOptions::Serial::Emulated && o.error.empty())
        o.error = "--onair needs the emulated serial port (--serial=emulated or --simulate)";
    return o;
}

}  // namespace sked
