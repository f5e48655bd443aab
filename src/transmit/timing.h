// The station's waits: fast-timer ticks for Morse, one-second ticks for idle
// fill and the transmitter's tail. Every wait sleeps on the event loop and
// handles what arrives meanwhile (ticks, operator commands, sockets), so the
// station stays live in the middle of a transmission.
#pragma once

#include <chrono>
#include <functional>

#include "platform/event_loop.h"
#include "transmit/station_state.h"

namespace sked {

// Timer ids on the loop.
inline constexpr int kSecondTimer = 5;
inline constexpr int kFastTimer = 6;

// The fast timer's period. A dot is 2 ticks and "PARIS " 90 ticks, so 34 ms
// sends Morse at 19.6 words per minute, just under the 20 that automatic
// identification may not exceed.
inline constexpr std::chrono::milliseconds kFastTimerPeriod{34};

class Timing {
public:
    // `noTimer` runs when the loop has no timer left to give (the station
    // cannot go on without one).
    Timing(EventLoop& loop, StationState& state, std::function<void()> noTimer);

    EventLoop& loop() const { return loop_; }
    // Dispatches everything ready now; never waits.
    void PumpMessages() { loop_.PumpMessages(); }

    void StartSecondTimer();
    void StopSecondTimer();
    void StartFastTimer();
    void StopFastTimer();
    // The timers' ticks, from the loop's timer handler.
    void OnSecondTick() { state_.secondTicks += 1; }
    void OnFastTick() { state_.milliTicks += 1; }

    // Waits for `ticks` ticks of the fast timer; without a running fast
    // timer it waits the same time on the clock.
    void WaitTicks(int ticks);
    // Resets the second count and waits until it reaches `seconds` (the wait
    // lasts between seconds-1 and seconds).
    void WaitSeconds(int seconds);
    // Waits until the second count reaches `count`.
    void WaitForSecondTicks(int count);

private:
    // Waits until `count` reaches `target`, woken by the timer that advances
    // it; without that timer running, until `fallback` on the clock.
    void WaitForCount(const int& count, int target, int timerId, TimePoint fallback);

    EventLoop& loop_;
    StationState& state_;
    std::function<void()> noTimer_;
};

}  // namespace sked
