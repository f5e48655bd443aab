// Direct port access behind fake inb/outb/ioperm: a refused port says why once and paces
// the station at line speed; a granted one passes registers straight through.
#include "platform/ioports_port.h"

#include <gtest/gtest.h>

#include <cstring>
#include <map>
#include <string>
#include <utility>
#include <vector>

#include "platform/simulated_event_loop.h"
#include "platform/uart_frame.h"

namespace sked {
namespace {

using namespace std::chrono;
using Writes = std::vector<std::pair<std::uint16_t, std::uint8_t>>;

const TimePoint kStart{seconds(1'700'000'000)};

TEST(IoPortsPort, RefusedBaseIsReportedOnceAndPacedWhileAGrantedOnePassesThrough) {
    std::map<std::uint16_t, std::uint8_t> chip;
    Writes writes;
    std::vector<std::uint16_t> permits;
    IoPortsPortIo::Access access;
    access.permit = [&](std::uint16_t base, unsigned count) {
        permits.push_back(base);
        EXPECT_EQ(count, 8u);
        return base == 0x2F8 ? EPERM : 0;
    };
    access.in = [&](std::uint16_t address) { return chip[address]; };
    access.out = [&](std::uint16_t address, std::uint8_t value) { writes.emplace_back(address, value); };
    SimulatedClock clock(kStart);
    IoPortsPortIo port(clock, access);
    std::vector<std::string> problems;
    port.SetProblemReporter([&](const std::string& m) { problems.push_back(m); });
    const auto program = [&](std::uint16_t base, unsigned divisor, std::uint8_t lcr) {
        port.Out(base + uart::kLcr, uart::kLcrDlab);
        port.Out(base + 0, static_cast<std::uint8_t>(divisor & 0xFF));
        port.Out(base + 1, static_cast<std::uint8_t>(divisor >> 8));
        port.Out(base + uart::kLcr, lcr);
    };

    program(0x2F8, 2534, 0x04);
    port.Out(0x2FC, uart::kMcrDtr);
    port.Out(0x2F8, 0x1F);
    port.Out(0x2F8, 0x1F);
    EXPECT_EQ(port.In(0x2FD) & uart::kLsrThre, 0);
    const Duration frame = FrameTime(2534, 0x04);
    EXPECT_EQ(port.NextChange(0x2FD), kStart + frame);
    clock.AdvanceTo(kStart + frame);
    EXPECT_EQ(port.In(0x2FD), uart::kLsrThre);
    EXPECT_EQ(port.NextChange(0x2FD), kStart + 2 * frame);
    clock.AdvanceTo(kStart + 2 * frame);
    EXPECT_EQ(port.In(0x2FD), uart::kLsrThre | uart::kLsrTemt);
    EXPECT_FALSE(port.IsOpen(0x2F8));
    EXPECT_EQ(problems, std::vector<std::string>{std::string("ioperm(0x2F8-0x2FF): ") + std::strerror(EPERM) +
                                                 " — direct port access needs root on x86 and a kernel that allows "
                                                 "it; try --serial=tty"});

    program(0x3F8, 384, 0x07);
    port.Out(0x3FC, 0x03);
    port.Out(0x3F8, 'K');
    EXPECT_EQ(writes,  // nothing reaches the refused port
              (Writes{{0x3FB, 0x80}, {0x3F8, 0x80}, {0x3F9, 0x01}, {0x3FB, 0x07}, {0x3FC, 0x03}, {0x3F8, 'K'}}));
    chip[0x3FD] = 0x00;  // holding register full: THRE again after about a frame
    EXPECT_EQ(port.NextChange(0x3FD), clock.Now() + FrameTime(384, 0x07));
    chip[0x3FD] = uart::kLsrThre | uart::kLsrTemt;
    EXPECT_EQ(port.In(0x3FD), uart::kLsrThre | uart::kLsrTemt);
    EXPECT_EQ(port.NextChange(0x3FD), clock.Now());
    EXPECT_TRUE(port.IsOpen(0x3F8));
    EXPECT_EQ(permits, (std::vector<std::uint16_t>{0x2F8, 0x3F8}));  // asked once per base
    EXPECT_EQ(problems.size(), 1u);
}

}  // namespace
}  // namespace sked
