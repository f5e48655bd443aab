// Starting and ending the station, in process and as the program.
#include <cstdlib>
#include <filesystem>
#include <tuple>

#include <gtest/gtest.h>

#include "app/command_line.h"
#include "scheduler/command_interpreter.h"
#include "scheduler/dispatcher.h"
#include "transmit/transmitter_switch.h"
#include "support/station_fixture.h"

namespace sked::test {
namespace {

using StartUp = StationTest;

// The first log line and how the line is programmed at start: on the program's log and trace below.
TEST_F(StartUp, SetupWindowSetsTheStationUpDisabledAndTheClockTicks) {
    ASSERT_TRUE(StartStation("qz0xb 2 rts", "2026-01-01T08:04:05"));
    const StationState& s = station->state;
    MainWindow& w = station->window;
    EXPECT_EQ(std::tuple(s.callsign, s.keyLine, s.powerLine, s.autoSendEnabled, s.headerEnabled, s.mode, s.noSound),
              std::tuple("QZ0XB", 2, 1, false, true, kMilitary, true));
    EXPECT_EQ(std::tuple(w.autoSendField.Text(), w.centreField.Text(), w.shiftField.Text()),
              std::tuple("DISABLED", "2210", "170.0"));
    RunFor(std::chrono::seconds(2));
    EXPECT_EQ(w.clockField.Text(), "Thu Jan  1 08:04:07 2026");
}

TEST_F(StartUp, PortAndCallsignAsTheWindowAndTheIdentificationShowThem) {
    const struct {
        const char *parameters, *port, *title, *idText;
        int base;
    } cases[] = {
        {"QZ0XB 1", "COM1", "Q Z 0 X B ", "de QZ0XB QZ0XB ", 0x3F8},
        {"ab1c 9 RTS", "????", "A B 1 C ", "de AB1C AB1C ", 0x2F8},  // outside 1..8: the COM2 address
    };
    for (const auto& c : cases) {
        ASSERT_TRUE(StartStation(c.parameters)) << c.parameters;
        EXPECT_EQ(station->window.comPortField.Text(), c.port);
        EXPECT_EQ(station->state.portBase, c.base);
        EXPECT_EQ(station->window.title, "Scheduler" + std::string(62, ' ') + c.title);
        EXPECT_EQ(CommandInterpreter::HelpTable(station->state.idText)[12], std::string("$CWID     // ") + c.idText);
    }
}

TEST_F(StartUp, ParameterProblemsEndBeforeAnythingIsLogged) {
    ASSERT_FALSE(StartStation(""));
    ASSERT_EQ(boxes.shown.size(), 1u);
    EXPECT_EQ(boxes.shown[0].caption, "Parameters Not Set");
    EXPECT_EQ(station->exitStatus(), 0);
    ASSERT_FALSE(StartStation("QZ0XB 2 RTS MORE"));
    EXPECT_EQ(boxes.shown.at(1).caption, "Too Many Parameters");
    EXPECT_EQ(boxes.shown.at(1).text, texts::kTooManyText);
    ASSERT_FALSE(StartStation("QZ0XB COM2"));
    EXPECT_TRUE(station->editorOnly());
    EXPECT_TRUE(LogMessages().empty());
}

TEST_F(StartUp, ShutDownReleasesTheTransmitterStopsTheTimerAndLogsTheEnd) {
    ASSERT_TRUE(StartStation("QZ0XB 2 RTS"));
    station->transmitter.CmTX();
    ASSERT_EQ(port->In(0x2F8 + 4) & 0x02, 0x02);
    station->DestroyWindow();
    EXPECT_EQ(port->In(0x2F8 + 4) & 0x02, 0);
    EXPECT_FALSE(loop->TimerRunning(kSecondTimer));
    auto messages = LogMessages();
    EXPECT_EQ(messages.back(), "***** Skedcast has been TERMINATED *****");
    EXPECT_EQ(messages[messages.size() - 2], "CmRX : Transmitter OFF");
}

TEST_F(StartUp, FatalTimerStopReleasesTheTransmitterAndEnds) {
    ASSERT_TRUE(StartStation("QZ0XB 2 RTS"));
    // A loop that has no timer left for the fast timer.
    class NoFastTimer : public SimulatedEventLoop {
    public:
        using SimulatedEventLoop::SimulatedEventLoop;
        bool StartTimer(int id, std::chrono::milliseconds period, Alignment a = Alignment::None) override {
            return id == kFastTimer ? false : SimulatedEventLoop::StartTimer(id, period, a);
        }
    };
    NoFastTimer poor(Now());
    Station other(poor, *port, boxes);
    other.state.keyLine = kRtsLine;
    other.transmitter.CmTX();
    ASSERT_NE(port->In(0x2F8 + 4) & 0x02, 0);
    EXPECT_THROW(other.dispatcher.OnTimer(kStartFastTimer), StationExit);
    EXPECT_FALSE(other.state.transmitterOn);
    EXPECT_EQ(port->In(0x2F8 + 4) & 0x02, 0);
    EXPECT_TRUE(Logged("OnTimer : Out of Timers - Fatal Abort - Exiting"));
}

// On the simulated clock across midnight: the line is set to 45.45 baud, 5 data bits and 1.5 stop bits, never keyed.
TEST(StationProgram, SimulatedRunAcrossMidnightLogsIntoBothDaysAndProgramsTheLineUnkeyed) {
    ScratchDirectory dir;
    std::filesystem::create_directory("log");
    std::string command = std::string(SKEDCAST_BINARY) +
                          " --headless --simulate=2026-01-01T23:59:58 --run-for=5 --serial=emulated:trace.tsv"
                          " QZ0XB 2 RTS </dev/null >out.txt 2>err.txt";
    ASSERT_EQ(std::system(command.c_str()), 0) << ReadFile("err.txt");
    auto first = ReadLines("log/20260101.log");
    auto second = ReadLines("log/20260102.log");
    ASSERT_FALSE(first.empty() || second.empty());
    EXPECT_EQ(first.front(), "23:59:58 > ***** Skedcast has been STARTED *****");
    EXPECT_EQ(second.back(), "00:00:03 > ***** Skedcast has been TERMINATED *****");

    std::string trace = ReadFile("trace.tsv");
    EXPECT_NE(trace.find("2026-01-01 23:59:58.000\t0x2F8\tdivisor\t2534\n"), std::string::npos) << trace;
    EXPECT_NE(trace.find("\t0x2F8\tlcr\t0x04\n"), std::string::npos);
    EXPECT_NE(trace.find("\t0x2F8\tmcr\t0x00 key=OFF power=OFF\n"), std::string::npos);
    EXPECT_EQ(trace.find("key=ON"), std::string::npos);
}

TEST(StationProgram, UsageWithoutParametersEndsWithStatusZero) {
    ScratchDirectory dir;
    std::string command = std::string(SKEDCAST_BINARY) + " --headless </dev/null >out.txt 2>err.txt";
    EXPECT_EQ(std::system(command.c_str()), 0);
    EXPECT_NE(ReadFile("err.txt").find("Parameters Not Set"), std::string::npos);
}

}  // namespace
}  // namespace sked::test
