// data/schedule.lst into the schedule list: dated entries, and one-word
// entries timed to follow the one before by an estimate of its length. The
// reading itself is ReadSchedule's (schedule_file.h); this is the station's
// side: the file, the list, the log.
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
    // 0 or less when it does not read or names no real date and time.
    static std::time_t EntryTime(const std::string& line);

    float estimateSpeed() const { return estimateSpeed_; }

private:
    CSchedulerDlg& dlg_;
    // Speed assumed for the estimates; only speed markers change it, and it
    // carries over to the next load.
    float estimateSpeed_ = 45.45f;
};

}  // namespace sked
