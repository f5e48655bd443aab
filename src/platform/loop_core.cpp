#include "platform/loop_core.h"

#include <algorithm>
#include <cerrno>
#include <cstdint>
#include <cstring>
#include <ctime>
#include <stdexcept>
#include <string>

#include <sys/eventfd.h>
#include <unistd.h>

namespace sked {

using namespace std::chrono;

LoopCore::LoopCore() {
    wakeFd_ = ::eventfd(0, EFD_NONBLOCK | EFD_CLOEXEC);
    if (wakeFd_ < 0) throw std::runtime_error(std::string("event loop: eventfd: ") + std::strerror(errno));
}

LoopCore::~LoopCore() { ::close(wakeFd_); }

// ---- Timers ----

int LoopCore::AddTimer(Callback call) { return timers_.Add(std::move(call)); }
void LoopCore::RemoveTimer(int id) { timers_.Remove(id); }
void LoopCore::ArmAt(int id, TimePoint when) { timers_.ArmAt(id, when); }
bool LoopCore::ArmEvery(int id, Duration period, Alignment alignment) {
    return timers_.ArmEvery(id, period, alignment);
}
void LoopCore::Disarm(int id) { timers_.Disarm(id); }
bool LoopCore::Armed(int id) const { return timers_.Armed(id); }

// ---- Posted calls ----

void LoopCore::Post(Callback call) {
    posted_.Add(std::move(call));
    Wake();
}

void LoopCore::Wake() {
    std::uint64_t one = 1;
    ssize_t ignored = ::write(wakeFd_, &one, sizeof one);  // only fails when the counter is full: awake anyway
    (void)ignored;
}

// ---- Descriptor watches ----

int LoopCore::WatchFd(int fd, short events, FdHandler handler) {
    const int id = nextWatchId_++;
    watches_[id] = Watch{fd, events, std::move(handler)};
    watchesChanged_ = true;
    lookAgain_ = true;  // a new descriptor may be ready already
    return id;
}

void LoopCore::ModifyWatch(int watchId, short events) {
    auto it = watches_.find(watchId);
    if (it == watches_.end() || it->second.events == events) return;
    it->second.events = events;
    watchesChanged_ = true;
    lookAgain_ = true;
}

void LoopCore::RemoveWatch(int watchId) {
    if (watches_.erase(watchId) > 0) watchesChanged_ = true;
}

LoopCore::PollSet& LoopCore::WatchedFds() {
    if (watchesChanged_) {
        pollSet_.fds.clear();
        pollSet_.ids.clear();
        watchesWant_ = 0;
        for (const auto& [id, watch] : watches_) {
            if (watch.events == 0) continue;
            pollSet_.fds.push_back(pollfd{watch.fd, watch.events, 0});
            pollSet_.ids.push_back(id);
            watchesWant_ = static_cast<short>(watchesWant_ | watch.events);
        }
        watchesChanged_ = false;
    }
    for (pollfd& p : pollSet_.fds) p.revents = 0;
    return pollSet_;
}

namespace {
// The coarse monotonic clock is read without a system call and is fine
// enough to space the looks.
nanoseconds RealMonotonicNow() {
    timespec now{};
    ::clock_gettime(CLOCK_MONOTONIC_COARSE, &now);
    return seconds(now.tv_sec) + nanoseconds(now.tv_nsec);
}
}  // namespace

bool LoopCore::LookDue() const {
    if (pollSet_.fds.empty()) return false;
    return lookAgain_ || lastLook_ == Nanos::min() || RealMonotonicNow() - lastLook_ >= kLookInterval;
}

void LoopCore::NoteLook(bool found) {
    lastLook_ = RealMonotonicNow();
    lookAgain_ = found;
}

bool LoopCore::PollReal(PollSet& set, Nanos timeout) {
    set.fds.push_back(pollfd{wakeFd_, POLLIN, 0});
    timespec limit{};
    timespec* limitPtr = nullptr;
    if (timeout != Nanos::max()) {
        timeout = std::max(timeout, Nanos(0));
        const auto secs = duration_cast<seconds>(timeout);
        limit.tv_sec = static_cast<time_t>(secs.count());
        limit.tv_nsec = static_cast<long>((timeout - secs).count());
        limitPtr = &limit;
    }
    const int n = ::ppoll(set.fds.data(), set.fds.size(), limitPtr, nullptr);
    NoteLook(n > 0);
    if (n > 0 && set.fds.back().revents) {
        std::uint64_t count;
        while (::read(wakeFd_, &count, sizeof count) > 0) {
        }
    }
    set.fds.pop_back();
    if (n <= 0)
        for (auto& p : set.fds) p.revents = 0;
    return n > 0;
}

bool LoopCore::DispatchPolled(const PollSet& set) {
    bool any = false;
    for (std::size_t i = 0; i < set.fds.size(); ++i) {
        if (set.fds[i].revents == 0) continue;
        auto it = watches_.find(set.ids[i]);  // an earlier handler may have removed it
        if (it == watches_.end()) continue;
        FdHandler handler = it->second.handler;
        handler(set.fds[i].revents);
        any = true;
    }
    return any;
}

// ---- Running ----

bool LoopCore::DispatchReady() {
    bool any = posted_.Dispatch();
    PollSet& set = WatchedFds();
    if (!set.fds.empty() && LookDue()) {
        const int n = ::poll(set.fds.data(), set.fds.size(), 0);
        NoteLook(n > 0);
        if (n > 0) any |= DispatchPolled(set);
    }
    any |= timers_.DispatchDue();
    return any;
}

void LoopCore::RunOnce(Nanos deadline) {
    if (DispatchReady()) return;
    const Nanos until = std::min(timers_.Earliest(), deadline);
    if (until <= MonoNow()) return;
    PollSet& set = WatchedFds();
    SleepUntil(until, set);
    if (DispatchPolled(set)) posted_.Dispatch();
    timers_.DispatchDue();
}

void LoopCore::Run() {
    while (!QuitRequested()) RunOnce(Nanos::max());
}

void LoopCore::RunUntil(TimePoint deadline) {
    const Nanos until = WallToMono(deadline);
    while (!QuitRequested() && MonoNow() < until) RunOnce(until);
}

}  // namespace sked
