// The station's record: one time-stamped line per action in log/YYYYMMDD.log,
// opened, appended and closed for every line so the file is complete on disk
// after each event.
//
// A line that cannot be written (full disk, read-only file system, ...) is
// counted and reported once in the status line; the station runs on. The
// first line that can be written again is preceded by a line saying how many
// were lost, so the record shows the gap.
#pragma once

#include <ctime>
#include <functional>
#include <map>
#include <string>

#include "platform/clock.h"
#include "app/controls.h"
#include "transmit/station_view.h"

namespace sked {

class EventLog : public StationLog {
public:
    static constexpr const char* kCannotOpen = "Cannot open LOG file,check for LOG directory.";
    static constexpr std::size_t kMaxMessage = 243;  // a whole line fits 256 bytes

    EventLog(const Clock& clock, EditControl& statusLine) : clock_(clock), statusLine_(statusLine) {}

    void LogEvent(const std::string& message) override;
    // Hears every message as it is logged (the headless front end puts the
    // schedule's refusals on standard output too, the control socket streams
    // them to its watchers); RemoveListener with the id returned.
    int AddListener(std::function<void(const std::string& message)> listener);
    void RemoveListener(int id) { listeners_.erase(id); }

    // "log/YYYYMMDD.log" of a local calendar day.
    static std::string FileName(const std::tm& local);
    // Today's file name on this log's clock.
    std::string TodaysFileName() const;

private:
    // Appends `text` to `path` in one write; 0 or the errno of the failure.
    // A line cut short by a failing write is taken back off the file.
    static int Append(const std::string& path, const std::string& text);

    const Clock& clock_;
    EditControl& statusLine_;
    long lostLines_ = 0;
    bool writeFailureShown_ = false;
    std::map<int, std::function<void(const std::string&)>> listeners_;
    int nextListener_ = 1;
};

}  // namespace sked
