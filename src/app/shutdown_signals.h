// Every signal whose default would end the program ends the station through
// its shut-down sequence instead (transmitter off, the TERMINATED line in the
// log). The signals are blocked from the start of main, so none can strike
// between the opening of a port and the loop that watches for them.
#pragma once

#include <functional>
#include <string>

#include "platform/event_loop.h"

namespace sked {

// Blocks the terminating signals in this thread (and the threads it starts
// later) and ignores SIGPIPE and SIGXFSZ: a closed standard output or a file
// size limit must not end the station with its transmitter keyed.
void BlockTerminatingSignals();

// "SIGHUP", "SIGRTMIN+3", or "signal 99".
std::string SignalName(int signal);

class ShutdownSignals {
public:
    // Watches the blocked signals on `loop`; `shutdown` runs on the loop's
    // thread with the signal's number.
    ShutdownSignals(EventLoop& loop, std::function<void(int signal)> shutdown);
    ~ShutdownSignals();
    ShutdownSignals(const ShutdownSignals&) = delete;
    ShutdownSignals& operator=(const ShutdownSignals&) = delete;

private:
    EventLoop& loop_;
    int fd_ = -1;
    int watch_ = 0;
};

}  // namespace sked
