#include "platform/timer_table.h"

#include <algorithm>

namespace sked {

using namespace std::chrono;

TimerTable::TimerTable(const TimeBase& time, Nanos wallSecondLag) : time_(time), wallSecondLag_(wallSecondLag) {}

int TimerTable::Add(EventLoop::Callback call) {
    const int id = nextId_++;
    timers_[id].call = std::move(call);
    return id;
}

void TimerTable::Remove(int id) {
    auto it = timers_.find(id);
    if (it == timers_.end()) return;
    Unschedule(id, it->second);
    timers_.erase(it);
}

void TimerTable::Schedule(int id, Entry& timer) {
    timer.armed = true;
    const std::pair<Nanos, int> entry{timer.due, id};
    schedule_.insert(std::lower_bound(schedule_.begin(), schedule_.end(), entry), entry);
}

void TimerTable::Unschedule(int id, Entry& timer) {
    if (!timer.armed) return;
    timer.armed = false;
    const auto at = std::lower_bound(schedule_.begin(), schedule_.end(), std::pair<Nanos, int>{timer.due, id});
    if (at != schedule_.end() && at->second == id) schedule_.erase(at);
}

TimerTable::Nanos TimerTable::NextDue(const Entry& timer, Nanos after) const {
    if (timer.alignment == EventLoop::Alignment::WallSecond) {
        // Next whole second of the wall clock after `after`.
        const TimePoint wallAfter = time_.WallNow() + duration_cast<Duration>(after - time_.MonoNow());
        return time_.WallToMono(floor<seconds>(wallAfter) + seconds(1)) + wallSecondLag_;
    }
    return after + duration_cast<Nanos>(timer.period);
}

void TimerTable::ArmAt(int id, TimePoint when) {
    auto it = timers_.find(id);
    if (it == timers_.end()) return;
    Entry& timer = it->second;
    Unschedule(id, timer);
    timer.period = Duration::zero();
    timer.alignment = EventLoop::Alignment::None;
    timer.due = when == EventLoop::Forever ? Nanos::max() : time_.WallToMono(when);
    Schedule(id, timer);
}

bool TimerTable::ArmEvery(int id, Duration period, EventLoop::Alignment alignment) {
    auto it = timers_.find(id);
    if (it == timers_.end() || period <= Duration::zero()) return false;
    Entry& timer = it->second;
    Unschedule(id, timer);
    timer.period = period;
    timer.alignment = alignment;
    timer.due = NextDue(timer, time_.MonoNow());
    Schedule(id, timer);
    return true;
}

void TimerTable::Disarm(int id) {
    auto it = timers_.find(id);
    if (it != timers_.end()) Unschedule(id, it->second);
}

bool TimerTable::Armed(int id) const {
    auto it = timers_.find(id);
    return it != timers_.end() && it->second.armed;
}

bool TimerTable::DispatchDue() {
    const Nanos now = time_.MonoNow();
    if (schedule_.empty() || schedule_.front().first > now) return false;
    // The due ones, in the order they fell due, copied into the kept list
    // (moved out while in use: a callback cannot disturb it).
    std::vector<std::pair<Nanos, int>> due = std::move(due_);
    due.clear();
    for (const auto& entry : schedule_) {
        if (entry.first > now) break;
        due.push_back(entry);
    }
    for (const auto& [when, id] : due) {
        auto it = timers_.find(id);
        // Stopped, removed or moved by a callback that ran before it.
        if (it == timers_.end() || !it->second.armed || it->second.due != when) continue;
        Entry& timer = it->second;
        Unschedule(id, timer);
        if (timer.period != Duration::zero()) {
            // A late timer fires once, not once per missed period.
            Nanos next = NextDue(timer, timer.due);
            if (next <= now) next = NextDue(timer, now);
            timer.due = next;
            Schedule(id, timer);
        }
        EventLoop::Callback call = timer.call;  // the callback may remove its own timer
        call();
    }
    const bool any = !due.empty();
    due_ = std::move(due);
    return any;
}

}  // namespace sked
