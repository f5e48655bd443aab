// The station's three command-line parameters: callsign, port number and
// keying line ("QZ0XB 2 RTS").
#pragma once

#include <string>
#include <vector>

#include "serial/serial_line.h"

namespace sked {

struct StationParameters {
    enum class Outcome {
        Run,              // start the station
        NotSet,           // no parameter: how to call it, exit 0
        TooMany,          // four or more: a usage error, exit 2
        EditorOnly,       // port 0: only the schedule editor
        CallsignTooLong,  // more than 7 characters: refused, exit 2
    };

    Outcome outcome = Outcome::Run;
    std::string callsign = "NONE";
    int portNumber = 2;  // as given: "????" is shown for one outside 1..8
    KeyLine keyLine = KeyLine::Dtr;
    // Parameters taken otherwise than they may have been meant (a port
    // outside 1..8, a keying line that is not RTS or DTR): said on standard
    // output and in the log, and the station runs.
    std::vector<std::string> warnings;

    // The port the station uses: COM2 for a number outside 1..8.
    int PortInUse() const { return ComPortBase(portNumber) != 0 ? portNumber : 2; }
    // The program's status when it ends at start-up: 2 for a usage error, so
    // that a service manager sees the failure.
    int ExitStatus() const { return outcome == Outcome::TooMany || outcome == Outcome::CallsignTooLong ? 2 : 0; }
};

inline constexpr std::size_t kMaxCallsign = 7;

// Reads the parameters from the text of the command line after the program
// name. Upper-cases everything first; when the text holds a double quote,
// the parameters are what follows the last one.
StationParameters ParseStationParameters(const std::string& commandLine);

// Joins argv-style parameters into one command-line text.
std::string JoinParameters(const std::vector<std::string>& parameters);

namespace texts {
inline constexpr const char* kNotSetCaption = "Parameters Not Set";
inline constexpr const char* kNotSetText =
    "Please Set Command Line Parameters,\n\nFirst param\t= Callsign (Enter your ham radio callsign)\n"
    "Second param\t=  Comport (enter integer from 1 to 8) \n\t1 = 0x3F8\n\t2 = 0x2F8\n\t3 = 0x3E8\n"
    "\t4 = 0x3E0\n\t5 = 0x2F0\n\t6 = 0x2E8\n\t7 = 0x2E0\n\t8 = 0x260\n"
    "Third param\t= Transmit Control (enter RTS or DTR)\n\nExample:\tSkedcast  QZ0XB  2  RTS\n\n"
    "\tSets callsign to QZ0XB, COM2, RTS for xmit control";
inline constexpr const char* kTooManyCaption = "Too Many Parameters";
inline constexpr const char* kTooManyText =
    "Too many Command Line parameters has been detected,\nconsult instructions for proper setting of input";
inline constexpr const char* kTooLongCaption = "Callsign Too Long";
}  // namespace texts

}  // namespace sked
