// The window tests' main (one QApplication for all); the loop on Qt's timers and notifiers (real clock); its boxes.
#include <chrono>
#include <clocale>
#include <cstdlib>
#include <thread>
#include <vector>

#include <poll.h>
#include <unistd.h>

#include <QApplication>
#include <QMessageBox>
#include <gtest/gtest.h>

#include "gui/qt_event_loop.h"
#include "gui/qt_message_box.h"
#include "gui/timer_wake.h"

int main(int argc, char** argv) {
    ::setenv("QT_QPA_PLATFORM", "offscreen", 0);  // also where the tests are listed at build time
    QApplication app(argc, argv);
    std::setlocale(LC_ALL, "C");  // Qt took the environment's; the station's texts are compared as written
    ::testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}

namespace sked {
namespace {

using namespace std::chrono;

TEST(QtEventLoop, TimersWallSecondTicksPostedCallsAndWatchesRunFromQtsLoopUntilQuit) {
    QtEventLoop loop;
    const auto start = steady_clock::now();
    std::vector<steady_clock::duration> once, every;
    Timer single(loop, [&] { once.push_back(steady_clock::now() - start); }), periodic(loop, [&] {
        every.push_back(steady_clock::now() - start);
        if (every.size() == 3) periodic.Stop();
    });
    single.At(loop.clock().Now() + 50ms);
    ASSERT_TRUE(periodic.Every(20ms));
    Timer(loop, [] { ADD_FAILURE() << "a removed timer ran"; }).After(10ms);
    // One-second ticks fall on the wall clock's whole seconds.
    std::vector<TimePoint> ticks;
    Timer wall(loop, [&] { ticks.push_back(loop.clock().Now()); });
    ASSERT_TRUE(wall.Every(1s, EventLoop::Alignment::WallSecond));
    // Watches are level-triggered for the events asked until removed, from their own handler too.
    int fds[2];
    ASSERT_EQ(::pipe(fds), 0);
    ASSERT_EQ(::write(fds[1], "abc", 3), 3);
    std::string read;
    int in = 0, out = 0, writable = 0;
    in = loop.WatchFd(fds[0], POLLIN, [&](short revents) {
        char c;
        if ((revents & POLLIN) && ::read(fds[0], &c, 1) == 1) read += c;  // one byte a call
        if (read.size() == 2) loop.RemoveWatch(in);
    });
    out = loop.WatchFd(fds[1], 0, [&](short revents) {
        writable += (revents & POLLOUT) != 0;
        loop.ModifyWatch(out, 0);
    });
    Timer on(loop, [&] { loop.ModifyWatch(out, POLLOUT); });  // asked only from here on
    on.After(30ms);
    // Calls posted from another thread run in order on the loop's thread.
    std::vector<std::pair<int, std::thread::id>> ran;
    std::thread other([&] {
        for (int i = 0; i < 3; ++i) loop.Post([&, i] { ran.emplace_back(i, std::this_thread::get_id()); });
    });
    // Quits once everything has had its turn and the removed timer and watch had time to run wrongly.
    Timer end(loop, [&] {
        const auto now = steady_clock::now() - start;
        if ((now > 150ms && every.size() == 3 && ran.size() == 3 && writable == 1 && ticks.size() == 2) || now > 10s)
            loop.Quit();
    });
    end.Every(10ms);
    loop.Run();
    other.join();

    EXPECT_TRUE(once.size() == 1 && once[0] >= 50ms);
    EXPECT_TRUE(every.size() == 3 && every[0] >= 20ms && every[2] >= 60ms);
    EXPECT_FALSE(single.Running() || periodic.Running());
    ASSERT_EQ(ticks.size(), 2u);
    for (TimePoint t : ticks) EXPECT_LT(t - floor<seconds>(t), 100ms);
    EXPECT_EQ(floor<seconds>(ticks[1]) - floor<seconds>(ticks[0]), 1s);
    const auto me = std::this_thread::get_id();
    EXPECT_EQ(ran, (decltype(ran){{0, me}, {1, me}, {2, me}}));
    EXPECT_TRUE(read == "ab" && writable == 1) << read << writable;
    loop.RemoveWatch(out);
    for (int fd : fds) ::close(fd);
    loop.Run();  // quit already: returns at once
}

// Where Qt's loop is glib's (unless QT_NO_GLIB), the timers wake from a glib source; else from a Qt timer. Either
// way the wake comes when the earliest is due, not before, and follows it when it moves.
TEST(QtEventLoop, TheTimersWakeWhenTheEarliestIsDueOnGlibOrOnAQtTimer) {
    const auto start = steady_clock::now();
    const auto since = [&] { return steady_clock::now() - start; };
    TimerWake::Nanos due = duration_cast<TimerWake::Nanos>((start + 500ms).time_since_epoch());
    std::vector<steady_clock::duration> woken;
    TimerWake wake([&] { return due; }, [&] {
        if (steady_clock::now().time_since_epoch() < due) return;  // early: nothing due yet
        woken.push_back(since());
        due = woken.size() == 1 ? duration_cast<TimerWake::Nanos>((steady_clock::now() + 30ms).time_since_epoch())
                                : TimerWake::Nanos::max();
    });
    EXPECT_EQ(wake.OnGlib(), std::getenv("QT_NO_GLIB") == nullptr);
    due = duration_cast<TimerWake::Nanos>((start + 40ms).time_since_epoch());  // moved sooner
    wake.Changed();
    while (woken.size() < 2 && since() < 5s) QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents);
    ASSERT_EQ(woken.size(), 2u);
    EXPECT_TRUE(woken[0] >= 40ms && woken[0] < 400ms && woken[1] >= woken[0] + 30ms);
}

TEST(QtMessageBox, ABoxIsAPlainWindowAndShowReturnsAtOnce) {
    QtMessageBox().Show("Skedcast", "Cannot open COM2", BoxIcon::Stop);
    QMessageBox* box = nullptr;
    for (QWidget* widget : QApplication::topLevelWidgets())
        if (auto* b = qobject_cast<QMessageBox*>(widget); b && b->text() == "Cannot open COM2") box = b;
    ASSERT_NE(box, nullptr);
    EXPECT_TRUE(box->isVisible() && box->windowModality() == Qt::NonModal && box->windowTitle() == "Skedcast");
    box->close();
}

}  // namespace
}  // namespace sked
