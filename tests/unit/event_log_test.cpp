#include <csignal>
#include <filesystem>
#include <functional>
#include <string>
#include <vector>

#include <sys/resource.h>

#include <gtest/gtest.h>

#include "app/event_log.h"
#include "platform/simulated_event_loop.h"
#include "support/station_fixture.h"

namespace sked {
namespace {

using test::LocalTimePoint;
using test::ReadFile;
using test::ReadLines;
using Lines = std::vector<std::string>;

class EventLogTest : public ::testing::Test {
protected:
    void SetUp() override { std::filesystem::create_directory("log"); }
    test::ScratchDirectory dir;
    SimulatedClock clock{LocalTimePoint("2026-01-01T08:04:07")};
    EditControl status{1030};
    EventLog log{clock, status};
};

// Each line in the file of its day, cut to fit 256 bytes with its line end and a terminating zero.
TEST_F(EventLogTest, LinesGoIntoTheFileOfTheirDayInOrder) {
    log.LogEvent("one");
    log.LogEvent("two");
    log.LogEvent(std::string(400, 'x'));
    EXPECT_EQ(ReadLines("log/20260101.log"),
              (Lines{"08:04:07 > one", "08:04:07 > two", "08:04:07 > " + std::string(243, 'x')}));
    clock.AdvanceTo(LocalTimePoint("2026-03-05T23:59:59"));
    log.LogEvent("last of the day");
    clock.AdvanceTo(LocalTimePoint("2026-03-06T00:00:00"));
    log.LogEvent("first of the next");
    EXPECT_EQ(ReadLines("log/20260305.log"), Lines{"23:59:59 > last of the day"});
    EXPECT_EQ(ReadLines("log/20260306.log"), Lines{"00:00:00 > first of the next"});
}

// Lost lines are counted and told once writable again; shown once per outage (a missing folder at every line).
TEST_F(EventLogTest, LostLinesAreReportedAndCountedWhenTheLogIsWritableAgain) {
    const std::string file = "log/20260101.log";
    const struct {
        const char* name;
        std::function<void()> breakLog, mendLog;
        std::string shown;
        bool shownAtEveryLine;
    } cases[] = {
        {"full disk",
         [&] {
             std::filesystem::remove(file);
             std::filesystem::create_symlink("/dev/full", file);  // every write fails with ENOSPC
         },
         [&] { std::filesystem::remove(file); },
         "Cannot write LOG file log/20260101.log : No space left on device", false},
        {"missing log folder", [] { std::filesystem::remove_all("log"); },
         [] { std::filesystem::create_directory("log"); }, EventLog::kCannotOpen, true},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        std::filesystem::remove_all("log");
        std::filesystem::create_directory("log");
        log.LogEvent("before");
        for (int outage = 0; outage < 2; ++outage) {
            c.breakLog();
            status.SetText("");
            log.LogEvent("lost 1");
            EXPECT_EQ(status.Text(), c.shown);
            status.SetText("CmEnable : Scheduler ENABLED");
            log.LogEvent("lost 2");
            log.LogEvent("lost 3");
            EXPECT_EQ(status.Text(), c.shownAtEveryLine ? c.shown : "CmEnable : Scheduler ENABLED");
            c.mendLog();
            log.LogEvent("back");
        }
        log.LogEvent("on");
        EXPECT_EQ(ReadLines(file), (Lines{"08:04:07 > EventLog : LOG file writable again after 3 lost lines",
                                          "08:04:07 > back", "08:04:07 > on"}))
            << "the earlier lines went with the folder or the link; no second note once writable";
    }
}

// A disk that fills in the middle of a line: the part written is taken back, the log holds whole lines.
TEST_F(EventLogTest, LineCutShortByAFailingWriteIsTakenBack) {
    log.LogEvent("first");
    const std::string file = "log/20260101.log";
    rlimit saved{};
    ASSERT_EQ(getrlimit(RLIMIT_FSIZE, &saved), 0);
    auto previous = std::signal(SIGXFSZ, SIG_IGN);
    rlimit small = saved;
    small.rlim_cur = std::filesystem::file_size(file) + 5;  // room for "08:04" only
    ASSERT_EQ(setrlimit(RLIMIT_FSIZE, &small), 0);
    log.LogEvent("cut short");
    setrlimit(RLIMIT_FSIZE, &saved);
    std::signal(SIGXFSZ, previous);
    EXPECT_EQ(status.Text(), "Cannot write LOG file log/20260101.log : File too large");
    EXPECT_EQ(ReadFile(file), "08:04:07 > first\n");
    log.LogEvent("next");
    EXPECT_EQ(ReadLines(file), (Lines{"08:04:07 > first",
                                      "08:04:07 > EventLog : LOG file writable again after 1 lost lines",
                                      "08:04:07 > next"}));
}

}  // namespace
}  // namespace sked
