// The station's loop when it has a window: Qt owns the thread's event loop
// (it paints the window and runs its buttons), so the station's timers,
// posted calls and descriptor watches are carried by Qt's own timers, events
// and socket notifiers. Nothing here waits or pumps: every callback returns
// to Qt's loop.
//
// Needs a QCoreApplication (QApplication) for its whole life, on the thread
// that created it.
#pragma once

#include <chrono>
#include <map>
#include <memory>
#include <vector>

#include "platform/event_loop.h"
#include "platform/poll_event_loop.h"
#include "platform/posted_calls.h"

class QObject;
class QSocketNotifier;

namespace sked {

class QtEventLoop : public EventLoop {
public:
    QtEventLoop();
    ~QtEventLoop() override;
    QtEventLoop(const QtEventLoop&) = delete;
    QtEventLoop& operator=(const QtEventLoop&) = delete;

    const Clock& clock() const override { return clock_; }

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

    // Qt's own loop, until Quit().
    void Run() override;
    void Quit() override;

private:
    class Agent;
    using Steady = std::chrono::steady_clock;

    struct TimerEntry {
        Callback call;
        bool armed = false;
        Duration period{};  // zero: once
        Alignment alignment = Alignment::None;
        Steady::time_point due;
        int qtTimer = 0;
    };
    struct Watch {
        int fd;
        short events;
        FdHandler handler;
        std::unique_ptr<QSocketNotifier> notifiers[3];  // read, write, exception
    };

    // Called by the agent.
    void QtTimerFired(int qtTimer);
    void NotifierFired(int watchId);

    void Schedule(int id, TimerEntry& timer);
    void Unschedule(TimerEntry& timer);
    Steady::time_point NextDue(const TimerEntry& timer, Steady::time_point after) const;
    void EnableNotifiers(Watch& watch);

    RealClock clock_;
    std::unique_ptr<Agent> agent_;
    std::map<int, TimerEntry> timers_;
    int nextTimerId_ = 1;
    std::map<int, int> qtTimers_;  // Qt timer id -> station timer id
    std::map<int, Watch> watches_;
    int nextWatchId_ = 1;
    std::vector<Watch> removed_;  // notifiers whose signal may still be on the stack
    PostedCalls posted_;
};

}  // namespace sked
