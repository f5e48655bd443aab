// The headless front end: the main window's fields are printed to standard
// output as they change, and the operator types the buttons' names on
// standard input, one command per line.
#pragma once

#include <cstdio>
#include <string>

#include "console/line_reader.h"

namespace sked {

class CSchedulerDlg;

class ConsoleFrontEnd {
public:
    ConsoleFrontEnd(CSchedulerDlg& dlg, std::FILE* out);
    ~ConsoleFrontEnd();
    ConsoleFrontEnd(const ConsoleFrontEnd&) = delete;
    ConsoleFrontEnd& operator=(const ConsoleFrontEnd&) = delete;

    // Prints the status, queue and state fields whenever they change.
    void WatchFields();
    // Reads commands from `fd` (standard input) on the event loop.
    void WatchInput(int fd);
    // No more commands: the station is shutting down.
    void StopInput();

    // Runs one typed command; false (after a message) when it is unknown.
    bool HandleLine(const std::string& line);

    static const char* HelpText();

private:
    void Print(const char* label, const std::string& text);
    void StatusChanged(const std::string& text);
    void ReadInput();
    void HandleReadyLines();
    void PrintStatus();
    void PrintQueue();

    CSchedulerDlg& dlg_;
    std::FILE* out_;
    int inputFd_ = -1;
    int inputWatch_ = 0;
    LineReader input_;
    std::string runningLine_;  // the line being sent, printed when finished
    std::string lastStatus_;
};

}  // namespace sked
