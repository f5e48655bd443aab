// The emulated 16550 and its line trace, on the simulated clock.
#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <random>
#include <regex>
#include <sstream>
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
using namespace std::chrono_literals;

constexpr std::uint16_t kBase = 0x2F8;
const TimePoint kStart = sys_days{2024y / March / 1} + 12h;

// 7.5 bit times at 115200 / 2534 baud, and 11 at 115200 / 384, worked out here
// rather than taken from the code under test.
const Duration kBaudotFrame = duration_cast<Duration>(duration<double>(7.5 * 2534 / 115200.0));
const Duration kAsciiFrame = duration_cast<Duration>(duration<double>(11.0 * 384 / 115200.0));

struct Recorder : UartObserver {
    std::vector<UartEvent> events;
    void OnUartEvent(const UartEvent& event) override { events.push_back(event); }
    std::vector<UartEvent> Of(UartEventKind kind) const {
        std::vector<UartEvent> out;
        for (const auto& e : events)
            if (e.kind == kind) out.push_back(e);
        return out;
    }
};

::testing::AssertionResult CloseTo(Duration actual, Duration expected, Duration tolerance = 1us) {
    const auto diff = actual > expected ? actual - expected : expected - actual;
    if (diff <= tolerance) return ::testing::AssertionSuccess();
    return ::testing::AssertionFailure() << duration<double, std::micro>(actual).count() << " us, expected "
                                         << duration<double, std::micro>(expected).count() << " us";
}

class EmulatedUartTest : public ::testing::Test {
protected:
    void SetUp() override { port.AddObserver(&recorder); }

    // The station's way of setting speed and format: open the latch, high byte, low byte, close it.
    void Program(std::uint16_t base, unsigned divisor, std::uint8_t lcr) {
        port.Out(base + uart::kLcr, static_cast<std::uint8_t>(uart::kLcrDlab | lcr));
        port.Out(base + uart::kIer, static_cast<std::uint8_t>(divisor >> 8));
        port.Out(base + uart::kThr, static_cast<std::uint8_t>(divisor & 0xFF));
        port.Out(base + uart::kLcr, lcr);
    }
    std::uint8_t Lsr(std::uint16_t base = kBase) { return port.In(base + uart::kLsr); }
    void Send(std::uint8_t code, std::uint16_t base = kBase) { port.Out(base + uart::kThr, code); }

    SimulatedClock clock{kStart};
    EmulatedPortIo port{clock};
    Recorder recorder;
};

