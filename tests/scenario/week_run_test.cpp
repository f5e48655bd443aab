// A week of unattended running on the simulated clock: a bulletin every hour,
// each followed by an identification, every one of them in its day's log.
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "platform/text_format.h"
#include "support/scenario_helpers.h"

namespace sked::test {
namespace {

using WeekRun = ScenarioTest;

TEST_F(WeekRun, HourlyBulletinsWithIdentificationsForSevenDays) {
    for (int hour = 0; hour < 24; ++hour)
        WriteData(Format("bulletin%02d.txt", hour), Format("QST DE QZ0XB BULLETIN FOR %02d HOURS\n", hour));
    WriteData("header.txt", "ZCZC\n");
    WriteData("footer.txt", "NNNN\n");
    WriteData("cwid.txt", "VVV\n");
    std::vector<std::string> schedule;
    for (int day = 2; day <= 8; ++day)
        for (int hour = 0; hour < 24; ++hour) {
            schedule.push_back(Format("03/%02d/2026 %02d:15:00 bulletin%02d.txt", day, hour, hour));
            schedule.push_back("$CWID");
        }
    WriteSchedule(schedule);
    ASSERT_TRUE(Start("QZ0XB 2 RTS", "2026-03-01T23:50:00"));
    ASSERT_EQ(station->window.scheduleList.Count(), 7 * 24 * 2);
    station->commands.Enable();
    RunUntil(T("2026-03-09T00:00:00"));

    EXPECT_TRUE(Items().empty());
    for (int day = 2; day <= 8; ++day) {
        std::vector<std::string> expected, found;
        for (int hour = 0; hour < 24; ++hour) {
            expected.push_back(Format("%02d:15 Completed sending <bulletin%02d.txt>.", hour, hour));
            expected.push_back(Format("%02d:15 Cwid : Sending CW Identification.", hour));
        }
        for (const auto& line : LogLines(Format("202603%02d", day))) {
            const std::string message = line.substr(11);
            if (message.starts_with("Completed sending") || message.starts_with("Cwid :"))
                found.push_back(line.substr(0, 5) + " " + message);
            EXPECT_EQ(message.find("ABORTED"), std::string::npos) << line;
            EXPECT_EQ(message.find("Expired"), std::string::npos) << line;
        }
        EXPECT_EQ(found, expected) << "day " << day;
    }
    for (const auto& line : LogLines("20260301")) EXPECT_EQ(line.find("Completed"), std::string::npos) << line;
    // Each identification follows its bulletin on the same keying: one keying an hour.
    EXPECT_EQ(MorseElements().size(), 7u * 24 * kIdentificationMorse.size());
    EXPECT_EQ(KeyChanges().size(), 7u * 24 * 2);
    EXPECT_FALSE(KeyLineUp());
}

}  // namespace
}  // namespace sked::test
