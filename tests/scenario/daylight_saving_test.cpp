// Dated entries on the two nights the clocks change: a time the spring night
// skips goes out when the clocks jump, a time the autumn night passes twice
// goes out once, in its first pass, also when the schedule is reloaded while
// the clocks pass that hour again. And the local times behind it, in zones
// that change by an hour, by half an hour, without daylight saving, by a day.
#include <chrono>
#include <cstdlib>
#include <optional>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "platform/clock.h"
#include "support/scenario_helpers.h"

namespace sked::test {
namespace {

using namespace std::chrono_literals;

// Sets the process's zone for the test's lifetime.
class ZoneScope {
public:
    explicit ZoneScope(const char* zone) {
        if (const char* tz = std::getenv("TZ")) previous_ = tz;
        Use(zone);
    }
    ~ZoneScope() {
        if (previous_)
            Use(previous_->c_str());
        else
            unsetenv("TZ");
        tzset();
    }
    static void Use(const char* zone) {
        setenv("TZ", zone, 1);
        tzset();
    }

private:
    std::optional<std::string> previous_;
};

class DaylightSaving : public ScenarioTest {
protected:
    // The station's own zone (also what CTest gives every test), written
    // here so that the nights fall where these tests expect them.
    ZoneScope zone{"Europe/Berlin"};

