// The operator's controls of the main window: the scheduler switches, the
// queue edits, the file list, the flow of a transmission, the test and view
// buttons, the power box and the mode group.
#include <algorithm>
#include <cctype>
#include <chrono>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "app/operator_controls.h"
#include "audio/mode_controls.h"
#include "scheduler/command_interpreter.h"
#include "scheduler/schedule_loader.h"
#include "support/scenario_helpers.h"
#include "transmit/file_sender.h"

namespace sked::test {
namespace {

using namespace std::chrono_literals;

class OperatorControlsTest : public ScenarioTest {
protected:
    OperatorControls& controls() { return *dlg->controls; }
    std::vector<std::string> Items() const { return dlg->w.scheduleList.Items(); }
    void Add(const std::string& text) {
        dlg->w.fileCombo.SetEditText(text);
        controls().FileAdd();
    }
    int Count(const std::string& message) const { return CountOf(LogMessages(), message); }
    std::string News() const {
        std::string news;
        for (int i = 0; i < 20; ++i) news += "THE QUICK BROWN FOX JUMPS OVER THE LAZY DOG\n";
        return news;
    }
};

TEST_F(OperatorControlsTest, EnableAndDisableSwitchTheScheduler) {
    ASSERT_TRUE(Start());
    controls().CmEnable();
    EXPECT_EQ(dlg->w.autoSendField.Text(), "ENABLE");
    EXPECT_EQ(Settings().autoSendEnabled, 1);
    EXPECT_EQ(LogMessages().back(), "CmEnable : Scheduler ENABLED");
    RunFor(2s);  // empty queue: disabled again
    EXPECT_EQ(Settings().autoSendEnabled, 0);

    WriteSchedule({"01/01/2026 13:00:00 news.txt"});
    dlg->loader->GetSchedule();
    controls().CmEnable();
    RunFor(2s);
    ASSERT_EQ(dlg->w.countdownField.Text(), "3596");
    controls().CmDisable();
    EXPECT_EQ(dlg->w.autoSendField.Text(), "DISABLED");
    EXPECT_EQ(dlg->w.countdownField.Text(), "");
    EXPECT_EQ(Settings().autoSendEnabled, 0);
    EXPECT_EQ(LogMessages().back(), "CmDisable : Scheduler DISABLED");
    RunFor(5s);
    EXPECT_EQ(dlg->w.countdownField.Text(), "");  // no more countdown
}

TEST_F(OperatorControlsTest, EnableClearsAPendingCancel) {
    WriteData("news.txt", News());
    WriteSchedule({"01/01/2026 12:00:05 news.txt", "01/01/2026 13:00:00 later.txt"});
    ASSERT_TRUE(Start());
    controls().CmEnable();
    At("2026-01-01T12:00:20", [this] { controls().CmCancel(); });
    RunUntil(T("2026-01-01T12:00:30"));
    ASSERT_EQ(Settings().cancelRequested, 1);
    ASSERT_EQ(dlg->w.flowField.Text(), "CANCEL");
    controls().CmEnable();
    EXPECT_EQ(Settings().cancelRequested, 0);
    EXPECT_EQ(dlg->w.flowField.Text(), "");
    EXPECT_EQ(dlg->w.autoSendField.Text(), "ENABLE");
}

TEST_F(OperatorControlsTest, FileAddPutsTheTextAtTheTopOfAnEmptyQueueTenSecondsFromNow) {
    ASSERT_TRUE(Start());
    RunFor(3s);
    Add("news.txt");
    EXPECT_EQ(Items(), (std::vector<std::string>{"01/01/2026 12:00:13 news.txt"}));
    EXPECT_EQ(dlg->w.fileCombo.EditText(), "");
}

TEST_F(OperatorControlsTest, FileAddWithoutASelectionGoesJustBeforeTheHead) {
    WriteSchedule({"01/01/2026 16:00:00 a.txt", "01/01/2026 17:00:00 b.txt"});
    ASSERT_TRUE(Start());
    Add("news.txt");
    EXPECT_EQ(Items(), (std::vector<std::string>{"01/01/2026 15:59:50 news.txt", "01/01/2026 16:00:00 a.txt",
                                                 "01/01/2026 17:00:00 b.txt"}));
}

TEST_F(OperatorControlsTest, FileAddWithTheThirdEntrySelectedInsertsItTenSecondsBefore) {
    WriteSchedule({"01/01/2026 16:00:00 a.txt", "01/01/2026 17:00:00 b.txt", "01/01/2026 18:00:00 c.txt",
                   "01/01/2026 19:00:00 d.txt"});
    ASSERT_TRUE(Start());
    dlg->w.scheduleList.SetCurSel(2);
    Add("wx.txt");
    EXPECT_EQ(Items(), (std::vector<std::string>{"01/01/2026 16:00:00 a.txt", "01/01/2026 17:00:00 b.txt",
                                                 "01/01/2026 17:59:50 wx.txt", "01/01/2026 18:00:00 c.txt",
                                                 "01/01/2026 19:00:00 d.txt"}));
    EXPECT_EQ(dlg->w.fileCombo.EditText(), "");

    // A selected line whose time does not read: ten seconds from now.
    dlg->w.scheduleList.InsertString(1, "garbage");
    dlg->w.scheduleList.SetCurSel(1);
    Add("$RX");
    EXPECT_EQ(dlg->w.scheduleList.Item(1), "01/01/2026 12:00:10 $RX");
    EXPECT_EQ(dlg->w.scheduleList.Item(2), "garbage");
}

TEST_F(OperatorControlsTest, FileAddWithoutTextRefreshesTheFileList) {
    WriteSchedule({"01/01/2026 16:00:00 a.txt"});
    ASSERT_TRUE(Start());
    auto before = dlg->w.fileCombo.Items();
    ASSERT_EQ(std::count(before.begin(), before.end(), "fresh.txt"), 0);
    WriteData("fresh.txt", "NEW");
    Add("");
    auto after = dlg->w.fileCombo.Items();
    EXPECT_EQ(std::count(after.begin(), after.end(), "fresh.txt"), 1);
    EXPECT_EQ(after.size(), before.size() + 1);
    EXPECT_EQ(Items(), (std::vector<std::string>{"01/01/2026 16:00:00 a.txt"}));
}

TEST_F(OperatorControlsTest, TheFileListShowsTheNewestFilesFirstThenTheCommandLines) {
    const std::time_t t0 = 1767268800;  // 2026-01-01 12:00 UTC
    for (const char* name : {"zeta.txt", "alpha.txt", "mid.txt", "b2.txt", "b1.txt", ".hidden"}) WriteData(name, "X");
    SetFileTime("data/zeta.txt", t0);
    SetFileTime("data/alpha.txt", t0 - 600);
    SetFileTime("data/mid.txt", t0 - 1200);
    SetFileTime("data/b2.txt", t0 - 1800);
    SetFileTime("data/b1.txt", t0 - 1800);
    SetFileTime("data/.hidden", t0 + 600);
    ASSERT_TRUE(Start());
    std::vector<std::string> expected = {"zeta.txt", "alpha.txt", "mid.txt", "b1.txt", "b2.txt"};
    const auto& help = CommandInterpreter::HelpTable();
    expected.insert(expected.end(), help.begin(), help.begin() + 34);
    EXPECT_EQ(dlg->w.fileCombo.Items(), expected);
    EXPECT_EQ(dlg->w.fileCombo.Item(5 + 12), "$CWID     // de QZ0XB QZ0XB ");
    EXPECT_EQ(dlg->w.fileCombo.Items().back(), "$DITTLE   // Orvald's Dittle");

    // Refresh after a file was rewritten: it moves to the top.
    SetFileTime("data/mid.txt", t0 + 1200);
    dlg->controls->RefreshFileList();
    EXPECT_EQ(dlg->w.fileCombo.Item(0), "mid.txt");
    EXPECT_EQ(dlg->w.fileCombo.Item(1), "zeta.txt");
}

TEST_F(OperatorControlsTest, TheFileListWithoutDataFilesHoldsOnlyTheCommandLines) {
    ASSERT_TRUE(Start());
    const auto& help = CommandInterpreter::HelpTable();
    EXPECT_EQ(dlg->w.fileCombo.Items(), std::vector<std::string>(help.begin(), help.begin() + 34));
}

TEST_F(OperatorControlsTest, ChoosingAFileInTheListShowsIt) {
    WriteData("news.txt", "cq cq de qz0xb\n");
    ASSERT_TRUE(Start());
    auto& items = dlg->w.fileCombo.Items();
    int index = static_cast<int>(std::find(items.begin(), items.end(), "news.txt") - items.begin());
    dlg->w.fileCombo.SetCurSel(index);
    controls().FileSelected();
    EXPECT_EQ(dlg->w.displayBox.Text(), "CQ CQ DE QZ0XB\n");  // capitals in a Baudot mode
    EXPECT_EQ(dlg->w.fileNameField.Text(), "news.txt");

    // A command line shows nothing.
    dlg->w.fileCombo.SetCurSel(index + 2);
    controls().FileSelected();
    EXPECT_EQ(dlg->w.displayBox.Text(), "CQ CQ DE QZ0XB\n");
}

TEST_F(OperatorControlsTest, DeleteRemovesTheSelectedEntryOnly) {
    WriteSchedule({"01/01/2026 16:00:00 a.txt", "01/01/2026 17:00:00 b.txt", "01/01/2026 18:00:00 c.txt"});
    ASSERT_TRUE(Start());
    auto log = LogMessages();
    controls().DeleteSelected();
    EXPECT_EQ(Items().size(), 3u);
    dlg->w.scheduleList.SetCurSel(1);
    controls().DeleteSelected();
    EXPECT_EQ(Items(), (std::vector<std::string>{"01/01/2026 16:00:00 a.txt", "01/01/2026 18:00:00 c.txt"}));
    controls().DeleteSelected();  // nothing selected any more
    EXPECT_EQ(Items().size(), 2u);
    EXPECT_EQ(LogMessages(), log);
}

TEST_F(OperatorControlsTest, PauseResumeAndCancelDoNothingWithoutATransmission) {
    WriteSchedule({"01/01/2026 16:00:00 a.txt"});
    ASSERT_TRUE(Start());
    controls().CmEnable();
    auto log = LogMessages();
    controls().CmPause();
    controls().CmResume();
    controls().CmCancel();
    EXPECT_EQ(LogMessages(), log);
    EXPECT_EQ(dlg->w.flowField.Text(), "");
    EXPECT_EQ(Settings().running, 1);
    EXPECT_EQ(Settings().cancelRequested, 0);
    EXPECT_EQ(Settings().autoSendEnabled, 1);
}

TEST_F(OperatorControlsTest, PauseHoldsTheFileAndResumeGoesOn) {
    WriteData("news.txt", News());
    WriteSchedule({"01/01/2026 12:00:05 news.txt", "01/01/2026 13:00:00 later.txt"});
    ASSERT_TRUE(Start());
    controls().CmEnable();
    auto& flow = Record(dlg->w.flowField);
    bool sendNowRefused = false;
    At("2026-01-01T12:00:20", [&] {
        controls().CmPause();
        controls().CmSendNow();  // refused while sending
        sendNowRefused = Settings().sendNow == 0;
    });
    At("2026-01-01T12:00:40", [this] { controls().CmResume(); });
    RunUntil(T("2026-01-01T12:05:00"));
    EXPECT_TRUE(sendNowRefused);
    EXPECT_FALSE(Logged("CmSendNow : Manual Enabling of next in queue."));
    auto log = LogMessages();
    int pause = IndexOf(log, "CmPause : Session PAUSED");
    int resume = IndexOf(log, "CmResume : Session RESUMED");
    ASSERT_GE(pause, 0);
    EXPECT_LT(pause, resume);
    EXPECT_LT(resume, IndexOf(log, "Completed sending <news.txt>."));
    EXPECT_NE(std::find(flow.values.begin(), flow.values.end(), "PAUSE"), flow.values.end());
    EXPECT_NE(std::find(flow.values.begin(), flow.values.end(), "RESUME"), flow.values.end());
    // Silence on the line while paused (a character already in the UART may finish).
    EXPECT_LE(FramesIn(T("2026-01-01T12:00:20"), T("2026-01-01T12:00:40")).size(), 2u);
    EXPECT_FALSE(FramesIn(T("2026-01-01T12:00:40"), T("2026-01-01T12:00:41")).empty());
    // The transmitter stays keyed through the pause.
    auto keys = KeyChanges();
    ASSERT_EQ(keys.size(), 2u);
    EXPECT_GT(keys[1].time, T("2026-01-01T12:01:00"));
}

TEST_F(OperatorControlsTest, FoxSendsTheTestTextOnceBetweenIdleFills) {
    WriteData("thefox.txt", "THE QUICK BROWN FOX\n");
    WriteSchedule({"01/01/2026 13:00:00 later.txt"});
    ASSERT_TRUE(Start());
    controls().CmEnable();
    controls().Fox();
    auto log = LogMessages();
    int disabled = IndexOf(log, "CmDisable : Scheduler DISABLED", IndexOf(log, "CmEnable : Scheduler ENABLED"));
    ASSERT_GE(disabled, 0);
    EXPECT_EQ(std::vector<std::string>(log.begin() + disabled, log.end()),
              (std::vector<std::string>{"CmDisable : Scheduler DISABLED", "CmTX : Transmitter ON",
                                        "TXFile : Sending file <thefox.txt>.", "CmRX : Transmitter OFF"}));
    EXPECT_EQ(Settings().sending, 0);
    EXPECT_EQ(Settings().idle, 1);
    EXPECT_EQ(Settings().autoSendEnabled, 0);
    auto keys = KeyChanges();
    ASSERT_EQ(keys.size(), 2u);
    // Three seconds of letters shift before the text (between two and three of the ticks).
    auto frames = FramesIn(keys[0].time, keys[1].time);
    std::size_t first = 0;
    while (first < frames.size() && frames[first].value == 31) ++first;
    ASSERT_LT(first, frames.size());
    EXPECT_GE(frames[first].time - keys[0].time, 2000ms);
    EXPECT_LE(frames[first].time - keys[0].time, 3800ms);
}

TEST_F(OperatorControlsTest, FoxWithRepeatGoesOnUntilCancel) {
    WriteData("thefox.txt", "THE QUICK BROWN FOX\n");
    ASSERT_TRUE(Start());
    dlg->w.repeatCheck.SetCheck(1);
    dlg->files->CmRepeat();
    At("2026-01-01T12:00:30", [this] { controls().CmCancel(); });
    controls().Fox();
    auto lines = LogLines("20260101");
    int sent = 0;
    for (const auto& line : lines)
        if (line.substr(11) == "TXFile : Sending file <thefox.txt>.") {
            ++sent;
            EXPECT_LE(SecondsOfDay(line.substr(0, 8)), 12 * 3600 + 30) << line;
        }
    EXPECT_GE(sent, 6);
    EXPECT_TRUE(Logged("CmCancel : Session CANCELED"));
    EXPECT_EQ(Settings().transmitterOn, 0);
    EXPECT_EQ(Settings().sending, 0);
    EXPECT_EQ(Settings().idle, 1);
    EXPECT_FALSE(KeyLineUp());
    RunFor(30s);
    EXPECT_EQ(CountOf(LogMessages(), "TXFile : Sending file <thefox.txt>."), sent);
}

TEST_F(OperatorControlsTest, FoxIsRefusedInCwModeAndDuringATransmission) {
    WriteData("thefox.txt", "THE QUICK BROWN FOX\n");
    WriteData("news.txt", News());
    ASSERT_TRUE(Start());
    dlg->modes->ModeClicked(kCw);
    auto log = LogMessages();
    controls().Fox();
    EXPECT_EQ(LogMessages(), log);
    EXPECT_TRUE(KeyChanges().empty());
    EXPECT_EQ(Settings().sending, 0);

    dlg->modes->ModeClicked(kMilitary);
    Queue(T("2026-01-01T12:00:05"), "news.txt");
    Queue(T("2026-01-01T13:00:00"), "later.txt");
    controls().CmEnable();
    At("2026-01-01T12:00:20", [this] { controls().Fox(); });
    RunUntil(T("2026-01-01T12:05:00"));
    EXPECT_TRUE(Logged("Completed sending <news.txt>."));
    EXPECT_FALSE(Logged("TXFile : Sending file <thefox.txt>."));
    EXPECT_EQ(Settings().autoSendEnabled, 1);
}

TEST_F(OperatorControlsTest, ViewLogShowsTodaysLogScrolledToItsEnd) {
    ASSERT_TRUE(Start("QZ0XB 2 RTS", "2026-01-01T23:59:50"));
    RunUntil(T("2026-01-02T00:00:05"));
    for (int i = 0; i < 10; ++i) {
        controls().CmEnable();
        controls().CmDisable();
    }
    controls().ViewLog();
    std::string log = ReadFile("log/20260102.log");
    ASSERT_FALSE(log.empty());
    std::string shown = log;
    for (char& c : shown) c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
    EXPECT_EQ(dlg->w.displayBox.Text(), shown);
    EXPECT_EQ(dlg->w.fileNameField.Text(), "log/20260102.log");
    EXPECT_EQ(dlg->w.displayBox.FirstVisibleLine(), dlg->w.displayBox.LineCount() - 12);
    EXPECT_GT(dlg->w.displayBox.FirstVisibleLine(), 0);
}

TEST_F(OperatorControlsTest, ViewLogShowsAShortLogFromItsFirstLine) {
    ASSERT_TRUE(Start("QZ0XB 2 RTS", "2026-01-05T10:00:00"));
    controls().ViewLog();
    EXPECT_EQ(dlg->w.fileNameField.Text(), "log/20260105.log");
    EXPECT_NE(dlg->w.displayBox.Text().find("***** SKEDCAST HAS BEEN STARTED *****"), std::string::npos);
    EXPECT_EQ(dlg->w.displayBox.FirstVisibleLine(), 0);
}

TEST_F(OperatorControlsTest, ThePowerBoxSwitchesThePowerLine) {
    ASSERT_TRUE(Start());
    dlg->w.powerCheck.SetCheck(1);
    controls().PowerClicked();
    EXPECT_EQ(Mcr() & 0x01, 0x01);  // DTR powers when RTS keys
    EXPECT_FALSE(KeyLineUp());
    dlg->w.powerCheck.SetCheck(0);
    controls().PowerClicked();
    EXPECT_EQ(Mcr() & 0x01, 0x00);
    EXPECT_EQ(LogMessages().back(), "CmPowerOFF : Power turned OFF");
}

TEST_F(OperatorControlsTest, ClickingTheModeGroupSaysSo) {
    ASSERT_TRUE(Start());
    controls().ModeGroupClicked();
    EXPECT_EQ(dlg->w.statusLine.Text(), "Mode Clicked");
}

}  // namespace
}  // namespace sked::test
