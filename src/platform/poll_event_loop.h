// The real-clock loop of the headless station: timers on the monotonic clock
// (one-second ticks aligned to the wall clock's seconds), ppoll() on the
// watched descriptors and an eventfd that posted calls use to wake it.
#pragma once

#include "platform/loop_core.h"

namespace sked {

class RealClock : public Clock {
public:
    TimePoint Now() const override { return std::chrono::system_clock::now(); }
};

// Real time on the monotonic clock, and a wall-clock time converted to it
// (afresh at every use, so wall-clock steps do not stall timers): the time
// base of the loops that run on the real clock.
std::chrono::nanoseconds RealMonoNow();
std::chrono::nanoseconds RealWallToMono(TimePoint wall);

class PollEventLoop : public LoopCore {
public:
    const Clock& clock() const override { return clock_; }

protected:
    Nanos MonoNow() const override;
    Nanos WallToMono(TimePoint wall) const override;
    void SleepUntil(Nanos until, PollSet& set) override;

private:
    RealClock clock_;
};

}  // namespace sked
