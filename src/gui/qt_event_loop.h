// The window's event loop: the station's timers, posted calls and descriptor
// watches carried by Qt's own event dispatcher, so that a transmission that
// pumps messages keeps the window painted and its buttons live, and a modal
// box (which runs Qt's loop) keeps the station ticking.
//
// Needs a QCoreApplication (QApplication) for its whole life, on the thread
// that created it.
#pragma once

#include <chrono>
#include <cstdint>
#include <map>
#include <memory>
#include <set>
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

    bool StartTimer(int id, std::chrono::milliseconds period, Alignment alignment = Alignment::None) override;
    void StopTimer(int id) override;
    bool TimerRunning(int id) const override;
    std::chrono::milliseconds TimerPeriod(int id) const override;

    void Post(Callback call) override;

    int WatchFd(int fd, short events, FdHandler handler) override;
    void ModifyWatch(int watchId, short events) override;
    void RemoveWatch(int watchId) override;

    void PumpMessages() override;
    void WaitForEvent(TimePoint deadline) override;

    // How many times a wait found nothing to do and went to sleep; tests
    // read it to see that a wait sleeps instead of spinning.
    std::uint64_t sleeps() const { return sleeps_; }

private:
    class Agent;
    using Steady = std::chrono::steady_clock;

    struct Timer {
        std::chrono::milliseconds period;
        Alignment alignment;
        Steady::time_point due;
        int qtTimer = 0;
    };
    struct Watch {
        int fd;
        short events;
        FdHandler handler;
        std::unique_ptr<QSocketNotifier> notifiers[3];  // read, write, exception
        bool dispatching = false;
    };

    // Called by the agent.
    void QtTimerFired(int qtTimer);
    void NotifierFired(int watchId);

    void ArmTimer(int id, Timer& timer);
    Steady::time_point NextDue(const Timer& timer, Steady::time_point after) const;
    void EnableNotifiers(Watch& watch, bool on);
    void ReleaseRemovedWatches();

    RealClock clock_;
    std::unique_ptr<Agent> agent_;
    std::map<int, Timer> timers_;
    std::map<int, int> qtTimers_;  // Qt timer id -> station timer id
    std::set<int> deadlines_;      // Qt timer ids of waits in progress
    std::map<int, Watch> watches_;
    int nextWatchId_ = 1;
    int fdDispatchDepth_ = 0;
    std::vector<Watch> removed_;  // notifiers whose signal may still be on the stack
    int waitDepth_ = 0;
    std::uint64_t sleeps_ = 0;
    PostedCalls posted_;
};

}  // namespace sked