TEST_F(EmulatedUartTest, DivisorLatchSetsSpeedAndFormatOfFrames) {
    port.Out(kBase + uart::kLcr, 0x84);
    port.Out(kBase + uart::kIer, 0x09);
    port.Out(kBase + uart::kThr, 0xE6);
    // With the latch open, +0 and +1 read back the divisor and a write to +0 sends nothing.
    EXPECT_EQ(port.In(kBase + uart::kThr), 0xE6);
    EXPECT_EQ(port.In(kBase + uart::kIer), 0x09);
    EXPECT_EQ(Lsr(), uart::kLsrThre | uart::kLsrTemt);
    port.Out(kBase + uart::kLcr, 0x04);
    EXPECT_EQ(port.In(kBase + uart::kLcr), 0x04);
    EXPECT_EQ(port.In(kBase + uart::kIer), 0x00);  // the interrupt-enable register again

    ASSERT_EQ(recorder.events.size(), 3u);
    EXPECT_EQ(recorder.events[0].kind, UartEventKind::kLcr);
    EXPECT_EQ(recorder.events[0].value, 0x84);
    EXPECT_EQ(recorder.events[1].kind, UartEventKind::kLcr);
    EXPECT_EQ(recorder.events[1].value, 0x04);
    EXPECT_EQ(recorder.events[2].kind, UartEventKind::kDivisor);
    EXPECT_EQ(recorder.events[2].divisor, 2534u);

    const TimePoint t0 = kStart + 1s;
    clock.AdvanceTo(t0);
    Send(0x1F);
    auto frames = recorder.Of(UartEventKind::kFrame);
    ASSERT_EQ(frames.size(), 1u);
    EXPECT_EQ(frames[0].time, t0);
    EXPECT_EQ(frames[0].base, kBase);
    EXPECT_EQ(frames[0].value, 0x1F);
    EXPECT_EQ(frames[0].dataBits, 5);
    EXPECT_EQ(frames[0].stopHalfBits, 3);
    EXPECT_EQ(frames[0].divisor, 2534u);
    EXPECT_NEAR(frames[0].baud, 45.4617, 1e-4);
    EXPECT_TRUE(CloseTo(frames[0].bitTime, duration_cast<Duration>(duration<double>(2534 / 115200.0))));
    EXPECT_TRUE(CloseTo(frames[0].frameTime, kBaudotFrame));
    EXPECT_TRUE(CloseTo(frames[0].frameTime, 164973958ns));

    // The transmitter is busy for exactly those 164.97 ms.
    clock.AdvanceTo(t0 + 164970us);
    EXPECT_EQ(Lsr() & uart::kLsrTemt, 0);
    clock.AdvanceTo(t0 + 164980us);
    EXPECT_EQ(Lsr() & uart::kLsrTemt, uart::kLsrTemt);

    // ASCII at 300 baud: 8 data bits, 2 stop bits, 36.67 ms a character.
    Program(kBase, 384, 0x07);
    EXPECT_EQ(recorder.Of(UartEventKind::kDivisor).back().divisor, 384u);
    Send(0x41);
    frames = recorder.Of(UartEventKind::kFrame);
    ASSERT_EQ(frames.size(), 2u);
    EXPECT_EQ(frames[1].value, 0x41);
    EXPECT_EQ(frames[1].dataBits, 8);
    EXPECT_EQ(frames[1].stopHalfBits, 4);
    EXPECT_DOUBLE_EQ(frames[1].baud, 300.0);
    EXPECT_TRUE(CloseTo(frames[1].frameTime, kAsciiFrame));

    // A five-bit port sends only the low five bits of what it is given.
    Program(kBase, 2534, 0x04);
    clock.AdvanceTo(clock.Now() + 1s);
    Send(0xE3);
    EXPECT_EQ(recorder.Of(UartEventKind::kFrame).back().value, 0x03);
}

TEST_F(EmulatedUartTest, HoldingAndShiftRegistersShowInLineStatus) {
    Program(kBase, 2534, 0x04);
    EXPECT_EQ(Lsr(), uart::kLsrThre | uart::kLsrTemt);

    const TimePoint t0 = kStart + 1s;
    clock.AdvanceTo(t0);
    Send(0x01);  // straight into the shift register: holding register still free
    EXPECT_EQ(Lsr(), uart::kLsrThre);
    clock.AdvanceTo(t0 + 10ms);
    Send(0x02);  // waits in the holding register
    EXPECT_EQ(Lsr(), 0);
    clock.AdvanceTo(t0 + kBaudotFrame - 1us);
    EXPECT_EQ(Lsr(), 0);
    clock.AdvanceTo(t0 + kBaudotFrame + 1us);
    EXPECT_EQ(Lsr(), uart::kLsrThre);
    clock.AdvanceTo(t0 + 2 * kBaudotFrame - 1us);
    EXPECT_EQ(Lsr(), uart::kLsrThre);
    clock.AdvanceTo(t0 + 2 * kBaudotFrame + 1us);
    EXPECT_EQ(Lsr(), uart::kLsrThre | uart::kLsrTemt);
    EXPECT_EQ(port.overruns(), 0u);
}

TEST_F(EmulatedUartTest, HeldCharacterStartsExactlyOneFrameLater) {
    Program(kBase, 2534, 0x04);
    const TimePoint t0 = kStart + 250ms;
    clock.AdvanceTo(t0);
    Send(0x1F);
    clock.AdvanceTo(t0 + 30ms);
    Send(0x08);
    // Nobody looks until long after the hand-over; the second frame still
    // carries the moment it really began.
    clock.AdvanceTo(t0 + kBaudotFrame * 3 / 2);
    EXPECT_EQ(Lsr(), uart::kLsrThre);

    const auto frames = recorder.Of(UartEventKind::kFrame);
    ASSERT_EQ(frames.size(), 2u);
    EXPECT_EQ(frames[0].time, t0);
    EXPECT_EQ(frames[1].value, 0x08);
    EXPECT_EQ(frames[1].time, frames[0].time + frames[0].frameTime);
    EXPECT_TRUE(CloseTo(frames[1].time - t0, kBaudotFrame));
    for (std::size_t i = 1; i < recorder.events.size(); ++i)
        EXPECT_LE(recorder.events[i - 1].time, recorder.events[i].time) << "event " << i;
}

