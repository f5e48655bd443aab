// The one user-interface thread's loop: timers by id, calls posted from other
// threads, file-descriptor watches, a non-waiting pump and a blocking wait.
//
// Station code never spins: every wait in the senders is written as
//   while (!done) loop.WaitForEvent(nextDeviceChange);
// which sleeps until something can be dispatched or the device's next change.
// Three implementations: the poll() loop on the real clock, the simulated
// clock (jumps to the next timer or device event), and a Qt-driven loop.
#pragma once

#include <atomic>
#include <chrono>
#include <functional>
#include <memory>
#include <utility>

#include "platform/clock.h"

namespace sked {

class EventLoop {
public:
    using Callback = std::function<void()>;
    using TimerHandler = std::function<void(int id)>;
    using FdHandler = std::function<void(short revents)>;

    enum class Alignment {
        None,        // first tick one period after the start
        WallSecond,  // ticks fall on the wall clock's second boundaries
    };

    static constexpr TimePoint Forever = TimePoint::max();

    virtual ~EventLoop() = default;

    virtual const Clock& clock() const = 0;

    // The window's OnTimer: receives the id of every timer tick.
    void SetTimerHandler(TimerHandler handler) { timerHandler_ = std::move(handler); }

    // Starts (or restarts) timer `id`. Returns false when no timer can be had.
    virtual bool StartTimer(int id, std::chrono::milliseconds period,
                            Alignment alignment = Alignment::None) = 0;
    virtual void StopTimer(int id) = 0;
    virtual bool TimerRunning(int id) const = 0;
    virtual std::chrono::milliseconds TimerPeriod(int id) const = 0;

    // Thread-safe: `call` runs on the loop's thread at its next dispatch.
    // Calls run one at a time in the order posted; a call that pumps
    // messages runs the calls posted behind it.
    virtual void Post(Callback call) = 0;

    // Work out in the real world (a host-name lookup on a worker thread, …)
    // whose outcome will arrive as a posted call. While any is under way the
    // simulated clock runs at real speed instead of jumping to the next timer,
    // so the outcome can arrive before the time it is waited for has passed.
    // Thread-safe; RealWorkScope pairs the calls.
    void BeginRealWork() { realWork_.fetch_add(1); }
    void EndRealWork() {
        realWork_.fetch_sub(1);
        RealWorkEnded();
    }
    bool RealWorkUnderWay() const { return realWork_.load() > 0; }

    // Level-triggered watch of `fd` for poll() events; returns a watch id.
    // A handler is never re-entered for its own watch: while it runs (and
    // pumps messages) its watch is not dispatched again.
    virtual int WatchFd(int fd, short events, FdHandler handler) = 0;
    virtual void ModifyWatch(int watchId, short events) = 0;
    virtual void RemoveWatch(int watchId) = 0;

    // Dispatches everything that is ready now; never waits.
    virtual void PumpMessages() = 0;

    // Sleeps until at least one event can be dispatched or `deadline` is
    // reached, then dispatches whatever is ready. Returns at once (after
    // pumping) when the deadline has passed.
    virtual void WaitForEvent(TimePoint deadline) = 0;

    // Pumps and sleeps until `done()` holds. `hint` gives the next time at
    // which `done()` may change without any event (a device's next change);
    // Forever when only events can change it.
    void WaitUntil(const std::function<bool()>& done,
                   const std::function<TimePoint()>& hint = {}) {
        while (!done()) WaitForEvent(hint ? hint() : Forever);
    }

    // The modal loop of the main window: runs until Quit().
    void Run() {
        while (!quitRequested_) WaitForEvent(Forever);
    }
    void Quit() { quitRequested_ = true; }
    bool QuitRequested() const { return quitRequested_; }

protected:
    void DispatchTimer(int id) {
        if (timerHandler_) timerHandler_(id);
    }
    // Called by EndRealWork, from whichever thread ended it.
    virtual void RealWorkEnded() {}

private:
    TimerHandler timerHandler_;
    bool quitRequested_ = false;
    std::atomic<int> realWork_{0};
};

// One piece of real-world work registered with a loop for as long as the
// scope lives (or until Release). Move-only.
class RealWorkScope {
public:
    RealWorkScope() = default;
    explicit RealWorkScope(EventLoop& loop) : loop_(&loop) { loop.BeginRealWork(); }
    ~RealWorkScope() { Release(); }
    RealWorkScope(RealWorkScope&& other) noexcept : loop_(std::exchange(other.loop_, nullptr)) {}
    RealWorkScope& operator=(RealWorkScope&& other) noexcept {
        if (this != &other) {
            Release();
            loop_ = std::exchange(other.loop_, nullptr);
        }
        return *this;
    }
    RealWorkScope(const RealWorkScope&) = delete;
    RealWorkScope& operator=(const RealWorkScope&) = delete;

    void Release() {
        if (loop_) std::exchange(loop_, nullptr)->EndRealWork();
    }
    bool Active() const { return loop_ != nullptr; }

private:
    EventLoop* loop_ = nullptr;
};

}  // namespace sked
