// Loading data/schedule.lst into the transmit queue: dated entries, entries
// timed after the one before by its estimated length, expiry, the line format.
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
    // Loads `text` as the schedule; returns the log lines after the reload's own.
    Lines Load(const std::string& text) {
        WriteData("schedule.lst", text);
        auto before = LogMessages().size();
        station->loader.GetSchedule();
        auto log = LogMessages();
        EXPECT_EQ(log.at(before), "CmClearItems : Reloading Schedule List");
        return Lines(log.begin() + static_cast<long>(before) + 1, log.end());
    }
};

// At 45.45 baud in a Baudot mode a character takes 7.5 / 45.45 s: news.txt
// (3300 characters) lasts 544 s, wx.txt (1000) 165 s, later.txt (2000) 330 s.
TEST_F(ScheduleLoading, EntriesGoInAtTheirOwnOrTheirEstimatedTimeAndExpireWhenDue) {
    WriteData("news.txt", std::string(3300, 'N'));
    WriteData("wx.txt", std::string(1000, 'W'));
    WriteData("later.txt", std::string(2000, 'L'));
    ASSERT_TRUE(Start());  // at 12:00:00, without a schedule file
    EXPECT_TRUE(Logged("GetSchedule : Cannot open Schedule.lst input file."));
    EXPECT_TRUE(Items().empty());

    const std::string head = "01/01/2026 12:30:00 news.txt ";
    // A name past the characters a line keeps is comment, not an entry.
    const std::string longComment = head + std::string(254 - head.size(), 'x') + "tail.txt\n";
    const std::string megabyte = head + "// " + std::string(1 << 20, 'x') + "\nwx.txt\n";
    const auto expired = [](const std::string& line) { return "GetSchedule : Expired time tag " + line; };
    const auto invalid = [](const std::string& line) { return "GetSchedule : Invalid date or time " + line; };
    const struct {
        std::string schedule;
        Lines items, log;
    } cases[] = {
        {"news.txt\nwx.txt\n$RX\n",
         {"01/01/2026 12:00:10 news.txt", "01/01/2026 12:09:14 wx.txt", "01/01/2026 12:11:59 $RX"},
         {}},
        {"01/01/2026 12:00:00 now.txt\n01/01/2026 12:00:01 soon.txt\n",
         {"01/01/2026 12:00:01 soon.txt"},
         {expired("01/01/2026 12:00:00 now.txt")}},
        {"01/01/2026 11:59:00 old.txt\nnews.txt\nwx.txt\n01/01/2026 13:00:00 later.txt\nafter.txt\n",
         {"01/01/2026 13:00:00 later.txt", "01/01/2026 13:05:30 after.txt"},
         {expired("01/01/2026 11:59:00 old.txt"), expired("news.txt"), expired("wx.txt")}},
        {"01/01/2026 12:30:00t news.txt\nwx.txt\n",
         {"01/01/2026 12:30:00t news.txt", "01/01/2026 12:39:04 wx.txt"},
         {}},
        {"01/01/2026 12:30:00 news.txt\nweather.txt",
         {"01/01/2026 12:30:00 news.txt", "01/01/2026 12:39:04 weather.txt"},
         {}},
        {"hello world\n01/01/2026 12:30:00 news.txt\n", {"01/01/2026 12:30:00 news.txt"}, {}},
        {"01/01/2026\t12:30:00\tnews.txt\t// the\tnews\n\twx.txt\t\n",
         {"01/01/2026 12:30:00 news.txt // the news", "01/01/2026 12:39:04 wx.txt"},
         {}},
        {longComment, {longComment.substr(0, 254)}, {}},
        {megabyte, {megabyte.substr(0, 254), "01/01/2026 12:39:04 wx.txt"}, {}},
        // Lines ended by CR alone, as old Macintosh editors write them.
        {"01/01/2026 12:30:00 news.txt\rwx.txt\r$RX",
         {"01/01/2026 12:30:00 news.txt", "01/01/2026 12:39:04 wx.txt", "01/01/2026 12:41:49 $RX"},
         {}},
        // Dates that do not exist are refused, not carried into another day.
        {"02/30/2026 12:00:20 feb.txt\n13/01/2026 12:00:20 month.txt\n01/01/2026 99:99:99 clock.txt\n"
         "01/01/2100 12:00:00 y2100.txt\n01/01/99999 12:00:00 y5.txt\n01/01/2147483647 12:00:00 ymax.txt\n"
         "01/01/2026 12:30:00 news.txt\n",
         {"01/01/2026 12:30:00 news.txt"},
         {invalid("02/30/2026 12:00:20 feb.txt"), invalid("13/01/2026 12:00:20 month.txt"),
          invalid("01/01/2026 99:99:99 clock.txt"), invalid("01/01/2100 12:00:00 y2100.txt"),
          invalid("01/01/99999 12:00:00 y5.txt"), invalid("01/01/2147483647 12:00:00 ymax.txt")}},
        {"01/01/2026 12:30:00 ../../../../etc/passwd\n/etc/passwd\nwx.txt\n",
         {"01/01/2026 12:30:00 wx.txt"},
         {"GetSchedule : Refused name outside data/ 01/01/2026 12:30:00 ../../../../etc/passwd",
          "GetSchedule : Refused name outside data/ /etc/passwd"}},
        // From a speed marker on, 7.5 / 100 s a character; the marker itself is queued.
        {"news.txt\n$B100\nwx.txt\n$RX\n",
         {"01/01/2026 12:00:10 news.txt", "01/01/2026 12:04:17 $B100", "01/01/2026 12:04:17 wx.txt",
          "01/01/2026 12:05:32 $RX"},
         {}},
        {"news.txt\nwx.txt\n", {"01/01/2026 12:00:10 news.txt", "01/01/2026 12:04:17 wx.txt"}, {}},  // still 100 baud
    };
    for (const auto& c : cases) {
        EXPECT_EQ(Load(c.schedule), c.log) << c.schedule.substr(0, 300);
        EXPECT_EQ(Items(), c.items) << c.schedule.substr(0, 300);
    }
    EXPECT_FLOAT_EQ(station->state.baud, 45.45f);  // the marker only estimates until its entry runs
}

TEST_F(ScheduleLoading, AFolderOrAnEndlessDeviceInPlaceOfTheFileIsNoSchedule) {
    ASSERT_TRUE(Start());
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
        auto before = LogMessages().size();
        station->loader.GetSchedule();
        auto log = LogMessages();
        EXPECT_EQ(Lines(log.begin() + static_cast<long>(before), log.end()),
                  (Lines{"CmClearItems : Reloading Schedule List", c.problem}));
        EXPECT_TRUE(Items().empty());
    }
}

// A date that does not exist used to become another day at the head of the
// queue and hold back everything behind it.
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
    Load("01/01/2026 13:00:00 later.txt\n");
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
