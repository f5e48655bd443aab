// Direct port access: refused here (no ioperm), so the port must say why once
// and pace the station at line speed; with access granted (a fake 16550
// behind injected inb/outb) registers pass straight through. Also the line
// pacer that stands in for a port that does not answer.
#include "platform/ioports_port.h"

#include <gtest/gtest.h>

#include <chrono>
#include <cstring>
#include <map>
#include <string>
#include <utility>
#include <vector>

#include "platform/line_pacer.h"
#include "platform/simulated_event_loop.h"
#include "platform/uart_frame.h"

namespace sked {
namespace {

using namespace std::chrono_literals;

constexpr std::uint8_t kEmpty = uart::kLsrThre | uart::kLsrTemt;
const TimePoint kStart{std::chrono::seconds(1'700'000'000)};

std::string RefusalText(const char* range, int err) {
    return std::string("ioperm(") + range + "): " + std::strerror(err) +
           " — direct port access needs root on x86 and a kernel that allows it; try --serial=tty";
}

void Program(PortIo& port, std::uint16_t base, unsigned divisor, std::uint8_t lcr) {
    port.Out(base + uart::kLcr, uart::kLcrDlab);
    port.Out(base + 0, static_cast<std::uint8_t>(divisor & 0xFF));
    port.Out(base + 1, static_cast<std::uint8_t>(divisor >> 8));
    port.Out(base + uart::kLcr, lcr);
}

// A 16550 behind fake inb/outb: register values to read, writes and grants recorded.
struct FakeBus {
    std::map<std::uint16_t, std::uint8_t> regs;
    std::vector<std::pair<std::uint16_t, std::uint8_t>> writes;
    std::vector<std::pair<std::uint16_t, unsigned>> permits;
    std::map<std::uint16_t, int> refuse;  // base -> errno

    IoPortsPortIo::Access Access() {
        IoPortsPortIo::Access a;
        a.permit = [this](std::uint16_t base, unsigned count) {
            permits.emplace_back(base, count);
            auto it = refuse.find(base);
            return it == refuse.end() ? 0 : it->second;
        };
        a.in = [this](std::uint16_t address) { return regs[address]; };
        a.out = [this](std::uint16_t address, std::uint8_t value) { writes.emplace_back(address, value); };
        return a;
    }
};

TEST(IoPortsPort, RefusedOnThisMachineReportsOnceAndPaces) {
    const int err = IoPortsPortIo::Access::Hardware().permit(0x2F8, 8);
    if (err == 0) GTEST_SKIP() << "direct port access is allowed here; not touching real ports";

    // Real ioperm, but no real port is ever read or written.
    IoPortsPortIo::Access access = IoPortsPortIo::Access::Hardware();
    access.in = [](std::uint16_t address) {
        ADD_FAILURE() << "inb(" << address << ") after a refusal";
        return std::uint8_t{0};
    };
    access.out = [](std::uint16_t address, std::uint8_t) { ADD_FAILURE() << "outb(" << address << ") after a refusal"; };
    SimulatedClock clock(kStart);
    IoPortsPortIo port(clock, access);
    std::vector<std::string> problems;
    port.SetProblemReporter([&](const std::string& m) { problems.push_back(m); });

    Program(port, 0x2F8, 2534, 0x04);
    port.Out(0x2FC, uart::kMcrDtr);
    EXPECT_EQ(problems, std::vector<std::string>{RefusalText("0x2F8-0x2FF", err)});
    EXPECT_FALSE(port.IsOpen(0x2F8));
    EXPECT_EQ(port.In(0x2FB), 0x04);
    EXPECT_EQ(port.In(0x2FC), uart::kMcrDtr);

    const Duration frame = FrameTime(2534, 0x04);
    EXPECT_EQ(port.In(0x2FD), kEmpty);
    port.Out(0x2F8, 0x1F);
    port.Out(0x2F8, 0x1F);
    EXPECT_EQ(port.In(0x2FD) & uart::kLsrThre, 0);
    EXPECT_EQ(port.NextChange(0x2FD), kStart + frame);
    clock.AdvanceTo(kStart + frame);
    EXPECT_EQ(port.In(0x2FD), uart::kLsrThre);
    clock.AdvanceTo(port.NextChange(0x2FD));
    EXPECT_EQ(port.In(0x2FD), kEmpty);
    EXPECT_EQ(clock.Now(), kStart + 2 * frame);
    EXPECT_EQ(problems.size(), 1u);
}

TEST(IoPortsPort, GrantedPortPassesRegistersThrough) {
    FakeBus bus;
    SimulatedClock clock(kStart);
    IoPortsPortIo port(clock, bus.Access());
    std::vector<std::string> problems;
    port.SetProblemReporter([&](const std::string& m) { problems.push_back(m); });

    Program(port, 0x3F8, 384, 0x07);
    port.Out(0x3FC, 0x03);
    port.Out(0x3F8, 'K');
    const std::vector<std::pair<std::uint16_t, std::uint8_t>> expected = {
        {0x3FB, 0x80}, {0x3F8, 0x80}, {0x3F9, 0x01}, {0x3FB, 0x07}, {0x3FC, 0x03}, {0x3F8, 'K'}};
    EXPECT_EQ(bus.writes, expected);
    EXPECT_EQ(bus.permits, (std::vector<std::pair<std::uint16_t, unsigned>>{{0x3F8, 8}}));  // once per base
    EXPECT_TRUE(port.IsOpen(0x3F8));
    EXPECT_TRUE(problems.empty());

    bus.regs[0x3FB] = 0x5A;  // reads come from the chip, not from memory
    EXPECT_EQ(port.In(0x3FB), 0x5A);

    const Duration frame = FrameTime(384, 0x07);
    bus.regs[0x3FD] = 0x00;  // holding register full
    EXPECT_EQ(port.NextChange(0x3FD), kStart + frame);
    bus.regs[0x3FD] = uart::kLsrThre;  // last character still shifting out
    EXPECT_EQ(port.NextChange(0x3FD), kStart + frame);
    bus.regs[0x3FD] = kEmpty;
    EXPECT_EQ(port.NextChange(0x3FD), kStart);
    EXPECT_EQ(port.NextChange(0x3FB), TimePoint::max());

    port.In(0x2FD);
    EXPECT_EQ(bus.permits.back(), (std::pair<std::uint16_t, unsigned>{0x2F8, 8}));
    EXPECT_EQ(bus.permits.size(), 2u);
}

TEST(IoPortsPort, RefusalIsPerBase) {
    FakeBus bus;
    bus.refuse[0x2F8] = EPERM;
    SimulatedClock clock(kStart);
    IoPortsPortIo port(clock, bus.Access());
    std::vector<std::string> problems;
    port.SetProblemReporter([&](const std::string& m) { problems.push_back(m); });

    Program(port, 0x2F8, 2304, 0x04);
    port.Out(0x2F8, 0x01);
    port.In(0x2FD);
    Program(port, 0x3F8, 2304, 0x04);
    EXPECT_EQ(problems, std::vector<std::string>{RefusalText("0x2F8-0x2FF", EPERM)});
    EXPECT_FALSE(port.IsOpen(0x2F8));
    EXPECT_TRUE(port.IsOpen(0x3F8));
    for (const auto& [address, value] : bus.writes) EXPECT_GE(address, 0x3F8) << "write reached a refused port";
    EXPECT_EQ(bus.writes.size(), 4u);
}

TEST(LinePacer, HoldingAndShiftRegisterTiming) {
    SimulatedClock clock(kStart);
    LinePacer pacer(clock);
    pacer.SetFormat(2304, 0x04);  // 50 baud, 7.5 bits: 150 ms
    const Duration frame = FrameTime(2304, 0x04);
    EXPECT_EQ(frame, 150ms);

    EXPECT_EQ(pacer.Lsr(), kEmpty);
    EXPECT_EQ(pacer.NextChange(), kStart);  // idle: nothing to wait for
    pacer.Write();
    EXPECT_EQ(pacer.Lsr(), uart::kLsrThre);
    EXPECT_EQ(pacer.NextChange(), kStart + frame);
    pacer.Write();
    pacer.Write();  // overrun: replaces the waiting character, takes no extra time
    EXPECT_EQ(pacer.Lsr(), 0);
    EXPECT_EQ(pacer.NextChange(), kStart + frame);

    // A later write after a gap starts its frame when written.
    clock.AdvanceTo(kStart + 10s);
    EXPECT_EQ(pacer.Lsr(), kEmpty);
    pacer.SetFormat(384, 0x07);  // new format for the next characters
    pacer.Write();
    EXPECT_EQ(pacer.NextChange(), kStart + 10s + FrameTime(384, 0x07));

    // Writing while the waiting character moves on counts from the frame end.
    clock.AdvanceTo(kStart + 10s + 1ms);
    pacer.Write();
    clock.AdvanceTo(kStart + 10s + FrameTime(384, 0x07));
    pacer.Write();
    EXPECT_EQ(pacer.Lsr(), 0);
    EXPECT_EQ(pacer.NextChange(), kStart + 10s + 2 * FrameTime(384, 0x07));
}

TEST(LinePacer, ClockSteppedBackDoesNotHoldTheLine) {
    SimulatedClock later(kStart + 1h);
    LinePacer pacer(later);
    pacer.SetFormat(2534, 0x04);
    pacer.Write(kStart + 1h);
    pacer.Write(kStart + 1h);
    EXPECT_EQ(pacer.Lsr(kStart + 1h), 0);
    // The wall clock is set back an hour: the line is idle, not busy for an hour.
    EXPECT_EQ(pacer.Lsr(kStart), kEmpty);
    EXPECT_EQ(pacer.NextChange(kStart), kStart);
    pacer.Write(kStart);
    EXPECT_EQ(pacer.NextChange(kStart), kStart + FrameTime(2534, 0x04));
}

}  // namespace
}  // namespace sked
