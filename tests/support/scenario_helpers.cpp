#include "support/scenario_helpers.h"

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <fstream>

#include <sys/time.h>

#include "platform/clock.h"
#include "platform/text_format.h"
#include "scheduler/dispatcher.h"

namespace sked::test {

std::string ScheduleLine(TimePoint when, const std::string& name) {
    std::tm t = LocalTime(std::chrono::system_clock::to_time_t(when));
    return Format("%02d/%02d/%4d %02d:%02d:%02d %s", t.tm_mon + 1, t.tm_mday, t.tm_year + 1900, t.tm_hour, t.tm_min,
                  t.tm_sec, name.c_str());
}

std::string ScheduleLine(const std::string& when, const std::string& name) {
    return ScheduleLine(LocalTimePoint(when), name);
}

void SetFileTime(const std::string& path, std::time_t when) {
    timeval times[2] = {{when, 0}, {when, 0}};
    ::utimes(path.c_str(), times);
}

int IndexOf(const std::vector<std::string>& messages, const std::string& text, int from) {
    for (int i = std::max(0, from); i < static_cast<int>(messages.size()); ++i)
        if (messages[static_cast<std::size_t>(i)] == text) return i;
    return -1;
}

int CountOf(const std::vector<std::string>& messages, const std::string& text) {
    return static_cast<int>(std::count(messages.begin(), messages.end(), text));
}

int SecondsOfDay(const std::string& stamp) {
    int h, m, sec;
    if (std::sscanf(stamp.c_str(), "%d:%d:%d", &h, &m, &sec) != 3) return -1;
    return h * 3600 + m * 60 + sec;
}

bool ScenarioTest::Start(const std::string& parameters, const std::string& start) {
    bool ok = StartStation(parameters, start);
    loop->SetTimerHandler([this](int id) {
        auto it = actions_.find(id);
        if (it == actions_.end()) {
            dlg->dispatcher->OnTimer(id);
            return;
        }
        auto action = std::move(it->second);
        actions_.erase(it);
        loop->StopTimer(id);
        action();
    });
    return ok;
}

void ScenarioTest::At(TimePoint when, std::function<void()> action) {
    using namespace std::chrono;
    auto wait = duration_cast<milliseconds>(when - Now());
    if (when - Now() > wait) wait += milliseconds(1);
    if (wait < milliseconds(1)) wait = milliseconds(1);
    int id = nextActionTimer_++;
    actions_[id] = std::move(action);
    loop->StartTimer(id, wait);
}

void ScenarioTest::WriteSchedule(const std::vector<std::string>& lines) {
    std::string text;
    for (const auto& line : lines) text += line + "\n";
    WriteData("schedule.lst", text);
}

void ScenarioTest::Queue(TimePoint when, const std::string& name) {
    dlg->w.scheduleList.AddString(ScheduleLine(when, name));
}

ScenarioTest::FieldRecord& ScenarioTest::Record(EditControl& field) {
    records_.push_back(std::make_unique<FieldRecord>());
    FieldRecord* record = records_.back().get();
    field.Observe([this, record, &field] {
        record->values.push_back(field.Text());
        record->times.push_back(Now());
    });
    return *record;
}

std::string ScenarioTest::StampOf(const std::string& day, const std::string& message) const {
    for (const auto& line : LogLines(day))
        if (line.size() > 11 && line.substr(11) == message) return line.substr(0, 8);
    return "";
}

std::vector<KeyChange> ScenarioTest::KeyChanges() {
    port->Sync();
    std::vector<KeyChange> changes;
    bool on = false;
    for (const auto& e : uart.events) {
        if (e.kind != UartEventKind::kMcr || e.keyOn == on) continue;
        on = e.keyOn;
        changes.push_back({e.time, on});
    }
    return changes;
}

std::vector<UartEvent> ScenarioTest::FramesIn(TimePoint from, TimePoint to) {
    port->Sync();
    std::vector<UartEvent> frames;
    for (const auto& e : uart.Frames())
        if (e.time >= from && e.time < to) frames.push_back(e);
    return frames;
}

std::vector<int> ScenarioTest::TextCodes() {
    port->Sync();
    std::vector<int> codes;
    for (int code : uart.FrameCodes())
        if (code != 31 && code != 27) codes.push_back(code);
    return codes;
}

int ScenarioTest::BreakElements() {
    port->Sync();
    int n = 0;
    for (const auto& e : uart.events)
        if (e.kind == UartEventKind::kBreak && e.breakOn) ++n;
    return n;
}

}  // namespace sked::test
