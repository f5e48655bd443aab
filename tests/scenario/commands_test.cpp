// Queue entries beginning with "$": commands that change mode, speed, tones, port, options and the scheduler.
#include <chrono>
#include <functional>
#include <string>
#include <utility>
#include <vector>

#include <gtest/gtest.h>

#include "platform/text_format.h"
#include "scheduler/command_interpreter.h"
#include "support/scenario_helpers.h"

namespace sked::test {
namespace {

using namespace std::chrono_literals;

const std::string kFar = "01/02/2026 00:00:00 far.txt";

class Commands : public ScenarioTest {
protected:
    // Puts `entry` at the head of the queue, due now, and lets the scheduler
    // take it at the next tick; a far entry keeps the queue from running empty.
    void Run(const std::string& entry) {
        if (Items().empty()) Queue(T("2026-01-02T00:00:00"), "far.txt");
        if (!station->state.autoSendEnabled) station->commands.Enable();
        before = State();
        Queue(Now(), entry, 0);
        RunFor(1s);
        ASSERT_EQ(Items().front(), kFar) << entry << " was not taken";
    }
    // What a command could change, to show that one changed nothing.
    std::string State() {
        const StationState& s = station->state;
        return Format("%d %g %d %g %g %d %d %X %d %d %d %d %d %zu %zu|", s.mode, s.baud, s.wordLength, s.pskFrequency,
                      s.fskCentre, s.keyLine, s.powerLine, s.portBase, s.headerEnabled, s.diddle, s.transmitterOn,
                      s.autoSendEnabled, s.cwTimerSeconds, LogMessages().size(), uart.events.size()) +
               station->window.centreField.Text() + "|" + station->window.comPortField.Text();
    }
    std::uint8_t Lcr(unsigned base = 0x2F8) { return port->In(static_cast<std::uint16_t>(base + 3)); }
    unsigned LastDivisor(unsigned base = 0x2F8) {
        unsigned divisor = 0;
        for (const auto& e : uart.events)
            if (e.kind == UartEventKind::kDivisor && e.base == base) divisor = e.divisor;
        return divisor;
    }
    std::string before;
};

// In order, each entry with the effect it must have; help lines work with their remark.
TEST_F(Commands, EveryCommandTakesEffectWhenItsEntryFallsDue) {
    WriteSchedule({kFar});
    ASSERT_TRUE(Start());
    WriteSchedule({kFar, "01/02/2026 01:00:00 reloaded.txt"});
    StationState& s = station->state;
    MainWindow& w = station->window;
    const auto& help = CommandInterpreter::HelpTable(station->state.idText);
    auto same = [&] { return State() == before; };
    auto mcr = [&](int lines) { return (Mcr() & 3) == lines; };
    const std::vector<std::pair<std::string, std::function<bool()>>> script = {
        {"$XYZZY", same},
        {"$E", same},
        {"$", same},
        {help[0], same},
        {"$ASCII    // MODE = ASCII",
         [&] { return s.mode == kAscii && w.asciiButton.Checked() && !w.milButton.Checked() && Lcr() == 0x07; }},
        {"$ITA2", [&] { return s.mode == kIta2 && w.ita2Button.Checked() && !w.asciiButton.Checked() && Lcr() == 4; }},
        {"$telex", [&] { return s.mode == kTelex && w.telexButton.Checked(); }},
        {"$MILITARY // MODE = MILITARY", [&] { return s.mode == kMilitary && w.milButton.Checked(); }},
        {"$FSK=2125.5", [&] { return s.fskCentre == 2125.5f && w.centreField.Text() == "  2125.500"; }},
        {"$fsk=150", same},
        {"$FSK=none", same},
        {"$CWTimer  // Starts 1 Hour CW ID",
         [&] { return w.cwTimerCheck.Check() == 1 && s.cwTimerSeconds == 0 && s.mode == kMilitary; }},
        {"$cwstop",
         [&] { return w.cwTimerCheck.Check() == 0 && s.cwTimerSeconds == -1 && w.cwTimerField.Text() == "OFF"; }},
        {help[12], [&] { return MorseElements() == kIdentificationMorse && s.mode == kMilitary; }},
        {"$CW", [&] { return s.mode == kCw && w.cwButton.Checked(); }},
        {"$MIL", [&] { return s.mode == kMilitary; }},
        {"$TX", [&] { return s.transmitterOn == 1 && mcr(2); }},  // RTS keys, DTR powers
        {"$RX", [&] { return s.transmitterOn == 0 && mcr(0); }},
        {"$PON", [&] { return w.powerCheck.Check() == 1 && mcr(1); }},
        {"$POFF", [&] { return w.powerCheck.Check() == 0 && mcr(0); }},
        // The other line becomes the power line: power on never keys.
        {"$dtr", [&] { return s.keyLine == 1 && s.powerLine == 2; }},
        {"$TX", [&] { return mcr(1); }},
        {"$RX", [&] { return mcr(0); }},
        {"$RTS", [&] { return s.keyLine == 2 && s.powerLine == 1; }},
        {"$NOHEADER", [&] { return w.headerCheck.Check() == 0 && s.headerEnabled == 0; }},
        {"$HEADER", [&] { return w.headerCheck.Check() == 1 && s.headerEnabled == 1; }},
        {"$DIDDLE", [&] { return w.diddleCheck.Check() == 1 && s.diddle == 1; }},
        {"$NODITTLE", [&] { return w.diddleCheck.Check() == 0 && s.diddle == 0; }},
        {"$DITTLE   // Orvald's Dittle", [&] { return w.diddleCheck.Check() == 1 && s.diddle == 1; }},
        {"$RELOAD", [&] { return Items().size() == 2 && Items()[1] == "01/02/2026 01:00:00 reloaded.txt"; }},
        {"$COM9", [&] { return same() && w.statusLine.Text() == "Error: Invalid Port ID"; }},
        {"$COM1",
         [&] {
             return s.portBase == 0x3F8 && w.comPortField.Text() == "COM1" &&
                    LogMessages().back() == "ComPort Changed to COM1" &&
                    w.statusLine.Text() == "SetupWindow : COM1 set to 0x3F8." && LastDivisor(0x3F8) == 2534 &&
                    Lcr(0x3F8) == 0x04;
         }},
        {"$TX", [&] { return mcr(2); }},  // on COM1 now
        {"$DISABLE", [&] { return s.autoSendEnabled == 0 && s.transmitterOn == 0 && mcr(0); }},
    };
    for (const auto& [entry, effect] : script) {
        Run(entry);
        EXPECT_TRUE(effect()) << entry << "\nbefore: " << before << "\nafter:  " << State();
    }
    // Disabled, the scheduler leaves a due entry waiting.
    Queue(Now(), "$ASCII", 0);
    RunFor(3s);
    EXPECT_EQ(Items().size(), 3u);
}

TEST_F(Commands, SpeedFrequencyAndPsk31Commands) {
    ASSERT_TRUE(Start());
    const struct {
        const char* entry;
        int button;
        float baud;
        unsigned divisor;
    } speeds[] = {{"$B50", 1, 50.0f, 2304},   {"$B56", 2, 56.9f, 2024},   {"$B74", 3, 74.2f, 1552},
                  {"$B100", 4, 100.0f, 1152}, {"$B110", 5, 110.0f, 1047}, {"$B300", 6, 300.0f, 384},
                  {"$B45", 0, 45.45f, 2534},  {"$b109", 4, 100.0f, 1152}};
    for (const auto& c : speeds) {
        Run(c.entry);
        EXPECT_FLOAT_EQ(station->state.baud, c.baud) << c.entry;
        EXPECT_EQ(LastDivisor(), c.divisor) << c.entry;
        for (int i = 0; i < 7; ++i) EXPECT_EQ(station->window.baudButtons[i].Checked(), i == c.button) << c.entry << i;
    }
    // $F15.. to $F21..: only the PSK frequency, whatever digits follow.
    const std::pair<const char*, float> frequencies[] = {{"$F1599", 1500}, {"$F1650", 1600}, {"$F17", 1700},
                                                         {"$f1800", 1800}, {"$F1999", 1900}, {"$F2000", 2000},
                                                         {"$F2100", 2100}};
    for (const auto& [entry, hertz] : frequencies) {
        station->state.pskFrequency = 0;
        Run(entry);
        EXPECT_FLOAT_EQ(station->state.pskFrequency, hertz) << entry;
        EXPECT_EQ(station->state.mode, kMilitary) << entry;
    }
    // PSK31 needs a sound card and takes frequencies above two hundred.
    Run("$PSK31");
    ASSERT_FALSE(boxes.shown.empty());
    EXPECT_EQ(boxes.shown.back().text, "Please Select a Sound Card");
    EXPECT_EQ(station->state.mode, kMilitary);
    EXPECT_TRUE(station->window.milButton.Checked());

    station->commands.SoundCard("1");
    Run("$psk=1234.5");
    EXPECT_EQ(station->state.mode, kPsk31);
    EXPECT_TRUE(station->window.pskButton.Checked());
    EXPECT_FLOAT_EQ(station->state.pskFrequency, 1234.5f);
    EXPECT_EQ(station->window.centreField.Text(), "  1234.500");
    Run("$PSK=150");
    EXPECT_FLOAT_EQ(station->state.pskFrequency, 1234.5f);
}

}  // namespace
}  // namespace sked::test
