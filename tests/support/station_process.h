// The real station program as a child process: its standard input is a pipe the test types commands into, its
// standard output a pipe the test reads line by line (the station waits when the test reads slowly, so the test
// can act at a moment it has seen).
#pragma once

#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include "support/station_fixture.h"

namespace sked::test {

class StationProcess {
public:
    // SKEDCAST_BINARY with `arguments`; with `fileSizeLimit`, no file it writes may grow past that (ulimit -f).
    explicit StationProcess(const std::vector<std::string>& arguments, long fileSizeLimit = 0) {
        std::signal(SIGPIPE, SIG_IGN);  // a station that has ended must not end the test with it
        int in[2], out[2];
        if (::pipe(in) != 0 || ::pipe(out) != 0) return;
        child_ = ::fork();
        if (child_ == 0) {
            ::dup2(in[0], STDIN_FILENO);
            ::dup2(out[1], STDOUT_FILENO);
            for (int fd : {in[0], in[1], out[0], out[1]}) ::close(fd);
            const rlimit limit{static_cast<rlim_t>(fileSizeLimit), static_cast<rlim_t>(fileSizeLimit)};
            if (fileSizeLimit > 0) ::setrlimit(RLIMIT_FSIZE, &limit);
            std::vector<char*> argv{const_cast<char*>(SKEDCAST_BINARY)};
            for (const auto& a : arguments) argv.push_back(const_cast<char*>(a.c_str()));
            argv.push_back(nullptr);
            ::execv(SKEDCAST_BINARY, argv.data());
            ::_exit(127);
        }
        ::close(in[0]);
        ::close(out[1]);
        input_ = in[1];
        output_file_ = ::fdopen(out[0], "r");
    }
    ~StationProcess() {
        if (child_ > 0) ::kill(child_, SIGKILL), Wait();
        CloseInput();
    }
    StationProcess(const StationProcess&) = delete;
    StationProcess& operator=(const StationProcess&) = delete;

    // Reads output until a line holds `text`; false at the end of output.
    bool ReadUntil(const std::string& text) {
        static char line[1 << 16];  // longer lines are read in parts
        while (output_file_ && std::fgets(line, sizeof line, output_file_))
            if (output_ += line; std::strstr(line, text.c_str())) return true;
        return false;
    }
    void Type(const std::string& line) {  // a line end is added
        const std::string text = line + "\n";
        [[maybe_unused]] ssize_t written = ::write(input_, text.data(), text.size());
    }
    void CloseInput() {  // the station runs on unattended
        if (input_ >= 0) ::close(input_);
        input_ = -1;
    }
    void Signal(int signal) { ::kill(child_, signal); }
    // Reads the output to its end and waits for the exit; the wait status.
    int Wait() {
        ReadUntil("\x01 never printed \x01");
        if (output_file_) std::fclose(output_file_);
        output_file_ = nullptr;
        int status = 0;
        if (child_ > 0) ::waitpid(child_, &status, 0);
        child_ = -1;
        return status;
    }
    const std::string& output() const { return output_; }

private:
    pid_t child_ = -1;
    int input_ = -1;
    std::FILE* output_file_ = nullptr;
    std::string output_;
};

// The last modem-control line of an emulated serial trace ("... mcr 0x00 key=OFF power=OFF").
// The program headless on the simulated clock from 12:00, its line traced to trace.tsv, with `options`.
inline std::vector<std::string> StationArguments(const std::vector<std::string>& options) {
    std::vector<std::string> all = {"--headless", "--simulate=2026-01-01T12:00:00", "--serial=emulated:trace.tsv"};
    all.insert(all.end(), options.begin(), options.end());
    all.insert(all.end(), {"QZ0XB", "2", "RTS"});
    return all;
}

inline std::string LastMcr(const std::string& trace = "trace.tsv") {
    std::string last;
    for (const auto& line : ReadLines(trace))
        if (line.find("\tmcr\t") != std::string::npos) last = line;
    return last;
}

}  // namespace sked::test