TEST_F(EmulatedUartTest, CharactersWrittenOnThreGoOutWithoutGaps) {
    Program(kBase, 2534, 0x04);
    std::mt19937 random(4545);
    std::uniform_int_distribution<long long> lateness(0, duration_cast<nanoseconds>(kBaudotFrame).count() / 2);

    int written = 0;
    while (written < 500) {
        if (Lsr() & uart::kLsrThre) {
            Send(static_cast<std::uint8_t>(written & 0x1F));
            ++written;
            continue;
        }
        const TimePoint wake = port.NextChange(kBase + uart::kLsr);
        ASSERT_GT(wake, clock.Now());
        // A busy station looks in a little late, but within a character.
        clock.AdvanceTo(wake + nanoseconds(lateness(random)));
    }
    clock.AdvanceTo(port.IdleAt());
    port.Sync();

    const auto frames = recorder.Of(UartEventKind::kFrame);
    ASSERT_EQ(frames.size(), 500u);
    for (std::size_t i = 1; i < frames.size(); ++i) {
        ASSERT_EQ(frames[i].time, frames[i - 1].time + frames[i - 1].frameTime) << "gap before frame " << i;
        ASSERT_EQ(frames[i].value, i & 0x1F);
    }
    EXPECT_TRUE(CloseTo(frames.back().time + frames.back().frameTime - frames.front().time, 500 * kBaudotFrame));
    EXPECT_EQ(port.overruns(), 0u);
    EXPECT_EQ(port.frames(), 500u);
    EXPECT_EQ(Lsr(), uart::kLsrThre | uart::kLsrTemt);
}

TEST_F(EmulatedUartTest, NextChangeTellsWhenLineStatusChanges) {
    Program(kBase, 2534, 0x04);
    const TimePoint t0 = kStart + 2s;
    clock.AdvanceTo(t0);
    EXPECT_LE(port.NextChange(kBase + uart::kLsr), clock.Now());  // idle: read again now
    EXPECT_LE(port.IdleAt(), clock.Now());

    Send(0x01);
    EXPECT_TRUE(CloseTo(port.NextChange(kBase + uart::kLsr) - t0, kBaudotFrame));  // TEMT then
    Send(0x02);
    const TimePoint firstEnd = port.NextChange(kBase + uart::kLsr);
    EXPECT_TRUE(CloseTo(firstEnd - t0, kBaudotFrame));  // THRE then
    EXPECT_TRUE(CloseTo(port.IdleAt() - t0, 2 * kBaudotFrame));
    EXPECT_EQ(port.NextChange(kBase + uart::kLcr), TimePoint::max());

    clock.AdvanceTo(firstEnd - 1ns);
    EXPECT_EQ(Lsr(), 0);
    clock.AdvanceTo(firstEnd);
    EXPECT_EQ(Lsr(), uart::kLsrThre);
    EXPECT_TRUE(CloseTo(port.NextChange(kBase + uart::kLsr) - t0, 2 * kBaudotFrame));
}

TEST_F(EmulatedUartTest, FormatAndSpeedAreTakenWhenTheFrameStarts) {
    Program(kBase, 2534, 0x04);
    const TimePoint t0 = kStart + 1s;
    clock.AdvanceTo(t0);
    Send(0x1F);
    Send(0x41);  // held
    Program(kBase, 384, 0x07);  // reprogrammed while the first frame shifts
    clock.AdvanceTo(t0 + 1s);
    Lsr();

    const auto frames = recorder.Of(UartEventKind::kFrame);
    ASSERT_EQ(frames.size(), 2u);
    EXPECT_EQ(frames[0].dataBits, 5);
    EXPECT_EQ(frames[0].divisor, 2534u);
    EXPECT_TRUE(CloseTo(frames[1].time - t0, kBaudotFrame));
    EXPECT_EQ(frames[1].dataBits, 8);
    EXPECT_EQ(frames[1].stopHalfBits, 4);
    EXPECT_EQ(frames[1].divisor, 384u);
    EXPECT_TRUE(CloseTo(frames[1].frameTime, kAsciiFrame));
}

