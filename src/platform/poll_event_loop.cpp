#include "platform/poll_event_loop.h"

namespace sked {

using namespace std::chrono;

nanoseconds RealMonoNow() { return duration_cast<nanoseconds>(steady_clock::now().time_since_epoch()); }

nanoseconds RealWallToMono(TimePoint wall) {
    return RealMonoNow() + duration_cast<nanoseconds>(wall - RealClock().Now());
}

LoopCore::Nanos PollEventLoop::MonoNow() const { return RealMonoNow(); }

LoopCore::Nanos PollEventLoop::WallToMono(TimePoint wall) const { return RealWallToMono(wall); }

void PollEventLoop::SleepUntil(Nanos until, PollSet& set) {
    PollReal(set, until == Nanos::max() ? Nanos::max() : until - MonoNow());
}

}  // namespace sked
