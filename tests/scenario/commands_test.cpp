// Queue entries whose name begins with "$": the scripted commands that change
// mode, speed, tones, port, options and the scheduler at their time.
#include <algorithm>
#include <chrono>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "app/operator_controls.h"
#include "scheduler/command_interpreter.h"
#include "support/scenario_helpers.h"

namespace sked::test {
namespace {

using namespace std::chrono_literals;

class Commands : public ScenarioTest {
protected:
    // Puts `name` at the head of the queue, due now, and lets the scheduler
    // take it at the next tick. A far entry keeps the queue from running empty.
    void Run(const std::string& name) {
        if (dlg->w.scheduleList.Count() == 0) Queue(T("2026-01-02T00:00:00"), "far.txt");
        dlg->w.scheduleList.InsertString(0, ScheduleLine(Now(), name));
        dlg->controls->CmEnable();
        RunFor(1s);
        ASSERT_EQ(dlg->w.scheduleList.Item(0), "01/02/2026 00:00:00 far.txt") << name << " was not taken";
    }
    // Adds an entry the way the operator does: text in the file list, FileAdd.
    void Add(const std::string& text) {
        dlg->w.scheduleList.SetCurSel(-1);
        dlg->w.fileCombo.SetEditText(text);
        dlg->controls->FileAdd();
    }
    std::uint8_t Lcr(std::uint16_t base = 0x2F8) { return port->In(static_cast<std::uint16_t>(base + 3)); }
    // The divisor most recently programmed at `base`, 0 when none.
    unsigned LastDivisor(std::uint16_t base = 0x2F8) {
        unsigned divisor = 0;
        for (const auto& e : uart.events)
            if (e.kind == UartEventKind::kDivisor && e.base == base) divisor = e.divisor;
        return divisor;
    }
    void SelectSoundCard() { dlg->w.soundCardCombo.SetCurSel(2); }  // "1"

