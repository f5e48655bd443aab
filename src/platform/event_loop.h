// The station's one loop: timers, calls posted from other threads and
// file-descriptor watches, each handled by a callback that does its work and
// returns. Nothing the station does waits inside a callback: a transmission
// is a state machine that arms a timer for the moment its device can take the
// next character and returns to the loop, so operator commands, sockets and
// ticks are handled between any two of its steps.
//
// Three implementations: the poll() loop on the real clock, the simulated
// clock (time jumps to the next timer), and the window's Qt loop.
#pragma once

#include <atomic>
#include <chrono>
#include <functional>
#include <utility>

#include "platform/clock.h"

namespace sked {

class EventLoop {
public:
    using Callback = std::function<void()>;
    using FdHandler = std::function<void(short revents)>;

    enum class Alignment {
        None,        // first tick one period after the start
        WallSecond,  // ticks fall on the wall clock's second boundaries
    };

    static constexpr TimePoint Forever = TimePoint::max();

    virtual ~EventLoop() = default;

    virtual const Clock& clock() const = 0;

    // A timer: `call` runs each time it falls due while it is armed. Use the
    // Timer class below rather than these.
    virtual int AddTimer(Callback call) = 0;
    virtual void RemoveTimer(int id) = 0;
    // Once, at `when` on the loop's clock (at once when that has passed).
    virtual void ArmAt(int id, TimePoint when) = 0;
    // Every `period` from now; false when no such timer can be had.
    virtual bool ArmEvery(int id, Duration period, Alignment alignment) = 0;
    virtual void Disarm(int id) = 0;
    virtual bool Armed(int id) const = 0;

    // Thread-safe: `call` runs on the loop's thread, in the order posted.
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
    virtual int WatchFd(int fd, short events, FdHandler handler) = 0;
    virtual void ModifyWatch(int watchId, short events) = 0;
    virtual void RemoveWatch(int watchId) = 0;

    // Handles events until Quit().
    virtual void Run() = 0;
    virtual void Quit() { quitRequested_ = true; }
    bool QuitRequested() const { return quitRequested_; }

protected:
    // Called by EndRealWork, from whichever thread ended it.
    virtual void RealWorkEnded() {}

private:
    bool quitRequested_ = false;
    std::atomic<int> realWork_{0};
};

// A timer of the loop, owned by the part that uses it and gone with it.
class Timer {
public:
    Timer(EventLoop& loop, EventLoop::Callback call) : loop_(loop), id_(loop.AddTimer(std::move(call))) {}
    ~Timer() { loop_.RemoveTimer(id_); }
    Timer(const Timer&) = delete;
    Timer& operator=(const Timer&) = delete;

    void At(TimePoint when) { loop_.ArmAt(id_, when); }
    void After(Duration delay) { At(loop_.clock().Now() + delay); }
    bool Every(Duration period, EventLoop::Alignment alignment = EventLoop::Alignment::None) {
        return loop_.ArmEvery(id_, period, alignment);
    }
    void Stop() { loop_.Disarm(id_); }
    bool Running() const { return loop_.Armed(id_); }

private:
    EventLoop& loop_;
    int id_;
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
