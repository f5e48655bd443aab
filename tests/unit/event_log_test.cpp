#include <filesystem>

#include <gtest/gtest.h>

#include "app/event_log.h"
#include "platform/simulated_event_loop.h"
#include "support/station_fixture.h"

namespace sked {
namespace {

using test::LocalTimePoint;
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

TEST_F(EventLogTest, MissingDirectoryOnlyShowsTheStatusText) {
    std::filesystem::remove_all("log");
    log.LogEvent("lost");
    log.LogEvent("lost too");
    EXPECT_EQ(status.Text(), "Cannot open LOG file,check for LOG directory.");
    EXPECT_FALSE(std::filesystem::exists("log"));
}

}  // namespace
}  // namespace sked