    // What a command could change, to show that one changed nothing.
    struct Snapshot {
        int mode, wordLength, keyLine, powerLine, headerEnabled, diddle, transmitterOn, autoSendEnabled, cwTimer;
        float baud, pskFrequency, fskCentre;
        unsigned portBase;
        std::string centre, status, comPort;
        std::size_t uartEvents;
        bool operator==(const Snapshot&) const = default;
    };
    Snapshot Take() {
        const StationSettings& s = Settings();
        return {s.mode,          s.wordLength,     s.keyLine,
                s.powerLine,     s.headerEnabled,  s.diddle,
                s.transmitterOn, s.autoSendEnabled, s.cwTimerSeconds,
                s.baud,          s.pskFrequency,   s.fskCentre,
                s.portBase,      dlg->w.centreField.Text(), dlg->w.statusLine.Text(),
                dlg->w.comPortField.Text(), uart.events.size()};
    }
    // Log messages other than the scheduler's own switching.
    std::vector<std::string> OwnLog() {
        std::vector<std::string> lines;
        for (const auto& m : LogMessages())
            if (m != "CmEnable : Scheduler ENABLED") lines.push_back(m);
        return lines;
    }
};

TEST_F(Commands, ModeCommandsPressTheModeButtons) {
    ASSERT_TRUE(Start());
    Run("$ASCII");
    EXPECT_EQ(Settings().mode, kAscii);
    EXPECT_EQ(Settings().wordLength, 3);
    EXPECT_TRUE(dlg->w.asciiButton.Checked());
    EXPECT_FALSE(dlg->w.milButton.Checked());
    EXPECT_EQ(Lcr(), 0x07);
    Run("$ITA2");
    EXPECT_EQ(Settings().mode, kIta2);
    EXPECT_EQ(Settings().wordLength, 0);
    EXPECT_TRUE(dlg->w.ita2Button.Checked());
    EXPECT_FALSE(dlg->w.asciiButton.Checked());
    EXPECT_EQ(Lcr(), 0x04);
    Run("$telex");
    EXPECT_EQ(Settings().mode, kTelex);
    EXPECT_TRUE(dlg->w.telexButton.Checked());
    Run("$Military");
    EXPECT_EQ(Settings().mode, kMilitary);
    EXPECT_TRUE(dlg->w.milButton.Checked());
    Run("$ASCIIART");  // the first three letters decide
    EXPECT_EQ(Settings().mode, kAscii);
    EXPECT_EQ(LastDivisor(), 2534u);  // the speed stays
}

TEST_F(Commands, FrequencyCommandsOnlyStoreThePskFrequency) {
    ASSERT_TRUE(Start());
    const std::string centre = dlg->w.centreField.Text();
    // The first three characters decide, whatever digits follow.
    const struct {
        const char* command;
        float hertz;
    } cases[] = {{"$F1599", 1500}, {"$F1650", 1600}, {"$F17", 1700}, {"$f1800", 1800},
                 {"$F1999", 1900}, {"$F2000", 2000}, {"$F2100", 2100}};
    for (const auto& c : cases) {
        Settings().pskFrequency = 0;
        Run(c.command);
        EXPECT_FLOAT_EQ(Settings().pskFrequency, c.hertz) << c.command;
        EXPECT_EQ(Settings().mode, kMilitary) << c.command;
        EXPECT_EQ(dlg->w.centreField.Text(), centre) << c.command;
    }
}

TEST_F(Commands, PskEqualsSelectsPsk31AndSetsTheFrequencyAboveTwoHundred) {
    ASSERT_TRUE(Start());
    SelectSoundCard();
    Run("$psk=1234.5");
    EXPECT_EQ(Settings().mode, kPsk31);
    EXPECT_TRUE(dlg->w.pskButton.Checked());
    EXPECT_FLOAT_EQ(Settings().pskFrequency, 1234.5f);
    EXPECT_EQ(dlg->w.centreField.Text(), "  1234.500");

    Run("$PSK=150");
    EXPECT_EQ(Settings().mode, kPsk31);
    EXPECT_FLOAT_EQ(Settings().pskFrequency, 1234.5f);
    Run("$PSK=ABC");
    EXPECT_FLOAT_EQ(Settings().pskFrequency, 1234.5f);

    // In PSK31 the speed commands choose the transmit frequency instead.
    Run("$B100");
    EXPECT_FLOAT_EQ(Settings().pskFrequency, 1900.0f);
    EXPECT_FLOAT_EQ(Settings().baud, 45.45f);
    EXPECT_TRUE(dlg->w.baudButtons[4].Checked());
    Run("$B45");
    EXPECT_FLOAT_EQ(Settings().pskFrequency, 1500.0f);
}

TEST_F(Commands, Psk31WithoutASoundCardAsksForOne) {
    ASSERT_TRUE(Start());
    Run("$PSK31");
    ASSERT_FALSE(boxes.shown.empty());
    EXPECT_EQ(boxes.shown.back().text, "Please Select a Sound Card");
    EXPECT_EQ(Settings().mode, kMilitary);  // a refused PSK31 start goes back to Military
    EXPECT_TRUE(dlg->w.milButton.Checked());
    EXPECT_FALSE(dlg->w.pskButton.Checked());

    boxes.shown.clear();
    Run("$PSK=1234.5");
    ASSERT_EQ(boxes.shown.size(), 1u);
    EXPECT_EQ(boxes.shown[0].text, "Please Select a Sound Card");
    EXPECT_FLOAT_EQ(Settings().pskFrequency, 1234.5f);
    EXPECT_EQ(dlg->w.centreField.Text(), "  1234.500");
}

TEST_F(Commands, FskEqualsSetsTheAudioCentreAboveTwoHundred) {
    ASSERT_TRUE(Start());
    Run("$FSK=2125.5");
    EXPECT_FLOAT_EQ(Settings().fskCentre, 2125.5f);
    EXPECT_EQ(dlg->w.centreField.Text(), "  2125.500");
    EXPECT_EQ(Settings().mode, kMilitary);
    Run("$fsk=150");
    EXPECT_FLOAT_EQ(Settings().fskCentre, 2125.5f);
    Run("$FSK=none");
    EXPECT_FLOAT_EQ(Settings().fskCentre, 2125.5f);
    EXPECT_EQ(dlg->w.centreField.Text(), "  2125.500");
}

TEST_F(Commands, CwCommandsAreTellApartByTheirLongerKeysFirst) {
    ASSERT_TRUE(Start());
    Run("$CWTimer");
    EXPECT_EQ(dlg->w.cwTimerCheck.Check(), 1);
    EXPECT_EQ(Settings().cwTimerSeconds, 0);
    EXPECT_EQ(Settings().mode, kMilitary);
    Run("$cwstop");
    EXPECT_EQ(dlg->w.cwTimerCheck.Check(), 0);
    EXPECT_EQ(Settings().cwTimerSeconds, -1);
    EXPECT_EQ(dlg->w.cwTimerField.Text(), "OFF");
    EXPECT_EQ(Settings().mode, kMilitary);

    Run("$CWID");
    EXPECT_EQ(CountOf(LogMessages(), "Cwid : Sending CW Identification."), 1);
    EXPECT_EQ(BreakElements(), 46);  // "de QZ0XB QZ0XB "
    EXPECT_EQ(Settings().mode, kMilitary);

    Run("$CW");
    EXPECT_EQ(Settings().mode, kCw);
    EXPECT_TRUE(dlg->w.cwButton.Checked());
    Run("$MIL");
    Run("$CWX");
    EXPECT_EQ(Settings().mode, kCw);
}

TEST_F(Commands, TxAndRxSwitchTheTransmitter) {
    ASSERT_TRUE(Start());
    Run("$TX");
    EXPECT_EQ(Settings().transmitterOn, 1);
    EXPECT_TRUE(KeyLineUp());
    EXPECT_EQ(Mcr() & 0x02, 0x02);  // RTS keys
    EXPECT_EQ(LogMessages().back(), "CmTX : Transmitter ON");
    Run("$RX");
    EXPECT_EQ(Settings().transmitterOn, 0);
    EXPECT_FALSE(KeyLineUp());
    EXPECT_TRUE(Logged("CmRX : Transmitter OFF"));
}

TEST_F(Commands, PonAndPoffSwitchThePowerLine) {
    ASSERT_TRUE(Start());
    Run("$PON");
    EXPECT_EQ(Mcr() & 0x01, 0x01);  // DTR is the power line when RTS keys
    EXPECT_EQ(Mcr() & 0x02, 0);
    EXPECT_EQ(dlg->w.powerCheck.Check(), 1);
    Run("$POFF");
    EXPECT_EQ(Mcr() & 0x01, 0);
    EXPECT_EQ(dlg->w.powerCheck.Check(), 0);
    EXPECT_EQ(LogMessages().back(), "CmPowerOFF : Power turned OFF");
}

TEST_F(Commands, DisableStopsTheSchedulerAndTheLaterEntriesWait) {
    WriteSchedule({"01/01/2026 12:00:02 $TX", "01/01/2026 12:00:03 $DISABLE", "01/01/2026 12:00:04 $ASCII"});
    ASSERT_TRUE(Start());
    dlg->controls->CmEnable();
    RunUntil(T("2026-01-01T12:00:30"));
    EXPECT_EQ(Settings().autoSendEnabled, 0);
    EXPECT_EQ(dlg->w.autoSendField.Text(), "DISABLED");
    EXPECT_EQ(Settings().transmitterOn, 0);
    EXPECT_FALSE(KeyLineUp());
    EXPECT_EQ(Settings().mode, kMilitary);
    EXPECT_EQ(dlg->w.scheduleList.Items(), (std::vector<std::string>{"01/01/2026 12:00:04 $ASCII"}));
    auto log = LogMessages();
    int disabled = IndexOf(log, "CmDisable : Scheduler DISABLED", IndexOf(log, "CmTX : Transmitter ON"));
    ASSERT_GE(disabled, 0);
    EXPECT_EQ(log[disabled + 1], "CmRX : Transmitter OFF");
    EXPECT_FALSE(Logged("Queue Empty: Nothing to Send."));

    dlg->controls->CmEnable();
    RunFor(1s);
    EXPECT_EQ(Settings().mode, kAscii);
}

TEST_F(Commands, SpeedCommandsPressTheSpeedButtons) {
    ASSERT_TRUE(Start());
    const struct {
        const char* command;
        int button;
        float baud;
        unsigned divisor;
    } cases[] = {{"$B50", 1, 50.0f, 2304},   {"$B56", 2, 56.9f, 2024},  {"$B74", 3, 74.2f, 1552},
                 {"$B100", 4, 100.0f, 1152}, {"$B110", 5, 110.0f, 1047}, {"$B300", 6, 300.0f, 384},
                 {"$B45", 0, 45.45f, 2534},  {"$b109", 4, 100.0f, 1152}};
    for (const auto& c : cases) {
        Run(c.command);
        EXPECT_FLOAT_EQ(Settings().baud, c.baud) << c.command;
        EXPECT_EQ(LastDivisor(), c.divisor) << c.command;
        EXPECT_EQ(Lcr(), 0x04) << c.command;
        for (int i = 0; i < 7; ++i) EXPECT_EQ(dlg->w.baudButtons[i].Checked(), i == c.button) << c.command << " " << i;
    }
}

TEST_F(Commands, ASpeedMarkerFromTheScheduleSetsTheLineSpeedWhenItRuns) {
    WriteSchedule({"$B100", "01/01/2026 13:00:00 later.txt"});
    ASSERT_TRUE(Start());
    EXPECT_EQ(dlg->w.scheduleList.Item(0), "01/01/2026 12:00:10 $B100");
    dlg->controls->CmEnable();
    RunUntil(T("2026-01-01T12:00:11"));
    EXPECT_FLOAT_EQ(Settings().baud, 100.0f);
    EXPECT_EQ(LastDivisor(), 1152u);
    EXPECT_TRUE(dlg->w.baudButtons[4].Checked());
}

TEST_F(Commands, RtsAndDtrChooseTheKeyingLineAndLeaveThePowerLine) {
    ASSERT_TRUE(Start("QZ0XB 2 DTR"));
    ASSERT_EQ(Settings().keyLine, 1);
    ASSERT_EQ(Settings().powerLine, 2);
    Run("$RTS");
    EXPECT_EQ(Settings().keyLine, 2);
    EXPECT_EQ(Settings().powerLine, 2);
    Run("$TX");
    EXPECT_EQ(Mcr() & 0x03, 0x02);
    Run("$RX");
    EXPECT_EQ(Mcr() & 0x03, 0x00);
    Run("$dtr");
    EXPECT_EQ(Settings().keyLine, 1);
    EXPECT_EQ(Settings().powerLine, 2);
    Run("$TX");
    EXPECT_EQ(Mcr() & 0x03, 0x01);
}

TEST_F(Commands, ReloadReadsTheScheduleAgain) {
    WriteSchedule({"01/01/2026 13:00:00 old.txt"});
    ASSERT_TRUE(Start());
    WriteSchedule({"01/01/2026 12:00:05 $RELOAD", "01/01/2026 14:00:00 new.txt"});
    dlg->w.scheduleList.InsertString(0, ScheduleLine(T("2026-01-01T12:00:02"), "$RELOAD"));
    dlg->controls->CmEnable();
    RunUntil(T("2026-01-01T12:00:03"));
    // The reload at 12:00:02 read the new file; its own $RELOAD waits for 12:00:05.
    EXPECT_EQ(dlg->w.scheduleList.Items(),
              (std::vector<std::string>{"01/01/2026 12:00:05 $RELOAD", "01/01/2026 14:00:00 new.txt"}));
    EXPECT_EQ(CountOf(LogMessages(), "CmClearItems : Reloading Schedule List"), 2);
    RunUntil(T("2026-01-01T12:00:06"));
    EXPECT_EQ(CountOf(LogMessages(), "CmClearItems : Reloading Schedule List"), 3);
    EXPECT_TRUE(Logged("GetSchedule : Expired time tag 01/01/2026 12:00:05 $RELOAD"));
    EXPECT_EQ(dlg->w.scheduleList.Items(), (std::vector<std::string>{"01/01/2026 14:00:00 new.txt"}));
}

TEST_F(Commands, HeaderAndDiddleCommandsTickTheirBoxes) {
    ASSERT_TRUE(Start());
    Run("$NOHEADER");
    EXPECT_EQ(dlg->w.headerCheck.Check(), 0);
    EXPECT_EQ(Settings().headerEnabled, 0);
    Run("$HEADER");
    EXPECT_EQ(dlg->w.headerCheck.Check(), 1);
    EXPECT_EQ(Settings().headerEnabled, 1);

    Run("$DIDDLE");
    EXPECT_EQ(dlg->w.diddleCheck.Check(), 1);
    EXPECT_EQ(Settings().diddle, 1);
    Run("$NODITTLE");
    EXPECT_EQ(dlg->w.diddleCheck.Check(), 0);
    EXPECT_EQ(Settings().diddle, 0);
    Run("$DITTLE");  // as the help line spells it
    EXPECT_EQ(dlg->w.diddleCheck.Check(), 1);
    EXPECT_EQ(Settings().diddle, 1);
}

TEST_F(Commands, PortCommandsMoveTheStationToAnotherSerialPort) {
    ASSERT_TRUE(Start());
    const unsigned bases[9] = {0, 0x3F8, 0x2F8, 0x3E8, 0x3E0, 0x2F0, 0x2E8, 0x2E0, 0x260};
    Run("$B100");
    for (int n = 1; n <= 8; ++n) {
        const std::string name = "COM" + std::to_string(n);
        Run("$" + name);
        EXPECT_EQ(Settings().portBase, bases[n]) << name;
        EXPECT_EQ(dlg->w.comPortField.Text(), name);
        EXPECT_EQ(LogMessages().back(), "ComPort Changed to " + name);
        char status[64];
        std::snprintf(status, sizeof status, "SetupWindow : COM%d set to 0x%X.", n, bases[n]);
        EXPECT_EQ(dlg->w.statusLine.Text(), status);
        // The new port runs at the station's speed and format.
        EXPECT_EQ(LastDivisor(static_cast<std::uint16_t>(bases[n])), 1152u) << name;
        EXPECT_EQ(Lcr(static_cast<std::uint16_t>(bases[n])), 0x04) << name;
    }
    EXPECT_EQ(dlg->w.statusLine.Text(), "SetupWindow : COM8 set to 0x260.");
    Run("$COM1");
    EXPECT_EQ(dlg->w.statusLine.Text(), "SetupWindow : COM1 set to 0x3F8.");

    // Keying now acts on COM1.
    Run("$TX");
    EXPECT_EQ(port->In(0x3F8 + 4) & 0x02, 0x02);
}

TEST_F(Commands, APortNumberOutsideOneToEightChangesNothing) {
    ASSERT_TRUE(Start());
    Run("$TX");
    for (const char* command : {"$COM9", "$COM0", "$COMX"}) {
        auto before = Take();
        auto log = OwnLog();
        Run(command);
        EXPECT_EQ(dlg->w.statusLine.Text(), "Error: Invalid Port ID") << command;
        dlg->w.statusLine.SetText(before.status);
        EXPECT_TRUE(Take() == before) << command;
        EXPECT_EQ(OwnLog(), log) << command;
    }
    EXPECT_EQ(Settings().portBase, 0x2F8);
    EXPECT_EQ(dlg->w.comPortField.Text(), "COM2");
    EXPECT_TRUE(KeyLineUp());
}

TEST_F(Commands, UnknownCommandsAndTheSeparatorLineAreIgnored) {
    ASSERT_TRUE(Start());
    Queue(T("2026-01-02T00:00:00"), "far.txt");
    dlg->controls->CmEnable();
    for (const char* command : {"$XYZZY", "$--", "$", "$E"}) {
        auto before = Take();
        auto log = OwnLog();
        Run(command);
        EXPECT_TRUE(Take() == before) << command;
        EXPECT_EQ(OwnLog(), log) << command;
    }
    // The separator help line added as an entry.
    dlg->w.scheduleList.ResetContent();
    auto before = Take();
    auto log = OwnLog();
    Add(CommandInterpreter::HelpTable()[0]);
    Queue(T("2026-01-02T00:00:00"), "far.txt");
    ASSERT_EQ(dlg->w.scheduleList.Item(0), "01/01/2026 12:00:14 $-- --------------------------------------");
    RunFor(11s);
    EXPECT_EQ(dlg->w.scheduleList.Items(), (std::vector<std::string>{"01/02/2026 00:00:00 far.txt"}));
    EXPECT_TRUE(Take() == before);
    EXPECT_EQ(OwnLog(), log);
}

TEST_F(Commands, AHelpLineAddedAsAnEntryRunsItsCommand) {
    ASSERT_TRUE(Start());
    Add("$ASCII    // MODE = ASCII");
    EXPECT_EQ(dlg->w.scheduleList.Item(0), "01/01/2026 12:00:10 $ASCII    // MODE = ASCII");
    Queue(T("2026-01-02T00:00:00"), "far.txt");
    dlg->controls->CmEnable();
    RunUntil(T("2026-01-01T12:00:10"));
    EXPECT_EQ(Settings().mode, kAscii);

    // The identification line carries the station's own identification text.
    dlg->w.scheduleList.ResetContent();
    Add(CommandInterpreter::HelpTable()[12]);
    Queue(T("2026-01-02T00:00:00"), "far.txt");
    EXPECT_EQ(dlg->w.scheduleList.Item(0), "01/01/2026 12:00:20 $CWID     // de QZ0XB QZ0XB ");
    RunUntil(T("2026-01-01T12:00:21"));
    EXPECT_EQ(CountOf(LogMessages(), "Cwid : Sending CW Identification."), 1);
    EXPECT_EQ(dlg->w.scheduleList.Items(), (std::vector<std::string>{"01/02/2026 00:00:00 far.txt"}));
}

}  // namespace
}  // namespace sked::test
