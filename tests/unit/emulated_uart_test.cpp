// The 16550 model, the emulated port made of it and its line trace, and the
// line-speed pacing that every serial back end takes from the model.
#include <algorithm>
#include <cerrno>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <functional>
#include <iterator>
#include <memory>
#include <random>
#include <stdexcept>
#include <string>
#include <utility>
#include <vector>

#include <unistd.h>

#include <gtest/gtest.h>

#include "platform/emulated_uart.h"
#include "platform/ioports_port.h"
#include "platform/simulated_event_loop.h"
#include "platform/tty_port.h"
#include "platform/uart_16550.h"
#include "platform/uart_trace_writer.h"

namespace sked {
namespace {

using namespace std::chrono;

constexpr std::uint16_t kBase = 0x2F8;
constexpr std::uint16_t kLsr = kBase + uart::kLsr;
constexpr std::uint8_t kThre = uart::kLsrThre;
constexpr std::uint8_t kIdle = uart::kLsrThre | uart::kLsrTemt;
const TimePoint kStart = sys_days{2024y / March / 1} + 12h;

void ProgramPort(PortIo& port, std::uint16_t base, unsigned divisor, std::uint8_t lcr) {
    port.Out(base + uart::kLcr, static_cast<std::uint8_t>(uart::kLcrDlab | lcr));
    port.Out(base + uart::kIer, static_cast<std::uint8_t>(divisor >> 8));
    port.Out(base + uart::kThr, static_cast<std::uint8_t>(divisor & 0xFF));
    port.Out(base + uart::kLcr, lcr);
}

TEST(UartFrameTime, FollowsWordLengthStopBitsParityAndDivisor) {
    const struct {
        unsigned divisor;
        std::uint8_t lcr;
        double bits;     // start to end of the stop bits
        double seconds;  // one bit
    } cases[] = {
        {2534, 0x04, 7.5, 2534 / 115200.0},    // Baudot at 45.45 baud: 5 bits, 1.5 stop bits
        {2304, 0x04, 7.5, 1 / 50.0},           // 50 baud
        {2534, 0x00, 7.0, 2534 / 115200.0},    // one stop bit
        {1047, 0x03, 10.0, 1047 / 115200.0},   // ASCII 8N1 at 110 baud
        {1047, 0x07, 11.0, 1047 / 115200.0},   // two stop bits
        {1047, 0x0B, 11.0, 1047 / 115200.0},   // odd parity
        {1047, 0x1F, 12.0, 1047 / 115200.0},   // even parity, two stop bits
        {12, 0x06, 10.0, 1 / 9600.0},          // 7 bits, 2 stop bits at 9600 baud
        {0, 0x03, 10.0, 65536 / 115200.0},     // divisor 0 counts as 65536, as on the chip
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(testing::Message() << "divisor " << c.divisor << " lcr " << int(c.lcr));
        EXPECT_NEAR(duration<double>(BitTime(c.divisor)).count(), c.seconds, 1e-9);
        EXPECT_NEAR(duration<double>(FrameTime(c.divisor, c.lcr)).count(), c.bits * c.seconds, 1e-9);
        EXPECT_NEAR(BaudOf(c.divisor), 1 / c.seconds, 1e-6);
    }
}

// ---- The transmitter of one chip, step by step ----

// A moment of a script: whole frames of the case's format from the start, plus a little.
struct At {
    int frames = 0;
    Duration plus{};
    TimePoint In(Duration frame) const { return kStart + frames * frame + plus; }
};

struct Step {
    enum Op { kSend, kProgram, kExpect } op;
    At at;
    unsigned value = 0;    // kSend: the code; kProgram: the divisor; kExpect: the LSR
    std::uint8_t lcr = 0;  // kProgram
    At next{};             // kExpect: when the LSR next changes
};
Step Send(At at, unsigned code) { return {Step::kSend, at, code}; }
Step Program(At at, unsigned divisor, std::uint8_t lcr) { return {Step::kProgram, at, divisor, lcr}; }
Step Expect(At at, std::uint8_t lsr, At next) { return {Step::kExpect, at, lsr, 0, next}; }

struct Frame {
    At start;
    std::uint8_t value;  // the data bits on the line
    unsigned divisor;
    std::uint8_t lcr;
};

TEST(Uart16550, TransmitterTimesHoldingAndShiftRegistersAtLineSpeed) {
    constexpr std::uint8_t kBaudot = 0x04, kAscii = 0x03;
    const struct {
        const char* name;
        unsigned divisor;
        std::uint8_t lcr;
        std::vector<Step> steps;
        std::vector<Frame> frames;
        std::uint64_t overruns;
    } cases[] = {
        {"one goes straight into the shift register, the next is held; THRE when the first ends, TEMT when "
         "the second does",
         2534, kBaudot,
         {Expect({0}, kIdle, {0}), Send({0}, 0xE3), Expect({0}, kThre, {1}), Send({0, 30ms}, 0x02),
          Expect({0, 30ms}, 0, {1}), Expect({1, -1ns}, 0, {1}), Expect({1}, kThre, {2}),
          Expect({2, -1ns}, kThre, {2}), Expect({2}, kIdle, {2})},
         {{{0}, 0x03, 2534, kBaudot}, {{1}, 0x02, 2534, kBaudot}},  // five bits of 0xE3 on the line
         0},
        {"looked at late, the held character still began the moment the first ended", 1047, kAscii,
         {Send({0}, 'A'), Send({0, 1ms}, 'B'), Expect({5, 7ms}, kIdle, {5, 7ms})},
         {{{0}, 'A', 1047, kAscii}, {{1}, 'B', 1047, kAscii}},
         0},
        {"a third character while one is held overruns it", 1047, kAscii,
         {Send({0}, 1), Send({0, 1ms}, 2), Send({0, 2ms}, 3), Expect({0, 2ms}, 0, {1})},
         {{{0}, 1, 1047, kAscii}, {{1}, 3, 1047, kAscii}},
         1},
        {"on an idle line a character starts when written", 1047, kAscii,
         {Send({0}, 1), Expect({2}, kIdle, {2}), Send({3, 5ms}, 2), Expect({3, 5ms}, kThre, {4, 5ms})},
         {{{0}, 1, 1047, kAscii}, {{3, 5ms}, 2, 1047, kAscii}},
         0},
        {"divisor 0 sends at 1.76 baud, not at once", 0, kAscii,
         {Send({0}, 0x55), Expect({1, -1ns}, kThre, {1}), Expect({1}, kIdle, {1})},
         {{{0}, 0x55, 0, kAscii}},
         0},
        {"a held character takes the speed and format in effect when it starts", 2534, kBaudot,
         {Send({0}, 0x1F), Send({0}, 0x41), Program({0, 1ms}, 384, 0x07), Expect({0, 2ms}, 0, {1})},
         {{{0}, 0x1F, 2534, kBaudot}, {{1}, 0x41, 384, 0x07}},
         0},
        {"a time earlier than one already seen counts as that one", 1047, kAscii,
         {Send({0}, 1), Send({0, 10ms}, 2), Expect({0, -3h}, 0, {1}), Expect({1}, kThre, {2})},
         {{{0}, 1, 1047, kAscii}, {{1}, 2, 1047, kAscii}},
         0},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        std::vector<UartEvent> frames;
        Uart16550 chip(kBase, [&](const UartEvent& e) {
            if (e.kind == UartEventKind::kFrame) frames.push_back(e);
        });
        const Duration frame = FrameTime(c.divisor, c.lcr);
        const auto program = [&](TimePoint t, unsigned divisor, std::uint8_t lcr) {
            chip.Write(uart::kLcr, static_cast<std::uint8_t>(uart::kLcrDlab | lcr), t);
            chip.Write(uart::kThr, static_cast<std::uint8_t>(divisor & 0xFF), t);
            chip.Write(uart::kIer, static_cast<std::uint8_t>(divisor >> 8), t);
            chip.Write(uart::kLcr, lcr, t);
        };
        program(kStart, c.divisor, c.lcr);
        for (std::size_t i = 0; i < c.steps.size(); ++i) {
            const Step& s = c.steps[i];
            const TimePoint t = s.at.In(frame);
            switch (s.op) {
            case Step::kSend: chip.Write(uart::kThr, static_cast<std::uint8_t>(s.value), t); break;
            case Step::kProgram: program(t, s.value, s.lcr); break;
            case Step::kExpect:
                EXPECT_EQ(chip.Read(uart::kLsr, t), s.value) << "step " << i;
                EXPECT_EQ(chip.NextChange(uart::kLsr, t), s.next.In(frame)) << "step " << i;
                break;
            }
        }
        chip.AdvanceTo(kStart + 1000 * frame);
        ASSERT_EQ(frames.size(), c.frames.size());
        for (std::size_t i = 0; i < frames.size(); ++i) {
            const UartEvent& got = frames[i];
            const Frame& want = c.frames[i];
            EXPECT_EQ(got.time, want.start.In(frame)) << "frame " << i;
            EXPECT_EQ(got.value, want.value) << "frame " << i;
            EXPECT_EQ(std::pair(got.divisor, got.lcr), std::pair(want.divisor, want.lcr)) << "frame " << i;
            EXPECT_EQ(got.frameTime, FrameTime(want.divisor, want.lcr)) << "frame " << i;
        }
        EXPECT_EQ(chip.overruns(), c.overruns);
        EXPECT_EQ(chip.frames(), c.frames.size());
    }
}

TEST(Uart16550, RegistersReadBackAsOnTheChip) {
    using Writes = std::vector<std::pair<std::uint16_t, std::uint8_t>>;
    const struct {
        const char* what;
        Writes writes;
        std::uint16_t offset;
        std::uint8_t expected;
    } cases[] = {
        {"divisor latch, low byte", {{3, 0x80}, {0, 0xE6}, {1, 0x09}}, 0, 0xE6},
        {"divisor latch, high byte", {{3, 0x80}, {0, 0xE6}, {1, 0x09}}, 1, 0x09},
        {"latch closed: nothing received", {{3, 0x80}, {0, 0xE6}, {3, 0x03}}, 0, 0x00},
        {"latch closed: IER, four bits", {{3, 0x80}, {1, 0x09}, {3, 0x03}, {1, 0xFF}}, 1, 0x0F},
        {"no interrupt pending", {}, 2, 0x01},
        {"FIFOs enabled", {{2, 0x07}}, 2, 0xC1},
        {"MCR, five bits", {{4, 0xFF}}, 4, 0x1F},
        {"LSR ignores writes", {{5, 0x00}}, 5, kIdle},
        {"no modem inputs", {{4, 0x0F}}, 6, 0x00},
        {"loop-back: DTR comes back as DSR", {{4, 0x11}}, 6, 0x20},
        {"loop-back: RTS comes back as CTS", {{4, 0x12}}, 6, 0x10},
        {"loop-back: OUT1 comes back as RI", {{4, 0x14}}, 6, 0x40},
        {"loop-back: OUT2 comes back as DCD", {{4, 0x18}}, 6, 0x80},
        {"scratch", {{7, 0x5A}}, 7, 0x5A},
    };
    for (const auto& c : cases) {
        Uart16550 chip;
        for (auto [offset, value] : c.writes) chip.Write(offset, value, kStart);
        EXPECT_EQ(chip.Read(c.offset, kStart), c.expected) << c.what;
        EXPECT_EQ(chip.frames(), 0u) << c.what << ": the divisor went out as a character";
    }
}

// ---- The emulated port ----

class EmulatedUartTest : public ::testing::Test, public UartObserver {
protected:
    void SetUp() override { port.AddObserver(this); }
    void OnUartEvent(const UartEvent& event) override { events.push_back(event); }
    std::vector<UartEvent> Of(UartEventKind kind) const {
        std::vector<UartEvent> out;
        std::copy_if(events.begin(), events.end(), std::back_inserter(out), [&](auto& e) { return e.kind == kind; });
        return out;
    }
    void Program(std::uint16_t base, unsigned divisor, std::uint8_t lcr) { ProgramPort(port, base, divisor, lcr); }
    std::uint8_t Lsr() { return port.In(kLsr); }
    void Send(std::uint8_t code, std::uint16_t base = kBase) { port.Out(base + uart::kThr, code); }

