// The one-second dispatcher working off the transmit queue: countdown, the moment an entry goes out,
// back-to-back entries, commands, missing files, Send now, header and footer, and the air.
#include <algorithm>
#include <chrono>
#include <filesystem>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "scheduler/dispatcher.h"
#include "support/scenario_helpers.h"

namespace sked::test {
namespace {

using namespace std::chrono_literals;
using Lines = std::vector<std::string>;

constexpr int kE = 1, kT = 16, kZ = 17;  // ITA2 letter codes

class Dispatching : public ScenarioTest {
protected:
    void StartEnabled(const Lines& schedule) {
        WriteSchedule(schedule);
        ASSERT_TRUE(Start());
        station->commands.Enable();
    }
    std::vector<int> TextCodes() {  // frame codes other than the shifts LTRS and FIGS
        std::vector<int> codes;
        for (int code : uart.FrameCodes())
            if (code != 31 && code != 27) codes.push_back(code);
        return codes;
    }
};

TEST_F(Dispatching, AScheduledFileGoesOutAtTheFirstTickWhereItIsDueFramedByIdleFill) {
    WriteData("header.txt", "ZZZ");
    WriteData("news.txt", "EEEEEE");
    WriteData("footer.txt", "TTT");
    StartEnabled({"01/01/2026 12:00:31 news.txt", "01/01/2026 12:01:30 $NOHEADER", "01/01/2026 12:02:00 news.txt",
                  "01/01/2026 13:00:00 later.txt"});
    RunFor(1500ms);
    EXPECT_EQ(station->window.countdownField.Text(), "30");
    RunUntil(T("2026-01-01T12:00:30"));
    RunFor(500ms);
    EXPECT_EQ(station->window.countdownField.Text(), "1");
    RunUntil(T("2026-01-01T12:01:20"));
    ASSERT_EQ(StampOf("File <news.txt> in TRANSMIT Queue."), "12:00:31");

    auto log = LogMessages();
    EXPECT_EQ(
        Lines(log.begin() + IndexOf(log, "File <news.txt> in TRANSMIT Queue."), log.end()),
        (Lines{"File <news.txt> in TRANSMIT Queue.", "CmTX : Transmitter ON", "TXFile : Sending file <header.txt>.",
               "TXFile : Sending file <news.txt>.", "TXFile : Sending file <footer.txt>.", "CmRX : Transmitter OFF",
               "Completed sending <news.txt>."}));
    // Keyed on the tick; five seconds of letters shift before the text (the UART holds up to two characters),
    // four to five after; the last character leaves the line whole before the key drops.
    auto keys = KeyChanges();
    ASSERT_EQ(keys.size(), 2u);
    EXPECT_EQ(keys[0].time, T("2026-01-01T12:00:31"));
    EXPECT_TRUE(FramesIn(TimePoint{}, keys[0].time).empty());
    auto frames = FramesIn(keys[0].time, TimePoint::max());
    auto isText = [](const UartEvent& f) { return f.value != 31; };
    auto first = std::find_if(frames.begin(), frames.end(), isText);
    auto last = std::find_if(frames.rbegin(), frames.rend(), isText);
    ASSERT_NE(first, frames.end());
    EXPECT_GE(first->time - keys[0].time, 5000ms);
    EXPECT_LE(first->time - keys[0].time, 5800ms);
    EXPECT_GE(keys[1].time - (last->time + last->frameTime), 3500ms);
    EXPECT_LE(keys[1].time - (last->time + last->frameTime), 5100ms);
    EXPECT_LE(frames.back().time + frames.back().frameTime, keys[1].time);
    EXPECT_EQ(station->state.idle, 1);

    // $NOHEADER: the second time the file goes out alone.
    RunUntil(T("2026-01-01T12:03:00"));
    EXPECT_EQ(TextCodes(), (std::vector<int>{kZ, kZ, kZ, kE, kE, kE, kE, kE, kE, kT, kT, kT, kE, kE, kE, kE, kE, kE}));
    EXPECT_EQ(CountOf(LogMessages(), "TXFile : Sending file <header.txt>."), 1);
}

TEST_F(Dispatching, TwoEntriesDueInTheSameSecondGoOutOnOneKeyingTheSecondAtTheNextTick) {
    WriteData("a.txt", "EEEE\n");
    WriteData("b.txt", "TTTT\n");
    StartEnabled({"01/01/2026 12:00:05 a.txt", "01/01/2026 12:00:05 b.txt", "01/01/2026 13:00:00 later.txt"});
    RunUntil(T("2026-01-01T12:02:00"));
    auto log = LogMessages();
    int doneA = IndexOf(log, "Completed sending <a.txt>.");
    int off = IndexOf(log, "CmRX : Transmitter OFF");
    ASSERT_GT(doneA, IndexOf(log, "File <a.txt> in TRANSMIT Queue."));
    EXPECT_EQ(IndexOf(log, "File <b.txt> in TRANSMIT Queue."), doneA + 1);
    EXPECT_EQ(IndexOf(log, "Completed sending <b.txt>."), off + 1);
    EXPECT_EQ(CountOf(log, "CmTX : Transmitter ON"), 1);
    EXPECT_EQ(TimeOf("File <b.txt> in TRANSMIT Queue."), TimeOf("Completed sending <a.txt>.") + 1s);
    EXPECT_EQ(KeyChanges().size(), 2u);
    EXPECT_EQ(TextCodes(), (std::vector<int>{kE, kE, kE, kE, 8, 8, 2, kT, kT, kT, kT, 8, 8, 2}));
}

TEST_F(Dispatching, TheQueueRunningEmptyDuringAFileStopsTheSchedulerAndReleasesTheTransmitterAfterIt) {
    WriteData("a.txt", std::string(200, 'E'));
    StartEnabled({"01/01/2026 12:00:05 a.txt"});
    RunUntil(T("2026-01-01T12:02:00"));
    auto log = LogMessages();
    int disabled = IndexOf(log, "CmDisable : Scheduler DISABLED", IndexOf(log, "File <a.txt> in TRANSMIT Queue."));
    ASSERT_GE(disabled, 0);
    EXPECT_EQ(log[disabled + 1], "Queue Empty: Nothing to Send.");
    EXPECT_LT(disabled, IndexOf(log, "TXFile : Sending file <a.txt>."));
    EXPECT_EQ(Lines(log.end() - 2, log.end()), (Lines{"CmRX : Transmitter OFF", "Completed sending <a.txt>."}));
    EXPECT_EQ(StampOf("Queue Empty: Nothing to Send."), "12:00:06");
    EXPECT_EQ(CountOf(log, "Queue Empty: Nothing to Send."), 1);
    EXPECT_EQ(station->window.autoSendField.Text(), "DISABLED");
    EXPECT_FALSE(KeyLineUp());
    EXPECT_EQ(TextCodes(), std::vector<int>(200, kE));
}

// The queue goes on past files that cannot be sent, and past a command entry, run without keying or queue line.
TEST_F(Dispatching, AFileThatCannotBeSentIsReportedAsNotSentAndTheQueueGoesOn) {
    std::filesystem::create_directory("data/archive");
    WriteData("vanish.txt", "GONE BEFORE IT WENT OUT\n");
    WriteData("later.txt", "T");
    StartEnabled({"01/01/2026 12:00:04 $NOHEADER", "01/01/2026 12:00:05 ghost.txt", "01/01/2026 12:00:07 archive",
                  "01/01/2026 12:00:09 vanish.txt", "01/01/2026 12:00:30 later.txt"});
    // Deleted during the lead-in, after the station found it and keyed.
    At("2026-01-01T12:00:11", [] { std::filesystem::remove("data/vanish.txt"); });
    RunUntil(T("2026-01-01T12:01:00"));
    auto log = LogMessages();
    for (std::string name : {"ghost.txt", "archive"}) {
        int file = IndexOf(log, "File <" + name + "> in TRANSMIT Queue.");
        ASSERT_GE(file, 0) << name;
        EXPECT_EQ(Lines(log.begin() + file + 1, log.begin() + file + 3),
                  (Lines{"SendAbort : File <" + name + "> could not be opened.", "ABORTED sending <" + name + ">."}));
    }
    EXPECT_TRUE(Logged("[TXFile : Cannot open data/vanish.txt input file.]"));
    EXPECT_TRUE(Logged("ABORTED sending <vanish.txt>."));
    EXPECT_EQ(station->state.headerEnabled, 0);
    EXPECT_FALSE(Logged("File <$NOHEADER> in TRANSMIT Queue."));
    EXPECT_FALSE(Logged("Completed sending <vanish.txt>."));
    EXPECT_TRUE(Logged("Completed sending <later.txt>."));
    // Keyed only for the file that was there, and for later.txt.
    auto keys = KeyChanges();
    ASSERT_EQ(keys.size(), 4u);
    EXPECT_EQ(keys[0].time, T("2026-01-01T12:00:09"));
    EXPECT_LT(keys[1].time, T("2026-01-01T12:00:30"));
    EXPECT_FALSE(KeyLineUp());
    EXPECT_EQ(station->state.autoSendEnabled, 0);  // only because the queue ran empty
    EXPECT_TRUE(Logged("Queue Empty: Nothing to Send."));
}

TEST_F(Dispatching, SendNowWorksOnlyWithTheSchedulerEnabled) {
    WriteData("a.txt", "EEE");
    WriteSchedule({"01/01/2026 13:00:00 a.txt", "01/01/2026 14:00:00 later.txt"});
    ASSERT_TRUE(Start());
    RunUntil(T("2026-01-01T12:00:02"));
    station->commands.SendNow();
    EXPECT_EQ(station->state.sendNow, 0);
    RunUntil(T("2026-01-01T12:00:03"));
    station->commands.Enable();
    station->commands.SendNow();
    EXPECT_EQ(LogMessages().back(), "CmSendNow : Manual Enabling of next in queue.");
    RunUntil(T("2026-01-01T12:01:00"));
    EXPECT_EQ(StampOf("File <a.txt> in TRANSMIT Queue."), "12:00:04");
    EXPECT_EQ(Items(), (Lines{"01/01/2026 14:00:00 later.txt"}));  // only the head went
}

}  // namespace
}  // namespace sked::test
