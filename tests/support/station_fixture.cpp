#include "support/station_fixture.h"

#include <algorithm>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>

#include <unistd.h>

#include "app/run_options.h"

namespace sked::test {

std::vector<UartEvent> UartRecorder::Frames() const {
    std::vector<UartEvent> frames;
    for (const auto& e : events)
        if (e.kind == UartEventKind::kFrame) frames.push_back(e);
    return frames;
}

std::vector<int> UartRecorder::FrameCodes() const {
    std::vector<int> codes;
    for (const auto& e : Frames()) codes.push_back(e.value);
    return codes;
}

ScratchDirectory::ScratchDirectory() {
    char buffer[] = "/tmp/skedcast-test-XXXXXX";
    path_ = ::mkdtemp(buffer);
    previous_ = std::filesystem::current_path();
    std::filesystem::current_path(path_);
}

ScratchDirectory::~ScratchDirectory() {
    std::filesystem::current_path(previous_);
    std::error_code ignored;
    std::filesystem::remove_all(path_, ignored);
}

void WriteFile(const std::string& path, const std::string& content) {
    std::ofstream out(path, std::ios::binary);
    out << content;
}

std::string ReadFile(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    std::stringstream text;
    text << in.rdbuf();
    return text.str();
}

std::vector<std::string> ReadLines(const std::string& path) {
    std::vector<std::string> lines;
    std::ifstream in(path);
    for (std::string line; std::getline(in, line);) lines.push_back(line);
    return lines;
}

TimePoint LocalTimePoint(const std::string& text) {
    auto t = ParseLocalTimestamp(text);
    if (!t) throw std::runtime_error("bad time " + text);
    return std::chrono::system_clock::from_time_t(*t);
}

void StationTest::SetUp() {
    dir = std::make_unique<ScratchDirectory>();
    std::filesystem::create_directory("data");
    std::filesystem::create_directory("log");
}

void StationTest::TearDown() {
    station.reset();
    port.reset();
    loop.reset();
    dir.reset();
}

bool StationTest::StartStation(const std::string& parameters, const std::string& start, bool setup) {
    station.reset();  // an earlier station goes before its loop and port
    port.reset();
    loop = std::make_unique<SimulatedEventLoop>(LocalTimePoint(start));
    port = std::make_unique<EmulatedPortIo>(loop->clock());
    port->AddObserver(&uart);
    station = std::make_unique<Station>(*loop, *port, boxes);
    port->SetLineMasks([this] {
        return LineMasks{static_cast<std::uint8_t>(station->state.keyLine),
                         static_cast<std::uint8_t>(station->state.powerLine)};
    });
    return setup ? station->SetupWindow(parameters) : true;
}

void StationTest::RunUntil(TimePoint t) {
    while (loop->clock().Now() < t) loop->WaitForEvent(t);
    port->Sync();  // report a held character that has started by now
}

void StationTest::RunFor(std::chrono::nanoseconds d) {
    RunUntil(loop->clock().Now() + std::chrono::duration_cast<Duration>(d));
}

std::vector<std::string> StationTest::LogLines(const std::string& day) const { return ReadLines("log/" + day + ".log"); }

std::vector<std::string> StationTest::LogMessages() const {
    std::vector<std::string> files;
    for (const auto& entry : std::filesystem::directory_iterator("log")) files.push_back(entry.path().string());
    std::sort(files.begin(), files.end());
    std::vector<std::string> messages;
    for (const auto& file : files)
        for (const auto& line : ReadLines(file)) messages.push_back(line.size() > 11 ? line.substr(11) : line);
    return messages;
}

bool StationTest::Logged(const std::string& message) const {
    auto messages = LogMessages();
    return std::find(messages.begin(), messages.end(), message) != messages.end();
}

}  // namespace sked::test
