// The headless station's typed commands: each one of its help list, typed in
// any case, does what the main window's control does.
#include <cctype>
#include <cstdio>
#include <cstdlib>
#include <memory>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "app/operator_controls.h"
#include "console/console_front_end.h"
#include "support/scenario_helpers.h"

namespace sked::test {
namespace {

using namespace std::chrono_literals;

class ConsoleCommands : public ScenarioTest {
protected:
    void TearDown() override {
        console.reset();
        if (out) std::fclose(out);
        std::free(buffer);
        ScenarioTest::TearDown();
    }
    bool Start(const std::string& start = "2026-01-01T12:00:00") {
        bool ok = ScenarioTest::Start("QZ0XB 2 RTS", start);
        out = open_memstream(&buffer, &size);
        console = std::make_unique<ConsoleFrontEnd>(*dlg, out);
        return ok;
    }
    bool Type(const std::string& line) { return console->HandleLine(line); }
    // What the console printed since the last call.
    std::string Output() {
        std::fflush(out);
        std::string all(buffer, size);
        std::string fresh = all.substr(seen);
        seen = all.size();
        return fresh;
    }
    std::vector<std::string> Items() const { return dlg->w.scheduleList.Items(); }
    std::string News() const {
        std::string news;
        for (int i = 0; i < 20; ++i) news += "THE QUICK BROWN FOX JUMPS OVER THE LAZY DOG\n";
        return news;
    }

