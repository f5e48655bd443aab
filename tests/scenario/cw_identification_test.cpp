// The station identifies itself in Morse: on demand and after every hour of
// keyed time while the CW-Timer box is ticked.
#include <algorithm>
#include <chrono>
#include <map>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "app/operator_controls.h"
#include "audio/mode_controls.h"
#include "platform/clock.h"
#include "scheduler/cw_identification.h"
#include "support/scenario_helpers.h"
#include "transmit/transmitter_switch.h"

namespace sked::test {
namespace {

using namespace std::chrono_literals;

class Identification : public ScenarioTest {
protected:
    void TickCwTimer(int state) {
        dlg->w.cwTimerCheck.SetCheck(state);
        dlg->cwid->CwTimerClicked();
    }
    // Dots and dashes of the break condition, by how long each was held.
    std::string KeyedElements() {
        port->Sync();
        std::string elements;
        TimePoint on{};
        for (const auto& e : uart.events) {
            if (e.kind != UartEventKind::kBreak) continue;
            if (e.breakOn) on = e.time;
            else elements += (e.time - on) < 120ms ? '.' : '-';
        }
        return elements;
    }
    TimePoint FirstBreak() {
        port->Sync();
        for (const auto& e : uart.events)
            if (e.kind == UartEventKind::kBreak && e.breakOn) return e.time;
        return TimePoint::max();
    }
    // "de QZ0XB QZ0XB " in international Morse, elements only.
    static std::string IdentificationElements() {
        const std::map<char, std::string> morse = {{'D', "-.."},   {'E', "."},    {'Q', "--.-"}, {'Z', "--.."},
                                                   {'0', "-----"}, {'X', "-..-"}, {'B', "-..."}};
        std::string elements;
        for (char c : std::string("DEQZ0XBQZ0XB")) elements += morse.at(c);
        return elements;
    }
    const std::string kDay = "20260101";
};

TEST_F(Identification, TheHourlyCountRunsOnKeyedSecondsAndIdentifiesAtTheTickOf3601) {
    WriteData("cwid.txt", "VVV");
    WriteData("news.txt", "EEE");
    WriteSchedule({"01/01/2026 13:00:10 news.txt"});
    ASSERT_TRUE(Start());
    auto& field = Record(dlg->w.cwTimerField);
    dlg->controls->CmEnable();
    TickCwTimer(1);  // transmitter off: nothing is sent, the count waits
    RunUntil(T("2026-01-01T12:00:05"));
    EXPECT_EQ(Settings().cwTimerSeconds, 0);
    EXPECT_TRUE(field.values.empty());
    EXPECT_FALSE(Logged("Cwid : Sending CW Identification."));

    RunFor(500ms);
    dlg->transmitter->CmTX();
    RunUntil(T("2026-01-01T13:00:05"));
    ASSERT_EQ(field.values.size(), 3600u);
    EXPECT_EQ(field.values.front(), "3599");
    EXPECT_EQ(field.times.front(), T("2026-01-01T12:00:06"));
    for (std::size_t i = 0; i < field.values.size(); ++i)
        ASSERT_EQ(field.values[i], std::to_string(3599 - static_cast<int>(i)));
    EXPECT_FALSE(Logged("Cwid : Sending CW Identification."));

    RunUntil(T("2026-01-01T13:01:00"));
    ASSERT_GT(field.values.size(), 3601u);
    EXPECT_EQ(field.values[3600], "-1");
    EXPECT_EQ(field.times[3600], T("2026-01-01T13:00:06"));
    EXPECT_EQ(StampOf(kDay, "Cwid : Sending CW Identification."), "13:00:06");
    EXPECT_EQ(CountOf(LogMessages(), "Cwid : Sending CW Identification."), 1);
    EXPECT_EQ(KeyedElements(), IdentificationElements());

    // The entry that fell due during the identification keeps the transmitter
    // keyed; the count starts again from the top at the next tick, where that
    // entry goes out.
    std::string restart = StampOf(kDay, "File <news.txt> in TRANSMIT Queue.");
    ASSERT_FALSE(restart.empty());
    bool restarted = false;
    for (std::size_t i = 3601; i < field.values.size(); ++i)
        if (field.values[i] == "3599") {
            restarted = true;
            EXPECT_EQ(LocalStamp(field.times[i], false).substr(11), restart);
            break;
        }
    EXPECT_TRUE(restarted);
    auto log = LogMessages();
    EXPECT_LT(IndexOf(log, "Cwid : Sending CW Identification."), IndexOf(log, "File <news.txt> in TRANSMIT Queue."));
    EXPECT_EQ(CountOf(log, "CmRX : Transmitter OFF"), 1);  // only after the file, with the queue empty
}

TEST_F(Identification, WithTheTransmitterOffOrTheSchedulerDisabledTheCountStands) {
    WriteSchedule({"01/01/2026 18:00:00 news.txt"});
    ASSERT_TRUE(Start());
    auto& field = Record(dlg->w.cwTimerField);
    TickCwTimer(1);
    dlg->controls->CmEnable();
    RunFor(30s);
    EXPECT_EQ(Settings().cwTimerSeconds, 0);
    EXPECT_TRUE(field.values.empty());

    dlg->controls->CmDisable();
    dlg->transmitter->CmTX();
    RunFor(30s);
    EXPECT_EQ(Settings().cwTimerSeconds, 0);
    EXPECT_TRUE(field.values.empty());
    EXPECT_FALSE(Logged("Cwid : Sending CW Identification."));
    EXPECT_EQ(BreakElements(), 0);

    dlg->controls->CmEnable();
    RunFor(3s);
    EXPECT_EQ(Settings().cwTimerSeconds, 3);
    EXPECT_EQ(dlg->w.cwTimerField.Text(), "3597");
}

TEST_F(Identification, UntickingTheCwTimerShowsOff) {
    ASSERT_TRUE(Start());
    TickCwTimer(1);
    EXPECT_EQ(Settings().cwTimerSeconds, 0);
    TickCwTimer(0);
    EXPECT_EQ(Settings().cwTimerSeconds, -1);
    EXPECT_EQ(dlg->w.cwTimerField.Text(), "OFF");
}

TEST_F(Identification, TheTransmitterGoingOffUnticksTheCwTimer) {
    WriteSchedule({"01/01/2026 18:00:00 news.txt"});
    ASSERT_TRUE(Start());
    TickCwTimer(1);
    dlg->transmitter->CmTX();
    dlg->controls->CmEnable();
    RunFor(5s);
    ASSERT_EQ(dlg->w.cwTimerField.Text(), "3595");
    dlg->transmitter->CmRX();
    EXPECT_EQ(dlg->w.cwTimerCheck.Check(), 0);
    EXPECT_EQ(dlg->w.cwTimerField.Text(), "OFF");
    EXPECT_EQ(Settings().cwTimerSeconds, -1);
    RunFor(5s);
    EXPECT_EQ(dlg->w.cwTimerField.Text(), "OFF");
}

TEST_F(Identification, TickingWhileKeyedAndIdleIdentifiesAtOnce) {
    WriteData("cwid.txt", "VVV");
    ASSERT_TRUE(Start());
    dlg->transmitter->CmTX();
    auto& queue = Record(dlg->w.queueLine);
    TickCwTimer(1);
    auto log = LogMessages();
    int id = IndexOf(log, "Cwid : Sending CW Identification.");
    ASSERT_GE(id, 0);
    EXPECT_EQ(IndexOf(log, "TXFile : Sending file <cwid.txt>."), id + 1);
    EXPECT_EQ(KeyedElements(), IdentificationElements());
    // The pre-identification text goes out first, in the station's mode (V = 30).
    auto frames = FramesIn(TimePoint{}, FirstBreak());
    int vs = 0;
    for (const auto& f : frames) vs += f.value == 30;
    EXPECT_EQ(vs, 3);
    EXPECT_TRUE(FramesIn(FirstBreak(), TimePoint::max()).empty());
    ASSERT_FALSE(queue.values.empty());
    EXPECT_EQ(queue.values.front(), "CW Pre-Identification Text");
    EXPECT_NE(std::find(queue.values.begin(), queue.values.end(), "Sending CWID de QZ0XB QZ0XB "),
              queue.values.end());
    EXPECT_EQ(dlg->w.queueLine.Text(), "Completed CWID");
    EXPECT_EQ(Settings().sending, 0);
    EXPECT_EQ(Settings().idle, 1);
}

TEST_F(Identification, AMissingPreIdentificationTextIsReportedAndTheMorseStillFollows) {
    ASSERT_TRUE(Start());
    dlg->cwid->SendCwidClicked();
    auto log = LogMessages();
    int id = IndexOf(log, "Cwid : Sending CW Identification.");
    ASSERT_GE(id, 0);
    EXPECT_GE(IndexOf(log, "[TXFile : Cannot open data/cwid.txt input file.]", id), id);
    EXPECT_EQ(KeyedElements(), IdentificationElements());
    EXPECT_EQ(dlg->w.queueLine.Text(), "Completed CWID");
}

TEST_F(Identification, SendCwidDuringAFileWaitsUntilTheFileIsDone) {
    std::string news;
    for (int i = 0; i < 4; ++i) news += "THE QUICK BROWN FOX JUMPS OVER THE LAZY DOG\n";
    WriteData("news.txt", news);
    WriteSchedule({"01/01/2026 12:00:05 news.txt", "01/01/2026 13:00:00 later.txt"});
    ASSERT_TRUE(Start());
    auto& queue = Record(dlg->w.queueLine);
    dlg->controls->CmEnable();
    bool deferred = false;
    At("2026-01-01T12:00:15", [&] {
        ASSERT_EQ(Settings().sending, 1);
        dlg->cwid->SendCwidClicked();
        deferred = dlg->cwid->deferred();
    });
    RunUntil(T("2026-01-01T12:02:00"));
    EXPECT_TRUE(deferred);

    auto log = LogMessages();
    int done = IndexOf(log, "Completed sending <news.txt>.");
    int id = IndexOf(log, "Cwid : Sending CW Identification.");
    ASSERT_GE(done, 0);
    EXPECT_GT(id, done);
    EXPECT_EQ(CountOf(log, "Cwid : Sending CW Identification."), 1);
    EXPECT_EQ(SecondsOfDay(StampOf(kDay, "Cwid : Sending CW Identification.")),
              SecondsOfDay(StampOf(kDay, "Completed sending <news.txt>.")) + 1);
    TimePoint fileDone{};
    for (std::size_t i = 0; i < queue.values.size(); ++i)
        if (queue.values[i] == "Completed sending <news.txt>.") fileDone = queue.times[i];
    EXPECT_GT(FirstBreak(), fileDone);
    EXPECT_EQ(KeyedElements(), IdentificationElements());
    EXPECT_FALSE(dlg->cwid->deferred());
}

TEST_F(Identification, AnIdentificationDoesNotReleaseTheQueueEarly) {
    WriteData("news.txt", "EEE");
    WriteSchedule({"01/01/2026 12:00:05 $CWID", "01/01/2026 14:00:00 news.txt"});
    ASSERT_TRUE(Start());
    dlg->controls->CmEnable();
    RunUntil(T("2026-01-01T12:01:00"));
    EXPECT_EQ(StampOf(kDay, "Cwid : Sending CW Identification."), "12:00:05");
    EXPECT_FALSE(Logged("File <news.txt> in TRANSMIT Queue."));
    EXPECT_EQ(Settings().sendNow, 0);
    EXPECT_EQ(dlg->w.countdownField.Text(), "7140");
    // The identification released the transmitter: the next entry is an hour away.
    EXPECT_EQ(Settings().transmitterOn, 0);
    EXPECT_FALSE(KeyLineUp());
}

TEST_F(Identification, InPsk31TheIdentificationTakesFifteenSecondsAndLeavesTheTransmitterKeyed) {
    WriteData("cwid.txt", "VVV");
    WriteSchedule({"01/01/2026 12:00:05 $CWID", "01/01/2026 14:00:00 news.txt"});
    ASSERT_TRUE(Start());
    dlg->w.soundCardCombo.SetCurSel(2);  // sound card "1"
    dlg->modes->ModeClicked(kPsk31);
    ASSERT_EQ(Settings().mode, kPsk31);
    auto& queue = Record(dlg->w.queueLine);
    dlg->controls->CmEnable();
    RunUntil(T("2026-01-01T12:01:00"));
    TimePoint sending{}, completed{};
    for (std::size_t i = 0; i < queue.values.size(); ++i) {
        if (queue.values[i] == "Sending CWID de QZ0XB QZ0XB ") sending = queue.times[i];
        if (queue.values[i] == "Completed CWID") completed = queue.times[i];
    }
    ASSERT_NE(sending, TimePoint{});
    ASSERT_NE(completed, TimePoint{});
    EXPECT_GE(completed - sending, 14s);
    EXPECT_EQ(Settings().transmitterOn, 1);
    EXPECT_TRUE(KeyLineUp());
    EXPECT_EQ(BreakElements(), 0);  // the modem sends it, not the UART
}

}  // namespace
}  // namespace sked::test
