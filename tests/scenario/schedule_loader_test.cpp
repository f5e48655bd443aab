// Loading data/schedule.lst into the queue (its lines: schedule_file_test): sizes, log, speed, no schedule.
#include <chrono>
#include <filesystem>
#include <functional>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "platform/clock.h"
#include "platform/text_format.h"
#include "scheduler/schedule_loader.h"
#include "support/scenario_helpers.h"

namespace sked::test {
namespace {

using Lines = std::vector<std::string>;

class ScheduleLoading : public ScenarioTest {
protected:
    // Loads the schedule; returns the log lines after the reload's own.
    Lines Load() {
        auto before = LogMessages().size();
        station->loader.GetSchedule();
        auto log = LogMessages();
        EXPECT_EQ(log.at(before), "CmClearItems : Reloading Schedule List");
        return Lines(log.begin() + static_cast<long>(before) + 1, log.end());
    }
};

// news.txt lasts 544 s at 45.45 baud, wx.txt 75 s at the 100 baud of the marker, which the next loading keeps.
TEST_F(ScheduleLoading, EntriesAreTimedByTheirFilesAndRefusalsLogged) {
    WriteData("news.txt", std::string(3300, 'N'));
    WriteData("wx.txt", std::string(1000, 'W'));
    ASSERT_TRUE(Start());
    const struct {
        std::string schedule;
        Lines items, log;
    } cases[] = {
        {"news.txt\n$b100\nwx.txt\n$RX\n01/01/2026 12:00:00 now.txt\n",
         {"01/01/2026 12:00:10 news.txt", "01/01/2026 12:04:17 $b100", "01/01/2026 12:04:17 wx.txt",
          "01/01/2026 12:05:32 $RX"},
         {"GetSchedule : Expired time tag 01/01/2026 12:00:00 now.txt"}},
        {"news.txt\nwx.txt\n", {"01/01/2026 12:00:10 news.txt", "01/01/2026 12:04:17 wx.txt"}, {}},  // still 100 baud
    };
    for (const auto& c : cases) {
        WriteData("schedule.lst", c.schedule);
        EXPECT_EQ(Load(), c.log) << c.schedule;
        EXPECT_EQ(Items(), c.items) << c.schedule;
    }
    EXPECT_FLOAT_EQ(station->state.baud, 45.45f);  // the marker only estimates until its entry runs
}

TEST_F(ScheduleLoading, NoFileAFolderOrAnEndlessDeviceIsNoSchedule) {
    ASSERT_TRUE(Start());  // without a schedule file
    EXPECT_TRUE(Logged("GetSchedule : Cannot open Schedule.lst input file."));
    const struct {
        std::function<void()> make;
        std::string problem;
    } cases[] = {
        {[] { std::filesystem::create_directory("data/schedule.lst"); },
         "GetSchedule : Cannot open Schedule.lst input file."},
        {[] { std::filesystem::create_symlink("/dev/zero", "data/schedule.lst"); },
         "GetSchedule : Schedule.lst input file too long, read in part."},
    };
    for (const auto& c : cases) {
        std::filesystem::remove("data/schedule.lst");
        c.make();
        EXPECT_EQ(Load(), Lines{c.problem});
        EXPECT_TRUE(Items().empty());
    }
}

// A date that does not exist used to become another day at the head of the queue, holding back the rest.
TEST_F(ScheduleLoading, AnEntryBehindARefusedDateGoesOutOnTime) {
    WriteData("news.txt", "EEE");
    WriteSchedule({"02/30/2026 12:00:20 news.txt", "01/01/2026 12:00:30 news.txt"});
    ASSERT_TRUE(Start());
    EXPECT_TRUE(Logged("GetSchedule : Invalid date or time 02/30/2026 12:00:20 news.txt"));
    station->commands.Enable();
    RunUntil(T("2026-01-01T12:01:00"));
    EXPECT_EQ(StampOf("File <news.txt> in TRANSMIT Queue."), "12:00:30");
}

TEST_F(ScheduleLoading, ReloadingClearsAPendingCancel) {
    WriteData("news.txt", std::string(300, 'N'));
    WriteSchedule({"01/01/2026 12:00:05 news.txt", "01/01/2026 13:00:00 later.txt"});
    ASSERT_TRUE(Start());
    station->commands.Enable();
    At("2026-01-01T12:00:30", [this] { station->commands.Cancel(); });
    RunUntil(T("2026-01-01T12:01:00"));
    ASSERT_EQ(station->state.cancelRequested, 1);
    ASSERT_EQ(station->window.flowField.Text(), "CANCEL");
    Load();
    EXPECT_EQ(station->state.cancelRequested, 0);
    EXPECT_EQ(station->window.flowField.Text(), "");
}

TEST_F(ScheduleLoading, TenThousandLinesLoad) {
    std::string text;
    for (int i = 0; i < 10000; i += 2) {
        std::tm t = LocalTime(MakeLocalTime(2026, 1, 2, 0, 0, 0) + i * 30);
        text += Format("%d/%d/%d %d:%d:%d f%05d.txt\n$F%d\n", t.tm_mon + 1, t.tm_mday, t.tm_year + 1900, t.tm_hour,
                       t.tm_min, t.tm_sec, i, 1500 + (i + 1) % 7 * 100);
    }
    WriteData("schedule.lst", text);
    auto started = std::chrono::steady_clock::now();
    ASSERT_TRUE(Start());
    EXPECT_LT(std::chrono::steady_clock::now() - started, std::chrono::seconds(5));
    ASSERT_EQ(station->window.scheduleList.Count(), 10000);
    EXPECT_EQ(station->window.scheduleList.Item(0), "1/2/2026 0:0:0 f00000.txt");
    // The last line follows the dated one at 9998 x 30 s past midnight of Jan 2.
    EXPECT_EQ(station->window.scheduleList.Item(9999), Format("01/05/2026 11:19:00 $F%d", 1500 + 9999 % 7 * 100));
}

}  // namespace
}  // namespace sked::test
