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
#include <stdexcept>
#include <string>
#include <tuple>
#include <vector>

#include <unistd.h>

#include <gtest/gtest.h>

#include "serial/emulated_uart.h"
#include "serial/ioports_port.h"
#include "platform/simulated_event_loop.h"
#include "serial/tty_port.h"
#include "serial/uart_16550.h"
#include "serial/uart_trace_writer.h"

namespace sked {
namespace {

using namespace std::chrono;

constexpr std::uint16_t kBase = 0x2F8;
constexpr std::uint16_t kLsr = kBase + uart::kLsr;
constexpr std::uint8_t kThre = uart::kLsrThre, kIdle = uart::kLsrThre | uart::kLsrTemt;
const TimePoint kStart = sys_days{2024y / March / 1} + 12h;

// The station's way to set speed and format: latch open, divisor, latch closed with the format.
void WriteFormat(auto out, unsigned divisor, std::uint8_t lcr) {
    out(uart::kLcr, static_cast<std::uint8_t>(uart::kLcrDlab | lcr));
    out(uart::kThr, static_cast<std::uint8_t>(divisor & 0xFF));
    out(uart::kIer, static_cast<std::uint8_t>(divisor >> 8));
    out(uart::kLcr, lcr);
}
void ProgramPort(PortIo& port, std::uint16_t base, unsigned divisor, std::uint8_t lcr) {
    WriteFormat([&](std::uint16_t offset, std::uint8_t value) { port.Out(base + offset, value); }, divisor, lcr);
}

// Every event of a port, kept in order.
struct Recorder : UartObserver {
    void OnUartEvent(const UartEvent& event) override { events.push_back(event); }
    std::vector<UartEvent> Of(UartEventKind kind) const {
        std::vector<UartEvent> out;
        std::copy_if(events.begin(), events.end(), std::back_inserter(out), [&](auto& e) { return e.kind == kind; });
        return out;
    }
    std::vector<UartEvent> events;
};

TEST(UartFrameTime, FollowsWordLengthStopBitsParityAndDivisor) {
    const struct {
        unsigned divisor;
        std::uint8_t lcr;
        double bits;     // start to end of the stop bits
        double seconds;  // one bit
    } cases[] = {
        {2534, 0x04, 7.5, 2534 / 115200.0}, {2304, 0x04, 7.5, 1 / 50.0},  // Baudot, 1.5 stop bits, 45.45 and 50 baud
        {2534, 0x00, 7.0, 2534 / 115200.0},                                 // one stop bit
        {1047, 0x03, 10.0, 1047 / 115200.0}, {1047, 0x07, 11.0, 1047 / 115200.0},  // ASCII at 110 baud, 1 and 2 stop
        {1047, 0x0B, 11.0, 1047 / 115200.0}, {1047, 0x1F, 12.0, 1047 / 115200.0},  // odd; even with 2 stop bits
        {12, 0x06, 10.0, 1 / 9600.0},                                               // 7 bits, 2 stop bits
        {0, 0x03, 10.0, 65536 / 115200.0},  // divisor 0 counts as 65536, as on the chip
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(testing::Message() << "divisor " << c.divisor << " lcr " << int(c.lcr));
        EXPECT_NEAR(duration<double>(BitTime(c.divisor)).count(), c.seconds, 1e-9);
        EXPECT_NEAR(duration<double>(FrameTime(c.divisor, c.lcr)).count(), c.bits * c.seconds, 1e-9);
        EXPECT_NEAR(BaudOf(c.divisor), 1 / c.seconds, 1e-6);
    }
}

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
         {{{0}, 'A', 1047, kAscii}, {{1}, 'B', 1047, kAscii}}, 0},
        {"a third character while one is held overruns it", 1047, kAscii,
         {Send({0}, 1), Send({0, 1ms}, 2), Send({0, 2ms}, 3), Expect({0, 2ms}, 0, {1})},
         {{{0}, 1, 1047, kAscii}, {{1}, 3, 1047, kAscii}}, 1},
        {"on an idle line a character starts when written", 1047, kAscii,
         {Send({0}, 1), Expect({2}, kIdle, {2}), Send({3, 5ms}, 2), Expect({3, 5ms}, kThre, {4, 5ms})},
         {{{0}, 1, 1047, kAscii}, {{3, 5ms}, 2, 1047, kAscii}}, 0},
        {"divisor 0 sends at 1.76 baud, not at once", 0, kAscii,
         {Send({0}, 0x55), Expect({1, -1ns}, kThre, {1}), Expect({1}, kIdle, {1})}, {{{0}, 0x55, 0, kAscii}}, 0},
        {"a held character takes the speed and format in effect when it starts", 2534, kBaudot,
         {Send({0}, 0x1F), Send({0}, 0x41), Program({0, 1ms}, 384, 0x07), Expect({0, 2ms}, 0, {1})},
         {{{0}, 0x1F, 2534, kBaudot}, {{1}, 0x41, 384, 0x07}}, 0},
        {"a time earlier than one already seen counts as that one", 1047, kAscii,
         {Send({0}, 1), Send({0, 10ms}, 2), Expect({0, -3h}, 0, {1}), Expect({1}, kThre, {2})},
         {{{0}, 1, 1047, kAscii}, {{1}, 2, 1047, kAscii}}, 0},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        Recorder line;
        Uart16550 chip(kBase, [&](const UartEvent& e) { line.OnUartEvent(e); });
        const Duration frame = FrameTime(c.divisor, c.lcr);
        const auto program = [&](TimePoint t, unsigned divisor, std::uint8_t lcr) {
            WriteFormat([&](std::uint16_t offset, std::uint8_t value) { chip.Write(offset, value, t); }, divisor, lcr);
        };
        program(kStart, c.divisor, c.lcr);
        for (std::size_t i = 0; i < c.steps.size(); ++i) {
            const Step& s = c.steps[i];
            const TimePoint t = s.at.In(frame);
            if (s.op == Step::kSend) chip.Write(uart::kThr, static_cast<std::uint8_t>(s.value), t);
            if (s.op == Step::kProgram) program(t, s.value, s.lcr);
            if (s.op != Step::kExpect) continue;
            EXPECT_EQ(chip.Read(uart::kLsr, t), s.value) << "step " << i;
            EXPECT_EQ(chip.NextChange(uart::kLsr, t), s.next.In(frame)) << "step " << i;
        }
        chip.AdvanceTo(kStart + 1000 * frame);
        const auto frames = line.Of(UartEventKind::kFrame);
        ASSERT_EQ(frames.size(), c.frames.size());
        for (std::size_t i = 0; i < frames.size(); ++i) {
            const UartEvent& got = frames[i];
            const Frame& want = c.frames[i];
            EXPECT_EQ(std::tuple(got.time, got.value, got.divisor, got.lcr, got.frameTime),
                      std::tuple(want.start.In(frame), want.value, want.divisor, want.lcr,
                                 FrameTime(want.divisor, want.lcr)))
                << "frame " << i;
        }
        EXPECT_EQ(chip.overruns(), c.overruns);
        EXPECT_EQ(chip.frames(), c.frames.size());
    }
}

