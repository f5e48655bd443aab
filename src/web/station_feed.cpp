#include "web/station_feed.h"

#include <deque>
#include <fstream>

#include <nlohmann/json.hpp>

#include "app/service_status.h"
#include "platform/text_format.h"

namespace sked::web {

namespace {

using Json = nlohmann::ordered_json;

// One event; text that is not UTF-8 (a Latin-1 bulletin) is replaced, never allowed to fail it.
std::string Event(const Json& value) {
    return "data: " + value.dump(-1, ' ', false, Json::error_handler_t::replace) + "\n\n";
}

// The fields a page shows, by the names the control socket's watchers know them by.
const char* const kFields[] = {"clock", "autosend", "transmit", "flow", "down", "send",
                               "cwtimer", "comport", "display", "queue", "title"};

}  // namespace

StationFeed::StationFeed(Station& station) : station_(station) {
    logListener_ = station_.log.AddListener([this](const std::string& message) {
        if (Watching())
            Push(Event({{"t", "log"}, {"time", LocalStamp(station_.loop.clock().Now(), false)}, {"text", message}}));
    });
}

StationFeed::~StationFeed() { station_.log.RemoveListener(logListener_); }

std::string StationFeed::FieldText(const std::string& name) const {
    MainWindow& w = station_.window;
    if (name == "clock") return w.clockField.Text();
    if (name == "autosend") return w.autoSendField.Text();
    if (name == "transmit") return Trimmed(w.transmitField.Text());
    if (name == "flow") return w.flowField.Text();
    if (name == "down") return w.countdownField.Text();
    if (name == "send") return w.charCountField.Text();
    if (name == "cwtimer") return w.cwTimerField.Text();
    if (name == "comport") return w.comPortField.Text();
    if (name == "display") return w.statusLine.Text();
    if (name == "queue") {
        // Every entry with its start, as the queue list shows them.
        std::string text;
        for (const std::string& item : w.scheduleList.Items()) text += item + "\n";
        return text;
    }
    if (name == "title") return w.title;
    if (name == "progress") return ServiceStatus(station_);
    if (name == "signal") {
        std::string mode = "?", baud = "?";
        for (const ButtonControl* b : {&w.milButton, &w.ita2Button, &w.telexButton, &w.asciiButton, &w.pskButton,
                                       &w.fecButton, &w.cwButton})
            if (b->Checked()) mode = b->Caption();
        for (const ButtonControl& b : w.baudButtons)
            if (b.Checked()) baud = b.Caption();
        const std::string tones = w.markSpaceRadio.Checked()
                                      ? "mark " + w.markField.Text() + " Hz, space " + w.spaceField.Text() + " Hz"
                                      : "centre " + w.centreField.Text() + " Hz, shift " + w.shiftField.Text() + " Hz";
        const std::string sound = w.noSoundCheck.Check() ? "no sound" : "sound card " + w.soundCardCombo.EditText();
        return mode + ", " + baud + (w.pskButton.Checked() ? " Hz" : " baud") + ", " + tones + ", " + sound;
    }
    return "";
}

std::string StationFeed::FieldEvent(const std::string& name) const {
    return Event({{"t", "field"}, {"name", name}, {"text", FieldText(name)}});
}

void StationFeed::Watch(bool on) {
    if (!on) {
        subscriptions_.clear();
        dirty_.clear();
        pending_.clear();
        return;
    }
    if (Watching()) return;
    MainWindow& w = station_.window;
    runningLines_ = RunningLines();
    runningLines_.Update(w.statusLine.Text());
    subscriptions_.emplace_back(w.statusLine, [this, &w] {
        MarkDirty("display");
        MarkDirty("progress");
        for (const RunningLines::Change& change : runningLines_.Update(w.statusLine.Text()))
            if (change.kind == RunningLines::Change::Kind::Line) Push(Event({{"t", "line"}, {"text", change.text}}));
    });
    const std::pair<const char*, Control*> watched[] = {
        {"clock", &w.clockField},       {"autosend", &w.autoSendField}, {"transmit", &w.transmitField},
        {"flow", &w.flowField},         {"down", &w.countdownField},    {"send", &w.charCountField},
        {"cwtimer", &w.cwTimerField},   {"comport", &w.comPortField},   {"queue", &w.scheduleList},
    };
    for (const auto& [name, control] : watched)
        subscriptions_.emplace_back(*control, [this, name = std::string(name)] { MarkDirty(name); });
    Control* signal[] = {&w.milButton, &w.ita2Button, &w.telexButton, &w.asciiButton, &w.pskButton, &w.fecButton,
                         &w.cwButton, &w.centreField, &w.shiftField, &w.markField, &w.spaceField, &w.markSpaceRadio,
                         &w.soundCardCombo, &w.noSoundCheck};
    for (Control* control : signal) subscriptions_.emplace_back(*control, [this] { MarkDirty("signal"); });
    for (ButtonControl& b : w.baudButtons) subscriptions_.emplace_back(b, [this] { MarkDirty("signal"); });
    // The progress moves with the clock too (time left), once a second.
    subscriptions_.emplace_back(w.clockField, [this] {
        MarkDirty("clock");
        MarkDirty("progress");
    });
}

void StationFeed::MarkDirty(const std::string& name) {
    const bool first = !HasChanges();
    dirty_[name] = true;
    if (first && onChange_) onChange_();
}

void StationFeed::Push(std::string event) {
    const bool first = !HasChanges();
    if (pending_.size() >= kMaxPendingEvents) pending_.erase(pending_.begin());
    pending_.push_back(std::move(event));
    if (first && onChange_) onChange_();
}

std::string StationFeed::Snapshot() {
    std::string text;
    for (const char* name : kFields) text += FieldEvent(name);
    text += FieldEvent("signal") + FieldEvent("progress");
    // The end of today's log, as the file has it.
    std::deque<std::string> lines;
    // Read from near its end: a long day's log is not read whole on the station's loop.
    std::ifstream log(station_.log.TodaysFileName(), std::ios::binary | std::ios::ate);
    const std::streamoff size = log ? static_cast<std::streamoff>(log.tellg()) : 0;
    const std::streamoff tail = static_cast<std::streamoff>(kLogLines) * 300;
    log.seekg(size > tail ? size - tail : 0);
    std::string partial;
    if (size > tail) std::getline(log, partial);  // the end of a line cut by the seek
    for (std::string line; std::getline(log, line);) {
        lines.push_back(std::move(line));
        if (lines.size() > kLogLines) lines.pop_front();
    }
    for (const std::string& line : lines) text += Event({{"t", "log"}, {"text", line}});
    return text;
}

std::string StationFeed::TakeChanges() {
    std::string text;
    for (const auto& [name, changed] : dirty_) text += FieldEvent(name);
    dirty_.clear();
    for (const std::string& event : pending_) text += event;
    pending_.clear();
    return text;
}

}  // namespace sked::web