TEST_F(EmulatedUartTest, WriteIntoFullHoldingRegisterOverwritesIt) {
    Program(kBase, 2534, 0x04);
    Send(0x01);
    Send(0x02);
    Send(0x03);
    EXPECT_EQ(port.overruns(), 1u);
    clock.AdvanceTo(kStart + 1s);
    port.Sync();
    const auto frames = recorder.Of(UartEventKind::kFrame);
    ASSERT_EQ(frames.size(), 2u);
    EXPECT_EQ(frames[0].value, 0x01);
    EXPECT_EQ(frames[1].value, 0x03);
}

TEST_F(EmulatedUartTest, ModemControlLinesAreLabelledThroughTheStationsMasks) {
    LineMasks masks{uart::kMcrRts, uart::kMcrDtr};
    port.SetLineMasks([&masks] { return masks; });

    port.Out(kBase + uart::kMcr, 0x02);
    port.Out(kBase + uart::kMcr, 0x03);
    port.Out(kBase + uart::kMcr, 0x01);
    masks = LineMasks{uart::kMcrDtr, uart::kMcrRts};  // operator swapped the lines
    port.Out(kBase + uart::kMcr, 0x02);
    port.Out(kBase + uart::kMcr, 0x00);

    const auto mcr = recorder.Of(UartEventKind::kMcr);
    ASSERT_EQ(mcr.size(), 5u);
    const bool expectedKey[] = {true, true, false, false, false};
    const bool expectedPower[] = {false, true, true, true, false};
    for (std::size_t i = 0; i < mcr.size(); ++i) {
        EXPECT_EQ(mcr[i].keyOn, expectedKey[i]) << "write " << i;
        EXPECT_EQ(mcr[i].powerOn, expectedPower[i]) << "write " << i;
        EXPECT_EQ(mcr[i].base, kBase);
    }
    EXPECT_EQ(mcr[0].value, 0x02);

    // Loop-back and the other bits read back as written, so the station can
    // find a port left in loop-back mode.
    port.Out(kBase + uart::kMcr, 0x13);
    EXPECT_EQ(port.In(kBase + uart::kMcr), 0x13);
    EXPECT_EQ(port.In(kBase + uart::kMcr) & uart::kMcrLoop, uart::kMcrLoop);

    port.Out(kBase + uart::kIer, 0x00);
    EXPECT_EQ(recorder.events.back().kind, UartEventKind::kIer);
    EXPECT_EQ(port.In(kBase + uart::kIer), 0x00);
    // Registers the station does not use.
    EXPECT_EQ(port.In(kBase + 2), 0xFF);
    EXPECT_EQ(port.In(kBase + 6), 0xFF);
    EXPECT_EQ(port.In(kBase + 7), 0xFF);
}

TEST(EmulatedUartDefaults, KeyOnDtrPowerOnRtsWithoutMasks) {
    SimulatedClock clock(kStart);
    EmulatedPortIo port(clock);
    Recorder recorder;
    port.AddObserver(&recorder);
    port.Out(0x3F8 + uart::kMcr, uart::kMcrDtr);
    port.Out(0x3F8 + uart::kMcr, uart::kMcrRts);
    ASSERT_EQ(recorder.events.size(), 2u);
    EXPECT_TRUE(recorder.events[0].keyOn);
    EXPECT_FALSE(recorder.events[0].powerOn);
    EXPECT_FALSE(recorder.events[1].keyOn);
    EXPECT_TRUE(recorder.events[1].powerOn);
}

