// The real station program as a child process: its standard input is a
// pipe the test writes commands into, its standard output a pipe the test
// reads line by line (the station waits when the test reads slowly, so the
// test can act at a moment it has seen).
#pragma once

#include <string>
#include <vector>

#include <sys/types.h>

namespace sked::test {

class StationProcess {
public:
    // Starts SKEDCAST_BINARY with `arguments` in the working directory.
    explicit StationProcess(const std::vector<std::string>& arguments);
    ~StationProcess();
    StationProcess(const StationProcess&) = delete;
    StationProcess& operator=(const StationProcess&) = delete;

    // Reads output until a line holds `text`; false at the end of output.
    bool ReadUntil(const std::string& text);
    // Types `line` (a line end is added).
    void Type(const std::string& line);
    // No more input (the station runs on unattended).
    void CloseInput();
    void Signal(int signal);
    // Reads the output to its end and waits for the exit; the wait status.
    int Wait();
    const std::string& output() const { return output_; }

private:
    pid_t child_ = -1;
    int input_ = -1;
    std::FILE* output_file_ = nullptr;
    std::string output_;
};

}  // namespace sked::test
