// The UART alone, on a port whose registers keep what is written: the divisor of each speed, a port found in
// loop-back, the keying and power lines, and the wait for the transmit register (asleep, never spinning).
#include <map>
#include <vector>

#include <gtest/gtest.h>

#include "platform/simulated_event_loop.h"
#include "support/station_fixture.h"
#include "transmit/uart.h"

namespace sked {
namespace {

using namespace std::chrono_literals;

// Registers that keep what is written; the transmit register is busy until `busyUntil`; line status reads counted.
struct FakePort : PortIo {
    explicit FakePort(const Clock& clock) : clock(clock) {}
    std::uint8_t In(std::uint16_t address) override {
        if ((address & 7) != uart::kLsr) return registers[address];
        ++statusReads;
        return clock.Now() < busyUntil ? 0 : uart::kLsrThre | uart::kLsrTemt;
    }
    void Out(std::uint16_t address, std::uint8_t value) override {
        registers[address] = value;
        if ((address & 7) == uart::kThr) written.emplace_back(clock.Now(), value);
    }
    TimePoint NextChange(std::uint16_t) override { return busyUntil; }

    const Clock& clock;
    std::map<std::uint16_t, std::uint8_t> registers;
    std::vector<std::pair<TimePoint, std::uint8_t>> written;
    TimePoint busyUntil{};
    int statusReads = 0;
};

class UartControl : public ::testing::Test {
protected:
    SimulatedEventLoop loop{test::LocalTimePoint("2026-01-01T12:00:00")};
    FakePort port{loop.clock()};
    StationState state;
    Uart uart{port, loop, state};
    std::uint8_t Mcr() { return port.registers[0x2FC]; }
};

TEST_F(UartControl, DivisorsOfEverySpeed) {
    const std::pair<float, unsigned> table[] = {{45.45f, 2534}, {50.0f, 2304}, {56.9f, 2024}, {74.2f, 1552},
                                                {100.0f, 1152}, {110.0f, 1047}, {300.0f, 384}};
    for (const auto& [baud, divisor] : table) EXPECT_EQ(Uart::Divisor(baud), divisor) << baud;
}

TEST_F(UartControl, APortLeftInLoopBackIsTakenOutOfItAndAnotherKeepsItsLines) {
    port.registers[0x2FC] = 0x13;  // loop-back with both lines up
    uart.ProgramUart(0x2F8, 50.0f, 0, 0, uart::kLcrStopBits);
    EXPECT_EQ(Mcr(), 0x00);
    port.registers[0x3FC] = 0x03;
    uart.ProgramUart(0x3F8, 50.0f, 0, 0, uart::kLcrStopBits);
    EXPECT_EQ(port.registers[0x3FC], 0x03);
    EXPECT_EQ(state.portBase, 0x3F8);
    EXPECT_EQ(port.registers[0x3FB], 0x04);  // latch closed, 5 bits, 1.5 stop
}

TEST_F(UartControl, KeyAndPowerLinesAndAChangeOfLines) {
    state.keyLine = kRtsLine;
    state.powerLine = kDtrLine;
    uart.PowerLineOn();
    uart.KeyLineOn();
    EXPECT_EQ(Mcr(), 0x03);
    uart.KeyLineOff();
    EXPECT_EQ(Mcr(), 0x01);
    uart.KeyLineOn();
    // DTR keys from now on: the key is left open, the power moves along.
    uart.SetLines(kDtrLine, kRtsLine);
    EXPECT_EQ(Mcr(), 0x02);
    uart.PowerLineOff();
    EXPECT_EQ(Mcr(), 0x00);
}

TEST_F(UartControl, ACodeWaitsAsleepForTheTransmitRegister) {
    port.busyUntil = loop.clock().Now() + 165ms;
    uart.TransmitCode(0x1F);
    ASSERT_EQ(port.written.size(), 1u);
    EXPECT_EQ(port.written[0].first, port.busyUntil);
    EXPECT_LE(port.statusReads, 3);  // woken once, at the register's change
    uart.WaitUntilSent();
    EXPECT_TRUE(uart.Ready());
}

}  // namespace
}  // namespace sked
