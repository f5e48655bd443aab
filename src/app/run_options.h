// Our own options (they begin with "--" and are not station parameters):
// which serial back end, headless, the simulated clock, how long to run, and
// what an unattended service needs set before its first entry.
#pragma once

#include <ctime>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "keying/ptt_setting.h"

namespace sked {

// The longest transmit time-out that may be set, in minutes (a day).
inline constexpr int kLongestTxTimeoutMinutes = 24 * 60;
inline constexpr const char* kTxTimeoutWants = "minutes from 1 to 1440, or off";
// A transmit time-out as --tx-timeout and skedcast.conf take it: minutes, 0 for "off"; nothing when it does not read.
std::optional<int> ReadTxTimeoutMinutes(std::string_view text);

struct RunOptions {
    enum class Serial { Tty, Emulated, IoPorts };
    enum class Audio { Alsa, WavFile, Null };

    Serial serial = Serial::Tty;
    bool serialGiven = false;
    std::string serialArgument;  // tty device, or the emulated port's trace file
    bool headless = false;
    bool simulate = false;
    std::time_t simulateFrom = 0;  // 0: now
    std::optional<double> runFor;  // seconds of the clock in use
    std::string onAirFile;  // --onair: one WAV file, or a folder for one file per transmission
    bool enable = false;
    // The TCP mirror and the sound card, as the window's fields would set them.
    std::optional<std::string> netPort;     // "OFF" or "1".."16"
    std::optional<std::string> netAddress;
    std::string authFile;                    // holds the authentication text
    std::optional<std::string> soundCard;   // "None", "-1 Auto" or "1".."4"
    Audio audio = Audio::Alsa;
    bool audioGiven = false;
    std::string audioArgument;  // the ALSA PCM of "-1 Auto", or the WAV file
    std::optional<double> noiseDb;  // --noise: the noise floor's distance below the tones
    bool exitWhenIdle = false;
    std::optional<bool> fskShaping;  // --fsk-shaping
    std::optional<bool> cwTimer;  // --cw-timer: the hourly identification's box
    bool help = false;
    bool version = false;
    bool checkSchedule = false;
    long checkPeriodSeconds = 24 * 3600;  // --check-schedule=PERIOD: how far ahead repeating entries are listed
    std::optional<int> txTimeoutMinutes;  // --tx-timeout: the longest single key-down; 0 for no limit
    std::optional<PttSetting> ptt;        // --ptt: what keys the transmitter
    std::string controlPath;     // --control: the control socket; "" for none
    // --http: the web page's address (numeric, IPv4 or [IPv6]) and TCP port (0: any free port); off when empty.
    std::string httpHost;
    int httpPort = 0;
    std::string httpPasswordFile;  // the operator password's hash (skedcast passwd FILE)
    bool httpPublicStatus = false;  // the page may be watched without logging in
    std::string httpCert, httpKey;  // PEM files: the page over HTTPS
    std::vector<std::string> parameters;  // the station's own parameters
    std::string error;                    // set when the options do not read
};

RunOptions ParseRunOptions(int argc, char* const argv[]);

// The exit status of a station that cannot run as configured (an option, a
// settings file, a file or socket an option names): a service manager need
// not try again until the configuration changes.
inline constexpr int kConfigurationError = 2;

// The simulated clock starts within these years, and a run lasts at most ten
// years of its clock: beyond them the station's dates and timers overflow.
constexpr int kFirstSimulatedYear = 1970;
constexpr int kLastSimulatedYear = 2099;
constexpr double kMaxRunForSeconds = 10.0 * 365 * 24 * 3600;

// "YYYY-MM-DDTHH:MM:SS" as local time, a real calendar date in the years
// above; nothing when it does not read, with the reason in `problem` if given.
std::optional<std::time_t> ParseLocalTimestamp(const std::string& text, std::string* problem = nullptr);

// The first line of `path`, the mirror's authentication text (a credential:
// it is read from a file, never given on the command line where ps shows it).
// Nothing, with the reason in `problem`, when the file cannot be read.
std::optional<std::string> ReadAuthenticationFile(const std::string& path, std::string& problem);

// "PORT", "ADDRESS:PORT" or "[IPV6]:PORT" as --http takes it (a bare port listens on 127.0.0.1).
// False, with the reason in `problem`, when it does not read.
bool ParseHttpAddress(const std::string& text, std::string& host, int& port, std::string& problem);
// Why the web page's options do not go together (a page others can reach without a password, a certificate
// without its key, ...); "" when they do.
std::string HttpOptionsProblem(const RunOptions& options);
// Whether a numeric address only this machine can reach (127.0.0.0/8, ::1).
bool IsLoopbackAddress(const std::string& host);

extern const char* const kUsageText;

}  // namespace sked
