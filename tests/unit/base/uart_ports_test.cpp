// The 16550 back ends driven as the station drives a serial line: emulated (the line trace and line speed), and
// direct port access behind fake ioperm/inb/outb.
#include <gtest/gtest.h>

#include <cerrno>
#include <cstring>
#include <map>
#include <string>
#include <tuple>
#include <utility>
#include <vector>

#include "serial/emulated_ports.h"
#include "serial/ioports.h"
#include "serial/uart_frame.h"
#include "serial/uart_registers.h"
#include "serial/uart_trace_writer.h"
#include "support/station_fixture.h"

namespace sked {
namespace {

using namespace std::chrono;
using test::ReadLines;

const TimePoint kStart = test::LocalTimePoint("2024-03-01T12:00:00");
const Duration kBaudotFrame = FrameTime(2534, 0x04);  // 45.45 baud, 5 bits, 1.5 stop bits

// A wall clock that NTP or the operator may step back.
struct SteppedClock : Clock { TimePoint Now() const override { return now; } TimePoint now = kStart; };

class EmulatedPortsTest : public ::testing::Test {
protected:
    void SetUp() override { ports.AddObserver(&line); }
    SteppedClock clock;
    EmulatedPorts ports{clock};
    test::UartRecorder line;
};

TEST_F(EmulatedPortsTest, LineTraceShowsTheRegisterWritesOfEachCallAndEveryFrame) {
    test::ScratchDirectory dir;
    {
        UartTraceWriter trace("uart.trace");
        ports.AddObserver(&trace);
        SerialLine& com2 = ports.Port(2);
        com2.SetFormat(LineFormat::Baudot(45.45));
        com2.SetPower(true);
        com2.SetKey(true);
        com2.AssignLines(KeyLine::Rts);  // the key released, the power moved to DTR
        com2.SetKey(true);
        com2.SetPower(false);
        clock.now += 1234ms;
        com2.Send(0x1F);
        com2.Send(0xE3);  // held, and on the line the moment the first ends: five bits of it
        clock.now = kStart + 2s;
        com2.SetBreak(true);  // for Morse
        com2.SetBreak(false);
        ports.Port(3).SetFormat(LineFormat::Ascii(300));
        ports.Port(3).Send('A');
        ports.Port(8).SetPower(true);
        EXPECT_EQ(ReadLines("uart.trace").size(), 19u);  // on disk as soon as it happens
    }
    UartTraceWriter("uart.trace", true).OnUartEvent(line.events[4]);
    const std::vector<std::string> expected = {
        "00.000\t0x2F8\tlcr\t0x84", "00.000\t0x2F8\tlcr\t0x04", "00.000\t0x2F8\tdivisor\t2534",
        "00.000\t0x2F8\tmcr\t0x02 key=OFF power=ON", "00.000\t0x2F8\tmcr\t0x03 key=ON power=ON",
        "00.000\t0x2F8\tmcr\t0x01 key=OFF power=ON", "00.000\t0x2F8\tmcr\t0x03 key=ON power=ON",
        "00.000\t0x2F8\tmcr\t0x02 key=ON power=OFF", "01.234\t0x2F8\tframe\t0x1F bits=5 stop=1.5 baud=45.46",
        "01.398\t0x2F8\tframe\t0x03 bits=5 stop=1.5 baud=45.46", "02.000\t0x2F8\tlcr\t0x44",
        "02.000\t0x2F8\tbreak\tON", "02.000\t0x2F8\tlcr\t0x04", "02.000\t0x2F8\tbreak\tOFF",
        "02.000\t0x3E8\tlcr\t0x87", "02.000\t0x3E8\tlcr\t0x07", "02.000\t0x3E8\tdivisor\t384",
        "02.000\t0x3E8\tframe\t0x41 bits=8 stop=2 baud=300.00", "02.000\t0x260\tmcr\t0x02 key=OFF power=ON",
        "00.000\t0x2F8\tmcr\t0x03 key=ON power=ON"};  // appended
    const auto lines = ReadLines("uart.trace");
    ASSERT_EQ(lines.size(), expected.size());
    for (std::size_t i = 0; i < lines.size(); ++i) EXPECT_EQ(lines[i], "2024-03-01 12:00:" + expected[i]);
    // A trace that cannot be written says so, once.
    UartTraceWriter full("/dev/full", true);
    std::vector<std::string> told;
    full.SetProblemReporter([&](const std::string& problem) { told.push_back(problem); });
    for (int i = 0; i < 3; ++i) full.OnUartEvent(line.events[4]);
    EXPECT_EQ(told, std::vector<std::string>{"cannot write serial line trace /dev/full: No space left on device"});
}

TEST_F(EmulatedPortsTest, StationWaitingOnNextChangeSendsAtLineSpeedAndAClockSteppedBackHoldsNothing) {
    SerialLine& com2 = ports.Port(2);
    com2.SetFormat(LineFormat::Baudot(45.45));
    EXPECT_TRUE(com2.Present() && com2.CanSend() && com2.Drained() && com2.NextChange() == kStart);
    // As the station waits: on NextChange, which must lie ahead, never more than a frame, and not too early.
    int waits = 0;
    const auto waitUntil = [&](auto ready) {
        for (; !ready(); ++waits) {
            const Duration wait = com2.NextChange() - clock.now;
            ASSERT_TRUE(wait > Duration::zero() && wait <= kBaudotFrame) << duration<double>(wait).count() << " s";
            clock.now += wait;
        }
    };
    TimePoint stepped{};
    for (int i = 0; i < 20; ++i) {
        if (i == 10) {  // two went at once (holding and shift register), then one a frame
            EXPECT_EQ(std::pair(clock.now - kStart, waits), std::pair(8 * kBaudotFrame, 8));
            EXPECT_EQ(ports.IdleAt(), kStart + 10 * kBaudotFrame);
            stepped = clock.now -= 3h;
        }
        waitUntil([&] { return com2.CanSend(); });
        com2.Send(static_cast<std::uint8_t>(i));
    }
    waitUntil([&] { return com2.Drained(); });
    // The two in the chip finish, the ten follow at line speed: one wait a frame, none woken early.
    EXPECT_EQ(std::pair(clock.now - stepped, waits), std::pair(12 * kBaudotFrame, 20));
    const auto frames = line.Frames();
    ASSERT_EQ(frames.size(), 20u);  // one unbroken run across the step, nothing overrun
    for (std::size_t i = 1; i < frames.size(); ++i)
        EXPECT_EQ(std::pair(frames[i].time - frames[i - 1].time, +frames[i].value), std::pair(kBaudotFrame, int(i)));
    EXPECT_EQ(std::pair(ports.frames(), ports.overruns()), std::pair(std::uint64_t{20}, std::uint64_t{0}));
}

using Writes = std::vector<std::pair<std::uint16_t, std::uint8_t>>;

// A refused port says why once and keeps line speed; a granted one is programmed register by register.
TEST(IoPorts, RefusedPortsAreToldOnceAndPacedAndAGrantedOneIsProgrammedRegisterByRegister) {
    SteppedClock clock;
    std::map<std::uint16_t, std::uint8_t> registers;  // read back what was written, unless set here
    registers[0x3FC] = uart::kMcrLoop | uart::kMcrDtr;  // COM1 left in loop-back by other software
    Writes writes;
    std::vector<std::pair<std::uint16_t, unsigned>> permits;
    std::vector<std::string> problems;
    IoPorts::Access access;
    access.permit = [&](std::uint16_t base, unsigned count) {
        permits.emplace_back(base, count);
        return base == 0x2F8 ? EPERM : base == 0x3E8 ? EIO : 0;  // COM2 and COM3
    };
    access.in = [&](std::uint16_t address) { return registers[address]; };
    access.out = [&](std::uint16_t at, std::uint8_t value) { writes.emplace_back(at, registers[at] = value); };
    {
        IoPorts ports(clock, access);
        ports.SetProblemReporter([&](const std::string& m) { problems.push_back(m); });
        const LineFormat format = LineFormat::Baudot(45.45);
        for (int number : {2, 3, 2}) {
            SerialLine& line = ports.Port(number);
            line.SetFormat(format);
            line.SetPower(true);
            line.SetKey(true);
            line.SetBreak(true);
            EXPECT_TRUE(!line.Present() && line.KeyDown() && line.PowerOn());  // what the station asked
        }
        SerialLine& refused = ports.Port(2);
        const Duration baudot = FrameTime(format, 115200.0 / 2534);  // as the chip would send it
        refused.Send(1);
        refused.Send(2);
        EXPECT_EQ(std::tuple(refused.CanSend(), refused.Drained(), refused.NextChange()),
                  std::tuple(false, false, kStart + baudot));
        EXPECT_EQ(writes, Writes{});

        SerialLine& line = ports.Port(1);
        line.SetFormat(LineFormat::Ascii(300));  // divisor 384: 0x0180
        EXPECT_EQ(writes, (Writes{{0x3F9, 0}, {0x3FC, 0}, {0x3FB, 0x87}, {0x3F9, 0x01}, {0x3F8, 0x80}, {0x3FB, 0x07}}));
        writes.clear();
        registers[0x3FC] = 0x08;  // OUT2, not the station's: kept
        line.SetPower(true);
        line.SetKey(true);
        line.AssignLines(KeyLine::Rts);  // the key released, the power moved to DTR
        EXPECT_FALSE(line.KeyDown());
        line.SetKey(true);
        line.SetBreak(true);
        line.SetBreak(false);
        line.Send('K');
        EXPECT_EQ(writes, (Writes{{0x3FC, 0x0A}, {0x3FC, 0x0B}, {0x3FC, 0x09}, {0x3FC, 0x0B}, {0x3FB, 0x47},
                                  {0x3FB, 0x07}, {0x3F8, 'K'}}));
        // The line status comes from the chip; while it is busy the station looks again a frame later.
        const Duration frame = FrameTime(LineFormat::Ascii(300), 300);
        const struct { std::uint8_t lsr; bool canSend, drained; Duration next; } states[] = {
            {0, false, false, frame}, {uart::kLsrThre, true, false, frame},
            {uart::kLsrThre | uart::kLsrTemt, true, true, Duration::zero()}};
        for (const auto& s : states) {
            registers[0x3FD] = s.lsr;
            EXPECT_EQ(std::tuple(line.CanSend(), line.Drained(), line.NextChange()),
                      std::tuple(s.canSend, s.drained, kStart + s.next)) << int(s.lsr);
        }
        EXPECT_TRUE(line.Present() && line.KeyDown() && line.PowerOn());
        writes.clear();
    }
    // Let go on the way out: break off, both outputs down, OUT2 as it was; nothing reaches a refused port.
    EXPECT_EQ(writes, (Writes{{0x3FB, 0x07}, {0x3FC, 0x09}, {0x3FC, 0x08}}));
    const std::string why = " — direct port access needs root on x86 and a kernel that allows it; try --serial=tty";
    EXPECT_EQ(problems, (std::vector<std::string>{"ioperm(0x2F8-0x2FF): " + std::string(std::strerror(EPERM)) + why,
                                                  "ioperm(0x3E8-0x3EF): " + std::string(std::strerror(EIO)) + why}));
    EXPECT_EQ(permits, (decltype(permits){{0x2F8, 8}, {0x3E8, 8}, {0x3F8, 8}}));  // once per base, all 8 ports
}

}  // namespace
}  // namespace sked
