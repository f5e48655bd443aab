// The one-second dispatcher and the program's timers: the clock, the hourly
// identification count and the queue step that sends the head entry when it
// falls due; the fast timer that paces Morse; the waits on both.
#pragma once

#include <chrono>
#include <ctime>
#include <string>

namespace sked {

class CSchedulerDlg;

// Timer commands and timer ids of OnTimer.
enum TimerCommand : int {
    kStartSecondTimer = 0,
    kStopSecondTimer = 3,
    kSecondTimer = 5,
    kFastTimer = 6,
    kStartFastTimer = 7,
    kStopFastTimer = 8,
};

// The fast timer's period. A dot is 2 ticks and "PARIS " 90 ticks, so 34 ms
// sends Morse at 19.6 words per minute, just under the 20 that automatic
// identification may not exceed.
inline constexpr std::chrono::milliseconds kFastTimerPeriod{34};

class Dispatcher {
public:
    explicit Dispatcher(CSchedulerDlg& dlg) : dlg_(dlg) {}

    void OnTimer(int number);
    void QueueStep(std::time_t now);

    // The head of the queue goes out at the next tick (or at this one): it is
    // due and automatic sending is on, or Send now was pressed. Read from the
    // queue as it is at this moment.
    bool NextTransmissionDue() const;
    // After a transmission: the transmitter stays keyed when the next entry
    // is already due, otherwise it is released.
    void ReleaseUnlessNextIsDue();

    // Waits for `ticks` ticks of the fast timer, pumping messages. Without a
    // running fast timer it waits the same time on the clock.
    void WaitTicks(int ticks);
    // Resets secondTicks and waits until it reaches `seconds`, pumping
    // messages (the wait lasts between seconds-1 and seconds).
    void WaitSeconds(int seconds);
    // Starts the fast timer and sends the lead-in of a Morse transmission.
    void MorseLeadIn();
    // Waits, pumping messages, until secondTicks reaches `count`.
    void WaitForSecondTicks(int count);

private:
    void OneSecondTick();
    void FatalTimerStop();
    void SendEntry(const std::string& name);
    // A key held over for an entry that is no longer due (a command ran, the
    // queue emptied, the scheduler was disabled) is released.
    void ReleaseHeldKey();

    CSchedulerDlg& dlg_;
};

}  // namespace sked
