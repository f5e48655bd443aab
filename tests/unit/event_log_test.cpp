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

class EventLogTest : public ::testing::Test {
protected:
    void SetUp() override { std::filesystem::create_directory("log"); }
    test::ScratchDirectory dir;
    SimulatedClock clock{LocalTimePoint("2026-01-01T08:04:07")};
    EditControl status{1030};
    EventLog log{clock, status};
};

TEST_F(EventLogTest, LineHasTheTimeStampAndTheMessage) {
    log.LogEvent("CmEnable : Scheduler ENABLED");
    auto lines = ReadLines("log/20260101.log");
    ASSERT_EQ(lines.size(), 1u);
    EXPECT_EQ(lines[0], "08:04:07 > CmEnable : Scheduler ENABLED");
}

TEST_F(EventLogTest, MidnightSplitsTheDaysAndEachLineUsesOneReading) {
    clock.AdvanceTo(LocalTimePoint("2026-03-05T23:59:59"));
    log.LogEvent("last of the day");
    clock.AdvanceTo(LocalTimePoint("2026-03-06T00:00:00"));
    log.LogEvent("first of the next");
    EXPECT_EQ(ReadLines("log/20260305.log"), std::vector<std::string>{"23:59:59 > last of the day"});
    EXPECT_EQ(ReadLines("log/20260306.log"), std::vector<std::string>{"00:00:00 > first of the next"});
}

TEST_F(EventLogTest, TwoLinesInOneSecondKeepTheirOrder) {
    log.LogEvent("one");
    log.LogEvent("two");
    EXPECT_EQ(ReadLines("log/20260101.log"), (std::vector<std::string>{"08:04:07 > one", "08:04:07 > two"}));
}

TEST_F(EventLogTest, FileNamesHaveTwoDigitMonthAndDay) {
    std::tm tm{};
    tm.tm_year = 2004 - 1900;
    tm.tm_mon = 2;
    tm.tm_mday = 5;
    EXPECT_EQ(EventLog::FileName(tm), "log/20040305.log");
    tm.tm_mon = 11;
    tm.tm_mday = 31;
    EXPECT_EQ(EventLog::FileName(tm), "log/20041231.log");
}

TEST_F(EventLogTest, LongMessageIsCutSoTheLineFits256Bytes) {
    log.LogEvent(std::string(400, 'x'));
    auto lines = ReadLines("log/20260101.log");
    ASSERT_EQ(lines.size(), 1u);
    EXPECT_EQ(lines[0].size() + 2, 256u);  // line end and terminating zero
    EXPECT_EQ(lines[0].substr(11), std::string(243, 'x'));
}

// Lines that cannot be written are counted; the failure is shown in the
// status line (a missing folder at every line as before, any other failure
// once per outage), and the first line written again tells how many were lost.
TEST_F(EventLogTest, LostLinesAreReportedAndCountedWhenTheLogIsWritableAgain) {
    struct Case {
        const char* name;
        std::function<void()> breakLog, mendLog;
        std::string shown;
        bool shownAtEveryLine;
    };
    const std::string file = "log/20260101.log";
    const std::vector<Case> cases = {
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
    for (const Case& c : cases) {
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
        EXPECT_EQ(ReadLines(file),
                  (std::vector<std::string>{"08:04:07 > EventLog : LOG file writable again after 3 lost lines",
                                            "08:04:07 > back"}))
            << "the earlier lines went with the folder or the link";
        log.LogEvent("on");
        EXPECT_EQ(ReadLines(file).back(), "08:04:07 > on");
        EXPECT_EQ(ReadLines(file).size(), 3u) << "no second note once the log is writable";
    }
}
// A disk that fills in the middle of a line: the part already written is taken
// back, so the log holds whole lines only.
TEST_F(EventLogTest, LineCutShortByAFailingWriteIsTakenBack) {
    log.LogEvent("first");
    const std::string file = "log/20260101.log";
    auto size = std::filesystem::file_size(file);
    rlimit saved{};
    ASSERT_EQ(getrlimit(RLIMIT_FSIZE, &saved), 0);
    auto previous = std::signal(SIGXFSZ, SIG_IGN);
    rlimit small = saved;
    small.rlim_cur = size + 5;  // room for "08:04" only
    ASSERT_EQ(setrlimit(RLIMIT_FSIZE, &small), 0);
    log.LogEvent("cut short");
    setrlimit(RLIMIT_FSIZE, &saved);
    std::signal(SIGXFSZ, previous);
    EXPECT_EQ(status.Text(), "Cannot write LOG file log/20260101.log : File too large");
    EXPECT_EQ(ReadFile(file), "08:04:07 > first\n");
    log.LogEvent("next");
    EXPECT_EQ(ReadLines(file), (std::vector<std::string>{"08:04:07 > first",
                                                         "08:04:07 > EventLog : LOG file writable again after 1 lost lines",
                                                         "08:04:07 > next"}));
}

}  // namespace
}  // namespace sked
