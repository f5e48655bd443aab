// The loops: simulated timers, real work at real speed, the poll loop woken by calls from another thread.
#include <map>
#include <numeric>
#include <optional>
#include <string>
#include <thread>
#include <vector>

#include <fcntl.h>
#include <poll.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include "platform/poll_event_loop.h"
#include "platform/simulated_event_loop.h"
#include "support/station_fixture.h"

namespace sked {
namespace {

using namespace std::chrono;
using test::LocalTimePoint;
using Times = std::vector<TimePoint>;

TEST(SimulatedLoop, TimersFireAtTheirTimesAndTheClockJumpsFromOneToTheNext) {
    const TimePoint start = LocalTimePoint("2026-01-01T12:00:00") + 250ms;
    SimulatedEventLoop loop(start);
    std::map<char, Times> fired;
    auto note = [&](char which) { return [&fired, &loop, which] { fired[which].push_back(loop.clock().Now()); }; };
    Timer wall(loop, note('w')), fast(loop, note('f')), once(loop, note('o')), past(loop, note('p'));
    Timer zero(loop, note('z')), selfStopping(loop, [&] { note('s')(); selfStopping.Stop(); });
    std::optional<Timer> doomed(std::in_place, loop, note('d'));
    ASSERT_TRUE(wall.Every(1s, EventLoop::Alignment::WallSecond) && fast.Every(34ms) && selfStopping.Every(100ms));
    once.After(500ms);
    past.At(start - 1h);  // due already: at once
    doomed->After(100ms);
    doomed.reset();  // gone with its owner
    EXPECT_FALSE(zero.Every(0ms) || zero.Running());  // it would fire without end
    const TimePoint end = start + 1800ms;
    loop.RunUntil(end);
    EXPECT_EQ(loop.clock().Now(), end);
    // One-second ticks fall on the wall clock's whole seconds.
    EXPECT_EQ(fired['w'], (Times{LocalTimePoint("2026-01-01T12:00:01"), LocalTimePoint("2026-01-01T12:00:02")}));
    ASSERT_EQ(fired['f'].size(), 1800u / 34u);
    for (std::size_t i = 0; i < fired['f'].size(); ++i) EXPECT_EQ(fired['f'][i], start + 34ms * (i + 1));
    EXPECT_EQ(fired['o'], Times{start + 500ms});
    EXPECT_EQ(fired['p'], Times{start});
    EXPECT_EQ(fired['s'], Times{start + 100ms});
    EXPECT_FALSE(fired.contains('d') || fired.contains('z'));
    EXPECT_TRUE(!once.Running() && !selfStopping.Running() && fast.Running());

    // Late (the clock moved on by hand): a periodic timer fires once, not once per missed period.
    fired.clear();
    const TimePoint late = end + 10s;
    loop.AdvanceTo(late);
    loop.RunUntil(late + 50ms);
    EXPECT_EQ(fired['f'], (Times{late, late + 34ms}));
    EXPECT_EQ(fired['w'], Times{late});
}

// While real work is under way (a name looked up) the clock runs at real speed: the answer beats a timer 30 s ahead.
TEST(SimulatedLoop, TimeRunsAtRealSpeedWhileRealWorkIsUnderWay) {
    const TimePoint start = LocalTimePoint("2026-01-01T12:00:00");
    SimulatedEventLoop loop(start);
    bool laterPassed = false, answeredInTime = false;
    RealWorkScope lookup(loop);
    std::thread worker;
    Timer later(loop, [&] { laterPassed = true; }), ask(loop, [&] {
        worker = std::thread([&] { loop.Post([&] { answeredInTime = !laterPassed; lookup.Release(); }); });
    });
    later.After(30s);
    ask.After(1ms);
    loop.RunUntil(start + 1min);  // nothing under way once answered: straight on
    worker.join();
    EXPECT_TRUE(answeredInTime && laterPassed && !loop.RealWorkUnderWay());
}

// On the simulated clock the descriptors are looked at seldom, yet what is ready is handled at once, all of it:
// input waiting at the start, and a descriptor watched later.
TEST(SimulatedLoop, ReadyDescriptorsAreHandledAtOnceThoughLookedAtSeldom) {
    const TimePoint start = LocalTimePoint("2026-01-01T12:00:00");
    SimulatedEventLoop loop(start);
    int early[2], late[2];
    ASSERT_TRUE(::pipe2(early, O_NONBLOCK) == 0 && ::pipe2(late, O_NONBLOCK) == 0);
    ASSERT_TRUE(::write(early[1], "abc", 3) == 3 && ::write(late[1], "d", 1) == 1);
    std::string read;
    Times at;
    auto reader = [&](int fd) {  // one byte a call
        return [&, fd](short) {
            char c;
            if (::read(fd, &c, 1) == 1) read += c, at.push_back(loop.clock().Now());
        };
    };
    loop.WatchFd(early[0], POLLIN, reader(early[0]));
    Timer tick(loop, [] {}), watchLate(loop, [&] { loop.WatchFd(late[0], POLLIN, reader(late[0])); });
    ASSERT_TRUE(tick.Every(1s));
    watchLate.After(1h);
    loop.RunUntil(start + 24h);
    EXPECT_EQ(read, "abcd");
    EXPECT_EQ(at, (Times{start, start, start, start + 1h}));
    for (int fd : {early[0], early[1], late[0], late[1]}) ::close(fd);
}

// Calls posted from another thread wake the poll loop's wait and all run, once, in order (timers: tcp_mirror_test).
TEST(PollLoop, CallsPostedFromAnotherThreadWakeTheWaitAndRunInOrder) {
    PollEventLoop loop;
    std::vector<int> ran, expected(20000);
    std::iota(expected.begin(), expected.end(), 0);
    std::thread poster;
    Timer tick(loop, [&] {  // the loop waits for the deadline from here on
        poster = std::thread([&] {
            for (int i : expected) loop.Post([&ran, i] { ran.push_back(i); });
            loop.Post([&] { loop.Quit(); });
        });
    });
    tick.After(1ms);
    const TimePoint deadline = loop.clock().Now() + 10s;
    loop.RunUntil(deadline);
    poster.join();
    EXPECT_TRUE(ran == expected && loop.clock().Now() < deadline) << ran.size() << " run";
}

}  // namespace
}  // namespace sked
