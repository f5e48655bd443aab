#include "platform/poll_event_loop.h"

#include <cerrno>
#include <cstdint>
#include <ctime>
#include <stdexcept>
#include <string>
#include <cstring>

#include <sys/eventfd.h>
#include <unistd.h>

namespace sked {

using namespace std::chrono;

PollEventLoop::PollEventLoop() {
    wakeFd_ = eventfd(0, EFD_NONBLOCK | EFD_CLOEXEC);
    if (wakeFd_ < 0) throw std::runtime_error(std::string("eventfd: ") + std::strerror(errno));
}

PollEventLoop::~PollEventLoop() {
    if (wakeFd_ >= 0) ::close(wakeFd_);
}

LoopCore::Nanos PollEventLoop::MonoNow() const {
    return duration_cast<Nanos>(steady_clock::now().time_since_epoch());
}

LoopCore::Nanos PollEventLoop::WallToMono(TimePoint wall) const {
    // Converted afresh at every use, so wall-clock steps do not stall timers.
    return MonoNow() + duration_cast<Nanos>(wall - clock_.Now());
}

void PollEventLoop::SleepUntil(Nanos until, PollSet& set) {
    set.fds.push_back(pollfd{wakeFd_, POLLIN, 0});
    timespec timeout{};
    timespec* timeoutPtr = nullptr;
    if (until != Nanos::max()) {
        Nanos left = until - MonoNow();
        if (left < Nanos(0)) left = Nanos(0);
        timeout.tv_sec = static_cast<time_t>(duration_cast<seconds>(left).count());
        timeout.tv_nsec = static_cast<long>((left - duration_cast<seconds>(left)).count());
        timeoutPtr = &timeout;
    }
    int n = ::ppoll(set.fds.data(), set.fds.size(), timeoutPtr, nullptr);
    if (n > 0 && set.fds.back().revents) {
        std::uint64_t count;
        while (::read(wakeFd_, &count, sizeof count) > 0) {
        }
    }
    set.fds.pop_back();
    if (n <= 0)
        for (auto& p : set.fds) p.revents = 0;
}

void PollEventLoop::Wake() {
    std::uint64_t one = 1;
    ssize_t ignored = ::write(wakeFd_, &one, sizeof one);
    (void)ignored;
}

}  // namespace sked
