#include "platform/simulated_event_loop.h"

#include <algorithm>
#include <cstdio>
#include <cstdlib>

namespace sked {

using namespace std::chrono;

LoopCore::Nanos SimulatedEventLoop::MonoNow() const {
    return duration_cast<Nanos>(clock_.Now().time_since_epoch());
}

LoopCore::Nanos SimulatedEventLoop::WallToMono(TimePoint wall) const {
    return duration_cast<Nanos>(wall.time_since_epoch());
}

void SimulatedEventLoop::SleepUntil(Nanos until, PollSet& set) {
    // A call posted from another thread since the last dispatch: run it first.
    if (HasPosted()) return;

    if (RealWorkUnderWay()) {
        // Its outcome comes in real time: let the clock run at real speed, a
        // short slice at a time, never past the next timer or the deadline.
        const Nanos now = MonoNow();
        Nanos slice = kRealSlice;
        if (until != Nanos::max()) slice = std::clamp(until - now, Nanos(0), kRealSlice);
        const auto started = steady_clock::now();
        PollReal(set, slice);
        const Nanos elapsed = duration_cast<Nanos>(steady_clock::now() - started);
        const Nanos to = (until == Nanos::max() || until - now > elapsed) ? now + elapsed : until;
        clock_.AdvanceTo(TimePoint(duration_cast<Duration>(to)));
        return;
    }

    // Real descriptors (sockets, standard input) still live in real time:
    // give a connection under way a moment to complete before time jumps.
    // Otherwise a look without waiting is taken only when one is due.
    if (!set.fds.empty()) {
        Nanos realWait = AnyWatchWants(POLLOUT) ? milliseconds(50) : Nanos(0);
        if (until == Nanos::max()) realWait = Nanos::max();
        if ((realWait > Nanos(0) || LookDue()) && PollReal(set, realWait)) return;
    }
    if (until == Nanos::max()) {
        std::fputs("simulated clock: the station waits for an event that can never come\n", stderr);
        std::abort();
    }
    clock_.AdvanceTo(TimePoint(duration_cast<Duration>(until)));
}

}  // namespace sked
