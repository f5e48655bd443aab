// Scenario tests: actions at set moments of the simulated clock (also in the
// middle of a transmission), readings of the log, the window and the line.
#pragma once

#include <algorithm>
#include <functional>
#include <map>
#include <string>
#include <utility>
#include <vector>

#include "transmit/station_state.h"
#include "support/station_fixture.h"

namespace sked::test {

// "de QZ0XB QZ0XB " in Morse elements: -.. . then --.- --.. ----- -..- -... twice.
inline const std::string kIdentificationMorse = "-...--.---..------..--...--.---..------..--...";

// Index of the first `text` at or after `from`; -1 if none.
inline int IndexOf(const std::vector<std::string>& messages, const std::string& text, int from = 0) {
    auto it = std::find(messages.begin() + std::clamp<long>(from, 0, std::ssize(messages)), messages.end(), text);
    return it == messages.end() ? -1 : static_cast<int>(it - messages.begin());
}
inline int CountOf(const std::vector<std::string>& messages, const std::string& text) {
    return static_cast<int>(std::count(messages.begin(), messages.end(), text));
}

class ScenarioTest : public StationTest {
protected:
    struct KeyChange {
        TimePoint time;
        bool on;
    };
    bool Start(const std::string& parameters = "QZ0XB 2 RTS", const std::string& start = "2026-01-01T12:00:00");
    // Runs `action` from the event loop at `when`, e.g. between two characters of a file.
    void At(TimePoint when, std::function<void()> action);
    void At(const std::string& when, std::function<void()> action) { At(T(when), std::move(action)); }
    void WriteSchedule(const std::vector<std::string>& lines);
    // Puts "MM/DD/YYYY HH:MM:SS name" into the queue at `at` (-1: at the end).
    void Queue(TimePoint when, const std::string& name, int at = -1);
    std::vector<std::string> Items() const { return station->window.scheduleList.Items(); }
    // "HH:MM:SS" of the first line of `day`'s log reading `message`; empty if none.
    std::string StampOf(const std::string& message, const std::string& day = "20260101") const;
    TimePoint TimeOf(const std::string& message) const { return T("2026-01-01T" + StampOf(message)); }
    std::vector<KeyChange> KeyChanges();
    std::vector<UartEvent> FramesIn(TimePoint from, TimePoint to);  // start bit in [from, to)
    std::string MorseElements();                                    // dots and dashes keyed with the break condition
    std::uint8_t Mcr() { return port->In(static_cast<std::uint16_t>(station->state.portBase + 4)); }
    bool KeyLineUp() { return (Mcr() & station->state.keyLine) != 0; }
    TimePoint T(const std::string& when) const { return LocalTimePoint(when); }

private:
    std::map<int, std::function<void()>> actions_;
    int nextActionTimer_ = 1000;
};

}  // namespace sked::test
