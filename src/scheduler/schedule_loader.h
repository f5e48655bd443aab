// data/schedule.lst into the schedule list: dated entries, and one-word
// entries timed to follow the one before by an estimate of its length.
#pragma once

#include <ctime>
#include <string>

namespace sked {

class CSchedulerDlg;

class ScheduleLoader {
public:
    static constexpr const char* kScheduleFile = "data/schedule.lst";

    explicit ScheduleLoader(CSchedulerDlg& dlg) : dlg_(dlg) {}

    void GetSchedule();
    // Double-click on an entry: show its file.
    void ShowEntry(int index);

    // Time of a line that reads as date, time, name ("%d/%d/%d %d:%d:%d");
    // 0 or less when it does not read or the calendar rejects it.
    static std::time_t EntryTime(const std::string& line);

    float estimateSpeed() const { return estimateSpeed_; }

private:
    void TestSpeedMarker(const std::string& word);
    float SecondsPerCharacter() const;

    CSchedulerDlg& dlg_;
    std::time_t runningTimeTag_ = 0;
    std::uintmax_t lastLength_ = 1;
    float estimateSpeed_ = 45.45f;
};

}  // namespace sked