    void StartEnabled(const std::vector<std::string>& schedule, const std::string& start) {
        WriteData("news.txt", "QST\n");
        WriteData("later.txt", "QRT\n");
        WriteSchedule(schedule);
        ASSERT_TRUE(Start("QZ0XB 2 RTS", start));
        station->commands.Enable();
    }
    static std::time_t Utc(int year, int month, int day, int hour, int minute, int second) {
        std::tm tm{};
        tm.tm_year = year - 1900;
        tm.tm_mon = month - 1;
        tm.tm_mday = day;
        tm.tm_hour = hour;
        tm.tm_min = minute;
        tm.tm_sec = second;
        return timegm(&tm);
    }
    static TimePoint UtcPoint(int year, int month, int day, int hour, int minute, int second) {
        return std::chrono::system_clock::from_time_t(Utc(year, month, day, hour, minute, second));
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
        int utc[6];
    } cases[] = {
        // Berlin, spring: 02:00 CET becomes 03:00 CEST (01:00 UTC).
        {"Europe/Berlin", {2026, 3, 29, 1, 59, 59}, {2026, 3, 29, 0, 59, 59}},
        {"Europe/Berlin", {2026, 3, 29, 2, 0, 0}, {2026, 3, 29, 1, 0, 0}},
        {"Europe/Berlin", {2026, 3, 29, 2, 30, 0}, {2026, 3, 29, 1, 0, 0}},
        {"Europe/Berlin", {2026, 3, 29, 2, 59, 59}, {2026, 3, 29, 1, 0, 0}},
        {"Europe/Berlin", {2026, 3, 29, 3, 0, 0}, {2026, 3, 29, 1, 0, 0}},
        {"Europe/Berlin", {2026, 3, 29, 3, 0, 1}, {2026, 3, 29, 1, 0, 1}},
        // Berlin, autumn: 03:00 CEST becomes 02:00 CET (01:00 UTC).
        {"Europe/Berlin", {2026, 10, 25, 1, 59, 59}, {2026, 10, 24, 23, 59, 59}},
        {"Europe/Berlin", {2026, 10, 25, 2, 0, 0}, {2026, 10, 25, 0, 0, 0}},
        {"Europe/Berlin", {2026, 10, 25, 2, 30, 0}, {2026, 10, 25, 0, 30, 0}},
        {"Europe/Berlin", {2026, 10, 25, 2, 59, 59}, {2026, 10, 25, 0, 59, 59}},
        {"Europe/Berlin", {2026, 10, 25, 3, 0, 0}, {2026, 10, 25, 2, 0, 0}},
        {"Europe/Berlin", {2026, 1, 1, 12, 0, 0}, {2026, 1, 1, 11, 0, 0}},
        {"Europe/Berlin", {2026, 7, 1, 12, 0, 0}, {2026, 7, 1, 10, 0, 0}},
        // New York: 02:00 EST becomes 03:00 EDT; 02:00 EDT becomes 01:00 EST.
        {"America/New_York", {2026, 3, 8, 2, 30, 0}, {2026, 3, 8, 7, 0, 0}},
        {"America/New_York", {2026, 11, 1, 1, 30, 0}, {2026, 11, 1, 5, 30, 0}},
        // Sydney, the other way round in the year.
        {"Australia/Sydney", {2026, 10, 4, 2, 30, 0}, {2026, 10, 3, 16, 0, 0}},
        {"Australia/Sydney", {2026, 4, 5, 2, 30, 0}, {2026, 4, 4, 15, 30, 0}},
        // Lord Howe Island: half an hour each way.
        {"Australia/Lord_Howe", {2026, 10, 4, 2, 15, 0}, {2026, 10, 3, 15, 30, 0}},
        {"Australia/Lord_Howe", {2026, 4, 5, 1, 45, 0}, {2026, 4, 4, 14, 45, 0}},
        // Moscow, 2014: back an hour for good, standard time on both sides.
        {"Europe/Moscow", {2014, 10, 26, 1, 30, 0}, {2014, 10, 25, 21, 30, 0}},
        // Samoa skipped 30 December 2011 altogether.
        {"Pacific/Apia", {2011, 12, 30, 12, 0, 0}, {2011, 12, 30, 10, 0, 0}},
        // A zone written out, without the zone database.
        {"CET-1CEST,M3.5.0,M10.5.0/3", {2026, 3, 29, 2, 30, 0}, {2026, 3, 29, 1, 0, 0}},
        {"CET-1CEST,M3.5.0,M10.5.0/3", {2026, 10, 25, 2, 30, 0}, {2026, 10, 25, 0, 30, 0}},
    };
    for (const auto& c : cases) {
        ZoneScope::Use(c.zone);
        const auto& w = c.wall;
        const auto& u = c.utc;
        // Twice, after a summer and after a winter time: the answer must not
        // depend on what was asked before.
        for (int before : {7, 1}) {
            MakeLocalTime(w[0], before, 1, 12, 0, 0);
            EXPECT_EQ(MakeLocalTime(w[0], w[1], w[2], w[3], w[4], w[5]), Utc(u[0], u[1], u[2], u[3], u[4], u[5]))
                << c.zone << " " << w[0] << "-" << w[1] << "-" << w[2] << " " << w[3] << ":" << w[4] << ":" << w[5]
                << " after month " << before;
        }
    }
}

TEST_F(DaylightSaving, AnEntryInTheSpringGapGoesOutWhenTheClocksJump) {
    StartEnabled({"03/29/2026 02:30:00 news.txt", "03/29/2026 05:00:00 later.txt"}, "2026-03-29T01:55:00");
    EXPECT_EQ(Items().front(), "03/29/2026 02:30:00 news.txt");
    RunUntil(T("2026-03-29T03:10:00"));
    EXPECT_EQ(StampOf("File <news.txt> in TRANSMIT Queue.", "20260329"), "03:00:00");
    EXPECT_EQ(StampOf("Completed sending <news.txt>.", "20260329").substr(0, 5), "03:00");
    // 03:00:00 CEST, the second after 01:59:59 CET.
    auto keys = KeyChanges();
    ASSERT_FALSE(keys.empty());
    EXPECT_EQ(keys[0].time, UtcPoint(2026, 3, 29, 1, 0, 0));
}

TEST_F(DaylightSaving, AnEntryInTheRepeatedHourGoesOutOnceInItsFirstPassWhateverReloadsIt) {
    StartEnabled({"10/25/2026 02:30:00 news.txt", "10/25/2026 02:45:00 $RELOAD", "10/25/2026 04:00:00 later.txt"},
                 "2026-10-25T01:50:00");
    // 02:30 CEST; the $RELOAD at 02:45 CEST loads the schedule again, which
    // still lists the entry: past by then.
    RunUntil(UtcPoint(2026, 10, 25, 0, 50, 0));
    EXPECT_EQ(StampOf("File <news.txt> in TRANSMIT Queue.", "20261025"), "02:30:00");
    auto keys = KeyChanges();
    ASSERT_FALSE(keys.empty());
    EXPECT_EQ(keys[0].time, UtcPoint(2026, 10, 25, 0, 30, 0));
    EXPECT_EQ(StampsOf("CmClearItems : Reloading Schedule List", "20261025"),
              (std::vector<std::string>{"01:50:00", "02:45:00"}));  // starting, and the $RELOAD
    EXPECT_EQ(Items(), std::vector<std::string>{"10/25/2026 04:00:00 later.txt"});

    // The clocks pass 02:00..03:00 again (CET, 01:00..02:00 UTC). Reloads
    // before, at and after 02:30 CET (the operator's, or a station started
    // again) find the entry past each time, and the scheduler, still
    // enabled for the entry at 04:00, does not send it again.
    for (int minute : {15, 30, 45}) {
        RunUntil(UtcPoint(2026, 10, 25, 1, minute, 0));
        station->commands.Reload();
        EXPECT_EQ(Items(), std::vector<std::string>{"10/25/2026 04:00:00 later.txt"}) << "02:" << minute << " CET";
    }
    RunUntil(UtcPoint(2026, 10, 25, 2, 10, 0));  // 03:10 CET
    EXPECT_EQ(StampsOf("File <news.txt> in TRANSMIT Queue.", "20261025"), std::vector<std::string>{"02:30:00"});
    EXPECT_EQ(StampsOf("GetSchedule : Expired time tag 10/25/2026 02:30:00 news.txt", "20261025"),
              (std::vector<std::string>{"02:45:00", "02:15:00", "02:30:00", "02:45:00"}));
    EXPECT_EQ(station->window.autoSendField.Text(), "ENABLE");
    EXPECT_EQ(KeyChanges().size(), 2u);
}

}  // namespace
}  // namespace sked::test
