// The Morse identification: on demand, and after every keyed hour while the CW-Timer box is ticked.
#include <algorithm>
#include <chrono>
#include <string>
#include <utility>
#include <vector>

#include <gtest/gtest.h>

#include "app/mode_controls.h"
#include "scheduler/cw_identification.h"
#include "support/scenario_helpers.h"
#include "transmit/transmitter_switch.h"

namespace sked::test {
namespace {

using namespace std::chrono_literals;

class Identification : public ScenarioTest {
protected:
    int Identifications() const { return CountOf(LogMessages(), "Cwid : Sending CW Identification."); }
};

TEST_F(Identification, TheCountRunsOnKeyedSecondsAndIdentifiesAtTheTickWhereItReaches3601) {
    WriteData("cwid.txt", "VVV");
    WriteData("news.txt", "EEE");
    WriteSchedule({"01/01/2026 13:00:10 news.txt"});
    ASSERT_TRUE(Start());
    std::vector<std::pair<TimePoint, std::string>> shown;  // every value of the CW-Timer field
    station->window.cwTimerField.Observe([&] { shown.emplace_back(Now(), station->window.cwTimerField.Text()); });
    station->commands.Enable();
    station->commands.CwTimer(true);
    RunUntil(T("2026-01-01T12:00:05"));
    EXPECT_TRUE(shown.empty());  // the transmitter is off: no count
    RunFor(500ms);
    station->transmitter.CmTX();
    RunUntil(T("2026-01-01T13:01:00"));

    ASSERT_GT(shown.size(), 3601u);
    EXPECT_EQ(shown[0].first, T("2026-01-01T12:00:06"));
    for (std::size_t i = 0; i < 3600; ++i) ASSERT_EQ(shown[i].second, std::to_string(3599 - static_cast<int>(i)));
    EXPECT_EQ(shown[3600], std::make_pair(T("2026-01-01T13:00:06"), std::string("-1")));
    EXPECT_EQ(StampOf("Cwid : Sending CW Identification."), "13:00:06");
    EXPECT_EQ(Identifications(), 1);
    EXPECT_EQ(MorseElements(), kIdentificationMorse);
    // The count starts again from the top at the next tick, where the entry
    // that fell due during the identification goes out.
    auto restart = std::find_if(shown.begin() + 3601, shown.end(), [](auto& v) { return v.second == "3599"; });
    ASSERT_NE(restart, shown.end());
    EXPECT_EQ(restart->first, TimeOf("File <news.txt> in TRANSMIT Queue."));
}

// The transmitter going off unticks the box: transmitter_switch_test.
TEST_F(Identification, UntickingStopsTheCountAndTickingWhileKeyedAndIdleIdentifiesAtOnce) {
    WriteSchedule({"01/01/2026 18:00:00 news.txt"});
    ASSERT_TRUE(Start());
    station->commands.Enable();
    station->commands.CwTimer(true);
    station->transmitter.CmTX();
    RunFor(5s);
    ASSERT_EQ(station->window.cwTimerField.Text(), "3595");
    station->commands.CwTimer(false);
    RunFor(3s);
    EXPECT_EQ(station->window.cwTimerField.Text(), "OFF");
    EXPECT_EQ(station->state.cwTimerSeconds, -1);

    station->commands.CwTimer(true);  // keyed and idle: identifies at once
    EXPECT_EQ(Identifications(), 1);
}

TEST_F(Identification, SendCwidDuringAFileWaitsUntilTheFileIsDone) {
    WriteData("news.txt", std::string(150, 'E'));
    WriteSchedule({"01/01/2026 12:00:05 news.txt", "01/01/2026 13:00:00 later.txt"});
    ASSERT_TRUE(Start());
    station->commands.Enable();
    At("2026-01-01T12:00:15", [this] {
        ASSERT_EQ(station->state.sending, 1);
        station->cwid.SendCwidClicked();
    });
    RunUntil(T("2026-01-01T12:02:00"));
    ASSERT_TRUE(Logged("Completed sending <news.txt>."));
    EXPECT_EQ(TimeOf("Cwid : Sending CW Identification."), TimeOf("Completed sending <news.txt>.") + 1s);
    EXPECT_EQ(Identifications(), 1);
    EXPECT_EQ(MorseElements(), kIdentificationMorse);
}

TEST_F(Identification, InPsk31TheIdentificationTakesFifteenSecondsThenReleasesTheKey) {
    ASSERT_TRUE(Start());
    station->commands.SoundCard("1");
    station->modes.ModeClicked(kPsk31);
    ASSERT_EQ(station->state.mode, kPsk31);
    auto started = Now();
    station->cwid.SendCwidClicked();
    EXPECT_GE(Now() - started, 15s);
    EXPECT_EQ(Identifications(), 1);
    // Nothing is due after it: the transmitter does not stay on.
    EXPECT_EQ(station->state.transmitterOn, 0);
    EXPECT_FALSE(KeyLineUp());
    EXPECT_TRUE(MorseElements().empty());  // the modem sends it, not the UART
}

}  // namespace
}  // namespace sked::test
