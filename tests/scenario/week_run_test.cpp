// A week of unattended running on the simulated clock: a bulletin every hour,
// each followed by an identification, every one of them in its day's log.
#include <chrono>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "app/operator_controls.h"
#include "platform/text_format.h"
#include "support/scenario_helpers.h"

namespace sked::test {
namespace {

using namespace std::chrono_literals;

using WeekRun = ScenarioTest;

TEST_F(WeekRun, HourlyBulletinsWithIdentificationsForSevenDays) {
    for (int hour = 0; hour < 24; ++hour)
        WriteData(Format("bulletin%02d.txt", hour),
                  Format("QST DE QZ0XB BULLETIN FOR %02d HOURS\nALL STATIONS COPY\n", hour));
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

    auto started = std::chrono::steady_clock::now();
    ASSERT_TRUE(Start("QZ0XB 2 RTS", "2026-03-01T23:50:00"));
    ASSERT_EQ(dlg->w.scheduleList.Count(), 7 * 24 * 2);
    dlg->controls->CmEnable();
    RunUntil(T("2026-03-09T00:00:00"));
    auto took = std::chrono::steady_clock::now() - started;
    std::printf("[ week run took %lld ms of real time ]\n",
                static_cast<long long>(std::chrono::duration_cast<std::chrono::milliseconds>(took).count()));

    EXPECT_EQ(dlg->w.scheduleList.Count(), 0);
    for (int day = 2; day <= 8; ++day) {
        const std::string file = Format("202603%02d", day);
        auto lines = LogLines(file);
        ASSERT_FALSE(lines.empty()) << file;
        std::vector<int> completedHours, cwidHours;
        for (const auto& line : lines) {
            const std::string message = line.substr(11);
            const int hour = std::stoi(line.substr(0, 2));
            if (message.rfind("Completed sending <bulletin", 0) == 0) {
                EXPECT_EQ(message, Format("Completed sending <bulletin%02d.txt>.", hour)) << file << " " << line;
                EXPECT_EQ(line.substr(3, 2), "15") << file << " " << line;
                completedHours.push_back(hour);
            }
            if (message == "Cwid : Sending CW Identification.") {
                EXPECT_EQ(line.substr(3, 2), "15") << file << " " << line;
                cwidHours.push_back(hour);
            }
            EXPECT_EQ(message.find("ABORTED"), std::string::npos) << file << " " << line;
            EXPECT_EQ(message.find("Expired"), std::string::npos) << file << " " << line;
            EXPECT_EQ(message.find("Cannot open"), std::string::npos) << file << " " << line;
        }
        std::vector<int> everyHour;
        for (int hour = 0; hour < 24; ++hour) everyHour.push_back(hour);
        EXPECT_EQ(completedHours, everyHour) << file;
        EXPECT_EQ(cwidHours, everyHour) << file;
    }
    // Nothing on the evening before, and the queue ran empty after the last one.
    for (const auto& line : LogLines("20260301")) EXPECT_EQ(line.find("Completed"), std::string::npos) << line;
    EXPECT_TRUE(Logged("Queue Empty: Nothing to Send."));
    EXPECT_EQ(Settings().autoSendEnabled, 0);
    EXPECT_EQ(Settings().transmitterOn, 0);

    // Every identification went on the air. It was due before its bulletin
    // ended, so it follows on the same keying: one keying an hour.
    EXPECT_EQ(BreakElements(), 7 * 24 * 46);
    auto keys = KeyChanges();
    EXPECT_EQ(keys.size(), 7u * 24 * 2);
    EXPECT_FALSE(KeyLineUp());
}

}  // namespace
}  // namespace sked::test
