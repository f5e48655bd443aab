// The operator's controls of the main window: queue edits, the file list, the
// flow of a transmission, the test and view buttons, power and the mode group.
#include <algorithm>
#include <cctype>
#include <chrono>
#include <string>
#include <vector>

#include <gtest/gtest.h>
#include <sys/time.h>

#include "app/mode_controls.h"
#include "scheduler/command_interpreter.h"
#include "support/scenario_helpers.h"
#include "transmit/file_sender.h"

namespace sked::test {
namespace {

using namespace std::chrono_literals;
using Lines = std::vector<std::string>;

class OperatorControlsTest : public ScenarioTest {
protected:
    StationCommands& controls() { return station->commands; }
    // FileAdd and Delete act on the entry selected in the list.
    void Add(const std::string& text) { controls().FileAdd(text, station->window.scheduleList.CurSel()); }
    void DeleteSelected() { controls().DeleteEntry(station->window.scheduleList.CurSel()); }
};

TEST_F(OperatorControlsTest, FileAddInsertsTenSecondsBeforeTheSelectedOrTheHeadEntryAndDeleteRemovesOne) {
    WriteSchedule({"01/01/2026 16:00:00 a.txt", "01/01/2026 17:00:00 b.txt", "01/01/2026 18:00:00 c.txt"});
    ASSERT_TRUE(Start());
    station->window.scheduleList.SetCurSel(2);
    Add("wx.txt");
    EXPECT_EQ(Items(), (Lines{"01/01/2026 16:00:00 a.txt", "01/01/2026 17:00:00 b.txt", "01/01/2026 17:59:50 wx.txt",
                              "01/01/2026 18:00:00 c.txt"}));
    EXPECT_EQ(station->window.fileCombo.EditText(), "");
    station->window.scheduleList.SetCurSel(-1);
    Add("news.txt");
    DeleteSelected();  // nothing selected
    station->window.scheduleList.SetCurSel(3);
    DeleteSelected();
    DeleteSelected();  // nothing selected any more
    EXPECT_EQ(Items(), (Lines{"01/01/2026 15:59:50 news.txt", "01/01/2026 16:00:00 a.txt", "01/01/2026 17:00:00 b.txt",
                              "01/01/2026 18:00:00 c.txt"}));
    station->queue.Clear();
    Add("$RX");
    EXPECT_EQ(Items(), (Lines{"01/01/2026 12:00:10 $RX"}));  // an empty queue: ten seconds from now

    WriteData("fresh.txt", "NEW");
    Add("");  // no text: the file list is read again
    EXPECT_EQ(station->window.fileCombo.Item(0), "fresh.txt");
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
    const auto& help = CommandInterpreter::HelpTable(station->state.idText);
    expected.insert(expected.end(), help.begin(), help.begin() + 34);
    EXPECT_EQ(station->window.fileCombo.Items(), expected);
}

TEST_F(OperatorControlsTest, PauseResumeAndCancelActOnlyWhileAFileIsSentAndFoxWaits) {
    WriteData("news.txt", std::string(600, 'E'));
    WriteData("thefox.txt", "THE QUICK BROWN FOX\n");
    WriteSchedule({"01/01/2026 12:00:05 news.txt", "01/01/2026 13:00:00 later.txt"});
    ASSERT_TRUE(Start());
    controls().Enable();
    auto idle = LogMessages();
    controls().Pause();
    controls().Resume();
    controls().Cancel();
    EXPECT_EQ(LogMessages(), idle);

    At("2026-01-01T12:00:15", [this] { controls().Fox(); });  // refused while sending
    At("2026-01-01T12:00:20", [this] { controls().Pause(); });
    At("2026-01-01T12:00:40", [this] { controls().Resume(); });
    At("2026-01-01T12:01:00", [this] { controls().Cancel(); });
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

    ASSERT_EQ(station->window.flowField.Text(), "CANCEL");
    controls().Enable();  // clears the cancel
    EXPECT_EQ(station->window.flowField.Text(), "");
    EXPECT_EQ(station->state.cancelRequested, 0);
}

TEST_F(OperatorControlsTest, FoxIsRefusedInCwModeAndWithRepeatGoesOnUntilCancel) {
    WriteData("thefox.txt", "THE QUICK BROWN FOX\n");
    ASSERT_TRUE(Start());
    station->modes.ModeClicked(kCw);
    controls().Fox();
    EXPECT_TRUE(KeyChanges().empty());
    station->modes.ModeClicked(kMilitary);
    controls().Repeat(true);
    At("2026-01-01T12:00:30", [this] { controls().Cancel(); });
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
    for (int i = 0; i < 20; ++i) i % 2 ? controls().Disable() : controls().Enable();
    controls().ViewLog();
    std::string shown = ReadFile("log/20260102.log");
    std::transform(shown.begin(), shown.end(), shown.begin(), [](unsigned char c) { return std::toupper(c); });
    EXPECT_EQ(station->window.displayBox.Text(), shown);
    EXPECT_EQ(station->window.fileNameField.Text(), "log/20260102.log");
    EXPECT_EQ(station->window.displayBox.FirstVisibleLine(), station->window.displayBox.LineCount() - 12);
}

TEST_F(OperatorControlsTest, ThePowerBoxSwitchesThePowerLineAndTheModeGroupSaysSo) {
    ASSERT_TRUE(Start());
    controls().Power(true);
    EXPECT_EQ(Mcr() & 0x03, 0x01);  // DTR powers when RTS keys
    controls().Power(false);
    EXPECT_EQ(Mcr() & 0x03, 0x00);
    EXPECT_EQ(LogMessages().back(), "CmPowerOFF : Power turned OFF");
    controls().ModeGroupClicked();
    EXPECT_EQ(station->window.statusLine.Text(), "Mode Clicked");
}

TEST_F(OperatorControlsTest, RepeatSendsTheRyTextUntilCancel) {
    ASSERT_TRUE(Start());
    WriteData("RYRYRYRY.txt", "RY");
    station->commands.Repeat(true);
    At("2026-01-01T12:00:20", [this] { station->commands.Cancel(); });
    station->commands.Ry();
    int sends = 0;
    for (const auto& m : LogMessages()) sends += m == "TXFile : Sending file <RYRYRYRY.txt>.";
    EXPECT_GT(sends, 20);
    EXPECT_EQ(station->state.sending, 0);
    EXPECT_EQ(station->state.transmitterOn, 0);

    station->commands.Repeat(false);
    station->commands.Enable();
    station->commands.Ry();
    sends = 0;
    for (const auto& m : LogMessages()) sends += m == "CmRYRYRYRY : Sending <RYRYRYRY.txt> file.";
    EXPECT_EQ(sends, 2);
}

TEST_F(OperatorControlsTest, ComposedTextInCwModeIsTimedByTheFastTimer) {
    ASSERT_TRUE(Start());
    station->modes.ModeClicked(kCw);
    station->window.displayBox.SetText("EE");
    station->commands.SendCompose();
    EXPECT_EQ(test::ReadFile("data/EditDisplayTemp.txt"), "EE");
    EXPECT_FALSE(loop->TimerRunning(kFastTimer));
    // The lead-in carrier, a word space, then the two dots, each on its own.
    std::vector<long> downs;
    TimePoint downAt{};
    for (const auto& e : uart.events) {
        if (e.kind != UartEventKind::kMcr) continue;
        if (e.keyOn && downAt == TimePoint{}) downAt = e.time;
        if (!e.keyOn && downAt != TimePoint{}) {
            downs.push_back(std::chrono::round<std::chrono::milliseconds>(e.time - downAt) / kFastTimerPeriod);
            downAt = {};
        }
    }
    EXPECT_EQ(downs, (std::vector<long>{50, 2, 2}));
    EXPECT_EQ(station->state.sending, 0);
}

TEST_F(OperatorControlsTest, SaveWritesTheDisplayUnderItsName) {
    ASSERT_TRUE(Start());
    station->window.editCheck.SetCheck(1);
    station->window.fileNameField.SetText("note.txt");
    station->window.displayBox.SetText("DE QZ0XB\r\n");
    station->commands.Save();
    EXPECT_EQ(test::ReadFile("data/note.txt"), "DE QZ0XB\r\n");
    station->window.fileNameField.SetText("nofolder/x.txt");
    station->commands.Save();
    EXPECT_TRUE(Logged("CmEditSave : Cannot open <nofolder/x.txt> file"));
}

}  // namespace
}  // namespace sked::test
