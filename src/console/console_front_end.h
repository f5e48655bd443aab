// The headless front end: the main window's fields (and the schedule's
// refusals from the log) are printed to standard output as they change, and
// the operator types commands on standard input, one per line, one for every
// control of the window. Each line is handed to the event loop as a call of
// its own, so that a command typed during a transmission (cancel, pause,
// quit) acts between two of its characters, whoever started it.
#pragma once

#include <cstdio>
#include <string>
#include <vector>

#include "app/station.h"
#include "console/line_reader.h"
#include "console/running_lines.h"
#include "console/typed_commands.h"
#include "app/controls.h"

namespace sked {

class ConsoleFrontEnd {
public:
    ConsoleFrontEnd(Station& station, std::FILE* out);
    ~ConsoleFrontEnd();
    ConsoleFrontEnd(const ConsoleFrontEnd&) = delete;
    ConsoleFrontEnd& operator=(const ConsoleFrontEnd&) = delete;

    // Prints the status, queue and state fields whenever they change.
    void WatchFields();
    // Reads commands from `fd` (standard input) on the event loop.
    void WatchInput(int fd);
    // No more commands: the station is shutting down.
    void StopInput();

    // Runs one typed command; false (after a message) when it is unknown or
    // incomplete.
    bool HandleLine(const std::string& line);

    static std::string HelpText() { return TypedCommands::HelpText(); }

private:
    void Print(const char* label, const std::string& text);
    void StatusChanged(const std::string& text);
    void ReadInput();
    void PostReadyLines();

    Station& station_;
    TypedCommands commands_;
    std::FILE* out_;
    int inputFd_ = -1;
    int inputWatch_ = 0;
    LineReader input_;
    std::vector<ControlSubscription> fields_;
    RunningLines runningLines_;
    int logListener_ = 0;
};

}  // namespace sked
