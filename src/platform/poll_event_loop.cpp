#include "platform/poll_event_loop.h"

namespace sked {

using namespace std::chrono;

LoopCore::Nanos PollEventLoop::MonoNow() const {
    return duration_cast<Nanos>(steady_clock::now().time_since_epoch());
}

LoopCore::Nanos PollEventLoop::WallToMono(TimePoint wall) const {
    // Converted afresh at every use, so wall-clock steps do not stall timers.
    return MonoNow() + duration_cast<Nanos>(wall - clock_.Now());
}

void PollEventLoop::SleepUntil(Nanos until, PollSet& set) {
    PollReal(set, until == Nanos::max() ? Nanos::max() : until - MonoNow());
}

}  // namespace sked
