// The emulated 16550 and its line trace, on the simulated clock.
#include <algorithm>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <random>
#include <regex>
#include <stdexcept>
#include <string>
#include <vector>

#include <unistd.h>

#include <gtest/gtest.h>

#include "platform/emulated_uart.h"
#include "platform/simulated_event_loop.h"
#include "platform/uart_trace_writer.h"

namespace sked {
namespace {

using namespace std::chrono;

constexpr std::uint16_t kBase = 0x2F8;
constexpr std::uint16_t kLsr = kBase + uart::kLsr;
constexpr std::uint8_t kIdle = uart::kLsrThre | uart::kLsrTemt;
const TimePoint kStart = sys_days{2024y / March / 1} + 12h;
// 7.5 bit times at 115200 / 2534 baud: 164.97 ms.
const Duration kBaudotFrame = duration_cast<Duration>(duration<double>(7.5 * 2534 / 115200.0));

bool CloseTo(Duration actual, Duration expected) { return actual - expected <= 1us && expected - actual <= 1us; }

class EmulatedUartTest : public ::testing::Test, public UartObserver {
protected:
    void SetUp() override { port.AddObserver(this); }
    void OnUartEvent(const UartEvent& event) override { events.push_back(event); }
    std::vector<UartEvent> Of(UartEventKind kind) const {
        std::vector<UartEvent> out;
        std::copy_if(events.begin(), events.end(), std::back_inserter(out), [&](auto& e) { return e.kind == kind; });
        return out;
    }
    void Program(std::uint16_t base, unsigned divisor, std::uint8_t lcr) {
        port.Out(base + uart::kLcr, static_cast<std::uint8_t>(uart::kLcrDlab | lcr));
        port.Out(base + uart::kIer, static_cast<std::uint8_t>(divisor >> 8));
        port.Out(base + uart::kThr, static_cast<std::uint8_t>(divisor & 0xFF));
        port.Out(base + uart::kLcr, lcr);
    }
    std::uint8_t Lsr() { return port.In(kLsr); }
    void Send(std::uint8_t code, std::uint16_t base = kBase) { port.Out(base + uart::kThr, code); }

