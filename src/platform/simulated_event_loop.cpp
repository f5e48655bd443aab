#include "platform/simulated_event_loop.h"

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
    // Real descriptors (sockets, standard input) still live in real time:
    // give a connection under way a moment to complete before time jumps.
    if (!set.fds.empty()) {
        int realWaitMs = AnyWatchWants(POLLOUT) ? 50 : 0;
        if (until == Nanos::max()) realWaitMs = -1;
        if (::poll(set.fds.data(), set.fds.size(), realWaitMs) > 0) return;
        for (auto& p : set.fds) p.revents = 0;
    }
    if (until == Nanos::max()) {
        std::fputs("simulated clock: the station waits for an event that can never come\n", stderr);
        std::abort();
    }
    clock_.AdvanceTo(TimePoint(duration_cast<Duration>(until)));
}

}  // namespace sked
