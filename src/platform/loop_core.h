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

namespace sked {

class LoopCore : public EventLoop {
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

    // The loop's own monotonic time base and the wall-clock conversions.
    virtual Nanos MonoNow() const = 0;
    virtual Nanos WallToMono(TimePoint wall) const = 0;
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
    struct TimerEntry {
        Callback call;
        bool armed = false;
        Nanos due{};
        Duration period{};  // zero: once
        Alignment alignment = Alignment::None;
    };
    struct Watch {
        int fd;
        short events;
        FdHandler handler;
    };

    // One round: everything ready now, or a sleep until something is (at
    // most until `deadline`) and then that.
    void RunOnce(Nanos deadline);
    bool DispatchReady();
    bool DispatchDueTimers();
    bool DispatchPolled(const PollSet& set);
    // The watches to poll, made afresh only after they changed; every
    // result of the last poll cleared.
    PollSet& WatchedFds();
    // After a poll: when it was, and whether it found a descriptor ready.
    void NoteLook(bool found);
    Nanos NextDue(const TimerEntry& timer, Nanos after) const;
    // Arms the timer at its due time / disarms it, keeping schedule_ in step.
    void Schedule(int id, TimerEntry& timer);
    void Unschedule(int id, TimerEntry& timer);
    Nanos EarliestTimer() const;

    std::map<int, TimerEntry> timers_;
    // The armed timers by due time (then id): the next one is at the front
    // without a walk over every timer the station has.
    std::vector<std::pair<Nanos, int>> schedule_;
    int nextTimerId_ = 1;
    std::map<int, Watch> watches_;
    int nextWatchId_ = 1;
    // Kept from step to step, so that a step allocates nothing.
    PollSet pollSet_;
    bool watchesChanged_ = true;
    short watchesWant_ = 0;  // the events of every watch together
    std::vector<std::pair<Nanos, int>> due_;
    Nanos lastLook_ = Nanos::min();  // real monotonic time of the last poll
    bool lookAgain_ = true;
    PostedCalls posted_;
    int wakeFd_ = -1;
};

}  // namespace sked
