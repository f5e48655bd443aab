// Direct port access behind fake inb/outb/ioperm: a refused port says why once, naming the
// address range, and stands in with the model; a granted one passes registers straight through.
#include "serial/ioports_port.h"

#include <gtest/gtest.h>

#include <cerrno>
#include <cstring>
#include <map>
#include <string>
#include <utility>
#include <vector>

#include "platform/simulated_event_loop.h"
#include "serial/uart_frame.h"

namespace sked {
namespace {

using Writes = std::vector<std::pair<std::uint16_t, std::uint8_t>>;

TEST(IoPortsPort, RefusedBaseIsReportedOnceWithItsRangeAndAGrantedOnePassesThrough) {
    std::map<std::uint16_t, std::uint8_t> chip;
    Writes writes;
    std::vector<std::pair<std::uint16_t, unsigned>> permits;
    IoPortsPortIo::Access access;
    access.permit = [&](std::uint16_t base, unsigned count) {
        permits.emplace_back(base, count);
        return base == 0x2F8 ? EPERM : base == 0x3E8 ? EIO : 0;
    };
    access.in = [&](std::uint16_t address) { return chip[address]; };
    access.out = [&](std::uint16_t address, std::uint8_t value) { writes.emplace_back(address, value); };
    SimulatedClock clock(TimePoint{std::chrono::seconds(1'700'000'000)});
    IoPortsPortIo port(clock, access);
    std::vector<std::string> problems;
    port.SetProblemReporter([&](const std::string& m) { problems.push_back(m); });
    const auto program = [&](std::uint16_t base, unsigned divisor, std::uint8_t lcr) {
        for (auto [offset, value] : {std::pair{3u, 0x80u}, {0u, divisor & 0xFF}, {1u, divisor >> 8}, {3u, 0u + lcr}})
            port.Out(static_cast<std::uint16_t>(base + offset), static_cast<std::uint8_t>(value));
    };

    // Refused: the station still reads back what it programmed (pacing: emulated_uart_test.cpp).
    for (std::uint16_t base : {0x2F8, 0x3E8}) {
        program(base, 2534, 0x04);
        port.Out(base + uart::kMcr, uart::kMcrDtr);
        port.Out(base + uart::kThr, 0x1F);
        EXPECT_EQ(port.In(base + uart::kMcr), uart::kMcrDtr);
        EXPECT_EQ(port.In(base + uart::kLsr), uart::kLsrThre);
        EXPECT_FALSE(port.IsOpen(base));
    }
    const std::string advice = " — direct port access needs root on x86 and a kernel that allows it; try --serial=tty";
    EXPECT_EQ(problems, (std::vector<std::string>{"ioperm(0x2F8-0x2FF): " + std::string(std::strerror(EPERM)) + advice,
                                                  "ioperm(0x3E8-0x3EF): " + std::string(std::strerror(EIO)) + advice}));

    program(0x3F8, 384, 0x07);
    port.Out(0x3FC, 0x03);
    port.Out(0x3F8, 'K');
    EXPECT_EQ(writes,  // nothing reaches a refused port
              (Writes{{0x3FB, 0x80}, {0x3F8, 0x80}, {0x3F9, 0x01}, {0x3FB, 0x07}, {0x3FC, 0x03}, {0x3F8, 'K'}}));
    chip[0x3FC] = 0x0B;  // read from the chip, not from what was written
    EXPECT_EQ(port.In(0x3FC), 0x0B);
    chip[0x3FD] = uart::kLsrThre;  // shift register busy: TEMT within a frame
    EXPECT_EQ(port.NextChange(0x3FD), clock.Now() + FrameTime(384, 0x07));
    chip[0x3FD] = uart::kLsrThre | uart::kLsrTemt;
    EXPECT_EQ(port.NextChange(0x3FD), clock.Now());
    EXPECT_EQ(port.NextChange(0x3FC), TimePoint::max());
    EXPECT_TRUE(port.IsOpen(0x3F8));
    EXPECT_EQ(permits, (decltype(permits){{0x2F8, 8}, {0x3E8, 8}, {0x3F8, 8}}));  // once per base, all 8 ports
    EXPECT_EQ(problems.size(), 2u);
}

}  // namespace
}  // namespace sked
