// The operator's controls of the main window: queue edits, the file list, the
// flow of a transmission, the test and view buttons, power and the mode group.
#include <algorithm>
#include <cctype>
#include <chrono>
#include <string>
#include <vector>

#include <gtest/gtest.h>
#include <sys/time.h>

#include "app/operator_controls.h"
#include "audio/mode_controls.h"
#include "scheduler/command_interpreter.h"
#include "support/scenario_helpers.h"
#include "transmit/file_sender.h"

namespace sked::test {
namespace {

using namespace std::chrono_literals;
using Lines = std::vector<std::string>;

class OperatorControlsTest : public ScenarioTest {
protected:
    OperatorControls& controls() { return *dlg->controls; }
    void Add(const std::string& text) {
        dlg->w.fileCombo.SetEditText(text);
        controls().FileAdd();
    }
};

TEST_F(OperatorControlsTest, FileAddInsertsTenSecondsBeforeTheSelectedOrTheHeadEntryAndDeleteRemovesOne) {
    WriteSchedule({"01/01/2026 16:00:00 a.txt", "01/01/2026 17:00:00 b.txt", "01/01/2026 18:00:00 c.txt"});
    ASSERT_TRUE(Start());
    dlg->w.scheduleList.SetCurSel(2);
    Add("wx.txt");
    EXPECT_EQ(Items(), (Lines{"01/01/2026 16:00:00 a.txt", "01/01/2026 17:00:00 b.txt", "01/01/2026 17:59:50 wx.txt",
                              "01/01/2026 18:00:00 c.txt"}));
    EXPECT_EQ(dlg->w.fileCombo.EditText(), "");
    dlg->w.scheduleList.SetCurSel(-1);
    Add("news.txt");
    controls().DeleteSelected();  // nothing selected
    dlg->w.scheduleList.SetCurSel(3);
    controls().DeleteSelected();
    controls().DeleteSelected();  // nothing selected any more
    EXPECT_EQ(Items(), (Lines{"01/01/2026 15:59:50 news.txt", "01/01/2026 16:00:00 a.txt", "01/01/2026 17:00:00 b.txt",
                              "01/01/2026 18:00:00 c.txt"}));
    dlg->w.scheduleList.ResetContent();
    Add("$RX");
    EXPECT_EQ(Items(), (Lines{"01/01/2026 12:00:10 $RX"}));  // an empty queue: ten seconds from now

    WriteData("fresh.txt", "NEW");
    Add("");  // no text: the file list is read again
    EXPECT_EQ(dlg->w.fileCombo.Item(0), "fresh.txt");
    EXPECT_EQ(Items().size(), 1u);
}

TEST_F(OperatorControlsTest, TheFileListShowsTheNewestFilesFirstThenTheCommandLines) {
    auto touch = [](const std::string& name, std::time_t when) {
        WriteFile("data/" + name, "X");
        timeval times[2] = {{when, 0}, {when, 0}};
        ::utimes(("data/" + name).c_str(), times);
    };
    const std::time_t t0 = 1767268800;  // 2026-01-01 12:00 UTC
    touch("zeta.txt", t0), touch("alpha.txt", t0 - 600), touch("mid.txt", t0 - 1200);
    touch("b2.txt", t0 - 1800), touch("b1.txt", t0 - 1800), touch(".hidden", t0 + 600);  // same second: by name
    ASSERT_TRUE(Start());
    Lines expected = {"zeta.txt", "alpha.txt", "mid.txt", "b1.txt", "b2.txt"};
    const auto& help = CommandInterpreter::HelpTable();
    expected.insert(expected.end(), help.begin(), help.begin() + 34);
    EXPECT_EQ(dlg->w.fileCombo.Items(), expected);
}

TEST_F(OperatorControlsTest, PauseResumeAndCancelActOnlyWhileAFileIsSentAndFoxWaits) {
    WriteData("news.txt", std::string(600, 'E'));
    WriteData("thefox.txt", "THE QUICK BROWN FOX\n");
    WriteSchedule({"01/01/2026 12:00:05 news.txt", "01/01/2026 13:00:00 later.txt"});
    ASSERT_TRUE(Start());
    controls().CmEnable();
    auto idle = LogMessages();
    controls().CmPause();
    controls().CmResume();
    controls().CmCancel();
    EXPECT_EQ(LogMessages(), idle);

    At("2026-01-01T12:00:15", [this] { controls().Fox(); });  // refused while sending
    At("2026-01-01T12:00:20", [this] { controls().CmPause(); });
    At("2026-01-01T12:00:40", [this] { controls().CmResume(); });
    At("2026-01-01T12:01:00", [this] { controls().CmCancel(); });
    RunUntil(T("2026-01-01T12:02:00"));
    auto log = LogMessages();
    int pause = IndexOf(log, "CmPause : Session PAUSED");
    ASSERT_GE(pause, 0);
    EXPECT_GT(IndexOf(log, "CmResume : Session RESUMED"), pause);
    EXPECT_GT(IndexOf(log, "ABORTED sending <news.txt>."), IndexOf(log, "CmCancel : Session CANCELED"));
    EXPECT_FALSE(Logged("TXFile : Sending file <thefox.txt>."));
    // Silent but keyed while paused (a character already in the UART may finish).
    EXPECT_LE(FramesIn(T("2026-01-01T12:00:20"), T("2026-01-01T12:00:40")).size(), 2u);
    EXPECT_FALSE(FramesIn(T("2026-01-01T12:00:40"), T("2026-01-01T12:00:41")).empty());
    auto keys = KeyChanges();
    ASSERT_EQ(keys.size(), 2u);
    EXPECT_GE(keys[1].time, T("2026-01-01T12:01:00"));

    ASSERT_EQ(dlg->w.flowField.Text(), "CANCEL");
    controls().CmEnable();  // clears the cancel
    EXPECT_EQ(dlg->w.flowField.Text(), "");
    EXPECT_EQ(Settings().cancelRequested, 0);
}

TEST_F(OperatorControlsTest, FoxIsRefusedInCwModeAndWithRepeatGoesOnUntilCancel) {
    WriteData("thefox.txt", "THE QUICK BROWN FOX\n");
    ASSERT_TRUE(Start());
    dlg->modes->ModeClicked(kCw);
    controls().Fox();
    EXPECT_TRUE(KeyChanges().empty());
    dlg->modes->ModeClicked(kMilitary);
    dlg->w.repeatCheck.SetCheck(1);
    dlg->files->CmRepeat();
    At("2026-01-01T12:00:30", [this] { controls().CmCancel(); });
    controls().Fox();
    int sent = CountOf(LogMessages(), "TXFile : Sending file <thefox.txt>.");
    EXPECT_GE(sent, 6);
    EXPECT_LE(Now(), T("2026-01-01T12:00:40"));  // Fox has returned
    EXPECT_FALSE(KeyLineUp());
    RunFor(30s);
    EXPECT_EQ(CountOf(LogMessages(), "TXFile : Sending file <thefox.txt>."), sent);
}

TEST_F(OperatorControlsTest, ViewLogShowsTodaysLogScrolledToItsEnd) {
    ASSERT_TRUE(Start("QZ0XB 2 RTS", "2026-01-01T23:59:50"));
    RunUntil(T("2026-01-02T00:00:05"));
    for (int i = 0; i < 20; ++i) i % 2 ? controls().CmDisable() : controls().CmEnable();
    controls().ViewLog();
    std::string shown = ReadFile("log/20260102.log");
    std::transform(shown.begin(), shown.end(), shown.begin(), [](unsigned char c) { return std::toupper(c); });
    EXPECT_EQ(dlg->w.displayBox.Text(), shown);
    EXPECT_EQ(dlg->w.fileNameField.Text(), "log/20260102.log");
    EXPECT_EQ(dlg->w.displayBox.FirstVisibleLine(), dlg->w.displayBox.LineCount() - 12);
}

TEST_F(OperatorControlsTest, ThePowerBoxSwitchesThePowerLineAndTheModeGroupSaysSo) {
    ASSERT_TRUE(Start());
    dlg->w.powerCheck.SetCheck(1);
    controls().PowerClicked();
    EXPECT_EQ(Mcr() & 0x03, 0x01);  // DTR powers when RTS keys
    dlg->w.powerCheck.SetCheck(0);
    controls().PowerClicked();
    EXPECT_EQ(Mcr() & 0x03, 0x00);
    EXPECT_EQ(LogMessages().back(), "CmPowerOFF : Power turned OFF");
    controls().ModeGroupClicked();
    EXPECT_EQ(dlg->w.statusLine.Text(), "Mode Clicked");
}

}  // namespace
}  // namespace sked::test
