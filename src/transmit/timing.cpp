#include "transmit/timing.h"

namespace sked {

Timing::Timing(EventLoop& loop, StationState& state, std::function<void()> noTimer)
    : loop_(loop), state_(state), noTimer_(std::move(noTimer)) {}

void Timing::StartSecondTimer() {
    if (!loop_.StartTimer(kSecondTimer, std::chrono::seconds(1), EventLoop::Alignment::WallSecond) && noTimer_)
        noTimer_();
}

void Timing::StopSecondTimer() { loop_.StopTimer(kSecondTimer); }

void Timing::StartFastTimer() {
    if (!loop_.StartTimer(kFastTimer, kFastTimerPeriod) && noTimer_) noTimer_();
}

void Timing::StopFastTimer() { loop_.StopTimer(kFastTimer); }

void Timing::WaitForCount(const int& count, int target, int timerId, TimePoint fallback) {
    while (count < target) {
        if (loop_.TimerRunning(timerId)) {
            loop_.WaitForEvent(EventLoop::Forever);
        } else {
            if (loop_.clock().Now() >= fallback) break;
            loop_.WaitForEvent(fallback);
        }
    }
}

void Timing::WaitTicks(int ticks) {
    state_.milliTicks = 0;
    WaitForCount(state_.milliTicks, ticks, kFastTimer, loop_.clock().Now() + kFastTimerPeriod * ticks);
}

void Timing::WaitSeconds(int seconds) {
    state_.secondTicks = 0;
    WaitForSecondTicks(seconds);
}

void Timing::WaitForSecondTicks(int count) {
    WaitForCount(state_.secondTicks, count, kSecondTimer,
                 loop_.clock().Now() + std::chrono::seconds(count - state_.secondTicks));
}

}  // namespace sked