TEST(Uart16550, RegistersReadBackAsOnTheChip) {
    const struct {
        const char* what;
        std::vector<std::pair<std::uint16_t, std::uint8_t>> writes;
        std::uint16_t offset;
        std::uint8_t expected;
    } cases[] = {
        {"divisor latch, low byte", {{3, 0x80}, {0, 0xE6}, {1, 0x09}}, 0, 0xE6},
        {"divisor latch, high byte", {{3, 0x80}, {0, 0xE6}, {1, 0x09}}, 1, 0x09},
        {"latch closed: nothing received", {{3, 0x80}, {0, 0xE6}, {3, 0x03}}, 0, 0x00},
        {"latch closed: IER, four bits", {{3, 0x80}, {1, 0x09}, {3, 0x03}, {1, 0xFF}}, 1, 0x0F},
        {"no interrupt pending", {}, 2, 0x01}, {"FIFOs enabled", {{2, 0x07}}, 2, 0xC1},
        {"MCR, five bits", {{4, 0xFF}}, 4, 0x1F}, {"LSR ignores writes", {{5, 0x00}}, 5, kIdle},
        {"no modem inputs", {{4, 0x0F}}, 6, 0x00}, {"scratch", {{7, 0x5A}}, 7, 0x5A},
        {"loop-back: DTR as DSR", {{4, 0x11}}, 6, 0x20}, {"loop-back: RTS as CTS", {{4, 0x12}}, 6, 0x10},
        {"loop-back: OUT1 as RI", {{4, 0x14}}, 6, 0x40}, {"loop-back: OUT2 as DCD", {{4, 0x18}}, 6, 0x80},
    };
    for (const auto& c : cases) {
        Uart16550 chip;
        for (auto [offset, value] : c.writes) chip.Write(offset, value, kStart);
        EXPECT_EQ(chip.Read(c.offset, kStart), c.expected) << c.what;
        EXPECT_EQ(chip.frames(), 0u) << c.what << ": the divisor went out as a character";
    }
}