TEST_F(EmulatedUartTest, BreakEventsFollowTheBreakBit) {
    port.Out(kBase + uart::kLcr, 0x04);
    clock.AdvanceTo(kStart + 1s);
    port.Out(kBase + uart::kLcr, 0x40);
    clock.AdvanceTo(kStart + 2s);
    port.Out(kBase + uart::kLcr, 0x44);  // still in break
    clock.AdvanceTo(kStart + 3s);
    port.Out(kBase + uart::kLcr, 0x00);
    port.Out(kBase + uart::kLcr, 0x04);

    const auto breaks = recorder.Of(UartEventKind::kBreak);
    ASSERT_EQ(breaks.size(), 2u);
    EXPECT_TRUE(breaks[0].breakOn);
    EXPECT_EQ(breaks[0].time, kStart + 1s);
    EXPECT_FALSE(breaks[1].breakOn);
    EXPECT_EQ(breaks[1].time, kStart + 3s);
    EXPECT_EQ(recorder.Of(UartEventKind::kLcr).size(), 5u);
    EXPECT_TRUE(recorder.Of(UartEventKind::kDivisor).empty());
}

TEST_F(EmulatedUartTest, EachBaseIsItsOwnChipAndEventsStayInTimeOrder) {
    constexpr std::uint16_t kA = 0x3E8, kB = 0x3E0;
    Program(kA, 2534, 0x04);
    Program(kB, 384, 0x07);
    EXPECT_EQ(port.In(kA + uart::kLcr), 0x04);
    EXPECT_EQ(port.In(kB + uart::kLcr), 0x07);

    const TimePoint t0 = kStart + 1s;
    clock.AdvanceTo(t0);
    Send(0x01, kA);
    Send(0x02, kA);  // held on A until t0 + 165 ms
    EXPECT_EQ(Lsr(kB), uart::kLsrThre | uart::kLsrTemt);
    clock.AdvanceTo(t0 + 100ms);
    Send(0x41, kB);
    Send(0x42, kB);  // held on B until t0 + 136.7 ms
    clock.AdvanceTo(t0 + 400ms);
    Lsr(kA);

    const auto frames = recorder.Of(UartEventKind::kFrame);
    ASSERT_EQ(frames.size(), 4u);
    EXPECT_EQ(frames[0].base, kA);
    EXPECT_EQ(frames[1].base, kB);
    EXPECT_EQ(frames[2].base, kB);  // B's held character started before A's
    EXPECT_EQ(frames[2].value, 0x42);
    EXPECT_EQ(frames[3].base, kA);
    EXPECT_EQ(frames[3].value, 0x02);
    EXPECT_TRUE(CloseTo(frames[2].time - t0, 100ms + kAsciiFrame));
    EXPECT_TRUE(CloseTo(frames[3].time - t0, kBaudotFrame));
    for (std::size_t i = 1; i < recorder.events.size(); ++i)
        EXPECT_LE(recorder.events[i - 1].time, recorder.events[i].time) << "event " << i;
}

// ---- the line trace ----

std::filesystem::path ScratchDir() {
    const auto* info = ::testing::UnitTest::GetInstance()->current_test_info();
    auto dir = std::filesystem::temp_directory_path() /
               ("skedcast-" + std::string(info->name()) + "-" + std::to_string(::getpid()));
    std::filesystem::remove_all(dir);
    std::filesystem::create_directories(dir);
    return dir;
}

std::vector<std::vector<std::string>> ReadTrace(const std::filesystem::path& file) {
    std::ifstream in(file);
    std::vector<std::vector<std::string>> lines;
    std::string line;
    while (std::getline(in, line)) {
        std::vector<std::string> fields;
        std::stringstream fieldStream(line);
        std::string field;
        while (std::getline(fieldStream, field, '\t')) fields.push_back(field);
        lines.push_back(fields);
    }
    return lines;
}

