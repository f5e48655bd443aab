// Loading data/schedule.lst into the transmit queue: dated entries, entries
// timed automatically after the one before, expiry, and the line format.
#include <chrono>
#include <filesystem>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "app/operator_controls.h"
#include "audio/mode_controls.h"
#include "platform/clock.h"
#include "platform/text_format.h"
#include "scheduler/schedule_loader.h"
#include "support/scenario_helpers.h"

namespace sked::test {
namespace {

using namespace std::chrono_literals;

class ScheduleLoading : public ScenarioTest {
protected:
    std::vector<std::string> Items() const { return dlg->w.scheduleList.Items(); }
    void Reload() { dlg->loader->GetSchedule(); }
};

TEST_F(ScheduleLoading, AutomaticEntriesFollowTheEstimatedLengthOfTheEntryBefore) {
    WriteData("news.txt", std::string(3300, 'N'));
    WriteData("wx.txt", std::string(1000, 'W'));
    WriteSchedule({"news.txt", "wx.txt", "$RX"});
    ASSERT_TRUE(Start());  // Military mode, 45.45 baud: 7.5 / 45.45 s a character
    EXPECT_EQ(Items(), (std::vector<std::string>{"01/01/2026 12:00:10 news.txt",  // 10 s after loading
                                                 "01/01/2026 12:09:14 wx.txt",    // + 3300 x 0.16502 = 544 s
                                                 "01/01/2026 12:11:59 $RX"}));    // + 1000 x 0.16502 = 165 s
    EXPECT_FALSE(Logged("GetSchedule : Expired time tag news.txt"));
}

TEST_F(ScheduleLoading, EstimatesFollowTheModeOfTheStation) {
    WriteData("news.txt", std::string(3300, 'N'));
    WriteData("wx.txt", std::string(1000, 'W'));
    WriteSchedule({"news.txt", "wx.txt", "$RX"});
    ASSERT_TRUE(Start());

    // ASCII: ten bits a character.
    dlg->modes->ModeClicked(kAscii);
    Reload();
    EXPECT_EQ(Items(), (std::vector<std::string>{"01/01/2026 12:00:10 news.txt", "01/01/2026 12:12:16 wx.txt",
                                                 "01/01/2026 12:15:56 $RX"}));

    // PSK31: a quarter second a character whatever the speed.
    dlg->w.soundCardCombo.SetCurSel(2);  // sound card "1"
    dlg->modes->ModeClicked(kPsk31);
    ASSERT_EQ(Settings().mode, kPsk31);
    Reload();
    EXPECT_EQ(Items(), (std::vector<std::string>{"01/01/2026 12:00:10 news.txt", "01/01/2026 12:13:55 wx.txt",
                                                 "01/01/2026 12:18:05 $RX"}));
}

TEST_F(ScheduleLoading, AnEntryDueAtTheMomentOfLoadingHasExpired) {
    WriteSchedule({"01/01/2026 12:00:00 now.txt", "01/01/2026 12:00:01 soon.txt"});
    ASSERT_TRUE(Start());
    EXPECT_EQ(Items(), (std::vector<std::string>{"01/01/2026 12:00:01 soon.txt"}));
    auto log = LogMessages();
    EXPECT_EQ(CountOf(log, "GetSchedule : Expired time tag 01/01/2026 12:00:00 now.txt"), 1);
    EXPECT_EQ(CountOf(log, "GetSchedule : Expired time tag 01/01/2026 12:00:01 soon.txt"), 0);
}

TEST_F(ScheduleLoading, AnExpiredDatedEntryTakesTheAutomaticEntriesAfterItAlong) {
    WriteData("news.txt", std::string(3300, 'N'));
    WriteData("later.txt", std::string(2000, 'L'));
    WriteSchedule({"01/01/2026 11:59:00 old.txt", "news.txt", "wx.txt", "01/01/2026 13:00:00 later.txt",
                   "after.txt"});
    ASSERT_TRUE(Start());
    // The dated entry after them starts the timing afresh: 2000 x 0.16502 = 330 s.
    EXPECT_EQ(Items(),
              (std::vector<std::string>{"01/01/2026 13:00:00 later.txt", "01/01/2026 13:05:30 after.txt"}));
    auto log = LogMessages();
    int old = IndexOf(log, "GetSchedule : Expired time tag 01/01/2026 11:59:00 old.txt");
    int news = IndexOf(log, "GetSchedule : Expired time tag news.txt");
    int wx = IndexOf(log, "GetSchedule : Expired time tag wx.txt");
    ASSERT_GE(old, 0);
    EXPECT_EQ(news, old + 1);
    EXPECT_EQ(wx, old + 2);
    EXPECT_EQ(CountOf(log, "GetSchedule : Expired time tag after.txt"), 0);
}

TEST_F(ScheduleLoading, EntriesKeepTheOrderOfTheFile) {
    WriteSchedule({"01/01/2026 14:00:00 late.txt", "01/01/2026 13:00:00 early.txt"});
    ASSERT_TRUE(Start());
    EXPECT_EQ(Items(), (std::vector<std::string>{"01/01/2026 14:00:00 late.txt", "01/01/2026 13:00:00 early.txt"}));
}

TEST_F(ScheduleLoading, ASpeedMarkerChangesTheLaterEstimatesAndIsQueuedItself) {
    WriteData("news.txt", std::string(3300, 'N'));
    WriteData("wx.txt", std::string(1000, 'W'));
    WriteSchedule({"news.txt", "$B100", "wx.txt", "$RX"});
    ASSERT_TRUE(Start());
    // From the marker on 7.5 / 100 s a character: 3300 x 0.075 = 247 s, 1000 x 0.075 = 75 s.
    EXPECT_EQ(Items(), (std::vector<std::string>{"01/01/2026 12:00:10 news.txt", "01/01/2026 12:04:17 $B100",
                                                 "01/01/2026 12:04:17 wx.txt", "01/01/2026 12:05:32 $RX"}));
    EXPECT_FLOAT_EQ(dlg->loader->estimateSpeed(), 100.0f);
    // The marker only estimates: the line itself still runs at 45.45 baud until the entry runs.
    EXPECT_FLOAT_EQ(Settings().baud, 45.45f);

    // The estimate speed outlives the load: a schedule without the marker is
    // still timed at 100 baud.
    WriteSchedule({"news.txt", "wx.txt", "$RX"});
    Reload();
    EXPECT_EQ(Items(), (std::vector<std::string>{"01/01/2026 12:00:10 news.txt", "01/01/2026 12:04:17 wx.txt",
                                                 "01/01/2026 12:05:32 $RX"}));

    // $B74 estimates 74.4 baud: 3300 x 7.5 / 74.4 = 332 s.
    WriteSchedule({"$b74", "news.txt", "wx.txt"});
    Reload();
    EXPECT_EQ(Items(), (std::vector<std::string>{"01/01/2026 12:00:10 $b74", "01/01/2026 12:00:10 news.txt",
                                                 "01/01/2026 12:05:42 wx.txt"}));
    EXPECT_FLOAT_EQ(dlg->loader->estimateSpeed(), 74.4f);
}

TEST_F(ScheduleLoading, ALineOfTwoWordsIsIgnoredWithoutALogLine) {
    WriteData("news.txt", std::string(3300, 'N'));
    WriteSchedule({"hello world", "01/01/2026 12:30:00 news.txt"});
    ASSERT_TRUE(Start());
    auto before = LogMessages();
    Reload();
    auto after = LogMessages();
    EXPECT_EQ(Items(), (std::vector<std::string>{"01/01/2026 12:30:00 news.txt"}));
    ASSERT_EQ(after.size(), before.size() + 1);
    EXPECT_EQ(after.back(), "CmClearItems : Reloading Schedule List");

    // The word tested for a speed marker is the first one of such a line.
    WriteSchedule({"$B100 remark", "news.txt", "wx.txt"});
    Reload();
    EXPECT_EQ(Items(), (std::vector<std::string>{"01/01/2026 12:00:10 news.txt", "01/01/2026 12:04:17 wx.txt"}));
}

TEST_F(ScheduleLoading, ATimeWithALetterAfterTheSecondsReadsWithoutIt) {
    WriteData("news.txt", std::string(3300, 'N'));
    WriteSchedule({"01/01/2026 12:30:00t news.txt", "wx.txt"});
    ASSERT_TRUE(Start());
    EXPECT_EQ(Items(), (std::vector<std::string>{"01/01/2026 12:30:00t news.txt", "01/01/2026 12:39:04 wx.txt"}));
    EXPECT_FALSE(Logged("GetSchedule : Expired time tag 01/01/2026 12:30:00t news.txt"));
    dlg->controls->CmEnable();
    RunFor(1s);
    EXPECT_EQ(dlg->w.countdownField.Text(), "1799");
}

TEST_F(ScheduleLoading, TheLastLineKeepsAllItsCharactersWithoutALineEnd) {
    WriteData("news.txt", std::string(3300, 'N'));
    WriteData("schedule.lst", "01/01/2026 12:30:00 news.txt\n01/01/2026 12:40:00 weather.txt");
    ASSERT_TRUE(Start());
    EXPECT_EQ(Items(), (std::vector<std::string>{"01/01/2026 12:30:00 news.txt", "01/01/2026 12:40:00 weather.txt"}));

    WriteData("schedule.lst", "01/01/2026 12:30:00 news.txt\nweather.txt");
    Reload();
    EXPECT_EQ(Items(), (std::vector<std::string>{"01/01/2026 12:30:00 news.txt", "01/01/2026 12:39:04 weather.txt"}));
}

TEST_F(ScheduleLoading, ALineLongerThan254CharactersIsReadAsSeveralLines) {
    // 254 characters make the first line; the rest, one word, is timed
    // automatically after it.
    const std::string head = "01/01/2026 12:30:00 news.txt ";
    const std::string line = head + std::string(254 - head.size(), 'x') + "tail.txt";
    WriteSchedule({line});
    ASSERT_TRUE(Start());
    EXPECT_EQ(Items(), (std::vector<std::string>{line.substr(0, 254), "01/01/2026 12:30:00 tail.txt"}));
}

TEST_F(ScheduleLoading, TabsBecomeBlanksInTheListText) {
    WriteSchedule({"01/01/2026\t12:30:00\tnews.txt\t// the\tnews", "\twx.txt\t"});
    ASSERT_TRUE(Start());
    ASSERT_EQ(Items().size(), 2u);
    EXPECT_EQ(Items()[0], "01/01/2026 12:30:00 news.txt // the news");
    EXPECT_EQ(Items()[1], "01/01/2026 12:30:00 wx.txt");  // news.txt does not exist: length stays 1
}

TEST_F(ScheduleLoading, ReloadingClearsAPendingCancel) {
    WriteData("news.txt", std::string(3300, 'N'));
    WriteSchedule({"01/01/2026 12:00:05 news.txt"});
    ASSERT_TRUE(Start());
    dlg->controls->CmEnable();
    At("2026-01-01T12:00:30", [this] { dlg->controls->CmCancel(); });
    RunUntil(T("2026-01-01T12:01:00"));
    ASSERT_TRUE(Logged("ABORTED sending <news.txt>."));
    ASSERT_EQ(Settings().cancelRequested, 1);
    ASSERT_EQ(dlg->w.flowField.Text(), "CANCEL");

    Reload();
    EXPECT_EQ(Settings().cancelRequested, 0);
    EXPECT_EQ(dlg->w.flowField.Text(), "");
    EXPECT_EQ(Items(), (std::vector<std::string>{}));  // 12:00:05 is past now
}

TEST_F(ScheduleLoading, AMissingScheduleFileLeavesTheQueueEmpty) {
    WriteSchedule({"01/01/2026 12:30:00 news.txt"});
    ASSERT_TRUE(Start());
    ASSERT_EQ(Items().size(), 1u);
    std::filesystem::remove("data/schedule.lst");
    Reload();
    EXPECT_TRUE(Items().empty());
    auto log = LogMessages();
    ASSERT_GE(log.size(), 2u);
    EXPECT_EQ(log[log.size() - 2], "CmClearItems : Reloading Schedule List");
    EXPECT_EQ(log.back(), "GetSchedule : Cannot open Schedule.lst input file.");

    // With automatic sending on, the dispatcher reports the empty queue and stops.
    dlg->controls->CmEnable();
    RunFor(1500ms);
    EXPECT_EQ(LogMessages().back(), "Queue Empty: Nothing to Send.");
    EXPECT_EQ(dlg->w.queueLine.Text(), "Queue Empty: Nothing to Send.");
    EXPECT_EQ(dlg->w.autoSendField.Text(), "DISABLED");
    EXPECT_EQ(Settings().autoSendEnabled, 0);
    RunFor(5s);
    EXPECT_EQ(CountOf(LogMessages(), "Queue Empty: Nothing to Send."), 1);
}

TEST_F(ScheduleLoading, TenThousandLinesLoad) {
    std::string text;
    for (int i = 0; i < 10000; ++i) {
        if (i % 2 == 0) {
            std::time_t t = MakeLocalTime(2026, 1, 2, 0, 0, 0) + i * 30;
            std::tm tm = LocalTime(t);
            text += Format("%d/%d/%d %d:%d:%d f%05d.txt\n", tm.tm_mon + 1, tm.tm_mday, tm.tm_year + 1900, tm.tm_hour,
                           tm.tm_min, tm.tm_sec, i);
        } else {
            text += Format("$F%d\n", 1500 + i % 7 * 100);
        }
    }
    WriteData("schedule.lst", text);
    auto started = std::chrono::steady_clock::now();
    ASSERT_TRUE(Start());
    auto took = std::chrono::steady_clock::now() - started;
    ASSERT_EQ(dlg->w.scheduleList.Count(), 10000);
    EXPECT_EQ(dlg->w.scheduleList.Item(0), "1/2/2026 0:0:0 f00000.txt");
    // Line 10000: the automatic entry after the dated one at 9998 x 30 s past midnight of Jan 2.
    EXPECT_EQ(dlg->w.scheduleList.Item(9999), Format("01/05/2026 11:19:00 $F%d", 1500 + 9999 % 7 * 100));
    EXPECT_LT(took, std::chrono::seconds(5));
}

}  // namespace
}  // namespace sked::test
