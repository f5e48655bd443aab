// The headless station's typed commands: each one of its help list, in any case.
#include <cstdio>
#include <cstdlib>
#include <functional>
#include <memory>
#include <string>
#include <utility>
#include <vector>

#include <gtest/gtest.h>
#include <unistd.h>

#include "console/console_front_end.h"
#include "support/scenario_helpers.h"

namespace sked::test {
namespace {

class ConsoleCommands : public ScenarioTest {
protected:
    void TearDown() override {
        console.reset();
        if (out) std::fclose(out);
        std::free(buffer);
        ScenarioTest::TearDown();
    }
    void StartConsole() {
        ASSERT_TRUE(Start());
        out = open_memstream(&buffer, &size);
        console = std::make_unique<ConsoleFrontEnd>(*station, out);
    }
    bool Type(const std::string& line) { return console->HandleLine(line); }
    std::string Output() {  // printed since the last call
        std::fflush(out);
        std::string fresh(buffer + seen, size - seen);
        seen = size;
        return fresh;
    }
    // Types each line and checks its effect.
    void Run(const std::vector<std::pair<std::string, std::function<bool()>>>& script) {
        for (const auto& [line, effect] : script) {
            Output();
            EXPECT_TRUE(Type(line)) << line;
            EXPECT_TRUE(effect()) << line;
        }
    }
    std::FILE* out = nullptr;
    char* buffer = nullptr;
    std::size_t size = 0, seen = 0;
    std::unique_ptr<ConsoleFrontEnd> console;
};

// Every command of the help list, every control of the window with it.
TEST_F(ConsoleCommands, EveryCommandOfTheHelpListWorksInAnyCase) {
    WriteData("thefox.txt", "THE QUICK BROWN FOX\n");
    WriteData("RYRYRYRY.txt", "RYRYRYRY\n");
    WriteData("news.txt", "NEWS\n");
    WriteData("compose.txt", "COMPOSED\n");
    const std::vector<std::string> schedule = {"01/01/2026 16:00:00 a.txt", "01/01/2026 17:00:00 b.txt",
                                               "01/01/2026 18:00:00 c.txt"};
    WriteSchedule(schedule);
    StartConsole();
    StationState& s = station->state;
    MainWindow& w = station->window;
    Run({
        {"ENABLE", [&] { return s.autoSendEnabled == 1 && w.autoSendField.Text() == "ENABLE"; }},
        {"Send", [&] { return s.sendNow == 1; }},
        {"  Disable  ", [&] { return s.autoSendEnabled == 0 && w.autoSendField.Text() == "DISABLED"; }},
        {"Delete 2", [&] { return Items().size() == 2 && Items()[1] == schedule[2]; }},
        {"RELOAD", [&] { return Items() == schedule; }},
        {"ADD News.txt", [&] { return Items().front() == "01/01/2026 15:59:50 News.txt" && Items().size() == 4; }},
        {"insert 3 news.txt", [&] { return Items()[2] == "01/01/2026 16:59:50 news.txt"; }},
        {"show 3", [&] { return w.displayBox.Text() == "NEWS\n" && Output().find("  NEWS\n") != std::string::npos; }},
        {"Fox", [&] { return Logged("TXFile : Sending file <thefox.txt>."); }},
        {"ry", [&] { return Logged("TXFile : Sending file <RYRYRYRY.txt>."); }},
        {"CWID", [&] { return MorseElements() == kIdentificationMorse; }},
        {"CwTimer ON", [&] { return w.cwTimerCheck.Check() == 1 && s.cwTimerSeconds == 0; }},
        {"cwtimer off", [&] { return w.cwTimerCheck.Check() == 0 && w.cwTimerField.Text() == "OFF"; }},
        {"TX", [&] { return s.transmitterOn == 1 && KeyLineUp(); }},
        {"Rx", [&] { return s.transmitterOn == 0 && !KeyLineUp(); }},
        {"POWER ON", [&] { return (Mcr() & 1) == 1 && w.powerCheck.Check() == 1; }},
        {"power Off", [&] { return (Mcr() & 1) == 0 && w.powerCheck.Check() == 0; }},
        {"ViewLog",  // from the first line in view (which line that is: station_commands_test)
         [&] {
             const std::string shown = Output();
             return shown.find("STARTED") == std::string::npos && shown.ends_with(" > CMPOWEROFF : POWER TURNED OFF\n");
         }},
        {"STATUS", [&] { return Output().find("  ComPort   COM2\n  Auto Send DISABLED\n") != std::string::npos; }},
        {"queue", [&] { return Output().rfind("    1  01/01/2026 15:59:50 News.txt\n    2  " + schedule[0], 0) == 0; }},
        {"HELP", [&] { return Output() == ConsoleFrontEnd::HelpText(); }},
        {"view news.txt", [&] { return w.fileNameField.Text() == "news.txt"; }},
        {"compose", [&] { return w.displayBox.Text() == "COMPOSED\n" && w.editCheck.Check() == 1; }},
        {"text QST\\nDE QZ0XB", [&] { return w.displayBox.Text() == "QST\nDE QZ0XB"; }},
        {"filename note.txt", [&] { return w.fileNameField.Text() == "note.txt"; }},
        {"save", [&] { return ReadFile("data/note.txt") == "QST\nDE QZ0XB"; }},
        {"refresh", [] { return true; }},
        {"files", [&] { return Output().find("  note.txt\n") != std::string::npos; }},  // read again
        {"filename nofolder/x.txt", [&] { return w.fileNameField.Text() == "nofolder/x.txt"; }},
        {"save", [&] { return Logged("CmEditSave : Cannot open <nofolder/x.txt> file"); }},
        {"edit off", [&] { return w.editCheck.Check() == 0 && w.displayBox.ReadOnly(); }},
        {"margin 300", [&] { return w.marginSlider.Pos() == 300; }},
        {"header off", [&] { return !s.headerEnabled && w.headerCheck.Check() == 0; }},
        {"repeat on", [&] { return s.repeat && w.repeatCheck.Check() == 1; }},
        {"diddle on", [&] { return s.diddle; }},
        {"mode ascii", [&] { return s.mode == kAscii && w.asciiButton.Checked(); }},
        {"baud 110", [&] { return s.baud == 110.0f && w.baudButtons[5].Checked(); }},
        {"tones mark", [&] { return !s.tones.centreAndShift && w.markSpaceRadio.Checked(); }},
        {"mark 1275", [&] { return s.tones.mark == "1275" && w.markField.Text() == "1275"; }},
        {"space 1445", [&] { return s.tones.space == "1445"; }},
        {"soundcard 2", [&] { return s.soundCard == 2 && !s.noSound && w.soundCardCombo.EditText() == "2"; }},
        {"nosound on", [&] { return s.noSound && w.noSoundCheck.Check() == 1; }},
        {"netport 16", [&] { return s.netPort == 16 && w.netPortCombo.EditText() == "16"; }},
        {"address mirror.example", [&] { return s.netAddress == "mirror.example"; }},
        {"auth a secret", [&] { return s.authentication == "a secret"; }},
        {"netport off", [&] { return s.netPort == 0; }},
        {"about", [&] { return boxes.shown.back().caption == "About Skedcast"; }},
        {"editor", [&] { return boxes.shown.back().caption == "Schedule Editor"; }},
        {"Quit", [&] { return loop->QuitRequested(); }},
    });
    for (const char* refused : {"mode rtty", "baud 75", "netport 17", "soundcard 5", "insert 9 x.txt", "margin 501",
                                "show 0", "tx now"})
        EXPECT_FALSE(Type(refused)) << refused;
}

// Paused, the line is silent but keyed; cancelled, the file is ABORTED at once and the next entry waits.
TEST_F(ConsoleCommands, PauseResumeAndCancelActOnTheFileUnderWay) {
    WriteData("news.txt", std::string(600, 'E'));
    WriteData("thefox.txt", "THE QUICK BROWN FOX\n");
    WriteSchedule({"01/01/2026 12:00:05 news.txt", "01/01/2026 13:00:00 later.txt"});
    StartConsole();
    Type("enable");
    auto idle = LogMessages();
    for (const char* line : {"pause", "resume", "cancel"}) EXPECT_TRUE(Type(line));
    EXPECT_EQ(LogMessages(), idle);
    At("2026-01-01T12:00:15", [&] { Type("fox"); });
    At("2026-01-01T12:00:20", [&] { Type("PAUSE"); });
    At("2026-01-01T12:00:40", [&] { Type("Resume"); });
    At("2026-01-01T12:01:00", [&] { Type("cAnCeL"); });
    RunUntil(T("2026-01-01T12:02:00"));
    auto log = LogMessages();
    int pause = IndexOf(log, "CmPause : Session PAUSED"), resume = IndexOf(log, "CmResume : Session RESUMED"),
        cancel = IndexOf(log, "CmCancel : Session CANCELED"), aborted = IndexOf(log, "ABORTED sending <news.txt>.");
    EXPECT_TRUE(0 <= pause && pause < resume && resume < cancel && cancel < aborted) << pause << resume << cancel;
    EXPECT_LE(TimeOf("ABORTED sending <news.txt>."), T("2026-01-01T12:01:03"));
    EXPECT_FALSE(Logged("Completed sending <news.txt>."));
    EXPECT_FALSE(Logged("TXFile : Sending file <thefox.txt>."));
    // A character already in the UART may finish.
    EXPECT_LE(FramesIn(T("2026-01-01T12:00:20"), T("2026-01-01T12:00:40")).size(), 2u);
    EXPECT_FALSE(FramesIn(T("2026-01-01T12:00:40"), T("2026-01-01T12:00:41")).empty());
    EXPECT_LE(FramesIn(T("2026-01-01T12:01:00"), TimePoint::max()).size(), 2u);
    auto keys = KeyChanges();
    ASSERT_EQ(keys.size(), 2u);
    EXPECT_GE(keys[1].time, T("2026-01-01T12:01:00"));
    EXPECT_EQ(station->window.autoSendField.Text(), "DISABLED");
    EXPECT_EQ(Items(), std::vector<std::string>{"01/01/2026 13:00:00 later.txt"});
    ASSERT_EQ(station->window.flowField.Text(), "CANCEL");
    Type("enable");  // clears the cancel
    EXPECT_EQ(station->window.flowField.Text(), "");
    EXPECT_EQ(station->state.cancelRequested, 0);
}

TEST_F(ConsoleCommands, UnknownIncompleteOrOverlongLinesAreRefused) {
    StartConsole();
    auto log = LogMessages();
    EXPECT_FALSE(Type("launch the rocket"));
    EXPECT_EQ(Output(), "unknown command \"launch the rocket\"; type help\n");
    for (const char* line : {"enabled", "cwtimer", "cwtimer maybe", "power", "power up", "delete 1", "delete x"})
        EXPECT_FALSE(Type(line)) << line;
    EXPECT_TRUE(Type("   "));
    EXPECT_EQ(LogMessages(), log);
    EXPECT_EQ(station->state.autoSendEnabled, 0);

    // Standard input goes through a line reader: an over-long line is
    // discarded with a message, and the commands after it run.
    int fds[2];
    ASSERT_EQ(::pipe(fds), 0);
    std::string input = std::string(10000, 'e') + "\r\nqueue\r\nadd $RX\r\nqueue";
    ASSERT_EQ(::write(fds[1], input.data(), input.size()), static_cast<ssize_t>(input.size()));
    ::close(fds[1]);
    Output();
    console->WatchInput(fds[0]);
    RunFor(std::chrono::seconds(2));
    console->StopInput();
    ::close(fds[0]);
    // Added to an empty queue: ten seconds from now.
    EXPECT_EQ(Output(),
              "input line longer than 4096 bytes discarded\n  (queue empty)\n    1  01/01/2026 12:00:10 $RX\n");
}

}  // namespace
}  // namespace sked::test