TEST_F(EmulatedUartTest, TraceWriterWritesOneTabSeparatedLinePerEvent) {
    const auto dir = ScratchDir();
    const auto file = dir / "uart.trace";
    {
        UartTraceWriter trace(file.string());
        port.AddObserver(&trace);
        LineMasks masks{uart::kMcrRts, uart::kMcrDtr};
        port.SetLineMasks([&masks] { return masks; });

        port.Out(kBase + uart::kLcr, 0x84);
        port.Out(kBase + uart::kIer, 0x09);
        port.Out(kBase + uart::kThr, 0xE6);
        port.Out(kBase + uart::kLcr, 0x04);
        port.Out(kBase + uart::kIer, 0x00);
        port.Out(kBase + uart::kMcr, 0x02);
        clock.AdvanceTo(kStart + 1234ms);
        Send(0x1F);
        clock.AdvanceTo(kStart + 2s);
        port.Out(kBase + uart::kLcr, 0x44);
        port.Out(kBase + uart::kLcr, 0x04);
        Program(0x3E8, 384, 0x07);
        port.Out(0x3E8 + uart::kThr, 0x41);
        port.Out(0x260 + uart::kMcr, 0x01);

        // Every line is on disk as soon as it happens.
        const auto early = ReadTrace(file);
        ASSERT_EQ(early.size(), 15u);
        EXPECT_EQ(early.back()[2], "mcr");
    }

    const auto lines = ReadTrace(file);
    const std::vector<std::vector<std::string>> expected = {
        {"0x2F8", "lcr", "0x84"},
        {"0x2F8", "lcr", "0x04"},
        {"0x2F8", "divisor", "2534"},
        {"0x2F8", "ier", "0x00"},
        {"0x2F8", "mcr", "0x02 key=ON power=OFF"},
        {"0x2F8", "frame", "0x1F bits=5 stop=1.5 baud=45.46"},
        {"0x2F8", "lcr", "0x44"},
        {"0x2F8", "break", "ON"},
        {"0x2F8", "lcr", "0x04"},
        {"0x2F8", "break", "OFF"},
        {"0x3E8", "lcr", "0x87"},
        {"0x3E8", "lcr", "0x07"},
        {"0x3E8", "divisor", "384"},
        {"0x3E8", "frame", "0x41 bits=8 stop=2 baud=300.00"},
        {"0x260", "mcr", "0x01 key=OFF power=ON"},
    };
    ASSERT_EQ(lines.size(), expected.size());
    const std::regex stamp(R"(\d{4}-\d\d-\d\d \d\d:\d\d:\d\d\.\d{3})");
    for (std::size_t i = 0; i < lines.size(); ++i) {
        ASSERT_EQ(lines[i].size(), 4u) << "line " << i;
        EXPECT_TRUE(std::regex_match(lines[i][0], stamp)) << lines[i][0];
        EXPECT_EQ(std::vector<std::string>(lines[i].begin() + 1, lines[i].end()), expected[i]) << "line " << i;
    }
    EXPECT_EQ(lines[0][0], LocalStamp(kStart));
    EXPECT_EQ(lines[5][0], LocalStamp(kStart + 1234ms));
    EXPECT_EQ(lines[5][0].substr(lines[5][0].size() - 4), ".234");  // the start bit's moment
    EXPECT_EQ(lines[7][0], LocalStamp(kStart + 2s));

    // Appending keeps what is there.
    {
        UartTraceWriter trace(file.string(), true);
        UartEvent event;
        event.kind = UartEventKind::kBreak;
        event.base = 0x2E0;
        event.time = kStart;
        trace.OnUartEvent(event);
        EXPECT_TRUE(trace.error().empty());
    }
    const auto appended = ReadTrace(file);
    ASSERT_EQ(appended.size(), expected.size() + 1);
    EXPECT_EQ(appended.back()[1], "0x2E0");
    EXPECT_EQ(appended.back()[3], "OFF");
    std::filesystem::remove_all(dir);
}

TEST(UartTraceWriterErrors, UnwritableFileIsNamedWithTheReason) {
    const std::string path = "/nonexistent-skedcast-dir/uart.trace";
    try {
        UartTraceWriter trace(path);
        FAIL() << "opened " << path;
    } catch (const std::runtime_error& e) {
        EXPECT_NE(std::string(e.what()).find(path), std::string::npos) << e.what();
        EXPECT_NE(std::string(e.what()).find(std::strerror(ENOENT)), std::string::npos) << e.what();
    }
}

}  // namespace
}  // namespace sked