    std::FILE* out = nullptr;
    char* buffer = nullptr;
    std::size_t size = 0;
    std::size_t seen = 0;
    std::unique_ptr<ConsoleFrontEnd> console;
};

TEST_F(ConsoleCommands, EnableAndDisable) {
    WriteSchedule({"01/01/2026 16:00:00 a.txt"});
    ASSERT_TRUE(Start());
    EXPECT_TRUE(Type("ENABLE"));
    EXPECT_EQ(Settings().autoSendEnabled, 1);
    EXPECT_EQ(dlg->w.autoSendField.Text(), "ENABLE");
    EXPECT_TRUE(Type("  Disable  "));
    EXPECT_EQ(Settings().autoSendEnabled, 0);
    EXPECT_EQ(dlg->w.autoSendField.Text(), "DISABLED");
    EXPECT_EQ(Output(), "");
}

TEST_F(ConsoleCommands, PauseResumeAndCancelActOnTheFileUnderWay) {
    WriteData("news.txt", News());
    WriteSchedule({"01/01/2026 12:00:05 news.txt", "01/01/2026 13:00:00 later.txt"});
    ASSERT_TRUE(Start());
    Type("enable");
    int runningWhilePaused = -1;
    At("2026-01-01T12:00:20", [&] { EXPECT_TRUE(Type("PAUSE")); });
    At("2026-01-01T12:00:25", [&] { runningWhilePaused = Settings().running; });
    At("2026-01-01T12:00:30", [&] { EXPECT_TRUE(Type("Resume")); });
    At("2026-01-01T12:00:40", [&] { EXPECT_TRUE(Type("cAnCeL")); });
    RunUntil(T("2026-01-01T12:01:00"));
    EXPECT_EQ(runningWhilePaused, 0);
    auto log = LogMessages();
    int pause = IndexOf(log, "CmPause : Session PAUSED");
    int resume = IndexOf(log, "CmResume : Session RESUMED");
    int cancel = IndexOf(log, "CmCancel : Session CANCELED");
    ASSERT_GE(pause, 0);
    EXPECT_LT(pause, resume);
    EXPECT_LT(resume, cancel);
    EXPECT_LT(cancel, IndexOf(log, "ABORTED sending <news.txt>."));
    EXPECT_EQ(Settings().autoSendEnabled, 0);
    EXPECT_EQ(Settings().transmitterOn, 0);
}

TEST_F(ConsoleCommands, SendPutsTheHeadOnTheAirAtTheNextTick) {
    WriteData("a.txt", "EEE");
    WriteSchedule({"01/01/2026 16:00:00 a.txt", "01/01/2026 17:00:00 b.txt"});
    ASSERT_TRUE(Start());
    EXPECT_TRUE(Type("send"));  // scheduler disabled: nothing
    EXPECT_EQ(Settings().sendNow, 0);
    Type("enable");
    EXPECT_TRUE(Type("SEND"));
    EXPECT_EQ(Settings().sendNow, 1);
    RunUntil(T("2026-01-01T12:01:00"));
    EXPECT_EQ(StampOf("20260101", "File <a.txt> in TRANSMIT Queue."), "12:00:01");
    EXPECT_EQ(Items(), (std::vector<std::string>{"01/01/2026 17:00:00 b.txt"}));
}

TEST_F(ConsoleCommands, DeleteRemovesTheNumberedEntry) {
    WriteSchedule({"01/01/2026 16:00:00 a.txt", "01/01/2026 17:00:00 b.txt", "01/01/2026 18:00:00 c.txt"});
    ASSERT_TRUE(Start());
    EXPECT_TRUE(Type("Delete 2"));
    EXPECT_EQ(Items(), (std::vector<std::string>{"01/01/2026 16:00:00 a.txt", "01/01/2026 18:00:00 c.txt"}));
    EXPECT_TRUE(Type("DELETE 1"));
    EXPECT_EQ(Items(), (std::vector<std::string>{"01/01/2026 18:00:00 c.txt"}));
    Output();
    for (const char* wrong : {"delete 0", "delete 2", "delete x", "delete"}) {
        EXPECT_FALSE(Type(wrong)) << wrong;
        EXPECT_EQ(Output().rfind("delete: no entry", 0), 0u) << wrong;
    }
    EXPECT_EQ(Items().size(), 1u);
}

TEST_F(ConsoleCommands, ReloadReadsTheScheduleAgain) {
    WriteSchedule({"01/01/2026 16:00:00 a.txt"});
    ASSERT_TRUE(Start());
    WriteSchedule({"01/01/2026 18:00:00 c.txt"});
    EXPECT_TRUE(Type("RELOAD"));
    EXPECT_EQ(Items(), (std::vector<std::string>{"01/01/2026 18:00:00 c.txt"}));
    EXPECT_EQ(LogMessages().back(), "CmClearItems : Reloading Schedule List");
}

TEST_F(ConsoleCommands, AddPutsTheTextAtTheTopOfTheQueue) {
    ASSERT_TRUE(Start());
    RunFor(2s);
    // An empty queue: due ten seconds from now; the text keeps its case.
    EXPECT_TRUE(Type("ADD News.txt"));
    EXPECT_EQ(Items(), (std::vector<std::string>{"01/01/2026 12:00:12 News.txt"}));

    // Otherwise ten seconds before the head entry, whatever is selected.
    WriteSchedule({"01/01/2026 16:00:00 a.txt", "01/01/2026 17:00:00 b.txt"});
    Type("reload");
    dlg->w.scheduleList.SetCurSel(1);
    EXPECT_TRUE(Type("add $ASCII    // MODE = ASCII"));
    EXPECT_EQ(Items(), (std::vector<std::string>{"01/01/2026 15:59:50 $ASCII    // MODE = ASCII",
                                                 "01/01/2026 16:00:00 a.txt", "01/01/2026 17:00:00 b.txt"}));
    EXPECT_EQ(dlg->w.fileCombo.EditText(), "");
}

TEST_F(ConsoleCommands, FoxAndRySendTheTestTexts) {
    WriteData("thefox.txt", "THE QUICK BROWN FOX\n");
    WriteData("RYRYRYRY.txt", "RYRYRYRY\n");
    ASSERT_TRUE(Start());
    EXPECT_TRUE(Type("Fox"));
    EXPECT_EQ(CountOf(LogMessages(), "TXFile : Sending file <thefox.txt>."), 1);
    EXPECT_TRUE(Type("RY"));
    auto log = LogMessages();
    int ry = IndexOf(log, "CmRYRYRYRY : Sending <RYRYRYRY.txt> file.");
    ASSERT_GE(ry, 0);
    EXPECT_GE(IndexOf(log, "TXFile : Sending file <RYRYRYRY.txt>.", ry), ry);
    EXPECT_EQ(CountOf(log, "CmTX : Transmitter ON"), 2);
    EXPECT_EQ(CountOf(log, "CmRX : Transmitter OFF"), 2);
    EXPECT_EQ(Settings().transmitterOn, 0);
}

TEST_F(ConsoleCommands, CwidAndTheCwTimer) {
    ASSERT_TRUE(Start());
    EXPECT_TRUE(Type("CWID"));
    EXPECT_EQ(CountOf(LogMessages(), "Cwid : Sending CW Identification."), 1);
    EXPECT_EQ(BreakElements(), 46);

    EXPECT_TRUE(Type("CwTimer ON"));
    EXPECT_EQ(dlg->w.cwTimerCheck.Check(), 1);
    EXPECT_EQ(Settings().cwTimerSeconds, 0);
    EXPECT_TRUE(Type("cwtimer off"));
    EXPECT_EQ(dlg->w.cwTimerCheck.Check(), 0);
    EXPECT_EQ(Settings().cwTimerSeconds, -1);
    EXPECT_EQ(dlg->w.cwTimerField.Text(), "OFF");
    Output();
    EXPECT_FALSE(Type("cwtimer"));
    EXPECT_FALSE(Type("cwtimer maybe"));
    EXPECT_NE(Output().find("unknown command"), std::string::npos);
}

TEST_F(ConsoleCommands, TxRxAndPower) {
    ASSERT_TRUE(Start());
    EXPECT_TRUE(Type("TX"));
    EXPECT_EQ(Settings().transmitterOn, 1);
    EXPECT_TRUE(KeyLineUp());
    EXPECT_TRUE(Type("Rx"));
    EXPECT_EQ(Settings().transmitterOn, 0);
    EXPECT_FALSE(KeyLineUp());

    EXPECT_TRUE(Type("POWER ON"));
    EXPECT_EQ(Mcr() & 0x01, 0x01);
    EXPECT_EQ(dlg->w.powerCheck.Check(), 1);
    EXPECT_TRUE(Type("power Off"));
    EXPECT_EQ(Mcr() & 0x01, 0x00);
    EXPECT_EQ(dlg->w.powerCheck.Check(), 0);
    EXPECT_FALSE(Type("power"));
    EXPECT_FALSE(Type("power up"));
    EXPECT_EQ(Mcr() & 0x01, 0x00);
}

TEST_F(ConsoleCommands, ViewlogPrintsTheEndOfTodaysLog) {
    ASSERT_TRUE(Start());
    for (int i = 0; i < 10; ++i) {
        Type("enable");
        Type("disable");
    }
    Output();
    EXPECT_TRUE(Type("ViewLog"));
    std::string printed = Output();
    auto lines = LogLines("20260101");
    ASSERT_GT(lines.size(), 12u);
    std::string expected;
    for (std::size_t i = lines.size() - 11; i < lines.size(); ++i) {
        std::string line = lines[i];
        for (char& c : line) c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
        expected += "  " + line + "\n";
    }
    EXPECT_EQ(printed, expected);
}

TEST_F(ConsoleCommands, StatusAndQueueShowTheWindow) {
    WriteSchedule({"01/01/2026 16:00:00 a.txt", "01/01/2026 17:00:00 b.txt"});
    ASSERT_TRUE(Start());
    Type("enable");
    RunFor(1s);
    Output();
    EXPECT_TRUE(Type("STATUS"));
    std::string status = Output();
    EXPECT_NE(status.find("  Clock     Thu Jan  1 12:00:01 2026\n"), std::string::npos) << status;
    EXPECT_NE(status.find("  ComPort   COM2\n"), std::string::npos) << status;
    EXPECT_NE(status.find("  Auto Send ENABLE\n"), std::string::npos) << status;
    EXPECT_NE(status.find("  Down      14399\n"), std::string::npos) << status;

    EXPECT_TRUE(Type("Queue"));
    EXPECT_EQ(Output(), "    1  01/01/2026 16:00:00 a.txt\n    2  01/01/2026 17:00:00 b.txt\n");
    dlg->w.scheduleList.ResetContent();
    EXPECT_TRUE(Type("queue"));
    EXPECT_EQ(Output(), "  (queue empty)\n");
}

TEST_F(ConsoleCommands, QuitEndsTheStationAndCancelsAFileUnderWay) {
    WriteData("news.txt", News());
    WriteSchedule({"01/01/2026 12:00:05 news.txt", "01/01/2026 13:00:00 later.txt"});
    ASSERT_TRUE(Start());
    Type("enable");
    At("2026-01-01T12:00:20", [&] { EXPECT_TRUE(Type("QUIT")); });
    RunUntil(T("2026-01-01T12:01:00"));
    EXPECT_TRUE(loop->QuitRequested());
    EXPECT_TRUE(Logged("ABORTED sending <news.txt>."));
    EXPECT_EQ(Settings().transmitterOn, 0);
}

TEST_F(ConsoleCommands, QuitWhileIdle) {
    ASSERT_TRUE(Start());
    auto log = LogMessages();
    EXPECT_TRUE(Type("Quit"));
    EXPECT_TRUE(loop->QuitRequested());
    EXPECT_EQ(LogMessages(), log);
}

TEST_F(ConsoleCommands, HelpListsTheCommands) {
    ASSERT_TRUE(Start());
    EXPECT_TRUE(Type("HELP"));
    EXPECT_EQ(Output(), ConsoleFrontEnd::HelpText());
}

TEST_F(ConsoleCommands, UnknownCommandsAreRefused) {
    ASSERT_TRUE(Start());
    auto log = LogMessages();
    EXPECT_FALSE(Type("launch the rocket"));
    EXPECT_EQ(Output(), "unknown command \"launch the rocket\"; type help\n");
    EXPECT_FALSE(Type("enabled"));
    EXPECT_EQ(Settings().autoSendEnabled, 0);
    EXPECT_TRUE(Type("   "));
    EXPECT_EQ(LogMessages(), log);
}

}  // namespace
}  // namespace sked::test
