#include "support/station_process.h"

#include <csignal>
#include <cstdio>
#include <cstdlib>

#include <sys/wait.h>
#include <unistd.h>

namespace sked::test {

StationProcess::StationProcess(const std::vector<std::string>& arguments) {
    // A station that has ended must not end the test with it.
    std::signal(SIGPIPE, SIG_IGN);
    int in[2], out[2];
    if (::pipe(in) != 0 || ::pipe(out) != 0) return;
    child_ = ::fork();
    if (child_ == 0) {
        ::dup2(in[0], STDIN_FILENO);
        ::dup2(out[1], STDOUT_FILENO);
        for (int fd : {in[0], in[1], out[0], out[1]}) ::close(fd);
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

StationProcess::~StationProcess() {
    if (child_ > 0) {
        ::kill(child_, SIGKILL);
        Wait();
    }
    CloseInput();
}

bool StationProcess::ReadUntil(const std::string& text) {
    char* line = nullptr;
    std::size_t capacity = 0;
    bool found = false;
    while (output_file_ && !found && ::getline(&line, &capacity, output_file_) > 0) {
        output_ += line;
        found = std::string(line).find(text) != std::string::npos;
    }
    std::free(line);
    return found;
}

void StationProcess::Type(const std::string& line) {
    const std::string text = line + "\n";
    ssize_t ignored = ::write(input_, text.data(), text.size());
    (void)ignored;
}

void StationProcess::CloseInput() {
    if (input_ >= 0) ::close(input_);
    input_ = -1;
}

void StationProcess::Signal(int signal) { ::kill(child_, signal); }

int StationProcess::Wait() {
    ReadUntil("\x01 never printed \x01");
    if (output_file_) std::fclose(output_file_);
    output_file_ = nullptr;
    int status = 0;
    if (child_ > 0) ::waitpid(child_, &status, 0);
    child_ = -1;
    return status;
}

}  // namespace sked::test
