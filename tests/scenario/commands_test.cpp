// The operator's commands: queue entries beginning with "$", each command of the headless station's help list in
// any case, and the controls behind them: pause, resume, cancel, the file list, test texts, log view, CW composition.
#include <cmath>

#include <sys/time.h>

#include "app/about_listing.h"
#include "app/mode_controls.h"
#include "platform/text_format.h"
#include "scheduler/schedule_commands.h"
#include "support/scenario_helpers.h"
#include "transmit/macro_expander.h"

namespace sked::test {
namespace {

using enum UartEventKind;

const std::string kFar = "01/02/2026 00:00:00 far.txt";

class Commands : public ScenarioTest {
protected:
    using Script = std::vector<std::pair<std::string, std::function<bool()>>>;
    // Each line typed, or as an entry put at the head of the queue due now for the scheduler to take at the next tick
    // (a far entry keeps the queue from running empty); what it started runs to its end, then its effect is checked.
    void Play(bool entries, const Script& script) {
        for (const auto& [line, effect] : script) {
            Output();
            if (entries && Items().empty()) Queue(T("2026-01-02T00:00:00"), "far.txt");
            if (entries && !station->scheduler.autoSendEnabled) station->commands.Enable();
            before = State();
            if (entries) Queue(Now(), line, 0), RunFor(1s);
            else EXPECT_TRUE(Type(line)) << line;
            for (int second = 0; second < 600 && !loop->QuitRequested() && station->transmission.Busy(); ++second)
                RunFor(1s);
            EXPECT_TRUE(!entries || Items().front() == kFar) << line << " was not taken";
            EXPECT_TRUE(effect()) << line << "\nbefore: " << before << "\nafter:  " << State();
        }
    }
    // What a command could change, to show that one changed nothing.
    std::string State() {
        const StationSettings& s = station->settings;
        return Format("%d %g %g %g %d %d %d %d %d %d %d %zu %zu|", static_cast<int>(s.mode), double{s.baud},
                      double{s.pskFrequency}, double{s.fskCentre}, static_cast<int>(s.keyLine), s.portNumber,
                      s.headerEnabled, s.diddle, station->transmitter.On(), station->scheduler.autoSendEnabled,
                      station->cwid.secondsCounted(), LogMessages().size(), uart.events.size()) +
               station->window.centreField.Text() + "|" + station->window.comPortField.Text();
    }
    std::string before;
};

// In order, each entry with the effect it must have; help lines work with their remark.
TEST_F(Commands, EveryCommandTakesEffectWhenItsEntryFallsDue) {
    WriteSchedule({kFar});
    ASSERT_TRUE(Start());
    WriteSchedule({kFar, "01/02/2026 01:00:00 reloaded.txt"});
    StationSettings& s = station->settings;
    MainWindow& w = station->window;
    const auto help = ScheduleHelpLines(s.IdText());
    auto same = [&] { return State() == before; };
    // DTR (1) and RTS (2) as the port's modem-control register has them.
    auto mcr = [&](unsigned lines) { return (LastWrite(kMcr, s.portNumber == 1 ? 0x3F8 : 0x2F8) & 3) == lines; };
    auto on = [&] { return station->transmitter.On(); };
    auto lcr = [&] { return LastWrite(kLcr); };
    auto counted = [&] { return station->cwid.secondsCounted(); };
    // The speed with its button alone checked and its divisor on the line.
    auto baud = [&](int button, float value, unsigned divisor) {
        return [&, button, value, divisor] {
            for (int i = 0; i < 7; ++i)
                if (w.baudButtons[i].Checked() != (i == button)) return false;
            return std::abs(s.baud - value) < 0.01f && LastWrite(kDivisor) == divisor;
        };
    };
    // $F15.. to $F21..: only the PSK frequency, whatever digits follow.
    auto psk = [&](float hertz) { return [&, hertz] { return s.pskFrequency == hertz && s.mode == Mode::Military; }; };
    Play(true, {
        {"$XYZZY", same}, {"$E", same}, {"$", same}, {help[0], same}, {"$fsk=150", same}, {"$FSK=none", same},
        {"$ASCII    // MODE = ASCII", [&] { return s.mode == Mode::Ascii && w.asciiButton.Checked() && lcr() == 7; }},
        {"$ITA2", [&] { return s.mode == Mode::Ita2 && w.ita2Button.Checked() && lcr() == 4; }},
        {"$telex", [&] { return s.mode == Mode::Telex && w.telexButton.Checked(); }},
        {"$MILITARY // MODE = MILITARY", [&] { return s.mode == Mode::Military && w.milButton.Checked(); }},
        {"$FSK=2125.5", [&] { return s.fskCentre == 2125.5f && w.centreField.Text() == "  2125.500"; }},
        {"$B50", baud(1, 50, 2304)}, {"$B56", baud(2, 56.9f, 2024)}, {"$B74", baud(3, 74.2f, 1552)},
        {"$B100", baud(4, 100, 1152)}, {"$B110", baud(5, 110, 1047)}, {"$B300", baud(6, 300, 384)},
        {"$B45", baud(0, 45.45f, 2534)}, {"$b109", baud(4, 100, 1152)}, {"$B45", baud(0, 45.45f, 2534)},
        {"$F1650", psk(1600)}, {"$F1599", psk(1500)}, {"$F17", psk(1700)}, {"$f1800", psk(1800)},
        {"$F1999", psk(1900)}, {"$F2000", psk(2000)}, {"$F2100", psk(2100)},
        {"$PSK31", [&] {  // without a sound card
             return !boxes.shown.empty() && boxes.shown.back().text == "Please Select a Sound Card" &&
                    s.mode == Mode::Military && w.milButton.Checked();
         }},
        {"$CWTimer  // Starts 1 Hour CW ID", [&] { return w.cwTimerCheck.Check() == 1 && counted() == 0; }},
        {"$cwstop", [&] { return w.cwTimerCheck.Check() == 0 && counted() == -1 && w.cwTimerField.Text() == "OFF"; }},
        {help[12], [&] { return MorseElements() == kIdentificationMorse && s.mode == Mode::Military; }},
        {"$CW", [&] { return s.mode == Mode::Cw && w.cwButton.Checked(); }},
        {"$MIL", [&] { return s.mode == Mode::Military; }},
        {"$TX", [&] { return on() && mcr(2); }}, {"$RX", [&] { return !on() && mcr(0); }},  // RTS keys, DTR powers
        {"$PON", [&] { return w.powerCheck.Check() == 1 && mcr(1); }},
        {"$POFF", [&] { return w.powerCheck.Check() == 0 && mcr(0); }},
        {"$dtr", [&] { return s.keyLine == KeyLine::Dtr; }},  // RTS powers now: power on never keys
        {"$TX", [&] { return mcr(1); }}, {"$RX", [&] { return mcr(0); }},
        {"$RTS", [&] { return s.keyLine == KeyLine::Rts; }},
        {"$NOHEADER", [&] { return w.headerCheck.Check() == 0 && s.headerEnabled == 0; }},
        {"$HEADER", [&] { return w.headerCheck.Check() == 1 && s.headerEnabled == 1; }},
        {"$DIDDLE", [&] { return w.diddleCheck.Check() == 1 && s.diddle == 1; }},
        {"$NODITTLE", [&] { return w.diddleCheck.Check() == 0 && s.diddle == 0; }},
        {"$DITTLE   // Orvald's Dittle", [&] { return w.diddleCheck.Check() == 1 && s.diddle == 1; }},
        {"$RELOAD", [&] { return Items() == Lines{kFar, "01/02/2026 01:00:00 reloaded.txt"}; }},
        {"$COM9", [&] { return same() && w.statusLine.Text() == "Error: Invalid Port ID"; }},
        {"$COM1",
         [&] {
             return s.portNumber == 1 && w.comPortField.Text() == "COM1" &&
                    LogMessages().back() == "ComPort Changed to COM1" &&
                    w.statusLine.Text() == "SetupWindow : COM1 set to 0x3F8." &&
                    LastWrite(kDivisor, 0x3F8) == 2534 && LastWrite(kLcr, 0x3F8) == 0x04;
         }},
        {"$TX", [&] { return mcr(2); }},
    });
    // With a sound card PSK31 takes frequencies above two hundred.
    station->commands.SoundCard("1");
    Play(true, {
        {"$psk=1234.5", [&] { return s.mode == Mode::Psk31 && w.pskButton.Checked() && s.pskFrequency == 1234.5f &&
                                     w.centreField.Text() == "  1234.500"; }},
        {"$PSK=150", [&] { return s.pskFrequency == 1234.5f; }},
        {"$DISABLE", [&] { return !station->scheduler.autoSendEnabled && !on() && mcr(0); }},
    });
    Queue(Now(), "$ASCII", 0);  // disabled, the scheduler leaves a due entry waiting
    RunFor(3s);
    EXPECT_EQ(Items().size(), 3u);
}

TEST_F(Commands, EveryCommandOfTheHelpListWorksInAnyCase) {
    WriteData({{"thefox.txt", "THE QUICK BROWN FOX\n"}, {"RYRYRYRY.txt", "RYRYRYRY\n"}, {"news.txt", "NEWS\n"},
               {"compose.txt", "COMPOSED\n"}});
    const Lines schedule = {"01/01/2026 16:00:00 a.txt", "01/01/2026 17:00:00 b.txt", "01/01/2026 18:00:00 c.txt"};
    WriteSchedule(schedule);
    ASSERT_TRUE(Start());
    StationSettings& s = station->settings;
    const SchedulerState& scheduler = station->scheduler;
    MainWindow& w = station->window;
    Play(false, {
        {"ENABLE", [&] { return scheduler.autoSendEnabled && w.autoSendField.Text() == "ENABLE"; }},
        {"Send", [&] { return scheduler.sendNow; }},
        {"  Disable  ", [&] { return !scheduler.autoSendEnabled && w.autoSendField.Text() == "DISABLED"; }},
        {"send", [&] { return !scheduler.sendNow && w.statusLine.Text() == "Send >> : the scheduler is DISABLED."; }},
        {"Delete 2", [&] { return Items().size() == 2 && Items()[1] == schedule[2]; }},
        {"RELOAD", [&] { return Items() == schedule; }},
        {"ADD News.txt", [&] { return Items().front() == "01/01/2026 15:59:50 News.txt" && Items().size() == 4; }},
        {"insert 3 news.txt", [&] { return Items()[2] == "01/01/2026 16:59:50 news.txt"; }},
        {"show 3", [&] { return w.displayBox.Text() == "NEWS\n" && Output().find("  NEWS\n") != std::string::npos; }},
        {"Fox", [&] { return Logged("TXFile : Sending file <thefox.txt>."); }},
        {"ry", [&] { return Logged("TXFile : Sending file <RYRYRYRY.txt>."); }},
        {"CWID", [&] { return MorseElements() == kIdentificationMorse; }},
        {"CwTimer ON", [&] { return w.cwTimerCheck.Check() == 1 && station->cwid.secondsCounted() == 0; }},
        {"cwtimer off", [&] { return w.cwTimerCheck.Check() == 0 && w.cwTimerField.Text() == "OFF"; }},
        {"TX", [&] { return station->transmitter.On() && KeyLineUp(); }},
        {"Rx", [&] { return !station->transmitter.On() && !KeyLineUp(); }},
        {"POWER ON", [&] { return Line().PowerOn() && w.powerCheck.Check() == 1; }},
        {"power Off", [&] { return !Line().PowerOn() && w.powerCheck.Check() == 0; }},
        {"ViewLog", [&] { return Output().ends_with(" > CMPOWEROFF : POWER TURNED OFF\n"); }},
        {"STATUS", [&] { return Output().find("  ComPort   COM2\n  Auto Send DISABLED\n") != std::string::npos; }},
        {"queue", [&] { return Output().rfind("    1  01/01/2026 15:59:50 News.txt\n    2  " + schedule[0], 0) == 0; }},
        {"HELP", [&] { return Output() == ConsoleFrontEnd::HelpText(); }},
        {"view news.txt", [&] { return w.fileNameField.Text() == "news.txt"; }},
        {"compose", [&] { return w.displayBox.Text() == "COMPOSED\n" && w.editCheck.Check() == 1; }},
        {"text QST\\n" + std::string(75, 'R'), [&] { return w.displayBox.Text() == "QST\n" + std::string(75, 'R'); }},
        {"filename note.txt", [&] { return w.fileNameField.Text() == "note.txt"; }},
        {"save", [&] {  // a line end where the display wraps (70 columns at its margin)
             return ReadFile("data/note.txt") == "QST\r\n" + std::string(70, 'R') + "\r\r\n" + std::string(5, 'R');
         }},
        {"refresh", [] { return true; }}, {"files", [&] { return Output().find("  note.txt\n") != std::string::npos; }},
        {"filename nofolder/x.txt", [&] { return w.fileNameField.Text() == "nofolder/x.txt"; }},
        {"save", [&] { return LogMessages().back().starts_with("CmEditSave : Cannot write <nofolder/x.txt> file: "); }},
        {"edit off", [&] { return w.editCheck.Check() == 0 && w.displayBox.ReadOnly(); }},
        {"save", [&] { return w.statusLine.Text() == "Save : the display is read-only (Edit)."; }},
        {"margin 300", [&] { return w.marginSlider.Pos() == 300; }},
        {"header off", [&] { return !s.headerEnabled && w.headerCheck.Check() == 0; }},
        {"repeat on", [&] { return s.repeat && w.repeatCheck.Check() == 1; }},
        {"diddle on", [&] { return s.diddle; }},
        {"mode ascii", [&] { return s.mode == Mode::Ascii && w.asciiButton.Checked(); }},
        {"baud 110", [&] { return s.baud == 110.0f && w.baudButtons[5].Checked(); }},
        {"tones mark", [&] { return !s.tones.centreAndShift && w.markSpaceRadio.Checked(); }},
        {"mark 1275", [&] { return s.tones.mark == 1275 && w.markField.Text() == "1275"; }},
        {"space 1445", [&] { return s.tones.space == 1445; }},
        {"soundcard 2", [&] { return s.soundCard == 2 && !s.noSound && w.soundCardCombo.EditText() == "2"; }},
        {"nosound on", [&] { return s.noSound && w.noSoundCheck.Check() == 1; }},
        {"netport 16", [&] { return s.mirror.port == 16 && w.netPortCombo.EditText() == "16"; }},
        {"address mirror.example", [&] { return s.mirror.address == "mirror.example"; }},
        {"auth a secret", [&] { return s.mirror.authentication == "a secret"; }},
        {"netport off", [&] { return s.mirror.port == 0; }},
        {"about", [&] { return boxes.shown.back().caption == "About Skedcast"; }},
        {"editor", [&] { return boxes.shown.back().caption == "Schedule Editor"; }},
        {"Quit", [&] { return loop->QuitRequested(); }},
    });
    // Refused lines change nothing; an unknown one says so.
    const auto log = LogMessages();
    for (const char* refused : {"mode rtty", "baud 75", "netport 17", "soundcard 5", "insert 9 x.txt", "margin 501",
                                "show 0", "tx now", "enabled", "cwtimer", "cwtimer maybe", "power", "power up",
                                "delete 9", "delete x"})
        EXPECT_FALSE(Type(refused)) << refused;
    EXPECT_FALSE(Type("launch the rocket"));
    EXPECT_TRUE(Output().ends_with("unknown command \"launch the rocket\"; type help\n"));
    EXPECT_TRUE(Type("   "));
    EXPECT_EQ(LogMessages(), log);
    EXPECT_FALSE(scheduler.autoSendEnabled);
}

// Paused, the line is silent but keyed; cancelled, the file is ABORTED at once and the next entry waits.
TEST_F(Commands, PauseResumeAndCancelActOnTheFileUnderWay) {
    WriteData({{"news.txt", std::string(600, 'E')}, {"thefox.txt", "THE QUICK BROWN FOX\n"}});
    ASSERT_TRUE(StartEnabled({"01/01/2026 12:00:05 news.txt", "01/01/2026 13:00:00 later.txt"}));
    const auto idle = LogMessages();
    for (const char* line : {"pause", "resume", "cancel"}) EXPECT_TRUE(Type(line));
    EXPECT_EQ(LogMessages(), idle);  // nothing under way: nothing to act on
    for (const auto& [at, line] : {std::pair{"12:00:15", "fox"}, {"12:00:20", "PAUSE"}, {"12:00:40", "Resume"},
                                   {"12:01:00", "cAnCeL"}})
        At(std::string("2026-01-01T") + at, [this, line] { Type(line); });
    At("2026-01-01T12:00:30", [this] {  // a file viewed, Enter on an empty file list: the display stays the file's
        const std::string shown = station->window.displayBox.Text();
        const int first = station->window.displayBox.FirstVisibleLine();
        EXPECT_TRUE(station->commands.ViewFile("thefox.txt") && !station->commands.ViewAndAdd("", -1));
        EXPECT_EQ(station->window.statusLine.Text(), "[PrintFile :Refused : not a file of the data folder.]");
        station->commands.ViewLog();
        EXPECT_TRUE(shown.ends_with("EEEE") && station->window.displayBox.Text() == shown) << shown;
        EXPECT_EQ(station->window.displayBox.FirstVisibleLine(), first);
        EXPECT_EQ(station->window.statusLine.Text(), "PrintFile : <" + station->log.TodaysFileName() +
                                                         "> not shown while a transmission is under way.");
    });
    RunUntil(T("2026-01-01T12:02:00"));
    const auto log = LogMessages();
    int pause = IndexOf(log, "CmPause : Session PAUSED"), resume = IndexOf(log, "CmResume : Session RESUMED");
    int cancel = IndexOf(log, "CmCancel : Session CANCELED"), aborted = IndexOf(log, "ABORTED sending <news.txt>.");
    EXPECT_TRUE(0 <= pause && pause < resume && resume < cancel && cancel < aborted) << pause << resume << cancel;
    EXPECT_LE(TimeOf("ABORTED sending <news.txt>."), T("2026-01-01T12:01:03"));
    EXPECT_FALSE(Logged("Completed sending <news.txt>."));
    EXPECT_FALSE(Logged("TXFile : Sending file <thefox.txt>."));
    // A character already in the UART may finish.
    EXPECT_LE(FramesIn(T("2026-01-01T12:00:20"), T("2026-01-01T12:00:40")).size(), 2u);
    EXPECT_FALSE(FramesIn(T("2026-01-01T12:00:40"), T("2026-01-01T12:00:41")).empty());
    EXPECT_LE(FramesIn(T("2026-01-01T12:01:00"), TimePoint::max()).size(), 2u);
    const auto keys = KeyChanges();
    ASSERT_EQ(keys.size(), 2u);
    EXPECT_GE(keys[1].time, T("2026-01-01T12:01:00"));
    EXPECT_EQ(station->window.autoSendField.Text(), "DISABLED");
    EXPECT_EQ(Items(), Lines{"01/01/2026 13:00:00 later.txt"});
    ASSERT_EQ(station->window.flowField.Text(), "CANCEL");
    Type("enable");  // clears the cancel
    EXPECT_EQ(station->window.flowField.Text(), "");
    EXPECT_EQ(station->transmission.CancelRequested(), 0);
}

// A pause asked for in the lead-in holds the file at its first character until resumed.
TEST_F(Commands, APauseInTheLeadInHoldsTheFileAtItsFirstCharacter) {
    WriteData("news.txt", "EEEE\n");
    ASSERT_TRUE(StartEnabled({"01/01/2026 12:00:05 news.txt", "01/01/2026 13:00:00 later.txt"}));
    At("2026-01-01T12:00:07", [this] { Type("pause"); });
    At("2026-01-01T12:00:30", [this] { EXPECT_EQ(station->window.flowField.Text(), "PAUSE"); });
    At("2026-01-01T12:01:00", [this] { Type("resume"); });
    RunUntil(T("2026-01-01T12:02:00"));
    for (const UartEvent& frame : FramesIn(TimePoint{}, T("2026-01-01T12:01:00"))) EXPECT_EQ(frame.value, 31);
    EXPECT_GT(TimeOf("Completed sending <news.txt>."), T("2026-01-01T12:01:00"));
}

// The About listing: the version, the speed as its button shows it, each date macro with what it sends.
TEST_F(Commands, TheAboutListingGivesTheVersionTheSpeedAndWhatEachDateMacroSends) {
    ASSERT_TRUE(Start());
    const Lines listing = AboutListing(station->settings);
    EXPECT_EQ(listing.at(0), std::string("Skedcast version ") + ProgramVersion());
    EXPECT_STRNE(ProgramVersion(), "dev");  // the build's version
    EXPECT_NE(std::find(listing.begin(), listing.end(), "Baud Rate is set to 45.45."), listing.end());
    const std::time_t tuesday = std::chrono::system_clock::to_time_t(T("2026-05-12T12:35:00"));
    for (const std::string& line : listing) {
        EXPECT_EQ(line.find("Transmiter"), std::string::npos) << line;
        if (!line.starts_with("^D") && !line.starts_with("^L") && !line.starts_with("^W")) continue;
        std::string sent = MacroExpander::MacroText(line[1], tuesday);
        for (char& c : sent) c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
        EXPECT_TRUE(line.ends_with("'" + sent + "'")) << line;
    }
}

TEST_F(Commands, TheFileListShowsTheNewestFilesFirstThenTheCommandLines) {
    const std::time_t t0 = 1767268800;  // 2026-01-01 12:00 UTC
    // Modified that many seconds before t0; the same second: by name; hidden files not at all.
    for (const auto& [name, age] : {std::pair{"zeta.txt", 0}, {"alpha.txt", 600}, {"mid.txt", 1200},
                                    {"b2.txt", 1800}, {"b1.txt", 1800}, {".hidden", -600}}) {
        WriteData(name, "X");
        const timeval times[2] = {{t0 - age, 0}, {t0 - age, 0}};
        ::utimes((std::string("data/") + name).c_str(), times);
    }
    ASSERT_TRUE(Start());
    Lines expected = {"zeta.txt", "alpha.txt", "mid.txt", "b1.txt", "b2.txt"};
    const auto help = ScheduleHelpLines(station->settings.IdText());
    expected.insert(expected.end(), help.begin(), help.begin() + 34);
    EXPECT_EQ(station->window.fileCombo.Items(), expected);
}

// Fox and RY: refused in CW mode; with Repeat ticked they go on until cancel, and can be sent again after it.
TEST_F(Commands, TestTextsRepeatUntilCancelAndAreRefusedInCwMode) {
    WriteData({{"thefox.txt", "THE QUICK BROWN FOX\n"}, {"RYRYRYRY.txt", "RY"}});
    ASSERT_TRUE(Start());
    StationCommands& controls = station->commands;
    for (auto [file, press] :
         {std::pair{"thefox.txt", &StationCommands::Fox}, {"RYRYRYRY.txt", &StationCommands::Ry}}) {
        SCOPED_TRACE(file);
        const std::string sending = std::string("TXFile : Sending file <") + file + ">.";
        auto sent = [&] { return CountOf(LogMessages(), sending); };
        station->modes.ModeClicked(Mode::Cw);
        const auto keyings = KeyChanges().size();
        (controls.*press)();
        EXPECT_EQ(sent(), 0);
        EXPECT_EQ(KeyChanges().size(), keyings);
        station->modes.ModeClicked(Mode::Military);
        controls.Repeat(true);
        At(Now() + 30s, [&] { controls.Cancel(); });
        (controls.*press)();
        RunFor(31s);
        const int repeated = sent();
        EXPECT_GE(repeated, 6);
        EXPECT_FALSE(KeyLineUp() || station->transmission.Busy() || station->transmitter.On());
        RunFor(30s);
        EXPECT_EQ(sent(), repeated);
        controls.Repeat(false);
        controls.Enable();
        (controls.*press)();
        RunFor(30s);
        EXPECT_EQ(sent(), repeated + 1);
    }
}

TEST_F(Commands, ViewLogShowsTodaysLogScrolledToItsEnd) {
    ASSERT_TRUE(Start("QZ0XB 2 RTS", "2026-01-01T23:59:50"));
    RunUntil(T("2026-01-02T00:00:05"));
    for (int i = 0; i < 20; ++i) i % 2 ? station->commands.Disable() : station->commands.Enable();
    station->commands.ViewLog();
    std::string shown = ReadFile("log/20260102.log");
    for (char& c : shown) c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
    const auto& box = station->window.displayBox;
    EXPECT_EQ(box.Text(), shown);
    EXPECT_EQ(station->window.fileNameField.Text(), "log/20260102.log");
    EXPECT_EQ(box.FirstVisibleLine(), box.LineCount() - 12);
}

// The lead-in carrier opens for a word space before the text; the Morse is in dot units.
TEST_F(Commands, ComposedTextInCwModeIsSentInMorseOnTheKeyingLine) {
    ASSERT_TRUE(Start());
    station->modes.ModeClicked(Mode::Cw);
    station->window.displayBox.SetText("ET");
    station->commands.SendCompose();
    RunFor(10s);
    const auto keys = KeyChanges();
    std::vector<long> units;  // the lead-in carrier, a dot, a dash and the gaps between
    for (std::size_t i = 1; i < keys.size(); ++i)
        units.push_back(std::chrono::round<std::chrono::milliseconds>(keys[i].time - keys[i - 1].time) / kMorseUnit);
    EXPECT_EQ(units, (std::vector<long>{Transmission::kMorseCarrier / kMorseUnit, 7, 1, 3, 3}));
    EXPECT_TRUE(Logged("Completed sending <EditDisplayTemp.txt>."));
}

}  // namespace
}  // namespace sked::test

namespace sked::test {
namespace {

// Under a service manager standard output is the journal: what failed is printed there, not only logged.
using Journal = ScenarioTest;
TEST_F(Journal, FailuresReachStandardOutputAsLogLines) {
    ASSERT_TRUE(StartEnabled({"01/01/2026 12:00:05 missing.txt", "01/01/2026 12:00:30 $ITA2"}));
    Console();
    RunUntil(T("2026-01-01T12:00:40"));
    const std::string shown = Output();
    EXPECT_NE(shown.find("12:00:05 log: SendAbort : File <missing.txt> could not be opened"), std::string::npos)
        << shown;
    EXPECT_EQ(shown.find("log: CmTX"), std::string::npos);  // the ordinary course of things stays in the log
}

}  // namespace
}  // namespace sked::test
