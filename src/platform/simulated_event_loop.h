// The simulated clock: whenever the thread would wait, time jumps straight to
// the next timer or device event. A nine-minute bulletin runs in milliseconds
// and gives the same result every time. While real-world work is under way
// (BeginRealWork) the clock runs at real speed instead, until its outcome has
// been posted back.
#pragma once

#include "platform/loop_core.h"

namespace sked {

class SimulatedClock : public Clock {
public:
    explicit SimulatedClock(TimePoint start) : now_(start) {}
    TimePoint Now() const override { return now_; }
    void AdvanceTo(TimePoint t) {
        if (t > now_) now_ = t;
    }

private:
    TimePoint now_;
};

class SimulatedEventLoop : public LoopCore {
public:
    explicit SimulatedEventLoop(TimePoint start) : clock_(start) {}

    const Clock& clock() const override { return clock_; }

    // Lets tests move time on by hand (nothing is dispatched).
    void AdvanceTo(TimePoint t) { clock_.AdvanceTo(t); }

protected:
    Nanos MonoNow() const override;
    Nanos WallToMono(TimePoint wall) const override;
    void SleepUntil(Nanos until, PollSet& set) override;

private:
    // Longest real wait before the loop looks again while real work is under way.
    static constexpr Nanos kRealSlice = std::chrono::milliseconds(20);

    SimulatedClock clock_;
};

}  // namespace sked