class EmulatedUartTest : public ::testing::Test {
protected:
    void SetUp() override { port.AddObserver(&line); }
    void Program(std::uint16_t base, unsigned divisor, std::uint8_t lcr) { ProgramPort(port, base, divisor, lcr); }
    void Send(std::uint8_t code, std::uint16_t base = kBase) { port.Out(base + uart::kThr, code); }

    SimulatedClock clock{kStart};
    EmulatedPortIo port{clock};
    Recorder line;
};

TEST_F(EmulatedUartTest, FramesOfSeveralPortsAreReportedInTimeOrder) {
    // The slower port has the lower address, so it comes first in any walk by address.
    Program(0x2F8, 2534, 0x04);  // 45.45 baud
    Program(0x3F8, 2304, 0x04);  // 50 baud
    for (std::uint16_t base : {0x3F8, 0x3F8, 0x2F8, 0x2F8}) Send(0x01, base);
    clock.AdvanceTo(kStart + 1s);
    port.Sync();  // both held characters started long ago
    const auto frames = line.Of(UartEventKind::kFrame);
    ASSERT_EQ(frames.size(), 4u);
    EXPECT_EQ(std::pair(frames[2].base, frames[2].time), std::pair(std::uint16_t{0x3F8}, kStart + FrameTime(2304, 4)));
    EXPECT_EQ(std::pair(frames[3].base, frames[3].time), std::pair(std::uint16_t{0x2F8}, kStart + FrameTime(2534, 4)));
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
    const auto mcr = line.Of(UartEventKind::kMcr);
    ASSERT_EQ(mcr.size(), std::size(writes));
    for (std::size_t i = 0; i < mcr.size(); ++i)
        EXPECT_EQ(std::pair(mcr[i].keyOn, mcr[i].powerOn), std::pair(writes[i].key, writes[i].power)) << "write " << i;
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
    UartTraceWriter(file.string(), true).OnUartEvent(line.Of(UartEventKind::kBreak)[1]);
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

// A wall clock that NTP or the operator may step back.
struct SteppedClock : Clock {
    TimePoint Now() const override { return now; }
    TimePoint now = kStart;
};

TEST(SerialPacing, EveryBackEndHoldsTheStationToLineSpeedAndAClockSteppedBackHoldsNothingForHours) {
    const struct {
        const char* name;
        std::function<std::unique_ptr<PortIo>(const Clock&)> make;
        int problems;  // reported while it runs
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
        int problems = 0;
        port->SetProblemReporter([&](const std::string&) { ++problems; });
        Recorder line;
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
        ProgramPort(*port, kBase, 2534, 0x04);
        TimePoint stepped{};
        for (int i = 0; i < 20; ++i) {
            if (i == 10) {  // two went at once (holding and shift register), then one a frame
                EXPECT_EQ(clock.now - kStart, 8 * frame);
                if (emulated) { EXPECT_EQ(emulated->IdleAt(), kStart + 10 * frame); }
                stepped = clock.now -= 3h;
            }
            waitFor(uart::kLsrThre);
            port->Out(kBase + uart::kThr, static_cast<std::uint8_t>(i));
        }
        waitFor(uart::kLsrTemt);
        EXPECT_EQ(clock.now - stepped, 12 * frame);  // the two in the chip finish, the ten follow at line speed
        EXPECT_EQ(problems, backEnd.problems);
        if (!emulated) continue;
        const auto frames = line.Of(UartEventKind::kFrame);
        ASSERT_EQ(frames.size(), 20u);  // one unbroken run across the step, nothing overrun
        for (std::size_t i = 1; i < frames.size(); ++i)
            EXPECT_EQ(std::pair(frames[i].time, int(frames[i].value)), std::pair(frames[i - 1].time + frame, int(i)));
        EXPECT_EQ(std::pair(emulated->frames(), emulated->overruns()), std::pair(std::uint64_t{20}, std::uint64_t{0}));
    }
}

}  // namespace
}  // namespace sked
