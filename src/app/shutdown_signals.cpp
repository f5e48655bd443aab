#include "app/shutdown_signals.h"

#include <csignal>
#include <cstdio>
#include <cstring>

#include <poll.h>
#include <sys/signalfd.h>
#include <unistd.h>

namespace sked {

namespace {

// Every signal whose default action ends the process, but the crashes
// (which release the lines on their way down), SIGPIPE and SIGXFSZ (ignored:
// a closed pipe or a file grown past its limit is a failed write, told as such).
sigset_t TerminatingSignals() {
    sigset_t set;
    sigemptyset(&set);
    for (int signal : {SIGHUP, SIGINT, SIGQUIT, SIGTERM, SIGUSR1, SIGUSR2, SIGALRM, SIGVTALRM, SIGPROF, SIGXCPU,
                       SIGIO, SIGPWR, SIGSTKFLT})
        sigaddset(&set, signal);
    for (int signal = SIGRTMIN; signal <= SIGRTMAX; ++signal) sigaddset(&set, signal);
    return set;
}

}  // namespace

std::string SignalName(int signal) {
    if (const char* name = sigabbrev_np(signal)) return std::string("SIG") + name;
    if (signal >= SIGRTMIN && signal <= SIGRTMAX) return "SIGRTMIN+" + std::to_string(signal - SIGRTMIN);
    return "signal " + std::to_string(signal);
}

void BlockTerminatingSignals() {
    sigset_t set = TerminatingSignals();
    pthread_sigmask(SIG_BLOCK, &set, nullptr);
    std::signal(SIGPIPE, SIG_IGN);
    std::signal(SIGXFSZ, SIG_IGN);
}

ShutdownSignals::ShutdownSignals(EventLoop& loop, std::function<void(int signal)> shutdown) : loop_(loop) {
    sigset_t set = TerminatingSignals();
    fd_ = signalfd(-1, &set, SFD_NONBLOCK | SFD_CLOEXEC);
    if (fd_ < 0) {
        std::perror("skedcast: signalfd");
        return;
    }
    watch_ = loop_.WatchFd(fd_, POLLIN, [this, shutdown = std::move(shutdown)](short) {
        signalfd_siginfo info;
        while (::read(fd_, &info, sizeof info) == static_cast<ssize_t>(sizeof info))
            shutdown(static_cast<int>(info.ssi_signo));
    });
}

ShutdownSignals::~ShutdownSignals() {
    if (watch_) loop_.RemoveWatch(watch_);
    if (fd_ >= 0) ::close(fd_);
}

}  // namespace sked
