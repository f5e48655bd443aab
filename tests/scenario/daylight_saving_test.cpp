// Dated entries on the nights the clocks change: a time the spring night skips goes out when the clocks
// jump, one the autumn night passes twice goes out once, in its first pass, also when reloaded in the
// second; and the local times behind it, in zones changing by an hour, half an hour, none, a day.
#include <chrono>
#include <cstdlib>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "platform/clock.h"
#include "support/scenario_helpers.h"

namespace sked::test {
namespace {

using namespace std::chrono;

// Sets the process's zone. The tests run in the station's own, Europe/Berlin, as CTest pins it.
void UseZone(const char* zone) {
    setenv("TZ", zone, 1);
    tzset();
}

// A fixed UTC instant.
constexpr sys_seconds Utc(year_month_day day, seconds time) { return sys_days{day} + time; }

class DaylightSaving : public ScenarioTest {
protected:
    void StartEnabled(const std::vector<std::string>& schedule, const std::string& start) {
        WriteData("news.txt", "QST\n");
        WriteData("later.txt", "QRT\n");
        WriteSchedule(schedule);
        ASSERT_TRUE(Start("QZ0XB 2 RTS", start));
        station->commands.Enable();
    }
    // "HH:MM:SS" of every line of the night's log reading `message`.
    std::vector<std::string> StampsOf(const std::string& message, const std::string& day) const {
        std::vector<std::string> stamps;
        for (const auto& line : LogLines(day))
            if (line.size() > 11 && line.substr(11) == message) stamps.push_back(line.substr(0, 8));
        return stamps;
    }
};

TEST_F(DaylightSaving, LocalTimesInTheSpringGapAreTheJumpAndInTheRepeatedHourTheFirstPass) {
    const struct {
        const char* zone;
        int wall[6];  // year, month, day, hour, minute, second
        sys_seconds utc;
    } cases[] = {
        // Berlin, spring: 02:00 CET becomes 03:00 CEST (01:00 UTC).
        {"Europe/Berlin", {2026, 3, 29, 1, 59, 59}, Utc(2026y / 3 / 29, 59min + 59s)},
        {"Europe/Berlin", {2026, 3, 29, 2, 0, 0}, Utc(2026y / 3 / 29, 1h)},
        {"Europe/Berlin", {2026, 3, 29, 2, 59, 59}, Utc(2026y / 3 / 29, 1h)},
        {"Europe/Berlin", {2026, 3, 29, 3, 0, 0}, Utc(2026y / 3 / 29, 1h)},
        {"Europe/Berlin", {2026, 3, 29, 3, 0, 1}, Utc(2026y / 3 / 29, 1h + 1s)},
        // Berlin, autumn: 03:00 CEST becomes 02:00 CET (01:00 UTC).
        {"Europe/Berlin", {2026, 10, 25, 1, 59, 59}, Utc(2026y / 10 / 24, 23h + 59min + 59s)},
        {"Europe/Berlin", {2026, 10, 25, 2, 0, 0}, Utc(2026y / 10 / 25, 0s)},
        {"Europe/Berlin", {2026, 10, 25, 2, 59, 59}, Utc(2026y / 10 / 25, 59min + 59s)},
        {"Europe/Berlin", {2026, 10, 25, 3, 0, 0}, Utc(2026y / 10 / 25, 2h)},
        {"Europe/Berlin", {2026, 1, 1, 12, 0, 0}, Utc(2026y / 1 / 1, 11h)},
        {"Europe/Berlin", {2026, 7, 1, 12, 0, 0}, Utc(2026y / 7 / 1, 10h)},
        // New York: 02:00 EST becomes 03:00 EDT; 02:00 EDT becomes 01:00 EST.
        {"America/New_York", {2026, 3, 8, 2, 30, 0}, Utc(2026y / 3 / 8, 7h)},
        {"America/New_York", {2026, 11, 1, 1, 30, 0}, Utc(2026y / 11 / 1, 5h + 30min)},
        // Sydney, the other way round in the year.
        {"Australia/Sydney", {2026, 10, 4, 2, 30, 0}, Utc(2026y / 10 / 3, 16h)},
        {"Australia/Sydney", {2026, 4, 5, 2, 30, 0}, Utc(2026y / 4 / 4, 15h + 30min)},
        // Lord Howe Island: half an hour each way.
        {"Australia/Lord_Howe", {2026, 10, 4, 2, 15, 0}, Utc(2026y / 10 / 3, 15h + 30min)},
        {"Australia/Lord_Howe", {2026, 4, 5, 1, 45, 0}, Utc(2026y / 4 / 4, 14h + 45min)},
        // Moscow, 2014: back an hour for good, standard time on both sides.
        {"Europe/Moscow", {2014, 10, 26, 1, 30, 0}, Utc(2014y / 10 / 25, 21h + 30min)},
        // Samoa skipped 30 December 2011 altogether.
        {"Pacific/Apia", {2011, 12, 30, 12, 0, 0}, Utc(2011y / 12 / 30, 10h)},
        // A zone written out, without the zone database.
        {"CET-1CEST,M3.5.0,M10.5.0/3", {2026, 3, 29, 2, 30, 0}, Utc(2026y / 3 / 29, 1h)},
        {"CET-1CEST,M3.5.0,M10.5.0/3", {2026, 10, 25, 2, 30, 0}, Utc(2026y / 10 / 25, 30min)},
    };
    for (const auto& c : cases) {
        UseZone(c.zone);
        const auto& w = c.wall;
        // After a summer and after a winter time: the answer must not depend on what was asked before.
        for (int before : {7, 1}) {
            MakeLocalTime(w[0], before, 1, 12, 0, 0);
            EXPECT_EQ(MakeLocalTime(w[0], w[1], w[2], w[3], w[4], w[5]), c.utc.time_since_epoch().count())
                << c.zone << " " << w[0] << "-" << w[1] << "-" << w[2] << " " << w[3] << ":" << w[4] << ":" << w[5]
                << " after month " << before;
        }
    }
    UseZone("Europe/Berlin");
}

TEST_F(DaylightSaving, AnEntryInTheSpringGapGoesOutWhenTheClocksJump) {
    StartEnabled({"03/29/2026 02:30:00 news.txt", "03/29/2026 05:00:00 later.txt"}, "2026-03-29T01:55:00");
    EXPECT_EQ(Items().front(), "03/29/2026 02:30:00 news.txt");
    RunUntil(T("2026-03-29T03:10:00"));
    EXPECT_EQ(StampOf("File <news.txt> in TRANSMIT Queue.", "20260329"), "03:00:00");
    EXPECT_EQ(StampOf("Completed sending <news.txt>.", "20260329").substr(0, 5), "03:00");
    // 03:00:00 CEST, the second after 01:59:59 CET.
    EXPECT_EQ(KeyChanges().at(0).time, Utc(2026y / 3 / 29, 1h));
}

TEST_F(DaylightSaving, AnEntryInTheRepeatedHourGoesOutOnceInItsFirstPassWhateverReloadsIt) {
    StartEnabled({"10/25/2026 02:30:00 news.txt", "10/25/2026 02:45:00 $RELOAD", "10/25/2026 04:00:00 later.txt"},
                 "2026-10-25T01:50:00");
    // 02:30 CEST; the $RELOAD at 02:45 CEST finds the entry in the schedule again, past by then.
    RunUntil(Utc(2026y / 10 / 25, 50min));
    EXPECT_EQ(StampOf("File <news.txt> in TRANSMIT Queue.", "20261025"), "02:30:00");
    EXPECT_EQ(KeyChanges().at(0).time, Utc(2026y / 10 / 25, 30min));
    EXPECT_EQ(StampsOf("CmClearItems : Reloading Schedule List", "20261025"),
              (std::vector<std::string>{"01:50:00", "02:45:00"}));  // starting, and the $RELOAD
    EXPECT_EQ(Items(), std::vector<std::string>{"10/25/2026 04:00:00 later.txt"});

    // The clocks pass 02:00..03:00 again (CET, 01:00..02:00 UTC): reloads before, at and after
    // 02:30 CET find the entry past, and the scheduler, still enabled, does not send it again.
    for (int minute : {15, 30, 45}) {
        RunUntil(Utc(2026y / 10 / 25, 1h + minutes(minute)));
        station->commands.Reload();
        EXPECT_EQ(Items(), std::vector<std::string>{"10/25/2026 04:00:00 later.txt"}) << "02:" << minute << " CET";
    }
    RunUntil(Utc(2026y / 10 / 25, 2h + 10min));  // 03:10 CET
    EXPECT_EQ(StampsOf("File <news.txt> in TRANSMIT Queue.", "20261025"), std::vector<std::string>{"02:30:00"});
    EXPECT_EQ(StampsOf("GetSchedule : Expired time tag 10/25/2026 02:30:00 news.txt", "20261025"),
              (std::vector<std::string>{"02:45:00", "02:15:00", "02:30:00", "02:45:00"}));
    EXPECT_EQ(station->window.autoSendField.Text(), "ENABLE");
    EXPECT_EQ(KeyChanges().size(), 2u);
}

}  // namespace
}  // namespace sked::test
