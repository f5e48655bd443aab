#include <atomic>
#include <condition_variable>
#include <functional>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include <gtest/gtest.h>
#include <unistd.h>

#include "platform/poll_event_loop.h"
#include "platform/simulated_event_loop.h"
#include "support/station_fixture.h"

namespace sked {
namespace {

using namespace std::chrono;
using test::LocalTimePoint;

TEST(SimulatedLoop, TimersFireAtTheirPeriodsAndTimeJumpsToThemOrToTheDeadline) {
    TimePoint start = LocalTimePoint("2026-01-01T12:00:00") + milliseconds(250);
    SimulatedEventLoop loop(start);
    std::vector<std::pair<int, TimePoint>> ticks;
    loop.SetTimerHandler([&](int id) { ticks.emplace_back(id, loop.clock().Now()); });
    ASSERT_TRUE(loop.StartTimer(5, seconds(1), EventLoop::Alignment::WallSecond));
    ASSERT_TRUE(loop.StartTimer(6, milliseconds(34)));
    for (int i = 0; i < 100; ++i) loop.PumpMessages();  // never waits
    EXPECT_EQ(loop.clock().Now(), start);
    TimePoint end = start + milliseconds(1800);
    while (loop.clock().Now() < end) loop.WaitForEvent(end);

    std::vector<TimePoint> seconds5, fast;
    for (auto& [id, t] : ticks) (id == 5 ? seconds5 : fast).push_back(t);
    // One-second ticks fall on the wall clock's whole seconds.
    EXPECT_EQ(seconds5,
              (std::vector<TimePoint>{LocalTimePoint("2026-01-01T12:00:01"), LocalTimePoint("2026-01-01T12:00:02")}));
    ASSERT_EQ(fast.size(), 1800u / 34u);
    for (std::size_t i = 0; i < fast.size(); ++i) EXPECT_EQ(fast[i], start + milliseconds(34) * (i + 1));
    EXPECT_EQ(loop.clock().Now(), end);

    // A timer stopped by its own handler no longer fires; one started again counts afresh.
    loop.StopTimer(6);
    loop.SetTimerHandler([&](int id) {
        ticks.emplace_back(id, loop.clock().Now());
        loop.StopTimer(id);
    });
    loop.StartTimer(5, milliseconds(100));
    ticks.clear();
    loop.WaitForEvent(EventLoop::Forever);
    EXPECT_FALSE(loop.TimerRunning(5));
    loop.StartTimer(9, seconds(2));
    loop.WaitForEvent(EventLoop::Forever);
    EXPECT_EQ(ticks, (std::vector<std::pair<int, TimePoint>>{{5, end + milliseconds(100)},
                                                               {9, end + milliseconds(2100)}}));
    EXPECT_FALSE(loop.StartTimer(7, milliseconds(0)) || loop.TimerRunning(7));  // it would fire without end
}

TEST(SimulatedLoop, FdHandlerIsNotReenteredWhileItPumps) {
    SimulatedEventLoop loop(LocalTimePoint("2026-01-01T12:00:00"));
    int fds[2];
    ASSERT_EQ(::pipe(fds), 0);
    ASSERT_EQ(::write(fds[1], "x", 1), 1);
    int calls = 0;
    loop.WatchFd(fds[0], POLLIN, [&](short) {
        ++calls;
        loop.PumpMessages();  // still readable: must not come back in here
        char c;
        ASSERT_EQ(::read(fds[0], &c, 1), 1);
    });
    loop.PumpMessages();
    EXPECT_EQ(calls, 1);
    ::close(fds[0]);
    ::close(fds[1]);
}

// A typed line that sends a file pumps until it is out: the "cancel" typed next must act meanwhile.
TEST(SimulatedLoop, PostedCallsRunInOrderInsideOneThatPumpsButOnlyThosePostedBeforeTheDispatch) {
    SimulatedEventLoop loop(LocalTimePoint("2026-01-01T12:00:00"));
    std::vector<std::string> order;
    bool cancelled = false;
    loop.Post([&] {
        order.push_back("send begins");
        for (int i = 0; i < 10 && !cancelled; ++i) loop.PumpMessages();
        order.push_back("send ends");
    });
    loop.Post([&] {
        order.push_back("cancel");
        cancelled = true;
    });
    loop.Post([&] { order.push_back("status"); });
    loop.PumpMessages();
    EXPECT_EQ(order, (std::vector<std::string>{"send begins", "cancel", "status", "send ends"}));

    int runs = 0, followers = 0;
    std::function<void()> again = [&] {
        if (++runs < 100) loop.Post(again);  // bounded, so that a loop shows as a count rather than a hang
        loop.Post([&] { ++followers; });
    };
    loop.Post(again);
    for (int dispatch = 1; dispatch <= 3; ++dispatch) {
        loop.PumpMessages();
        EXPECT_EQ(runs, dispatch);
        EXPECT_EQ(followers, dispatch - 1);
    }
}

TEST(SimulatedLoop, TimeRunsAtRealSpeedWhileRealWorkIsUnderWay) {
    // A name lookup on another thread, asked for at a timer tick: its answer
    // must come before a timer an hour ahead, however late the thread runs.
    const TimePoint start = LocalTimePoint("2026-01-01T12:00:00");
    SimulatedEventLoop loop(start);
    bool hourTimer = false;
    std::mutex mutex;
    std::condition_variable asked;
    bool lookupAsked = false;
    loop.SetTimerHandler([&](int id) {
        if (id == 1) hourTimer = true;
        if (id != 2) return;
        loop.StopTimer(2);
        std::lock_guard<std::mutex> lock(mutex);
        lookupAsked = true;
        asked.notify_all();
    });
    loop.StartTimer(1, hours(1));
    loop.StartTimer(2, milliseconds(1));
    RealWorkScope lookup(loop);
    EXPECT_TRUE(loop.RealWorkUnderWay());
    TimePoint answered{};
    std::thread worker([&] {
        std::unique_lock<std::mutex> lock(mutex);
        asked.wait(lock, [&] { return lookupAsked; });
        loop.Post([&] {
            answered = loop.clock().Now();
            lookup.Release();
        });
    });
    while (answered == TimePoint{}) loop.WaitForEvent(EventLoop::Forever);
    worker.join();
    EXPECT_FALSE(hourTimer);
    EXPECT_GT(answered, start);
    EXPECT_LT(answered, start + minutes(1));
    EXPECT_FALSE(loop.RealWorkUnderWay());
    loop.WaitForEvent(EventLoop::Forever);  // nothing under way: straight to the timer
    EXPECT_TRUE(hourTimer);
    EXPECT_EQ(loop.clock().Now(), start + hours(1));

    // Timers due meanwhile still fire, at their exact times.
    std::vector<TimePoint> ticks;
    loop.SetTimerHandler([&](int) { ticks.push_back(loop.clock().Now()); });
    loop.StartTimer(2, milliseconds(3));
    RealWorkScope stuck(loop);
    while (ticks.size() < 2) loop.WaitForEvent(EventLoop::Forever);
    EXPECT_EQ(ticks, (std::vector<TimePoint>{start + hours(1) + milliseconds(3), start + hours(1) + milliseconds(6)}));
    RealWorkScope moved(std::move(stuck));
    EXPECT_TRUE(loop.RealWorkUnderWay());
    moved.Release();
    EXPECT_FALSE(loop.RealWorkUnderWay());
}

// Its timers: async_socket_test.
TEST(PollLoop, PostedCallFromAnotherThreadWakesTheWait) {
    PollEventLoop loop;
    std::atomic<bool> ran{false};
    std::thread poster([&] { loop.Post([&] { ran = true; }); });
    TimePoint deadline = loop.clock().Now() + seconds(10);
    while (!ran && loop.clock().Now() < deadline) loop.WaitForEvent(deadline);
    poster.join();
    EXPECT_TRUE(ran);
    EXPECT_LT(loop.clock().Now(), deadline);
}

}  // namespace
}  // namespace sked
