// Operator controls beyond console_commands_test: the file list's order, test texts, log view, CW composition.
#include <algorithm>
#include <cctype>
#include <chrono>
#include <string>
#include <utility>
#include <vector>

#include <gtest/gtest.h>
#include <sys/time.h>

#include "app/mode_controls.h"
#include "scheduler/command_interpreter.h"
#include "support/scenario_helpers.h"

namespace sked::test {
namespace {

using namespace std::chrono_literals;
using Lines = std::vector<std::string>;

using OperatorControlsTest = ScenarioTest;

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

// Fox and RY: refused in CW mode; with Repeat ticked they go on until cancel, and can be sent again after it.
TEST_F(OperatorControlsTest, TestTextsRepeatUntilCancelAndAreRefusedInCwMode) {
    WriteData("thefox.txt", "THE QUICK BROWN FOX\n");
    WriteData("RYRYRYRY.txt", "RY");
    ASSERT_TRUE(Start());
    StationCommands& controls = station->commands;
    for (auto [file, press] :
         {std::pair{"thefox.txt", &StationCommands::Fox}, {"RYRYRYRY.txt", &StationCommands::Ry}}) {
        SCOPED_TRACE(file);
        const std::string sending = std::string("TXFile : Sending file <") + file + ">.";
        station->modes.ModeClicked(kCw);
        const auto keyings = KeyChanges().size();
        (controls.*press)();
        EXPECT_EQ(CountOf(LogMessages(), sending), 0);
        EXPECT_EQ(KeyChanges().size(), keyings);
        station->modes.ModeClicked(kMilitary);
        controls.Repeat(true);
        const TimePoint start = Now();
        At(start + 30s, [&] { controls.Cancel(); });
        (controls.*press)();
        const int sent = CountOf(LogMessages(), sending);
        EXPECT_GE(sent, 6);
        EXPECT_LE(Now(), start + 40s);  // it has returned
        EXPECT_FALSE(KeyLineUp());
        EXPECT_EQ(station->state.sending, 0);
        EXPECT_EQ(station->state.transmitterOn, 0);
        RunFor(30s);
        EXPECT_EQ(CountOf(LogMessages(), sending), sent);

        controls.Repeat(false);
        controls.Enable();
        (controls.*press)();
        EXPECT_EQ(CountOf(LogMessages(), sending), sent + 1);
    }
}

TEST_F(OperatorControlsTest, ViewLogShowsTodaysLogScrolledToItsEnd) {
    ASSERT_TRUE(Start("QZ0XB 2 RTS", "2026-01-01T23:59:50"));
    StationCommands& controls = station->commands;
    RunUntil(T("2026-01-02T00:00:05"));
    for (int i = 0; i < 20; ++i) i % 2 ? controls.Disable() : controls.Enable();
    controls.ViewLog();
    std::string shown = ReadFile("log/20260102.log");
    std::transform(shown.begin(), shown.end(), shown.begin(), [](unsigned char c) { return std::toupper(c); });
    EXPECT_EQ(station->window.displayBox.Text(), shown);
    EXPECT_EQ(station->window.fileNameField.Text(), "log/20260102.log");
    EXPECT_EQ(station->window.displayBox.FirstVisibleLine(), station->window.displayBox.LineCount() - 12);
}

// The lead-in opens the key for a word space before the text.
TEST_F(OperatorControlsTest, ComposedTextInCwModeIsTimedByTheFastTimer) {
    ASSERT_TRUE(Start());
    station->modes.ModeClicked(kCw);
    station->window.displayBox.SetText("EE");
    station->commands.SendCompose();
    EXPECT_EQ(ReadFile("data/EditDisplayTemp.txt"), "EE");
    EXPECT_FALSE(loop->TimerRunning(kFastTimer));
    // The lead-in carrier, a word space, then the two dots, each on its own.
    std::vector<long> downs;
    auto keys = KeyChanges();
    for (std::size_t i = 1; i < keys.size(); i += 2)
        downs.push_back(std::chrono::round<std::chrono::milliseconds>(keys[i].time - keys[i - 1].time) /
                        kFastTimerPeriod);
    EXPECT_EQ(downs, (std::vector<long>{50, 2, 2}));
    EXPECT_EQ(station->state.sending, 0);
}

}  // namespace
}  // namespace sked::test