    SimulatedClock clock{kStart};
    EmulatedPortIo port{clock};
    std::vector<UartEvent> events;
};

TEST_F(EmulatedUartTest, StationPollingOnNextChangeSendsWithoutGaps) {
    Program(kBase, 2534, 0x04);
    const Duration frame = FrameTime(2534, 0x04);
    std::mt19937 random(4545);
    std::uniform_int_distribution<long long> lateness(0, duration_cast<nanoseconds>(frame).count() / 2);
    for (int written = 0; written < 300;) {
        if (Lsr() & uart::kLsrThre) {
            Send(static_cast<std::uint8_t>(written++ & 0x1F));
            continue;
        }
        const TimePoint wake = port.NextChange(kLsr);
        ASSERT_GT(wake, clock.Now());
        clock.AdvanceTo(wake + nanoseconds(lateness(random)));  // a busy station looks in a little late
    }
    EXPECT_EQ(port.IdleAt(), kStart + 300 * frame);
    clock.AdvanceTo(port.IdleAt());
    port.Sync();
    const auto frames = Of(UartEventKind::kFrame);
    ASSERT_EQ(frames.size(), 300u);
    for (std::size_t i = 1; i < frames.size(); ++i) {
        ASSERT_EQ(frames[i].time, frames[i - 1].time + frames[i - 1].frameTime) << "gap before frame " << i;
        ASSERT_EQ(frames[i].value, i & 0x1F);
    }
    EXPECT_EQ(port.frames(), 300u);
    EXPECT_EQ(port.overruns(), 0u);
    EXPECT_EQ(Lsr(), kIdle);
}

TEST_F(EmulatedUartTest, FramesOfSeveralPortsAreReportedInTimeOrder) {
    // The slower port has the lower address, so it comes first in any walk by address.
    Program(0x2F8, 2534, 0x04);  // 45.45 baud
    Program(0x3F8, 2304, 0x04);  // 50 baud
    for (std::uint16_t base : {0x3F8, 0x2F8}) {
        Send(0x01, base);
        Send(0x02, base);
    }
    clock.AdvanceTo(kStart + 1s);
    port.Sync();  // both held characters started long ago
    const auto frames = Of(UartEventKind::kFrame);
    ASSERT_EQ(frames.size(), 4u);
    EXPECT_EQ(frames[2].base, 0x3F8);
    EXPECT_EQ(frames[2].time, kStart + FrameTime(2304, 0x04));
    EXPECT_EQ(frames[3].base, 0x2F8);
    EXPECT_EQ(frames[3].time, kStart + FrameTime(2534, 0x04));
    EXPECT_EQ(port.IdleAt(), kStart + 1s);
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
    // "YYYY-MM-DD HH:MM:SS.mmm": the frame's start to the millisecond.
    EXPECT_EQ(lines[5].find_first_not_of("0123456789-: "), 19u) << lines[5];
    EXPECT_EQ(lines[5].substr(19, 5), ".234\t") << lines[5];
    const std::string bad = "/nonexistent-skedcast-dir/uart.trace";
    try {
        UartTraceWriter trace(bad);
        ADD_FAILURE() << "opened " << bad;
    } catch (const std::runtime_error& e) {
        EXPECT_NE(std::string(e.what()).find(bad + ": " + std::strerror(ENOENT)), std::string::npos) << e.what();
    }
}

// ---- Pacing, the same in every back end ----

// A wall clock that NTP or the operator may step back.
class SteppedClock : public Clock {
public:
    TimePoint Now() const override { return now; }
    TimePoint now = kStart;
};

struct FrameRecorder : UartObserver {
    void OnUartEvent(const UartEvent& event) override {
        if (event.kind == UartEventKind::kFrame) frames.push_back(event);
    }
    std::vector<UartEvent> frames;
};

TEST(SerialPacing, EveryBackEndHoldsTheStationToLineSpeedAndAClockSteppedBackHoldsNothingForHours) {
    const struct {
        const char* name;
        std::function<std::unique_ptr<PortIo>(const Clock&)> make;
        std::size_t problems;  // reported while it runs
    } backEnds[] = {
        {"emulated", [](const Clock& clock) { return std::make_unique<EmulatedPortIo>(clock); }, 0},
        {"ioports, access refused",
         [](const Clock& clock) {
             IoPortsPortIo::Access refused;
             refused.permit = [](std::uint16_t, unsigned) { return EPERM; };
             refused.in = [](std::uint16_t) -> std::uint8_t { throw std::logic_error("inb on a refused port"); };
             refused.out = [](std::uint16_t, std::uint8_t) { throw std::logic_error("outb on a refused port"); };
             return std::make_unique<IoPortsPortIo>(clock, refused);
         },
         1},
        {"tty, device missing",
         [](const Clock& clock) { return std::make_unique<TtyPortIo>(clock, "/nonexistent-skedcast/radio"); }, 1},
    };
    const Duration frame = FrameTime(2534, 0x04);
    for (const auto& backEnd : backEnds) {
        SCOPED_TRACE(backEnd.name);
        SteppedClock clock;
        const std::unique_ptr<PortIo> port = backEnd.make(clock);
        std::vector<std::string> problems;
        port->SetProblemReporter([&](const std::string& message) { problems.push_back(message); });
        FrameRecorder line;
        auto* emulated = dynamic_cast<EmulatedPortIo*>(port.get());
        if (emulated) emulated->AddObserver(&line);
        // As the station waits: on NextChange, which must lie ahead and never more than a frame.
        const auto waitFor = [&](std::uint8_t bit) {
            while (!(port->In(kLsr) & bit)) {
                const Duration wait = port->NextChange(kLsr) - clock.now;
                ASSERT_TRUE(wait > Duration::zero() && wait <= frame) << duration<double>(wait).count() << " s";
                clock.now += wait;
            }
        };
        const auto send = [&](int count) {
            for (int i = 0; i < count; ++i) {
                waitFor(uart::kLsrThre);
                port->Out(kBase + uart::kThr, static_cast<std::uint8_t>(i));
            }
        };

        ProgramPort(*port, kBase, 2534, 0x04);
        send(10);
        EXPECT_EQ(clock.now - kStart, 8 * frame);  // two at once (holding and shift register), then one a frame
        clock.now -= 3h;
        const TimePoint stepped = clock.now;
        send(10);
        waitFor(uart::kLsrTemt);
        EXPECT_EQ(clock.now - stepped, 12 * frame);  // the two in the chip finish, the ten follow at line speed
        EXPECT_EQ(problems.size(), backEnd.problems);

        if (!emulated) continue;
        ASSERT_EQ(line.frames.size(), 20u);  // one unbroken run across the step
        for (std::size_t i = 1; i < line.frames.size(); ++i)
            EXPECT_EQ(line.frames[i].time, line.frames[i - 1].time + frame) << "frame " << i;
    }
}

}  // namespace
}  // namespace sked
