// Repeating entries on the simulated clock: days and weeks without a reload, the clock changes of Europe/Berlin,
// the refusals, the followers and what the queue shows.
#include <gtest/gtest.h>

#include "platform/text_format.h"
#include "support/scenario_helpers.h"

namespace sked::test {
namespace {

class Timetable : public ScenarioTest {
protected:
    void SetUp() override {
        ScenarioTest::SetUp();
        WriteData({{"header.txt", ""}, {"footer.txt", ""}, {"a.txt", "A"}, {"b.txt", "B"}, {"c.txt", "C"}});
    }
    // "YYYYMMDD" of the day `offset` days after `first`.
    static std::string Day(const std::string& first, int offset) {
        std::tm t = LocalTime(std::chrono::system_clock::to_time_t(LocalTimePoint(first + "T12:00:00")));
        t.tm_mday += offset;
        std::mktime(&t);
        return FormatTime("%Y%m%d", t);
    }
    Lines Sent(const std::string& name, const std::string& day) const {
        return StampsOf("File <" + name + "> in TRANSMIT Queue.", day);
    }
};

TEST_F(Timetable, TwoWeeksOfDailyWeekdayAndHalfHourlyEntriesWithoutAReload) {
    // Monday 2026-01-05, midnight.
    ASSERT_TRUE(StartEnabled({"daily 21:00:00 a.txt", "Mon..Fri 13:00:00 b.txt", "every 30m 00:10:00 $CWID"},
                             "2026-01-05T00:00:00"));
    RunUntil(T("2026-01-19T00:00:00"));
    int a = 0, b = 0;
    for (int day = 0; day < 14; ++day) {
        const std::string date = Day("2026-01-05", day);
        SCOPED_TRACE(date);
        EXPECT_EQ(Sent("a.txt", date), Lines{"21:00:00"});
        a += static_cast<int>(Sent("a.txt", date).size());
        const bool weekday = day % 7 < 5;
        EXPECT_EQ(Sent("b.txt", date), weekday ? Lines{"13:00:00"} : Lines{});
        b += static_cast<int>(Sent("b.txt", date).size());
        Lines identifications;
        for (int hour = 0; hour < 24; ++hour)
            for (int minute : {10, 40}) identifications.push_back(Format("%02d:%02d:00", hour, minute));
        EXPECT_EQ(StampsOf("Cwid : Sending CW Identification.", date), identifications);
    }
    EXPECT_EQ(a, 14);
    EXPECT_EQ(b, 10);
    // Only the next occurrence of each is queued, in its place by time.
    EXPECT_EQ(station->queue.Count(), 3);
    EXPECT_EQ(station->queue.At(0).text, "01/19/2026 00:10:00 $CWID  [every 30m 00:10:00]");
    EXPECT_EQ(station->queue.At(1).text, "01/19/2026 13:00:00 b.txt  [Mon..Fri 13:00:00]");
    EXPECT_EQ(station->queue.At(2).text, "01/19/2026 21:00:00 a.txt  [daily 21:00:00]");
}

TEST_F(Timetable, OccurrencesInTheSpringGapGoWhenTheClocksJumpAndInTheRepeatedAutumnHourOnce) {
    // Berlin: 02:00 becomes 03:00 on 2026-03-29; 03:00 becomes 02:00 again on 2026-10-25.
    ASSERT_TRUE(StartEnabled({"every 30m 00:10:00 b.txt", "daily 02:30:00 a.txt"}, "2026-03-28T12:00:00"));
    RunUntil(T("2026-03-29T05:00:00"));
    EXPECT_EQ(Sent("a.txt", "20260329"), Lines{"03:00:00"});
    const Lines spring = Sent("b.txt", "20260329");
    ASSERT_EQ(spring.size(), 9u);  // 02:10 and 02:40 are one occurrence, when the clocks jump (after a.txt)
    EXPECT_EQ(Lines(spring.begin(), spring.begin() + 4), (Lines{"00:10:00", "00:40:00", "01:10:00", "01:40:00"}));
    EXPECT_EQ(spring[4].substr(0, 6), "03:00:");
    EXPECT_EQ(Lines(spring.begin() + 5, spring.end()), (Lines{"03:10:00", "03:40:00", "04:10:00", "04:40:00"}));

    ASSERT_TRUE(StartEnabled({"every 30m 00:10:00 b.txt", "daily 02:30:00 a.txt"}, "2026-10-24T12:00:00"));
    RunUntil(T("2026-10-25T05:00:00"));
    EXPECT_EQ(Sent("a.txt", "20261025"), Lines{"02:30:00"});
    EXPECT_EQ(Sent("b.txt", "20261025"), (Lines{"00:10:00", "00:40:00", "01:10:00", "01:40:00", "02:10:00", "02:40:00",
                                               "03:10:00", "03:40:00", "04:10:00", "04:40:00"}));
}

TEST_F(Timetable, FollowersComeWithEachOccurrenceAndUnreadableRulesAreRefusedWithTheReason) {
    ASSERT_TRUE(StartEnabled({"01/05/2026 20:50:00 c.txt", "daily 21:00:00 a.txt   // evening", "b.txt",
                              "Mon..Fxi 13:00:00 b.txt", "every 7x 00:10:00 a.txt", "daily 25:00:00 a.txt",
                              "sat,SUNDAY 09:00:00 c.txt"},
                             "2026-01-05T12:00:00"));
    for (const char* refusal :
         {"GetSchedule : Unreadable repeat rule (\"Mon..Fxi\" is not a day of the week or a range of them "
          "(Mon..Fri)) Mon..Fxi 13:00:00 b.txt",
          "GetSchedule : Unreadable repeat rule (every wants an interval such as 15m or 2h, not \"7x\") every 7x "
          "00:10:00 a.txt",
          "GetSchedule : Unreadable repeat rule (\"25:00:00\" is not a time of day (HH:MM:SS)) daily 25:00:00 a.txt"})
        EXPECT_TRUE(Logged(refusal)) << refusal;
    EXPECT_EQ(Items(), (Lines{"01/05/2026 20:50:00 c.txt", "01/05/2026 21:00:00 a.txt  [daily 21:00:00]",
                              "01/05/2026 21:00:00 b.txt", "01/10/2026 09:00:00 c.txt  [sat,SUNDAY 09:00:00]"}));
    // Deleting an occurrence skips it: the next one takes its place.
    ASSERT_TRUE(Type("delete 4"));
    EXPECT_EQ(station->queue.At(3).text, "01/11/2026 09:00:00 c.txt  [sat,SUNDAY 09:00:00]");
    RunUntil(T("2026-01-07T00:00:00"));
    for (const char* day : {"20260105", "20260106"}) {
        EXPECT_EQ(Sent("a.txt", day), Lines{"21:00:00"});
        ASSERT_EQ(Sent("b.txt", day).size(), 1u);
        EXPECT_EQ(Sent("b.txt", day)[0].substr(0, 5), "21:00");  // after a.txt, on the same keying or the next
    }
}

}  // namespace
}  // namespace sked::test
