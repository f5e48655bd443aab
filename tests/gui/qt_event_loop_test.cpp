// The window's event loop on Qt's dispatcher. It runs on the real clock by
// nature, so these tests wait real time, each a fraction of a second.
#include <atomic>
#include <chrono>
#include <thread>
#include <vector>

#include <poll.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include "gui/qt_event_loop.h"

namespace sked {
namespace {

using namespace std::chrono;
using namespace std::chrono_literals;

TEST(QtEventLoop, TimersTickByIdUntilStopped) {
    QtEventLoop loop;
    std::vector<int> ticks;
    loop.SetTimerHandler([&](int id) {
        ticks.push_back(id);
        if (id == 1 && std::count(ticks.begin(), ticks.end(), 1) == 3) loop.StopTimer(1);
    });
    ASSERT_TRUE(loop.StartTimer(1, 10ms));
    ASSERT_TRUE(loop.StartTimer(2, 25ms));
    EXPECT_FALSE(loop.StartTimer(3, 0ms));
    const auto until = loop.clock().Now() + 120ms;
    loop.WaitUntil([&] { return loop.clock().Now() >= until; }, [&] { return until; });
    EXPECT_EQ(std::count(ticks.begin(), ticks.end(), 1), 3);
    EXPECT_FALSE(loop.TimerRunning(1));
    EXPECT_GE(std::count(ticks.begin(), ticks.end(), 2), 3);
    EXPECT_EQ(loop.TimerPeriod(2), 25ms);
}

TEST(QtEventLoop, AWallSecondTickReadsTheNewSecond) {
    QtEventLoop loop;
    std::vector<TimePoint> ticks;
    loop.SetTimerHandler([&](int) { ticks.push_back(loop.clock().Now()); });
    loop.StartTimer(5, 1000ms, EventLoop::Alignment::WallSecond);
    loop.WaitUntil([&] { return !ticks.empty(); });
    const auto intoSecond = ticks[0] - floor<seconds>(ticks[0]);
    EXPECT_LT(intoSecond, 100ms);
}

TEST(QtEventLoop, PostedCallsRunInOrderOnTheLoopThreadAndAPumpingCallRunsThoseBehindIt) {
    QtEventLoop loop;
    std::vector<int> order;
    const auto loopThread = std::this_thread::get_id();
    bool onLoopThread = true;
    loop.Post([&] {
        order.push_back(1);
        // A long call (a file sent from a typed command) pumps: the next call runs inside it.
        loop.WaitUntil([&] { return order.size() >= 3; });
        order.push_back(4);
    });
    std::thread other([&] {
        loop.Post([&] {
            onLoopThread = std::this_thread::get_id() == loopThread;
            order.push_back(2);
        });
        loop.Post([&] { order.push_back(3); });
    });
    other.join();
    loop.WaitUntil([&] { return order.size() == 4; });
    EXPECT_EQ(order, (std::vector<int>{1, 2, 3, 4}));
    EXPECT_TRUE(onLoopThread);
}

TEST(QtEventLoop, AWaitSleepsUntilItsDeadlineInsteadOfSpinning) {
    QtEventLoop loop;
    int looks = 0;
    const auto started = steady_clock::now();
    const auto until = loop.clock().Now() + 80ms;
    loop.WaitUntil(
        [&] {
            ++looks;
            return loop.clock().Now() >= until;
        },
        [&] { return until; });
    EXPECT_GE(steady_clock::now() - started, 79ms);
    EXPECT_LT(looks, 10);
}

TEST(QtEventLoop, AWatchedPipeIsDispatchedWithoutReentryAndMayBeRemovedFromItsHandler) {
    QtEventLoop loop;
    int fds[2];
    ASSERT_EQ(::pipe(fds), 0);
    int calls = 0, depth = 0, deepest = 0;
    int watch = 0;
    watch = loop.WatchFd(fds[0], POLLIN, [&](short revents) {
        EXPECT_TRUE(revents & POLLIN);
        ++calls;
        deepest = std::max(deepest, ++depth);
        // Still readable while it pumps: level-triggered, yet not called again inside.
        loop.PumpMessages();
        char c;
        if (calls == 2) {
            EXPECT_EQ(::read(fds[0], &c, 1), 1);
            loop.RemoveWatch(watch);
        }
        --depth;
    });
    ASSERT_EQ(::write(fds[1], "x", 1), 1);
    const auto until = loop.clock().Now() + 60ms;
    loop.WaitUntil([&] { return loop.clock().Now() >= until; }, [&] { return until; });
    EXPECT_EQ(calls, 2);
    EXPECT_EQ(deepest, 1);
    ::close(fds[0]);
    ::close(fds[1]);
}

}  // namespace
}  // namespace sked
