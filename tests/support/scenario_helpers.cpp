#include "support/scenario_helpers.h"

#include "platform/clock.h"
#include "scheduler/dispatcher.h"

namespace sked::test {

bool ScenarioTest::Start(const std::string& parameters, const std::string& start) {
    bool ok = StartStation(parameters, start);
    loop->SetTimerHandler([this](int id) {
        auto action = actions_.extract(id);
        if (action.empty()) return station->dispatcher.OnTimer(id);
        loop->StopTimer(id);
        action.mapped()();
    });
    return ok;
}

void ScenarioTest::At(TimePoint when, std::function<void()> action) {
    using namespace std::chrono;
    actions_[nextActionTimer_] = std::move(action);
    loop->StartTimer(nextActionTimer_++, std::max(ceil<milliseconds>(when - Now()), milliseconds(1)));
}

void ScenarioTest::WriteSchedule(const std::vector<std::string>& lines) {
    std::string text;
    for (const auto& line : lines) text += line + "\n";
    WriteData("schedule.lst", text);
}

void ScenarioTest::Queue(TimePoint when, const std::string& name, int at) {
    auto t = LocalTime(std::chrono::system_clock::to_time_t(when));
    station->queue.Insert(at < 0 ? station->queue.Count() : at, FormatTime("%m/%d/%Y %H:%M:%S ", t) + name);
}

std::string ScenarioTest::StampOf(const std::string& message, const std::string& day) const {
    for (const auto& line : LogLines(day))
        if (line.size() > 11 && line.substr(11) == message) return line.substr(0, 8);
    return "";
}

std::vector<ScenarioTest::KeyChange> ScenarioTest::KeyChanges() {
    port->Sync();
    std::vector<KeyChange> changes;
    for (const auto& e : uart.events)
        if (e.kind == UartEventKind::kMcr && e.keyOn != (!changes.empty() && changes.back().on))
            changes.push_back({e.time, e.keyOn});
    return changes;
}

std::vector<UartEvent> ScenarioTest::FramesIn(TimePoint from, TimePoint to) {
    port->Sync();
    std::vector<UartEvent> frames;
    for (const auto& e : uart.Frames())
        if (e.time >= from && e.time < to) frames.push_back(e);
    return frames;
}

std::string ScenarioTest::MorseElements() {
    port->Sync();
    std::string elements;
    TimePoint on{};
    for (const auto& e : uart.events)
        if (e.kind == UartEventKind::kBreak && e.breakOn)
            on = e.time;
        else if (e.kind == UartEventKind::kBreak)
            elements += e.time - on < std::chrono::milliseconds(120) ? '.' : '-';
    return elements;
}

}  // namespace sked::test
