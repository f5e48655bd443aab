// What the web page shows of the station, as Server-Sent Events: the main
// window's fields, the running lines, the queue, the signal, the progress of
// the file under way and the log. The fields are watched only while some
// page is open; changes are gathered and sent together a few times a second
// (a field that changed twice in between goes once, with its last text).
#pragma once

#include <functional>
#include <map>
#include <string>
#include <vector>

#include "app/controls.h"
#include "app/station.h"
#include "console/running_lines.h"

namespace sked::web {

class StationFeed {
public:
    static constexpr std::size_t kLogLines = 200;
    // Events kept for the next send at most: a flood of log lines loses its oldest.
    static constexpr std::size_t kMaxPendingEvents = 1000;

    explicit StationFeed(Station& station);
    ~StationFeed();
    StationFeed(const StationFeed&) = delete;
    StationFeed& operator=(const StationFeed&) = delete;

    // Starts or stops watching the fields (while pages are open).
    void Watch(bool on);
    bool Watching() const { return !subscriptions_.empty(); }
    // Everything a page that just opened needs, as SSE text (the last kLogLines lines of today's log with it).
    std::string Snapshot();
    // The events gathered since the last call, as SSE text ("" when none).
    std::string TakeChanges();
    bool HasChanges() const { return !pending_.empty() || !dirty_.empty(); }
    // Called when something is waiting to be sent.
    void OnChange(std::function<void()> call) { onChange_ = std::move(call); }

private:
    std::string FieldEvent(const std::string& name) const;
    std::string FieldText(const std::string& name) const;
    void MarkDirty(const std::string& name);
    void Push(std::string event);

    Station& station_;
    std::vector<ControlSubscription> subscriptions_;
    RunningLines runningLines_;
    std::map<std::string, bool> dirty_;  // fields changed since the last send
    std::vector<std::string> pending_;   // lines and log lines, in order
    std::function<void()> onChange_;
    int logListener_ = 0;
};

}  // namespace sked::web
