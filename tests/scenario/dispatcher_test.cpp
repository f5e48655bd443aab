// The one-second dispatcher working off the transmit queue: countdown, the moment an entry goes out, back-to-back
// entries, commands, missing files, Send now, the air, the identification, the nights the clocks change, a week.
#include <cstdlib>
#include <filesystem>

#include "platform/clock.h"
#include "platform/text_format.h"
#include "scheduler/cw_identification.h"
#include "support/scenario_helpers.h"

namespace sked::test {
namespace {

using namespace std::chrono;

constexpr int kE = 1, kT = 16, kZ = 17;  // ITA2 letter codes

class Dispatching : public ScenarioTest {
protected:
    std::vector<int> TextCodes() {  // frame codes other than the shifts LTRS and FIGS
        std::vector<int> codes = uart.FrameCodes();
        std::erase_if(codes, [](int code) { return code == 31 || code == 27; });
        return codes;
    }
    int Identifications() const { return CountOf(LogMessages(), "Cwid : Sending CW Identification."); }
};

TEST_F(Dispatching, AScheduledFileGoesOutAtTheFirstTickWhereItIsDueFramedByIdleFill) {
    WriteData({{"header.txt", "ZZZ"}, {"news.txt", "EEEEEE"}, {"footer.txt", "TTT"}});
    ASSERT_TRUE(StartEnabled({"01/01/2026 12:00:31 news.txt", "01/01/2026 12:01:30 $NOHEADER",
                              "01/01/2026 12:02:00 news.txt", "01/01/2026 13:00:00 later.txt"}));
    RunFor(1500ms);
    EXPECT_EQ(station->window.countdownField.Text(), "30");
    RunUntil(T("2026-01-01T12:00:30") + 500ms);
    EXPECT_EQ(station->window.countdownField.Text(), "1");
    RunUntil(T("2026-01-01T12:01:20"));
    const auto log = LogMessages();
    const int queued = IndexOf(log, "File <news.txt> in TRANSMIT Queue.");
    ASSERT_GE(queued, 0);
    EXPECT_EQ(StampOf(log[queued]), "12:00:31");
    EXPECT_EQ(Lines(log.begin() + queued + 1, log.end()),
              (Lines{"CmTX : Transmitter ON", "TXFile : Sending file <header.txt>.",
                     "TXFile : Sending file <news.txt>.", "TXFile : Sending file <footer.txt>.",
                     "CmRX : Transmitter OFF", "Completed sending <news.txt>."}));
    // Keyed on the tick; five seconds of letters shift before the text (the UART holds up to two characters),
    // four to five after; the last character leaves the line whole before the key drops.
    const auto keys = KeyChanges();
    ASSERT_EQ(keys.size(), 2u);
    EXPECT_EQ(keys[0].time, T("2026-01-01T12:00:31"));
    EXPECT_TRUE(FramesIn(TimePoint{}, keys[0].time).empty());
    auto frames = FramesIn(keys[0].time, TimePoint::max());
    std::erase_if(frames, [](const UartEvent& f) { return f.value == 31; });
    ASSERT_FALSE(frames.empty());
    const Duration lead = frames.front().time - keys[0].time;
    const Duration tail = keys[1].time - (frames.back().time + frames.back().frameTime);
    EXPECT_TRUE(lead >= 5000ms && lead <= 5800ms) << lead.count();
    EXPECT_TRUE(tail >= 3500ms && tail <= 5100ms) << tail.count();
    EXPECT_TRUE(uart.Frames().back().time + uart.Frames().back().frameTime <= keys[1].time);
    // $NOHEADER: the second time the file goes out alone.
    RunUntil(T("2026-01-01T12:03:00"));
    EXPECT_EQ(TextCodes(), (std::vector<int>{kZ, kZ, kZ, kE, kE, kE, kE, kE, kE, kT, kT, kT, kE, kE, kE, kE, kE, kE}));
}

TEST_F(Dispatching, TwoEntriesDueInTheSameSecondGoOutOnOneKeyingTheSecondAtTheNextTick) {
    WriteData({{"a.txt", "EEEE\n"}, {"b.txt", "TTTT\n"}});
    ASSERT_TRUE(StartEnabled({"01/01/2026 12:00:05 a.txt", "01/01/2026 12:00:05 b.txt", "01/01/2026 13:00:00 x.txt"}));
    RunUntil(T("2026-01-01T12:02:00"));
    const auto log = LogMessages();
    const int doneA = IndexOf(log, "Completed sending <a.txt>."), off = IndexOf(log, "CmRX : Transmitter OFF");
    ASSERT_GT(doneA, IndexOf(log, "File <a.txt> in TRANSMIT Queue."));
    EXPECT_EQ(IndexOf(log, "File <b.txt> in TRANSMIT Queue."), doneA + 1);
    EXPECT_EQ(IndexOf(log, "Completed sending <b.txt>."), off + 1);
    EXPECT_LE(TimeOf("File <b.txt> in TRANSMIT Queue.") - TimeOf("Completed sending <a.txt>."), 1s);
    EXPECT_EQ(KeyChanges().size(), 2u);
    EXPECT_EQ(TextCodes(), (std::vector<int>{kE, kE, kE, kE, 8, 8, 2, kT, kT, kT, kT, 8, 8, 2}));
}

TEST_F(Dispatching, TheQueueRunningEmptyDuringAFileStopsTheSchedulerAndReleasesTheTransmitterAfterIt) {
    WriteData("a.txt", std::string(200, 'E'));
    ASSERT_TRUE(StartEnabled({"01/01/2026 12:00:05 a.txt"}));
    RunUntil(T("2026-01-01T12:02:00"));
    const auto log = LogMessages();
    int disabled = IndexOf(log, "CmDisable : Scheduler DISABLED", IndexOf(log, "File <a.txt> in TRANSMIT Queue."));
    ASSERT_GE(disabled, 0);
    EXPECT_EQ(log[disabled + 1], "Queue Empty: Nothing to Send.");
    EXPECT_LT(disabled, IndexOf(log, "TXFile : Sending file <a.txt>."));
    EXPECT_EQ(Lines(log.end() - 2, log.end()), (Lines{"CmRX : Transmitter OFF", "Completed sending <a.txt>."}));
    EXPECT_EQ(StampsOf("Queue Empty: Nothing to Send."), Lines{"12:00:06"});
    EXPECT_EQ(TextCodes(), std::vector<int>(200, kE));
}

// The queue goes on past files that cannot be sent, and past a command entry, run without keying or queue line.
// A file is read once, when its entry falls due: deleted during the lead-in, it still goes out whole.
TEST_F(Dispatching, AFileThatCannotBeSentIsReportedAsNotSentAndTheQueueGoesOn) {
    std::filesystem::create_directory("data/archive");
    WriteData({{"vanish.txt", "GONE BEFORE IT WENT OUT\n"}, {"later.txt", "T"}});
    ASSERT_TRUE(StartEnabled({"01/01/2026 12:00:04 $NOHEADER", "01/01/2026 12:00:05 ghost.txt",
                              "01/01/2026 12:00:07 archive", "01/01/2026 12:00:09 vanish.txt",
                              "01/01/2026 12:00:30 later.txt"}));
    At("2026-01-01T12:00:11", [] { std::filesystem::remove("data/vanish.txt"); });
    RunUntil(T("2026-01-01T12:01:00"));
    const auto log = LogMessages();
    for (const auto& [name, why] : {std::pair<std::string, std::string>{"ghost.txt", "No such file or directory"},
                                    {"archive", "not a regular file"}}) {
        const int file = IndexOf(log, "File <" + name + "> in TRANSMIT Queue.");
        ASSERT_GE(file, 0) << name;
        EXPECT_EQ(Lines(log.begin() + file + 1, log.begin() + file + 3),
                  (Lines{"SendAbort : File <" + name + "> could not be opened: " + why + ".",
                         "ABORTED sending <" + name + ">."}));
    }
    EXPECT_TRUE(Logged("Completed sending <vanish.txt>.") && Logged("Completed sending <later.txt>."));
    EXPECT_FALSE(station->settings.headerEnabled || Logged("File <$NOHEADER> in TRANSMIT Queue."));
    const auto keys = KeyChanges();  // keyed only for the file that was there, and for later.txt
    ASSERT_EQ(keys.size(), 4u);
    EXPECT_EQ(keys[0].time, T("2026-01-01T12:00:09"));
    EXPECT_LT(keys[1].time, T("2026-01-01T12:00:30"));
}

TEST_F(Dispatching, SendNowWorksOnlyWithTheSchedulerEnabled) {
    WriteData("a.txt", "EEE");
    WriteSchedule({"01/01/2026 13:00:00 a.txt", "01/01/2026 14:00:00 later.txt"});
    ASSERT_TRUE(Start());
    RunUntil(T("2026-01-01T12:00:02"));
    station->commands.SendNow();
    EXPECT_EQ(station->scheduler.sendNow, 0);
    RunUntil(T("2026-01-01T12:00:03"));
    station->commands.Enable();
    station->commands.SendNow();
    EXPECT_EQ(LogMessages().back(), "CmSendNow : Manual Enabling of next in queue.");
    RunUntil(T("2026-01-01T12:01:00"));
    EXPECT_EQ(StampOf("File <a.txt> in TRANSMIT Queue."), "12:00:04");
    EXPECT_EQ(Items(), (Lines{"01/01/2026 14:00:00 later.txt"}));  // only the head went
}

TEST_F(Dispatching, NeitherReloadNorEnableUndoesACancel) {
    WriteData("news.txt", std::string(300, 'N'));
    for (const char* after : {"reload", "enable"}) {
        SCOPED_TRACE(after);
        uart.events.clear();
        ASSERT_TRUE(StartEnabled({"01/01/2026 12:00:05 news.txt", "01/01/2026 13:00:00 later.txt"}));
        At("2026-01-01T12:00:30", [this, after] { Type("cancel"), Type(after); });
        RunUntil(T("2026-01-01T12:01:00"));
        EXPECT_TRUE(Logged("ABORTED sending <news.txt>."));
        EXPECT_LE(FramesIn(T("2026-01-01T12:00:30"), TimePoint::max()).size(), 2u);
        EXPECT_FALSE(KeyLineUp());
    }
}

// Every load estimates from the station's speed, whatever speed markers an earlier load read; and a run of commands
// between two transmissions takes no air time: the key is not held for it.
TEST_F(Dispatching, AReloadKeepsEveryEstimateAndCommandsHoldNoKey) {
    WriteData({{"a.txt", std::string(100, 'E')}, {"b.txt", "EEE"}});
    ASSERT_TRUE(StartEnabled({"01/01/2026 12:00:05 a.txt", "01/01/2026 12:00:06 $NOHEADER", "$HEADER",
                              "01/01/2026 12:03:00 b.txt", "$B300", "b.txt", "01/01/2026 13:00:00 later.txt"}));
    const Lines loaded = Items();
    Type("reload");
    EXPECT_EQ(Items(), loaded);
    RunUntil(T("2026-01-01T12:05:00"));
    // Released before a.txt's result, though commands were due; b.txt keyed afresh when it fell due.
    const Lines log = LogMessages();
    EXPECT_EQ(IndexOf(log, "CmRX : Transmitter OFF") + 1, IndexOf(log, "Completed sending <a.txt>."));
    EXPECT_EQ(StampsOf("Completed sending <b.txt>.").size(), 2u);
}

// The Morse identification: after every keyed hour while the CW-Timer box is ticked, and on demand.
TEST_F(Dispatching, TheCountRunsOnKeyedSecondsAndIdentifiesAtTheTickWhereItReaches3601) {
    WriteData({{"cwid.txt", "VVV"}, {"news.txt", "EEE"}});
    ASSERT_TRUE(StartEnabled({"01/01/2026 13:00:10 news.txt"}));
    std::vector<std::pair<TimePoint, std::string>> shown;  // every value of the CW-Timer field
    station->window.cwTimerField.Observe([&] { shown.emplace_back(Now(), station->window.cwTimerField.Text()); });
    station->commands.CwTimer(true);
    RunUntil(T("2026-01-01T12:00:05") + 500ms);
    EXPECT_TRUE(shown.empty());  // the transmitter is off: no count
    station->transmitter.KeyTransmitter();
    RunUntil(T("2026-01-01T13:01:00"));

    ASSERT_GT(shown.size(), 3601u);
    EXPECT_EQ(shown[0].first, T("2026-01-01T12:00:06"));
    for (std::size_t i = 0; i < 3600; ++i) ASSERT_EQ(shown[i].second, std::to_string(3599 - static_cast<int>(i)));
    EXPECT_EQ(shown[3600], std::make_pair(T("2026-01-01T13:00:06"), std::string("-1")));
    EXPECT_EQ(StampOf("Cwid : Sending CW Identification."), "13:00:06");
    EXPECT_EQ(Identifications(), 1);
    EXPECT_EQ(MorseElements(), kIdentificationMorse);
    // The count starts again at the next tick, where the entry that fell due during the identification goes out.
    auto restart = std::find_if(shown.begin() + 3601, shown.end(), [](auto& v) { return v.second == "3599"; });
    ASSERT_NE(restart, shown.end());
    EXPECT_EQ(restart->first, TimeOf("File <news.txt> in TRANSMIT Queue."));
}

TEST_F(Dispatching, UntickingStopsTheCountTickingWhileKeyedAndIdleIdentifiesAtOnce) {
    ASSERT_TRUE(StartEnabled({"01/01/2026 18:00:00 news.txt"}));
    station->commands.CwTimer(true);
    station->transmitter.KeyTransmitter();
    RunFor(5s);
    ASSERT_EQ(station->window.cwTimerField.Text(), "3595");
    station->commands.CwTimer(false);
    RunFor(3s);
    EXPECT_EQ(station->window.cwTimerField.Text(), "OFF");
    EXPECT_EQ(station->cwid.secondsCounted(), -1);
    station->commands.CwTimer(true);  // keyed and idle: identifies at once
    EXPECT_EQ(Identifications(), 1);
    RunFor(60s);  // nothing left to send: the transmitter goes off; the count stands, the box stays ticked
    EXPECT_TRUE(!station->transmitter.On() && station->window.cwTimerCheck.Check() == 1);
    EXPECT_GE(station->cwid.secondsCounted(), 0);
}

// The hour is of keyed time across transmissions: three bulletins of 25 minutes each, keyed separately, get one
// identification, as soon as the one in which the hour ran out is released.
TEST_F(Dispatching, AnHourKeyedOverSeparateBulletinsIsIdentifiedAfterTheOneThatCompletesIt) {
    const std::string text(9000, 'E');  // about 25 minutes at 45.45 baud
    WriteData({{"a.txt", text}, {"b.txt", text}, {"c.txt", text}, {"cwid.txt", "VVV"}});
    ASSERT_TRUE(StartEnabled({"01/01/2026 12:00:05 a.txt", "01/01/2026 12:40:00 b.txt",
                              "01/01/2026 13:20:00 c.txt", "01/01/2026 18:00:00 later.txt"}));
    station->commands.CwTimer(true);
    RunUntil(T("2026-01-01T14:00:00"));
    EXPECT_EQ(Identifications(), 1);
    const Duration after = TimeOf("Cwid : Sending CW Identification.") - TimeOf("Completed sending <c.txt>.");
    EXPECT_TRUE(after >= 0s && after <= 1s) << after.count();
    EXPECT_FALSE(KeyLineUp());
}

TEST_F(Dispatching, SendCwidDuringAFileWaitsUntilTheFileIsDone) {
    WriteData("news.txt", std::string(150, 'E'));
    ASSERT_TRUE(StartEnabled({"01/01/2026 12:00:05 news.txt", "01/01/2026 13:00:00 later.txt"}));
    WatchFields();
    At("2026-01-01T12:00:15", [this] {
        ASSERT_TRUE(station->transmission.Busy());
        Type("cwid");
    });
    RunUntil(T("2026-01-01T12:02:00"));
    // Headless, the identification's line is printed as it is sent, not at the next transmission.
    const std::string printed = Output();
    const auto line = printed.find("line: DE QZ0XB QZ0XB");
    ASSERT_NE(line, std::string::npos) << printed;
    EXPECT_LT(T("2026-01-01T" + printed.substr(line - 9, 8)) - TimeOf("Cwid : Sending CW Identification."), 15s);
    ASSERT_TRUE(Logged("Completed sending <news.txt>."));
    EXPECT_EQ(TimeOf("Cwid : Sending CW Identification."), TimeOf("Completed sending <news.txt>.") + 1s);
    EXPECT_EQ(Identifications(), 1);
    EXPECT_EQ(MorseElements(), kIdentificationMorse);
}

// A week unattended: a bulletin every hour, each followed by an identification on the same keying, all in the logs.
TEST_F(Dispatching, HourlyBulletinsWithIdentificationsForSevenDays) {
    for (int hour = 0; hour < 24; ++hour)
        WriteData(Format("bulletin%02d.txt", hour), Format("QST DE QZ0XB BULLETIN FOR %02d HOURS\n", hour));
    WriteData({{"header.txt", "ZCZC\n"}, {"footer.txt", "NNNN\n"}, {"cwid.txt", "VVV\n"}});
    Lines schedule;
    for (int day = 2; day <= 8; ++day)
        for (int hour = 0; hour < 24; ++hour)
            schedule.insert(schedule.end(),
                            {Format("03/%02d/2026 %02d:15:00 bulletin%02d.txt", day, hour, hour), "$CWID"});
    ASSERT_TRUE(StartEnabled(schedule, "2026-03-01T23:50:00"));
    RunUntil(T("2026-03-09T00:00:00"));
    for (int day = 1; day <= 8; ++day) {
        Lines expected, found;
        for (int hour = 0; hour < 24 && day > 1; ++hour) {
            expected.push_back(Format("%02d:15 Completed sending <bulletin%02d.txt>.", hour, hour));
            expected.push_back(Format("%02d:15 Cwid : Sending CW Identification.", hour));
        }
        for (const auto& line : LogLines(Format("202603%02d", day))) {
            const std::string message = line.substr(11);
            if (message.starts_with("Completed") || message.starts_with("Cwid :"))
                found.push_back(line.substr(0, 5) + " " + message);
        }
        EXPECT_EQ(found, expected) << "day " << day;
    }
    EXPECT_EQ(MorseElements().size(), 7u * 24 * kIdentificationMorse.size());
    EXPECT_EQ(KeyChanges().size(), 7u * 24 * 2);  // one keying an hour
    EXPECT_FALSE(KeyLineUp());
}

// The nights the clocks change: a time the spring night skips goes out when the clocks jump, one the autumn night
// passes twice goes out once, in its first pass, also when reloaded in the second; and the local times behind it.
// UseZone sets the process's zone; the tests run in the station's own, Europe/Berlin, as CTest pins it.
void UseZone(const char* zone) { setenv("TZ", zone, 1), tzset(); }

constexpr sys_seconds Utc(year_month_day day, seconds time) { return sys_days{day} + time; }

TEST_F(Dispatching, LocalTimesInTheSpringGapAreTheJumpAndInTheRepeatedHourTheFirstPass) {
    const struct { const char* zone; int wall[6]; sys_seconds utc; } cases[] = {  // wall: year, month .. second
        // Berlin, spring: 02:00 CET becomes 03:00 CEST (01:00 UTC); autumn: 03:00 CEST becomes 02:00 CET.
        {"Europe/Berlin", {2026, 3, 29, 1, 59, 59}, Utc(2026y / 3 / 29, 59min + 59s)},
        {"Europe/Berlin", {2026, 3, 29, 3, 0, 1}, Utc(2026y / 3 / 29, 1h + 1s)},
        {"Europe/Berlin", {2026, 10, 25, 3, 0, 0}, Utc(2026y / 10 / 25, 2h)},
        // New York's repeated hour; Lord Howe Island: half an hour each way.
        {"America/New_York", {2026, 11, 1, 1, 30, 0}, Utc(2026y / 11 / 1, 5h + 30min)},
        {"Australia/Lord_Howe", {2026, 10, 4, 2, 15, 0}, Utc(2026y / 10 / 3, 15h + 30min)},
        {"Australia/Lord_Howe", {2026, 4, 5, 1, 45, 0}, Utc(2026y / 4 / 4, 14h + 45min)},
        // Samoa skipped 30 December 2011 altogether; a zone written out, without the zone database.
        {"Pacific/Apia", {2011, 12, 30, 12, 0, 0}, Utc(2011y / 12 / 30, 10h)},
        {"CET-1CEST,M3.5.0,M10.5.0/3", {2026, 10, 25, 2, 30, 0}, Utc(2026y / 10 / 25, 30min)},
    };
    for (const auto& c : cases) {
        UseZone(c.zone);
        const auto& w = c.wall;
        // After a summer and after a winter time: the answer must not depend on what was asked before.
        for (int before : {7, 1}) {
            MakeLocalTime(w[0], before, 1, 12, 0, 0);
            EXPECT_EQ(MakeLocalTime(w[0], w[1], w[2], w[3], w[4], w[5]), c.utc.time_since_epoch().count())
                << c.zone << " " << w[1] << "/" << w[2] << " " << w[3] << ":" << w[4] << " after month " << before;
        }
    }
    UseZone("Europe/Berlin");
}

TEST_F(Dispatching, AnEntryInTheSpringGapGoesOutWhenTheClocksJump) {
    WriteData("news.txt", "QST\n");
    ASSERT_TRUE(StartEnabled({"03/29/2026 02:30:00 news.txt", "03/29/2026 05:00:00 later.txt"}, "2026-03-29T01:55:00"));
    RunUntil(T("2026-03-29T03:10:00"));
    EXPECT_EQ(StampOf("File <news.txt> in TRANSMIT Queue.", "20260329"), "03:00:00");
    EXPECT_EQ(KeyChanges().at(0).time, Utc(2026y / 3 / 29, 1h));  // 03:00:00 CEST, the second after 01:59:59 CET
}

TEST_F(Dispatching, AnEntryInTheRepeatedHourGoesOutOnceInItsFirstPassWhateverReloadsIt) {
    WriteData("news.txt", "QST\n");
    ASSERT_TRUE(StartEnabled(
        {"10/25/2026 02:30:00 news.txt", "10/25/2026 02:45:00 $RELOAD", "10/25/2026 04:00:00 later.txt"},
        "2026-10-25T01:50:00"));
    // 02:30 CEST; the $RELOAD at 02:45 CEST finds the entry in the schedule again, past by then.
    RunUntil(Utc(2026y / 10 / 25, 50min));
    EXPECT_EQ(KeyChanges().at(0).time, Utc(2026y / 10 / 25, 30min));
    EXPECT_EQ(StampsOf("CmClearItems : Reloading Schedule List", "20261025"), (Lines{"01:50:00", "02:45:00"}));
    const Lines later = {"10/25/2026 04:00:00 later.txt"};
    // The clocks pass 02:00..03:00 again (CET, 01:00..02:00 UTC): reloads before, at and after
    // 02:30 CET find the entry past, and the scheduler, still enabled, does not send it again.
    for (int minute : {15, 30, 45}) {
        RunUntil(Utc(2026y / 10 / 25, 1h + minutes(minute)));
        station->commands.Reload();
        EXPECT_EQ(Items(), later) << "02:" << minute << " CET";
    }
    RunUntil(Utc(2026y / 10 / 25, 2h + 10min));  // 03:10 CET
    EXPECT_EQ(StampsOf("File <news.txt> in TRANSMIT Queue.", "20261025"), Lines{"02:30:00"});
    EXPECT_EQ(StampsOf("GetSchedule : Expired time tag 10/25/2026 02:30:00 news.txt", "20261025"),
              (Lines{"02:45:00", "02:15:00", "02:30:00", "02:45:00"}));
    EXPECT_EQ(station->window.autoSendField.Text(), "ENABLE");
    EXPECT_EQ(KeyChanges().size(), 2u);
}

}  // namespace
}  // namespace sked::test
