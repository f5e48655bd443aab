// Scenario tests: actions at set moments of the simulated clock (also in the middle of a transmission), commands
// typed as on the console, readings of the log, the window and the line.
#pragma once

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <functional>
#include <memory>
#include <string>
#include <utility>
#include <vector>

#include "console/console_front_end.h"
#include "platform/clock.h"
#include "scheduler/transmit_queue.h"
#include "support/station_fixture.h"

namespace sked::test {

using namespace std::chrono_literals;
using Lines = std::vector<std::string>;

// "de QZ0XB QZ0XB " in Morse elements: -.. . then --.- --.. ----- -..- -... twice.
inline const std::string kIdentificationMorse = "-...--.---..------..--...--.---..------..--...";

// Index of the first `text` at or after `from`; -1 if none.
inline int IndexOf(const Lines& messages, const std::string& text, int from = 0) {
    auto it = std::find(messages.begin() + std::clamp<long>(from, 0, std::ssize(messages)), messages.end(), text);
    return it == messages.end() ? -1 : static_cast<int>(it - messages.begin());
}
inline int CountOf(const Lines& messages, const std::string& text) {
    return static_cast<int>(std::count(messages.begin(), messages.end(), text));
}

class ScenarioTest : public StationTest {
protected:
    struct KeyChange { TimePoint time; bool on; };
    ~ScenarioTest() override { std::fclose(out_), std::free(buffer_); }
    // The console and the actions go before the station and the loop.
    void TearDown() override { console_.reset(), actions_.clear(), StationTest::TearDown(); }
    bool Start(const std::string& parameters = "QZ0XB 2 RTS", const std::string& start = "2026-01-01T12:00:00") {
        console_.reset();
        actions_.clear();
        return StartStation(parameters, start);
    }
    // Started on `schedule` with the scheduler enabled.
    bool StartEnabled(const Lines& schedule, const std::string& start = "2026-01-01T12:00:00") {
        WriteSchedule(schedule);
        if (!Start("QZ0XB 2 RTS", start)) return false;
        station->commands.Enable();
        return true;
    }
    // Runs `action` from the event loop at `when`, e.g. between two characters of a file.
    void At(TimePoint when, std::function<void()> action) {
        actions_.push_back(std::make_unique<Timer>(*loop, std::move(action)));
        actions_.back()->At(when);
    }
    void At(const std::string& when, std::function<void()> action) { At(T(when), std::move(action)); }
    // A line typed on the headless front end; Output() is what it printed since the last call.
    bool Type(const std::string& line) { return Console().HandleLine(line); }
    // The headless front end prints the station's fields as they change, as it does when run.
    void WatchFields() { Console().WatchFields(); }
    ConsoleFrontEnd& Console() {
        if (!console_) console_ = std::make_unique<ConsoleFrontEnd>(*station, out_);
        return *console_;
    }
    std::string Output() {
        std::fflush(out_);
        std::string fresh(buffer_ + seen_, size_ - seen_);
        seen_ = size_;
        return fresh;
    }
    void WriteSchedule(const Lines& lines) {
        std::string text;
        for (const auto& line : lines) text += line + "\n";
        WriteData("schedule.lst", text);
    }
    // Puts "MM/DD/YYYY HH:MM:SS name" into the queue at `at` (-1: at the end).
    void Queue(TimePoint when, const std::string& name, int at = -1) {
        const std::time_t due = std::chrono::system_clock::to_time_t(when);
        station->queue.Insert(at < 0 ? station->queue.Count() : at, QueueEntry{QueueLine(due, name), due, name, nullptr});
    }
    Lines Items() const { auto& i = station->window.scheduleList.Items(); return {i.begin(), i.end()}; }
    // "HH:MM:SS" of each line of `day`'s log reading `message`.
    Lines StampsOf(const std::string& message, const std::string& day = "20260101") const {
        Lines stamps;
        for (const auto& line : LogLines(day))
            if (line.size() > 11 && line.substr(11) == message) stamps.push_back(line.substr(0, 8));
        return stamps;
    }
    std::string StampOf(const std::string& message, const std::string& day = "20260101") const {
        return StampsOf(message, day).empty() ? "" : StampsOf(message, day)[0];
    }
    TimePoint TimeOf(const std::string& message) const { return T("2026-01-01T" + StampOf(message)); }
    std::vector<KeyChange> KeyChanges() {
        ports->Sync();
        std::vector<KeyChange> changes;
        for (const auto& e : uart.events)
            if (e.kind == UartEventKind::kMcr && e.keyOn != (!changes.empty() && changes.back().on))
                changes.push_back({e.time, e.keyOn});
        return changes;
    }
    // Frames whose start bit is in [from, to).
    std::vector<UartEvent> FramesIn(TimePoint from, TimePoint to) {
        ports->Sync();
        std::vector<UartEvent> frames = uart.Frames();
        std::erase_if(frames, [&](const UartEvent& e) { return e.time < from || e.time >= to; });
        return frames;
    }
    // Dots and dashes keyed with the break condition.
    std::string MorseElements() {
        ports->Sync();
        std::string elements;
        TimePoint on{};
        for (const auto& e : uart.events)
            if (e.kind == UartEventKind::kBreak && e.breakOn) on = e.time;
            else if (e.kind == UartEventKind::kBreak) elements += e.time - on < 120ms ? '.' : '-';
        return elements;
    }
    // The last line format (lcr), modem-control value (mcr) or divisor written at `base`.
    unsigned LastWrite(UartEventKind kind, unsigned base = 0x2F8) {
        ports->Sync();
        unsigned last = 0;
        for (const auto& e : uart.events)
            if (e.kind == kind && e.base == base) last = kind == UartEventKind::kDivisor ? e.divisor : e.value;
        return last;
    }
    SerialLine& Line() { return station->transmitter.Line(); }
    bool KeyLineUp() { return Line().KeyDown(); }
    TimePoint T(const std::string& when) const { return LocalTimePoint(when); }

private:
    std::vector<std::unique_ptr<Timer>> actions_;
    std::unique_ptr<ConsoleFrontEnd> console_;
    char* buffer_ = nullptr;
    std::size_t size_ = 0, seen_ = 0;
    std::FILE* out_ = open_memstream(&buffer_, &size_);
};

}  // namespace sked::test
