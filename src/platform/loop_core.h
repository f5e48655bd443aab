// Shared machinery of the poll()-based loops (real clock and simulated clock):
// the timer table, the posted-call queue, the descriptor watches and the
// eventfd that wakes a wait when a call is posted from another thread.
//
// Between two waits the loop looks at its descriptors without waiting only
// when that can find something new: some descriptor is watched, and real
// time has passed since the last look (or the last look found one ready).
// On the simulated clock a step takes microseconds, so looking at every step
// would be most of a simulated year's work; a signal or a line of input is
// still seen within kLookInterval of real time.
#pragma once

#include <map>
#include <vector>

#include <poll.h>

#include "platform/event_loop.h"
#include "platform/posted_calls.h"
#include "platform/timer_table.h"

namespace sked {

class LoopCore : public EventLoop, protected TimerTable::TimeBase {
public:
    LoopCore();
    ~LoopCore() override;
    LoopCore(const LoopCore&) = delete;
    LoopCore& operator=(const LoopCore&) = delete;

    int AddTimer(Callback call) override;
    void RemoveTimer(int id) override;
    void ArmAt(int id, TimePoint when) override;
    bool ArmEvery(int id, Duration period, Alignment alignment) override;
    void Disarm(int id) override;
    bool Armed(int id) const override;

    void Post(Callback call) override;

    int WatchFd(int fd, short events, FdHandler handler) override;
    void ModifyWatch(int watchId, short events) override;
    void RemoveWatch(int watchId) override;

    void Run() override;
    // Handles events until the clock reaches `deadline` (or Quit()); the
    // simulated clock stops there. For runs of a set length and for tests.
    void RunUntil(TimePoint deadline);

protected:
    using Nanos = std::chrono::nanoseconds;
    // Longest real time between two looks at the watched descriptors.
    static constexpr Nanos kLookInterval = std::chrono::milliseconds(10);

    // The watches to poll, with the watch id of each entry.
    struct PollSet {
        std::vector<pollfd> fds;
        std::vector<int> ids;
    };

    // The loop's own monotonic time base and the wall-clock conversions
    // (MonoNow, WallToMono) come from the loop that runs on them.
    TimePoint WallNow() const final { return clock().Now(); }
    // Sleeps until `until` (monotonic) or until a watched descriptor or a
    // posted call is ready; poll() results are left in `set`.
    virtual void SleepUntil(Nanos until, PollSet& set) = 0;
    // Wakes a SleepUntil in progress (Post and EndRealWork, from any thread).
    void Wake();
    void RealWorkEnded() override { Wake(); }

    bool AnyWatchWants(short events) const { return (watchesWant_ & events) != 0; }
    // Whether a look at the descriptors without waiting can be worth its
    // system call now (see above).
    bool LookDue() const;
    // Calls posted and not yet run (thread-safe).
    bool HasPosted() const { return !posted_.Empty(); }
    // Waits in real time, at most `timeout` (Nanos::max(): no limit), for the
    // descriptors in `set` or a Wake. Results are left in `set` (all zero when
    // none was ready); returns whether a descriptor or a wake came.
    bool PollReal(PollSet& set, Nanos timeout);

private:
    struct Watch {
        int fd;
        short events;
        FdHandler handler;
    };

    // One round: everything ready now, or a sleep until something is (at
    // most until `deadline`) and then that.
    void RunOnce(Nanos deadline);
    bool DispatchReady();
    bool DispatchPolled(const PollSet& set);
    // The watches to poll, made afresh only after they changed; every
    // result of the last poll cleared.
    PollSet& WatchedFds();
    // After a poll: when it was, and whether it found a descriptor ready.
    void NoteLook(bool found);

    TimerTable timers_{*this};
    std::map<int, Watch> watches_;
    int nextWatchId_ = 1;
    // Kept from step to step, so that a step allocates nothing.
    PollSet pollSet_;
    bool watchesChanged_ = true;
    short watchesWant_ = 0;  // the events of every watch together
    Nanos lastLook_ = Nanos::min();  // real monotonic time of the last poll
    bool lookAgain_ = true;
    PostedCalls posted_;
    int wakeFd_ = -1;
};

}  // namespace sked
