// Helpers for scenario tests of the scheduler and the operator's controls:
// actions at set moments of the simulated clock (also in the middle of a
// transmission, which runs nested inside the one-second tick), schedule lines
// in the station's own format, and readings of the log and of the line.
#pragma once

#include <functional>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include "app/station_settings.h"
#include "support/station_fixture.h"

namespace sked::test {

// "MM/DD/YYYY HH:MM:SS name" for a local time.
std::string ScheduleLine(TimePoint when, const std::string& name);
// The same for "YYYY-MM-DDTHH:MM:SS" (local time).
std::string ScheduleLine(const std::string& when, const std::string& name);

// Sets the last-write time of a file to `when` (seconds since the epoch).
void SetFileTime(const std::string& path, std::time_t when);

// Index of the first message equal to `text` at or after `from`; -1 if none.
int IndexOf(const std::vector<std::string>& messages, const std::string& text, int from = 0);
int CountOf(const std::vector<std::string>& messages, const std::string& text);
// Seconds since midnight of a log time stamp "HH:MM:SS"; -1 when it does not read.
int SecondsOfDay(const std::string& stamp);

// One change of the keying line as the emulated port reported it.
struct KeyChange {
    TimePoint time;
    bool on;
};

class ScenarioTest : public StationTest {
protected:
    // StartStation, then the hook that lets At() run actions from the loop.
    bool Start(const std::string& parameters = "QZ0XB 2 RTS", const std::string& start = "2026-01-01T12:00:00");

    // Runs `action` from the event loop at `when` (or at the first dispatch
    // after it): between two characters of a file under way, for example.
    void At(TimePoint when, std::function<void()> action);
    void At(const std::string& when, std::function<void()> action) { At(LocalTimePoint(when), std::move(action)); }

    // data/schedule.lst from lines, each ended by a line feed.
    void WriteSchedule(const std::vector<std::string>& lines);
    // Appends a queue entry due at `when` to the schedule list.
    void Queue(TimePoint when, const std::string& name);

    // Every value a text field takes from now on (with the time of the change).
    struct FieldRecord {
        std::vector<std::string> values;
        std::vector<TimePoint> times;
    };
    FieldRecord& Record(EditControl& field);

    // The time stamp "HH:MM:SS" of the first line of `day`'s log whose message
    // is `message`; empty when there is none.
    std::string StampOf(const std::string& day, const std::string& message) const;

    // Changes of the keying line (mcr writes whose key state differs from the
    // one before), in order.
    std::vector<KeyChange> KeyChanges();
    // Frames whose start bit lies in [from, to).
    std::vector<UartEvent> FramesIn(TimePoint from, TimePoint to);
    // Codes of all frames other than the idle and shift codes (LTRS 31, FIGS 27).
    std::vector<int> TextCodes();
    // Number of times the break condition was raised (Morse elements).
    int BreakElements();

    std::uint8_t Mcr() { return port->In(static_cast<std::uint16_t>(Settings().portBase + 4)); }
    bool KeyLineUp() { return (Mcr() & Settings().keyLine) != 0; }

    TimePoint T(const std::string& when) const { return LocalTimePoint(when); }

private:
    std::map<int, std::function<void()>> actions_;
    int nextActionTimer_ = 1000;
    std::vector<std::unique_ptr<FieldRecord>> records_;
};

}  // namespace sked::test
