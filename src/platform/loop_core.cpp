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

LoopCore::Nanos LoopCore::NextDue(const Timer& timer, Nanos after) const {
    if (timer.alignment == Alignment::WallSecond) {
        // Next whole second of the wall clock after `after`.
        TimePoint wallAfter = clock().Now() + (after - MonoNow());
        auto secs = floor<seconds>(wallAfter) + seconds(1);
        return WallToMono(secs);
    }
    return after + duration_cast<Nanos>(timer.period);
}

bool LoopCore::StartTimer(int id, milliseconds period, Alignment alignment) {
    if (period <= milliseconds(0)) return false;
    Timer timer{period, alignment, {}};
    timer.due = NextDue(timer, MonoNow());
    timers_[id] = timer;
    return true;
}

void LoopCore::StopTimer(int id) { timers_.erase(id); }

bool LoopCore::TimerRunning(int id) const { return timers_.count(id) != 0; }

milliseconds LoopCore::TimerPeriod(int id) const {
    auto it = timers_.find(id);
    return it == timers_.end() ? milliseconds(0) : it->second.period;
}

void LoopCore::Post(Callback call) {
    posted_.Add(std::move(call));
    Wake();
}

void LoopCore::Wake() {
    std::uint64_t one = 1;
    ssize_t ignored = ::write(wakeFd_, &one, sizeof one);  // only fails when the counter is full: awake anyway
    (void)ignored;
}

bool LoopCore::PollReal(PollSet& set, Nanos timeout) {
    set.fds.push_back(pollfd{wakeFd_, POLLIN, 0});
    timespec limit{};
    timespec* limitPtr = nullptr;
    if (timeout != Nanos::max()) {
        if (timeout < Nanos(0)) timeout = Nanos(0);
        auto secs = duration_cast<seconds>(timeout);
        limit.tv_sec = static_cast<time_t>(secs.count());
        limit.tv_nsec = static_cast<long>((timeout - secs).count());
        limitPtr = &limit;
    }
    int n = ::ppoll(set.fds.data(), set.fds.size(), limitPtr, nullptr);
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

int LoopCore::WatchFd(int fd, short events, FdHandler handler) {
    int id = nextWatchId_++;
    watches_[id] = Watch{fd, events, std::move(handler)};
    return id;
}

void LoopCore::ModifyWatch(int watchId, short events) {
    auto it = watches_.find(watchId);
    if (it != watches_.end()) it->second.events = events;
}

void LoopCore::RemoveWatch(int watchId) { watches_.erase(watchId); }

LoopCore::PollSet LoopCore::WatchedFds() const {
    PollSet set;
    for (const auto& [id, watch] : watches_) {
        if (watch.dispatching || watch.events == 0) continue;
        set.fds.push_back(pollfd{watch.fd, watch.events, 0});
        set.ids.push_back(id);
    }
    return set;
}

bool LoopCore::AnyWatchWants(short events) const {
    return std::any_of(watches_.begin(), watches_.end(), [&](const auto& entry) {
        return !entry.second.dispatching && (entry.second.events & events);
    });
}

bool LoopCore::DispatchPolled(const PollSet& set) {
    bool any = false;
    for (std::size_t i = 0; i < set.fds.size(); ++i) {
        if (set.fds[i].revents == 0) continue;
        auto it = watches_.find(set.ids[i]);  // an earlier handler may have removed it
        if (it == watches_.end() || it->second.dispatching) continue;
        FdHandler handler = it->second.handler;
        it->second.dispatching = true;
        handler(set.fds[i].revents);
        auto again = watches_.find(set.ids[i]);
        if (again != watches_.end()) again->second.dispatching = false;
        any = true;
    }
    return any;
}

bool LoopCore::DispatchDueTimers() {
    Nanos now = MonoNow();
    std::vector<std::pair<Nanos, int>> due;
    for (const auto& [id, timer] : timers_)
        if (timer.due <= now) due.emplace_back(timer.due, id);
    std::sort(due.begin(), due.end());
    for (const auto& [when, id] : due) {
        auto it = timers_.find(id);
        if (it == timers_.end() || it->second.due > now) continue;  // stopped or restarted meanwhile
        // Reschedule before dispatching: the handler may pump messages, and a
        // late timer fires once, like a window timer, not once per missed period.
        Nanos next = NextDue(it->second, it->second.due);
        if (next <= now) next = NextDue(it->second, now);
        it->second.due = next;
        DispatchTimer(id);
    }
    return !due.empty();
}

bool LoopCore::DispatchReady() {
    bool any = posted_.Dispatch();
    PollSet set = WatchedFds();
    if (!set.fds.empty() && ::poll(set.fds.data(), set.fds.size(), 0) > 0) any |= DispatchPolled(set);
    any |= DispatchDueTimers();
    return any;
}

void LoopCore::PumpMessages() { DispatchReady(); }

LoopCore::Nanos LoopCore::EarliestTimer() const {
    Nanos earliest = Nanos::max();
    for (const auto& [id, timer] : timers_) earliest = std::min(earliest, timer.due);
    return earliest;
}

void LoopCore::WaitForEvent(TimePoint deadline) {
    if (DispatchReady()) return;
    Nanos until = EarliestTimer();
    if (deadline != Forever) until = std::min(until, WallToMono(deadline));
    if (until <= MonoNow()) {
        DispatchReady();
        return;
    }
    PollSet set = WatchedFds();
    SleepUntil(until, set);
    bool any = DispatchPolled(set);
    if (!any) DispatchReady();
    else {
        posted_.Dispatch();
        DispatchDueTimers();
    }
}

}  // namespace sked
