// The station's loop when it has a window: Qt owns the thread's event loop
// (it paints the window and runs its buttons), so the station's timers wake
// from Qt's loop (see TimerWake), and its posted calls and descriptor watches
// are carried by Qt's events and socket notifiers. Nothing here waits or pumps: every callback returns
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
#include "platform/timer_table.h"
#include "gui/timer_wake.h"

class QObject;
class QSocketNotifier;

namespace sked {

class QtEventLoop : public EventLoop, private TimerTable::TimeBase {
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
    using Nanos = TimerTable::Nanos;

    struct Watch {
        int fd;
        short events;
        FdHandler handler;
        std::unique_ptr<QSocketNotifier> notifiers[3];  // read, write, exception
    };

    Nanos MonoNow() const override;
    Nanos WallToMono(TimePoint wall) const override;
    TimePoint WallNow() const override { return clock_.Now(); }

    // Called by the agent.
    void NotifierFired(int watchId);

    void EnableNotifiers(Watch& watch);

    RealClock clock_;
    std::unique_ptr<Agent> agent_;
    TimerTable timers_;
    TimerWake wake_;
    std::map<int, Watch> watches_;
    int nextWatchId_ = 1;
    std::vector<Watch> removed_;  // notifiers whose signal may still be on the stack
    PostedCalls posted_;
};

}  // namespace sked