    SimulatedClock clock{kStart};
    EmulatedPortIo port{clock};
    std::vector<UartEvent> events;
};

TEST_F(EmulatedUartTest, BaudotFramesLast164_97msAndAHeldCharacterFollowsBackToBack) {
    Program(kBase, 2534, 0x04);
    EXPECT_LE(port.NextChange(kLsr), kStart);  // idle: read again now
    Send(0xE3);  // a five-bit port sends only the low five bits
    EXPECT_EQ(Lsr(), uart::kLsrThre);  // straight into the shift register
    EXPECT_TRUE(CloseTo(port.NextChange(kLsr) - kStart, kBaudotFrame));
    clock.AdvanceTo(kStart + 30ms);
    Send(0x02);  // waits in the holding register
    EXPECT_EQ(Lsr(), 0);
    const TimePoint firstEnd = port.NextChange(kLsr);
    EXPECT_TRUE(CloseTo(firstEnd - kStart, kBaudotFrame));
    EXPECT_TRUE(CloseTo(port.IdleAt() - kStart, 2 * kBaudotFrame));
    clock.AdvanceTo(firstEnd - 1ns);
    EXPECT_EQ(Lsr(), 0);
    clock.AdvanceTo(kStart + kBaudotFrame * 3 / 2);  // looked at late: the frame still began on time
    EXPECT_EQ(Lsr(), uart::kLsrThre);
    clock.AdvanceTo(kStart + 2 * kBaudotFrame - 1us);
    EXPECT_EQ(Lsr(), uart::kLsrThre);
    clock.AdvanceTo(kStart + 2 * kBaudotFrame + 1us);
    EXPECT_EQ(Lsr(), kIdle);
    const auto frames = Of(UartEventKind::kFrame);
    ASSERT_EQ(frames.size(), 2u);
    EXPECT_EQ(frames[0].value, 0x03);
    EXPECT_TRUE(CloseTo(frames[0].frameTime, 164973958ns));
    EXPECT_EQ(frames[1].value, 0x02);
    EXPECT_EQ(frames[1].time, frames[0].time + frames[0].frameTime);
}

TEST_F(EmulatedUartTest, StationPollingOnNextChangeSendsWithoutGaps) {
    Program(kBase, 2534, 0x04);
    std::mt19937 random(4545);
    std::uniform_int_distribution<long long> lateness(0, duration_cast<nanoseconds>(kBaudotFrame).count() / 2);
    for (int written = 0; written < 300;) {
        if (Lsr() & uart::kLsrThre) {
            Send(static_cast<std::uint8_t>(written++ & 0x1F));
            continue;
        }
        const TimePoint wake = port.NextChange(kLsr);
        ASSERT_GT(wake, clock.Now());
        clock.AdvanceTo(wake + nanoseconds(lateness(random)));  // a busy station looks in a little late
    }
    clock.AdvanceTo(port.IdleAt());
    port.Sync();
    const auto frames = Of(UartEventKind::kFrame);
    ASSERT_EQ(frames.size(), 300u);
    for (std::size_t i = 1; i < frames.size(); ++i) {
        ASSERT_EQ(frames[i].time, frames[i - 1].time + frames[i - 1].frameTime) << "gap before frame " << i;
        ASSERT_EQ(frames[i].value, i & 0x1F);
    }
}

TEST_F(EmulatedUartTest, FormatAndSpeedAreTakenWhenTheFrameStarts) {
    Program(kBase, 2534, 0x04);
    Send(0x1F);
    Send(0x41);  // held while the port is reprogrammed for ASCII at 300 baud
    Program(kBase, 384, 0x07);
    clock.AdvanceTo(kStart + 1s);
    port.Sync();
    const auto frames = Of(UartEventKind::kFrame);
    ASSERT_EQ(frames.size(), 2u);
    EXPECT_TRUE(CloseTo(frames[1].time - kStart, kBaudotFrame));
    EXPECT_EQ(frames[1].dataBits, 8);
    EXPECT_TRUE(CloseTo(frames[1].frameTime, duration_cast<Duration>(duration<double>(11.0 * 384 / 115200.0))));
}

TEST_F(EmulatedUartTest, KeyAndPowerAreLabelledThroughTheStationsLineMasks) {
    // Default key on DTR, power on RTS; masks are read at every write (the operator may swap them).
    LineMasks masks{uart::kMcrRts, uart::kMcrDtr};
    const struct { std::uint8_t mcr; bool key, power; } writes[] = {
        {0x01, true, false}, {0x02, false, true},                                           // defaults
        {0x02, true, false}, {0x03, true, true}, {0x01, false, true}, {0x01, true, false}};  // swapped, back
    for (std::size_t i = 0; i < std::size(writes); ++i) {
        if (i == 2) port.SetLineMasks([&masks] { return masks; });
        if (i == 5) masks = LineMasks{};
        port.Out(kBase + uart::kMcr, writes[i].mcr);
    }
    const auto mcr = Of(UartEventKind::kMcr);
    ASSERT_EQ(mcr.size(), std::size(writes));
    for (std::size_t i = 0; i < mcr.size(); ++i) {
        EXPECT_EQ(mcr[i].keyOn, writes[i].key) << "write " << i;
        EXPECT_EQ(mcr[i].powerOn, writes[i].power) << "write " << i;
    }
}

std::vector<std::string> ReadLines(const std::filesystem::path& file) {
    std::ifstream in(file);
    std::vector<std::string> lines;
    for (std::string line; std::getline(in, line);) lines.push_back(line);
    return lines;
}

TEST_F(EmulatedUartTest, LineTraceHasOneTimestampedLinePerEventAndAppends) {
    const auto file = std::filesystem::temp_directory_path() / ("skedcast-trace-" + std::to_string(::getpid()));
    {
        UartTraceWriter trace(file.string());
        port.AddObserver(&trace);
        port.SetLineMasks([] { return LineMasks{uart::kMcrRts, uart::kMcrDtr}; });
        Program(kBase, 2534, 0x04);
        port.Out(kBase + uart::kIer, 0x00);
        port.Out(kBase + uart::kMcr, 0x02);
        clock.AdvanceTo(kStart + 1234ms);
        Send(0x1F);
        clock.AdvanceTo(kStart + 2s);
        for (std::uint8_t lcr : {0x44, 0x40, 0x04}) port.Out(kBase + uart::kLcr, lcr);  // break for Morse
        Program(0x3E8, 384, 0x07);
        Send(0x41, 0x3E8);
        port.Out(0x260 + uart::kMcr, 0x01);
        EXPECT_EQ(ReadLines(file).size(), 16u);  // on disk as soon as it happens
    }
    UartTraceWriter(file.string(), true).OnUartEvent(Of(UartEventKind::kBreak)[1]);
    const std::vector<std::string> expected = {
        "0x2F8\tlcr\t0x84", "0x2F8\tlcr\t0x04", "0x2F8\tdivisor\t2534", "0x2F8\tier\t0x00",
        "0x2F8\tmcr\t0x02 key=ON power=OFF", "0x2F8\tframe\t0x1F bits=5 stop=1.5 baud=45.46", "0x2F8\tlcr\t0x44",
        "0x2F8\tbreak\tON", "0x2F8\tlcr\t0x40", "0x2F8\tlcr\t0x04", "0x2F8\tbreak\tOFF", "0x3E8\tlcr\t0x87",
        "0x3E8\tlcr\t0x07", "0x3E8\tdivisor\t384", "0x3E8\tframe\t0x41 bits=8 stop=2 baud=300.00",
        "0x260\tmcr\t0x01 key=OFF power=ON", "0x2F8\tbreak\tOFF"};
    const auto lines = ReadLines(file);
    std::filesystem::remove(file);
    ASSERT_EQ(lines.size(), expected.size());
    for (std::size_t i = 0; i < lines.size(); ++i)
        EXPECT_EQ(lines[i], LocalStamp(i < 5 ? kStart : i < 6 ? kStart + 1234ms : kStart + 2s) + "\t" + expected[i]);
    EXPECT_TRUE(std::regex_match(lines[5], std::regex(R"(\d{4}-\d\d-\d\d \d\d:\d\d:\d\d\.234\t.*)")));
    const std::string bad = "/nonexistent-skedcast-dir/uart.trace";
    try {
        UartTraceWriter trace(bad);
        ADD_FAILURE() << "opened " << bad;
    } catch (const std::runtime_error& e) {
        EXPECT_NE(std::string(e.what()).find(bad + ": " + std::strerror(ENOENT)), std::string::npos) << e.what();
    }
}

}  // namespace
}  // namespace sked
