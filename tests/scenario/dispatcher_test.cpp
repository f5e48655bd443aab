// The one-second dispatcher working off the transmit queue: countdown, the
// moment an entry goes out, back-to-back entries, commands, missing files,
// cancel, Send now, header and footer, and what goes on the air.
#include <algorithm>
#include <chrono>
#include <filesystem>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "app/operator_controls.h"
#include "scheduler/dispatcher.h"
#include "transmit/file_sender.h"
#include "support/scenario_helpers.h"

namespace sked::test {
namespace {

using namespace std::chrono_literals;

// ITA2 (and Military) letter codes, first data pulse in bit 0.
constexpr int kE = 1;
constexpr int kT = 16;
constexpr int kZ = 17;

class Dispatching : public ScenarioTest {
protected:
    const std::string kDay = "20260101";
    int Stamp(const std::string& message) const { return SecondsOfDay(StampOf(kDay, message)); }
    static int Clock(int h, int m, int s) { return h * 3600 + m * 60 + s; }
};

TEST_F(Dispatching, CountdownShowsTheSecondsLeftAndTheEntryGoesOutAtZero) {
    WriteData("news.txt", "CQ CQ\n");
    WriteSchedule({"01/01/2026 12:00:31 news.txt", "01/01/2026 13:00:00 later.txt"});
    ASSERT_TRUE(Start());
    auto& countdown = Record(dlg->w.countdownField);
    dlg->controls->CmEnable();
    RunUntil(T("2026-01-01T12:01:30"));

    std::vector<std::string> before;
    for (std::size_t i = 0; i < countdown.values.size(); ++i)
        if (countdown.times[i] < T("2026-01-01T12:00:31")) before.push_back(countdown.values[i]);
    std::vector<std::string> expected;
    for (int n = 30; n >= 1; --n) expected.push_back(std::to_string(n));
    EXPECT_EQ(before, expected);

    EXPECT_EQ(StampOf(kDay, "File <news.txt> in TRANSMIT Queue."), "12:00:31");
    EXPECT_TRUE(Logged("Completed sending <news.txt>."));
    auto keys = KeyChanges();
    ASSERT_FALSE(keys.empty());
    EXPECT_TRUE(keys.front().on);
    EXPECT_EQ(keys.front().time, T("2026-01-01T12:00:31"));
    EXPECT_TRUE(FramesIn(T("2026-01-01T12:00:00"), T("2026-01-01T12:00:31")).empty());
}

TEST_F(Dispatching, TwoEntriesDueInTheSameSecondGoOutBackToBackOnOneKeying) {
    WriteData("a.txt", "EEEE\n");
    WriteData("b.txt", "TTTT\n");
    WriteSchedule({"01/01/2026 12:00:05 a.txt", "01/01/2026 12:00:05 b.txt", "01/01/2026 13:00:00 later.txt"});
    ASSERT_TRUE(Start());
    auto& countdown = Record(dlg->w.countdownField);
    auto& queue = Record(dlg->w.queueLine);
    dlg->controls->CmEnable();
    RunUntil(T("2026-01-01T12:02:00"));

    auto log = LogMessages();
    int fileA = IndexOf(log, "File <a.txt> in TRANSMIT Queue.");
    int doneA = IndexOf(log, "Completed sending <a.txt>.");
    int fileB = IndexOf(log, "File <b.txt> in TRANSMIT Queue.");
    int off = IndexOf(log, "CmRX : Transmitter OFF");
    int doneB = IndexOf(log, "Completed sending <b.txt>.");
    ASSERT_GE(fileA, 0);
    EXPECT_LT(fileA, doneA);
    EXPECT_EQ(fileB, doneA + 1);
    EXPECT_LT(fileB, off);
    EXPECT_EQ(doneB, off + 1);
    EXPECT_EQ(CountOf(log, "CmTX : Transmitter ON"), 1);
    EXPECT_EQ(CountOf(log, "CmRX : Transmitter OFF"), 1);

    // The second starts at the tick after the first completes.
    EXPECT_EQ(Stamp("File <a.txt> in TRANSMIT Queue."), Clock(12, 0, 5));
    EXPECT_EQ(Stamp("File <b.txt> in TRANSMIT Queue."), Stamp("Completed sending <a.txt>.") + 1);

    // One keying for both.
    auto keys = KeyChanges();
    ASSERT_EQ(keys.size(), 2u);
    EXPECT_TRUE(keys[0].on);
    EXPECT_FALSE(keys[1].on);
    EXPECT_EQ(keys[0].time, T("2026-01-01T12:00:05"));
    EXPECT_EQ(TextCodes(), (std::vector<int>{kE, kE, kE, kE, 8, 8, 2, kT, kT, kT, kT, 8, 8, 2}));

    // While the first goes out, the countdown shows the second overdue.
    TimePoint aDone{};
    for (std::size_t i = 0; i < queue.values.size(); ++i)
        if (queue.values[i] == "Completed sending <a.txt>.") aDone = queue.times[i];
    ASSERT_NE(aDone, TimePoint{});
    std::vector<std::string> during;
    for (std::size_t i = 0; i < countdown.values.size(); ++i)
        if (countdown.times[i] > T("2026-01-01T12:00:05") && countdown.times[i] < aDone)
            during.push_back(countdown.values[i]);
    ASSERT_FALSE(during.empty());
    EXPECT_EQ(during.front(), "-1");
    for (const auto& v : during) EXPECT_EQ(v[0], '-') << v;
}

TEST_F(Dispatching, TheQueueRunningEmptyDuringAFileStopsTheSchedulerAndReleasesTheTransmitterAfterIt) {
    WriteData("a.txt", std::string(200, 'E'));
    WriteSchedule({"01/01/2026 12:00:05 a.txt"});
    ASSERT_TRUE(Start());
    dlg->controls->CmEnable();
    RunUntil(T("2026-01-01T12:02:00"));

    auto log = LogMessages();
    int file = IndexOf(log, "File <a.txt> in TRANSMIT Queue.");
    int disabled = IndexOf(log, "CmDisable : Scheduler DISABLED", file);
    int empty = IndexOf(log, "Queue Empty: Nothing to Send.");
    int text = IndexOf(log, "TXFile : Sending file <a.txt>.");
    int off = IndexOf(log, "CmRX : Transmitter OFF", file);
    int done = IndexOf(log, "Completed sending <a.txt>.");
    ASSERT_GE(file, 0);
    EXPECT_LT(file, disabled);
    EXPECT_EQ(empty, disabled + 1);
    EXPECT_LT(empty, text);
    EXPECT_LT(text, off);
    EXPECT_EQ(done, off + 1);
    EXPECT_EQ(Stamp("Queue Empty: Nothing to Send."), Clock(12, 0, 6));
    EXPECT_EQ(CountOf(log, "Queue Empty: Nothing to Send."), 1);
    EXPECT_EQ(Settings().autoSendEnabled, 0);
    EXPECT_EQ(dlg->w.autoSendField.Text(), "DISABLED");
    EXPECT_EQ(Settings().transmitterOn, 0);
    EXPECT_FALSE(KeyLineUp());
    auto codes = TextCodes();
    EXPECT_EQ(std::count(codes.begin(), codes.end(), kE), 200);
}

TEST_F(Dispatching, ACommandEntryRunsWithoutKeyingAndWithoutAQueueLine) {
    WriteSchedule({"01/01/2026 12:00:05 $ASCII", "01/01/2026 13:00:00 later.txt"});
    ASSERT_TRUE(Start());
    dlg->controls->CmEnable();
    RunUntil(T("2026-01-01T12:00:10"));
    EXPECT_EQ(Settings().mode, kAscii);
    EXPECT_EQ(port->In(0x2F8 + 3), 0x07);  // 8 data bits, 2 stop bits
    auto log = LogMessages();
    EXPECT_EQ(CountOf(log, "File <$ASCII> in TRANSMIT Queue."), 0);
    EXPECT_EQ(CountOf(log, "CmTX : Transmitter ON"), 0);
    EXPECT_TRUE(KeyChanges().empty());
    EXPECT_EQ(Settings().sending, 0);
    EXPECT_EQ(Settings().sendNow, 0);
    EXPECT_EQ(dlg->w.scheduleList.Items(), (std::vector<std::string>{"01/01/2026 13:00:00 later.txt"}));
    EXPECT_EQ(dlg->w.countdownField.Text(), "3590");
}

TEST_F(Dispatching, AMissingFileIsReportedAndNothingIsKeyed) {
    WriteSchedule({"01/01/2026 12:00:05 ghost.txt", "01/01/2026 13:00:00 later.txt"});
    ASSERT_TRUE(Start());
    dlg->controls->CmEnable();
    RunUntil(T("2026-01-01T12:00:10"));
    auto log = LogMessages();
    int file = IndexOf(log, "File <ghost.txt> in TRANSMIT Queue.");
    ASSERT_GE(file, 0);
    ASSERT_LE(file + 2, static_cast<int>(log.size()) - 1);
    EXPECT_EQ(log[file + 1], "SendAbort : File <ghost.txt> could not be opened.");
    EXPECT_EQ(log[file + 2], "Completed sending <ghost.txt>.");
    EXPECT_EQ(dlg->w.statusLine.Text(), "SendAbort : File <ghost.txt> could not be opened.");
    EXPECT_EQ(dlg->w.queueLine.Text(), "Completed sending <ghost.txt>.");
    EXPECT_EQ(CountOf(log, "CmTX : Transmitter ON"), 0);
    EXPECT_TRUE(KeyChanges().empty());
    EXPECT_TRUE(uart.Frames().empty());
    EXPECT_EQ(Settings().sending, 0);
    EXPECT_EQ(Settings().idle, 1);
    EXPECT_EQ(Settings().autoSendEnabled, 1);
}

TEST_F(Dispatching, CancelStopsAScheduledFileAndTheScheduler) {
    std::string news;
    for (int i = 0; i < 60; ++i) news += "THE QUICK BROWN FOX JUMPS OVER THE LAZY DOG\n";
    WriteData("news.txt", news);
    WriteData("header.txt", "ZZZ");
    WriteData("footer.txt", "ZZZ");
    WriteSchedule({"01/01/2026 12:00:05 news.txt", "01/01/2026 12:30:00 later.txt"});
    WriteData("later.txt", "TTT");
    ASSERT_TRUE(Start());
    dlg->controls->CmEnable();
    At("2026-01-01T12:00:40", [this] { dlg->controls->CmCancel(); });
    RunUntil(T("2026-01-01T12:02:00"));

    auto log = LogMessages();
    int cancel = IndexOf(log, "CmCancel : Session CANCELED");
    int aborted = IndexOf(log, "ABORTED sending <news.txt>.");
    ASSERT_GE(cancel, 0);
    EXPECT_LT(cancel, aborted);
    EXPECT_EQ(CountOf(log, "Completed sending <news.txt>."), 0);
    EXPECT_EQ(CountOf(log, "TXFile : Sending file <footer.txt>."), 0);
    int abortedAt = Stamp("ABORTED sending <news.txt>.");
    EXPECT_GE(abortedAt, Clock(12, 0, 40));
    EXPECT_LE(abortedAt, Clock(12, 0, 43));
    EXPECT_EQ(dlg->w.autoSendField.Text(), "DISABLED");
    EXPECT_EQ(dlg->w.flowField.Text(), "CANCEL");
    EXPECT_EQ(dlg->w.queueLine.Text(), "ABORTED sending <news.txt>.");
    EXPECT_EQ(Settings().autoSendEnabled, 0);
    EXPECT_EQ(Settings().transmitterOn, 0);
    EXPECT_FALSE(KeyLineUp());
    // Nothing more goes on the air after the cancel (a character already in
    // the UART may finish).
    EXPECT_LE(FramesIn(T("2026-01-01T12:00:40"), T("2026-01-01T12:10:00")).size(), 2u);

    // The scheduler stays off: the next entry waits in the queue.
    RunUntil(T("2026-01-01T12:31:00"));
    EXPECT_FALSE(Logged("File <later.txt> in TRANSMIT Queue."));
    EXPECT_EQ(dlg->w.scheduleList.Items(), (std::vector<std::string>{"01/01/2026 12:30:00 later.txt"}));
}

TEST_F(Dispatching, TimerCommandThreeStopsOnlyTheOneSecondTimer) {
    WriteData("a.txt", "EEE");
    WriteSchedule({"01/01/2026 12:00:05 a.txt", "01/01/2026 13:00:00 later.txt"});
    ASSERT_TRUE(Start());
    dlg->controls->CmEnable();
    RunFor(1500ms);
    ASSERT_EQ(dlg->w.clockField.Text(), "Thu Jan  1 12:00:01 2026");
    dlg->dispatcher->OnTimer(kStartFastTimer);
    auto logBefore = LogMessages();
    dlg->dispatcher->OnTimer(kStopSecondTimer);
    EXPECT_FALSE(loop->TimerRunning(kSecondTimer));
    EXPECT_TRUE(loop->TimerRunning(kFastTimer));
    EXPECT_EQ(LogMessages(), logBefore);
    EXPECT_EQ(Settings().autoSendEnabled, 1);

    Settings().milliTicks = 0;
    RunFor(10s);
    EXPECT_EQ(dlg->w.clockField.Text(), "Thu Jan  1 12:00:01 2026");
    EXPECT_FALSE(Logged("File <a.txt> in TRANSMIT Queue."));
    EXPECT_GT(Settings().milliTicks, 250);  // the fast timer runs on
    EXPECT_EQ(dlg->w.scheduleList.Count(), 2);

    // Started again, the overdue entry goes out at the first tick.
    dlg->dispatcher->OnTimer(kStopFastTimer);
    dlg->dispatcher->OnTimer(kStartSecondTimer);
    RunUntil(T("2026-01-01T12:01:00"));
    EXPECT_EQ(StampOf(kDay, "File <a.txt> in TRANSMIT Queue."), "12:00:12");
}

TEST_F(Dispatching, SendNowWorksOnlyWithTheSchedulerEnabled) {
    WriteData("a.txt", "EEE");
    WriteSchedule({"01/01/2026 13:00:00 a.txt", "01/01/2026 14:00:00 later.txt"});
    ASSERT_TRUE(Start());
    RunUntil(T("2026-01-01T12:00:02"));
    auto logBefore = LogMessages();
    dlg->controls->CmSendNow();
    EXPECT_EQ(Settings().sendNow, 0);
    EXPECT_EQ(LogMessages(), logBefore);
    RunUntil(T("2026-01-01T12:00:03"));
    dlg->controls->CmEnable();
    dlg->controls->CmSendNow();
    EXPECT_EQ(LogMessages().back(), "CmSendNow : Manual Enabling of next in queue.");
    EXPECT_EQ(Settings().sendNow, 1);
    RunUntil(T("2026-01-01T12:01:00"));
    EXPECT_EQ(StampOf(kDay, "File <a.txt> in TRANSMIT Queue."), "12:00:04");
    EXPECT_TRUE(Logged("Completed sending <a.txt>."));
    EXPECT_EQ(Settings().sendNow, 0);
    // Only the head went: the next entry waits for its time.
    EXPECT_EQ(dlg->w.scheduleList.Items(), (std::vector<std::string>{"01/01/2026 14:00:00 later.txt"}));
    EXPECT_FALSE(Logged("File <later.txt> in TRANSMIT Queue."));
}

TEST_F(Dispatching, SendNowMovesAHeadEntryThatDoesNotReadAsThreeWords) {
    WriteData("a.txt", "EEE");
    ASSERT_TRUE(Start());
    dlg->w.scheduleList.AddString("01/01/2026 12:00:02");
    dlg->w.scheduleList.AddString(ScheduleLine("2026-01-01T14:00:00", "later.txt"));
    dlg->controls->CmEnable();
    RunUntil(T("2026-01-01T12:00:10"));
    // Due, but without a name: shown as overdue, never sent by itself.
    EXPECT_EQ(dlg->w.countdownField.Text(), "-8");
    EXPECT_EQ(dlg->w.scheduleList.Count(), 2);
    dlg->controls->CmSendNow();
    RunUntil(T("2026-01-01T12:00:40"));
    EXPECT_EQ(dlg->w.scheduleList.Items(), (std::vector<std::string>{"01/01/2026 14:00:00 later.txt"}));
    // It names no file: there is nothing to open and nothing to key for.
    EXPECT_TRUE(Logged("SendAbort : File <> could not be opened."));
    EXPECT_TRUE(KeyChanges().empty());
}

TEST_F(Dispatching, AnEntryNamingAFolderIsReportedAsAFileThatCannotBeOpened) {
    std::filesystem::create_directory("data/archive");
    WriteSchedule({"01/01/2026 12:00:05 archive", "01/01/2026 13:00:00 later.txt"});
    ASSERT_TRUE(Start());
    dlg->controls->CmEnable();
    RunUntil(T("2026-01-01T12:00:40"));
    EXPECT_TRUE(Logged("SendAbort : File <archive> could not be opened."));
    EXPECT_FALSE(Logged("TXFile : Sending file <archive>."));
    EXPECT_TRUE(KeyChanges().empty());
    EXPECT_TRUE(uart.Frames().empty());
}

TEST_F(Dispatching, HeaderAndFooterFrameTheFileUnlessSwitchedOff) {
    WriteData("header.txt", "ZZZ");
    WriteData("body.txt", "EEE");
    WriteData("footer.txt", "TTT");
    WriteSchedule({"01/01/2026 12:00:05 body.txt", "01/01/2026 12:01:00 $NOHEADER", "01/01/2026 12:02:00 body.txt",
                   "01/01/2026 13:00:00 later.txt"});
    ASSERT_TRUE(Start());
    dlg->controls->CmEnable();
    RunUntil(T("2026-01-01T12:00:59"));
    EXPECT_EQ(TextCodes(), (std::vector<int>{kZ, kZ, kZ, kE, kE, kE, kT, kT, kT}));
    RunUntil(T("2026-01-01T12:03:00"));
    EXPECT_EQ(Settings().headerEnabled, 0);
    EXPECT_EQ(TextCodes(), (std::vector<int>{kZ, kZ, kZ, kE, kE, kE, kT, kT, kT, kE, kE, kE}));
    auto log = LogMessages();
    EXPECT_EQ(CountOf(log, "TXFile : Sending file <header.txt>."), 1);
    EXPECT_EQ(CountOf(log, "TXFile : Sending file <footer.txt>."), 1);
    EXPECT_EQ(CountOf(log, "Completed sending <body.txt>."), 2);
}

TEST_F(Dispatching, AScheduledFileGoesOutInOrderFromKeyingToRelease) {
    WriteData("header.txt", "ZZZ");
    WriteData("news.txt", "EEEEEE");
    WriteData("footer.txt", "TTT");
    WriteSchedule({"01/01/2026 12:00:05 news.txt", "01/01/2026 13:00:00 later.txt"});
    ASSERT_TRUE(Start());
    dlg->controls->CmEnable();
    RunUntil(T("2026-01-01T12:01:00"));

    auto log = LogMessages();
    int first = IndexOf(log, "File <news.txt> in TRANSMIT Queue.");
    ASSERT_GE(first, 0);
    std::vector<std::string> steps(log.begin() + first, log.end());
    EXPECT_EQ(steps, (std::vector<std::string>{"File <news.txt> in TRANSMIT Queue.", "CmTX : Transmitter ON",
                                               "TXFile : Sending file <header.txt>.", "TXFile : Sending file <news.txt>.",
                                               "TXFile : Sending file <footer.txt>.", "CmRX : Transmitter OFF",
                                               "Completed sending <news.txt>."}));
    EXPECT_EQ(dlg->w.queueLine.Text(), "Completed sending <news.txt>.");

    // On the air: keyed at 12:00:05, five seconds of letters shift, the text,
    // five seconds of letters shift, released.
    auto keys = KeyChanges();
    ASSERT_EQ(keys.size(), 2u);
    EXPECT_EQ(keys[0].time, T("2026-01-01T12:00:05"));
    auto frames = FramesIn(keys[0].time, TimePoint::max());
    ASSERT_FALSE(frames.empty());
    EXPECT_EQ(FramesIn(TimePoint{}, keys[0].time).size(), 0u);
    std::size_t firstText = 0, lastText = 0;
    for (std::size_t i = 0; i < frames.size(); ++i)
        if (frames[i].value != 31) {
            if (firstText == 0) firstText = i;
            lastText = i;
        }
    ASSERT_GT(firstText, 0u);
    auto lead = frames[firstText].time - keys[0].time;
    // The fill is written for five whole seconds (keyed on a tick); the UART
    // holds up to two characters, and a shift code may come first.
    EXPECT_GE(lead, 5000ms);
    EXPECT_LE(lead, 5800ms);
    EXPECT_GE(firstText, 28u);  // 165 ms a character
    auto tail = keys[1].time - (frames[lastText].time + frames[lastText].frameTime);
    // The fill after the text lasts between four and five seconds of ticks.
    EXPECT_GE(tail, 3500ms);
    EXPECT_LE(tail, 5100ms);
    // The last character leaves the line whole before the key drops.
    EXPECT_TRUE(FramesIn(keys[1].time, TimePoint::max()).empty());
    EXPECT_LE(frames.back().time + frames.back().frameTime, keys[1].time);
    EXPECT_EQ(Settings().transmitterOn, 0);
    EXPECT_EQ(Settings().sending, 0);
    EXPECT_EQ(Settings().idle, 1);
}

TEST_F(Dispatching, InAsciiTheIdleFillIsSilence) {
    WriteData("news.txt", "HELLO");
    WriteSchedule({"01/01/2026 12:00:02 $ASCII", "01/01/2026 12:00:05 news.txt", "01/01/2026 13:00:00 later.txt"});
    ASSERT_TRUE(Start());
    dlg->w.headerCheck.SetCheck(0);
    dlg->files->CmHeader();
    dlg->controls->CmEnable();
    RunUntil(T("2026-01-01T12:01:00"));
    ASSERT_TRUE(Logged("Completed sending <news.txt>."));
    EXPECT_EQ(uart.FrameCodes(), (std::vector<int>{'H', 'E', 'L', 'L', 'O'}));
    auto keys = KeyChanges();
    ASSERT_EQ(keys.size(), 2u);
    auto frames = uart.Frames();
    EXPECT_GE(frames.front().time - keys[0].time, 4000ms);
    EXPECT_GE(keys[1].time - frames.back().time, 4000ms);
}

TEST_F(Dispatching, InCwModeTheFileIsKeyedInMorseOnTheFastTimer) {
    WriteData("news.txt", "TEST");
    WriteSchedule({"01/01/2026 12:00:02 $CW", "01/01/2026 12:00:05 news.txt", "01/01/2026 13:00:00 later.txt"});
    ASSERT_TRUE(Start());
    dlg->w.headerCheck.SetCheck(0);
    dlg->files->CmHeader();
    dlg->controls->CmEnable();
    RunUntil(T("2026-01-01T12:01:00"));
    ASSERT_TRUE(Logged("Completed sending <news.txt>."));
    EXPECT_TRUE(uart.Frames().empty());
    EXPECT_FALSE(loop->TimerRunning(kFastTimer));
    auto keys = KeyChanges();
    ASSERT_GE(keys.size(), 2u);
    EXPECT_EQ(keys[0].time, T("2026-01-01T12:00:05"));
    // The first keying is the 50-tick lead-in; the key then opens for a word
    // space, so that T's dash stands on its own; then E, S and T.
    EXPECT_GE(keys[1].time - keys[0].time, 1700ms);
    EXPECT_LT(keys[1].time - keys[0].time, 1800ms);
    EXPECT_GE(keys[2].time - keys[1].time, 200ms);
    std::string elements;
    for (std::size_t i = 2; i + 1 < keys.size(); i += 2) elements += keys[i + 1].time - keys[i].time < 120ms ? '.' : '-';
    EXPECT_EQ(elements, "-....-");
    EXPECT_FALSE(KeyLineUp());
}

}  // namespace
}  // namespace sked::test
