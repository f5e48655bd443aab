// The station's timers, kept in the order they fall due on a monotonic time
// base: the next one is at the front without a walk over every timer, and
// the due ones run in the order they fell due. Shared by the station's own
// loops and by the window's, which lets Qt's loop wake it.
#pragma once

#include <chrono>
#include <map>
#include <utility>
#include <vector>

#include "platform/event_loop.h"

namespace sked {

class TimerTable {
public:
    using Nanos = std::chrono::nanoseconds;

    // The time the due times are counted in, and how wall-clock times map to it.
    class TimeBase {
    public:
        virtual Nanos MonoNow() const = 0;
        virtual Nanos WallToMono(TimePoint wall) const = 0;
        virtual TimePoint WallNow() const = 0;

    protected:
        ~TimeBase() = default;
    };

    // `wallSecondLag`: how long after the wall clock's second a tick aligned
    // to it falls, for a loop whose wake-ups may come that much early.
    explicit TimerTable(const TimeBase& time, Nanos wallSecondLag = Nanos::zero());
    TimerTable(const TimerTable&) = delete;
    TimerTable& operator=(const TimerTable&) = delete;

    int Add(EventLoop::Callback call);
    void Remove(int id);
    void ArmAt(int id, TimePoint when);
    bool ArmEvery(int id, Duration period, EventLoop::Alignment alignment);
    void Disarm(int id);
    bool Armed(int id) const;

    // Runs the timers due now, in the order they fell due; whether any ran.
    bool DispatchDue();
    // When the next armed timer falls due; Nanos::max() when none is armed.
    Nanos Earliest() const { return schedule_.empty() ? Nanos::max() : schedule_.front().first; }

private:
    struct Entry {
        EventLoop::Callback call;
        bool armed = false;
        Nanos due{};
        Duration period{};  // zero: once
        EventLoop::Alignment alignment = EventLoop::Alignment::None;
    };

    Nanos NextDue(const Entry& timer, Nanos after) const;
    // Arms the timer at its due time / disarms it, keeping schedule_ in step.
    void Schedule(int id, Entry& timer);
    void Unschedule(int id, Entry& timer);

    const TimeBase& time_;
    const Nanos wallSecondLag_;
    std::map<int, Entry> timers_;
    // The armed timers by due time (then id).
    std::vector<std::pair<Nanos, int>> schedule_;
    int nextId_ = 1;
    // Kept from dispatch to dispatch, so that a dispatch allocates nothing.
    std::vector<std::pair<Nanos, int>> due_;
};

}  // namespace sked
