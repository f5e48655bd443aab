// A station on the simulated clock in a scratch working directory with its own data/ and log/ folders.
#pragma once

#include <algorithm>
#include <chrono>
#include <filesystem>
#include <fstream>
#include <memory>
#include <sstream>
#include <string>
#include <utility>
#include <vector>

#include <gtest/gtest.h>
#include <unistd.h>

#include "app/run_options.h"
#include "app/station.h"
#include "platform/message_box.h"
#include "platform/simulated_event_loop.h"
#include "serial/emulated_ports.h"
#include "serial/uart_timeline.h"

namespace sked::test {

// Message boxes answered OK at once, kept for inspection.
class RecordingMessageBox : public MessageBoxService {
public:
    struct Box { std::string caption, text; BoxIcon icon; };
    void Show(const std::string& caption, const std::string& text, BoxIcon icon) override {
        shown.push_back({caption, text, icon});
    }
    void Beep() override { ++beeps; }
    std::vector<Box> shown;
    int beeps = 0;
};

// Every event of the emulated UART, in order.
class UartRecorder : public UartObserver {
public:
    void OnUartEvent(const UartEvent& event) override { events.push_back(event); }
    std::vector<UartEvent> Frames() const {
        std::vector<UartEvent> frames = events;
        std::erase_if(frames, [](const UartEvent& e) { return e.kind != UartEventKind::kFrame; });
        return frames;
    }
    std::vector<int> FrameCodes() const {
        std::vector<int> codes;
        for (const auto& e : Frames()) codes.push_back(e.value);
        return codes;
    }
    std::vector<UartEvent> events;
};

// A scratch directory made the working directory for the test's lifetime.
class ScratchDirectory {
public:
    ScratchDirectory() {
        char buffer[] = "/tmp/skedcast-test-XXXXXX";
        std::filesystem::current_path(path_ = ::mkdtemp(buffer));
    }
    ~ScratchDirectory() {
        std::filesystem::current_path(previous_);
        std::error_code ignored;
        std::filesystem::remove_all(path_, ignored);
    }
    const std::string& path() const { return path_; }

private:
    std::string path_, previous_ = std::filesystem::current_path();
};

inline void WriteFile(const std::string& path, const std::string& content) {
    std::ofstream(path, std::ios::binary) << content;
}
inline std::string ReadFile(const std::string& path) {
    std::stringstream text;
    text << std::ifstream(path, std::ios::binary).rdbuf();
    return text.str();
}
inline std::vector<std::string> ReadLines(const std::string& path) {
    std::vector<std::string> lines;
    std::ifstream in(path);
    for (std::string line; std::getline(in, line);) lines.push_back(line);
    return lines;
}
// Local time of "YYYY-MM-DDTHH:MM:SS".
inline TimePoint LocalTimePoint(const std::string& text) {
    const auto t = ParseLocalTimestamp(text);
    if (!t) throw std::runtime_error("bad time " + text);
    return std::chrono::system_clock::from_time_t(*t);
}

class StationTest : public ::testing::Test {
protected:
    void SetUp() override {
        dir = std::make_unique<ScratchDirectory>();
        std::filesystem::create_directory("data");
        std::filesystem::create_directory("log");
    }
    void TearDown() override { station.reset(), ports.reset(), loop.reset(), dir.reset(); }
    // Builds the station at `start` (local time) and, with `setup`, starts it up with `parameters`.
    bool StartStation(const std::string& parameters = "QZ0XB 2 RTS",
                      const std::string& start = "2026-01-01T12:00:00", bool setup = true) {
        station.reset(), ports.reset();  // an earlier station goes before its loop and ports
        loop = std::make_unique<SimulatedEventLoop>(LocalTimePoint(start));
        ports = std::make_unique<EmulatedPorts>(loop->clock());
        ports->AddObserver(&uart);
        station = std::make_unique<Station>(*loop, *ports, boxes);
        return !setup || station->StartUp(parameters);
    }
    void RunUntil(TimePoint t) {
        loop->RunUntil(t);
        ports->Sync();  // report a held character that has started by now
    }
    void RunFor(std::chrono::nanoseconds d) { RunUntil(Now() + std::chrono::duration_cast<Duration>(d)); }
    TimePoint Now() const { return loop->clock().Now(); }
    // Messages of every log line so far (without time stamps), all days in order.
    std::vector<std::string> LogMessages() const {
        std::vector<std::string> files, messages;
        for (const auto& entry : std::filesystem::directory_iterator("log")) files.push_back(entry.path().string());
        std::sort(files.begin(), files.end());
        for (const auto& file : files)
            for (const auto& line : ReadLines(file)) messages.push_back(line.size() > 11 ? line.substr(11) : line);
        return messages;
    }
    std::vector<std::string> LogLines(const std::string& day) const { return ReadLines("log/" + day + ".log"); }
    bool Logged(const std::string& message) const {
        const auto messages = LogMessages();
        return std::find(messages.begin(), messages.end(), message) != messages.end();
    }
    void WriteData(const std::string& name, const std::string& content) { WriteFile("data/" + name, content); }
    void WriteData(std::initializer_list<std::pair<std::string, std::string>> files) {
        for (const auto& [name, content] : files) WriteData(name, content);
    }

    std::unique_ptr<ScratchDirectory> dir;
    std::unique_ptr<SimulatedEventLoop> loop;
    std::unique_ptr<EmulatedPorts> ports;
    UartRecorder uart;
    RecordingMessageBox boxes;
    std::unique_ptr<Station> station;
};

}  // namespace sked::test
