// The station's record: one time-stamped line per action in log/YYYYMMDD.log,
// opened, appended and closed for every line so the file is complete on disk
// after each event.
#pragma once

#include <ctime>
#include <string>

#include "platform/clock.h"
#include "platform/controls.h"

namespace sked {

class EventLog {
public:
    static constexpr const char* kCannotOpen = "Cannot open LOG file,check for LOG directory.";
    static constexpr std::size_t kMaxMessage = 243;  // a whole line fits 256 bytes

    EventLog(const Clock& clock, EditControl& statusLine) : clock_(clock), statusLine_(statusLine) {}

    void LogEvent(const std::string& message);

    // "log/YYYYMMDD.log" of a local calendar day.
    static std::string FileName(const std::tm& local);
    // Today's file name on this log's clock.
    std::string TodaysFileName() const;

private:
    const Clock& clock_;
    EditControl& statusLine_;
};

}  // namespace sked
