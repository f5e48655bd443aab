// A station on the simulated clock in a scratch working directory with its
// own data/ and log/ folders, for scenario and unit tests.
#pragma once

#include <chrono>
#include <memory>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "app/station.h"
#include "serial/emulated_uart.h"
#include "platform/message_box.h"
#include "platform/simulated_event_loop.h"
#include "serial/uart_timeline.h"

namespace sked::test {

// Message boxes answered OK at once, kept for inspection.
class RecordingMessageBox : public MessageBoxService {
public:
    struct Box {
        std::string caption, text;
        BoxIcon icon;
    };
    int Show(const std::string& caption, const std::string& text, BoxIcon icon) override {
        shown.push_back({caption, text, icon});
        return 1;
    }
    void Beep() override { ++beeps; }
    std::vector<Box> shown;
    int beeps = 0;
};

// Every event of the emulated UART, in order.
class UartRecorder : public UartObserver {
public:
    void OnUartEvent(const UartEvent& event) override { events.push_back(event); }
    std::vector<UartEvent> Frames() const;
    std::vector<int> FrameCodes() const;
    std::vector<UartEvent> events;
};

// A scratch directory made the working directory for the test's lifetime.
class ScratchDirectory {
public:
    ScratchDirectory();
    ~ScratchDirectory();
    const std::string& path() const { return path_; }

private:
    std::string path_;
    std::string previous_;
};

void WriteFile(const std::string& path, const std::string& content);
std::string ReadFile(const std::string& path);
std::vector<std::string> ReadLines(const std::string& path);
// Local time of "YYYY-MM-DDTHH:MM:SS".
TimePoint LocalTimePoint(const std::string& text);

class StationTest : public ::testing::Test {
protected:
    void SetUp() override;
    void TearDown() override;

    // Builds the station at `start` (local time) and runs SetupWindow with
    // `parameters`. Returns SetupWindow's result.
    bool StartStation(const std::string& parameters = "QZ0XB 2 RTS",
                      const std::string& start = "2026-01-01T12:00:00", bool setup = true);

    // Runs the loop on the simulated clock for `d`.
    void RunFor(std::chrono::nanoseconds d);
    void RunUntil(TimePoint t);
    TimePoint Now() const { return loop->clock().Now(); }

    // Messages of every log line so far (without time stamps), all days in order.
    std::vector<std::string> LogMessages() const;
    // Whole lines of one day's log file.
    std::vector<std::string> LogLines(const std::string& day) const;
    bool Logged(const std::string& message) const;

    void WriteData(const std::string& name, const std::string& content) { WriteFile("data/" + name, content); }

    std::unique_ptr<ScratchDirectory> dir;
    std::unique_ptr<SimulatedEventLoop> loop;
    std::unique_ptr<EmulatedPortIo> port;
    UartRecorder uart;
    RecordingMessageBox boxes;
    std::unique_ptr<Station> station;
};

}  // namespace sked::test
