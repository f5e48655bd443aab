#include <filesystem>
#include <map>
#include <vector>

#include <gtest/gtest.h>

#include "app/scheduler_dlg.h"
#include "transmit/transmitter_switch.h"
#include "transmit/uart.h"
#include "support/station_fixture.h"

namespace sked {
namespace {

// Registers that keep what is written, and a record of every write.
class RecordingPort : public PortIo {
public:
    std::uint8_t In(std::uint16_t address) override {
        if ((address & 7) == uart::kLsr) return uart::kLsrThre | uart::kLsrTemt;
        return registers[address];
    }
    void Out(std::uint16_t address, std::uint8_t value) override {
        writes.emplace_back(address, value);
        registers[address] = value;
    }
    TimePoint NextChange(std::uint16_t) override { return TimePoint{}; }

    std::map<std::uint16_t, std::uint8_t> registers;
    std::vector<std::pair<std::uint16_t, std::uint8_t>> writes;
};

class UartControl : public ::testing::Test {
protected:
    void SetUp() override { ResetSettings(); }
    void TearDown() override { ResetSettings(); }
    test::ScratchDirectory dir;
    SimulatedEventLoop loop{test::LocalTimePoint("2026-01-01T12:00:00")};
    RecordingPort port;
    test::RecordingMessageBox boxes;
    CSchedulerDlg dlg{loop, port, boxes};
    using Writes = std::vector<std::pair<std::uint16_t, std::uint8_t>>;
};

TEST_F(UartControl, DivisorAndFormatAreWrittenInOrder) {
    dlg.uart->ProgramUart(0x2F8, 45.45f, 0, 0, 4);
    EXPECT_EQ(port.writes, (Writes{{0x2FB, 0x84}, {0x2F9, 0x09}, {0x2F8, 0xE6}, {0x2FB, 0x04}}));
    EXPECT_EQ(Settings().portBase, 0x2F8);

    port.writes.clear();
    dlg.uart->ProgramUart(0x3F8, 300.0f, 0, 3, 4);
    EXPECT_EQ(port.writes, (Writes{{0x3FB, 0x87}, {0x3F9, 0x01}, {0x3F8, 0x80}, {0x3FB, 0x07}}));
    EXPECT_EQ(Settings().portBase, 0x3F8);
}

TEST_F(UartControl, DivisorsOfEverySpeed) {
    const std::pair<float, unsigned> table[] = {{45.45f, 2534}, {50.0f, 2304}, {56.9f, 2024}, {74.2f, 1552},
                                                {100.0f, 1152}, {110.0f, 1047}, {300.0f, 384}};
    for (const auto& [baud, divisor] : table) EXPECT_EQ(Uart::Divisor(baud), divisor) << baud;
}

TEST_F(UartControl, PortInLoopBackIsTakenOutOfItFirst) {
    port.registers[0x2FC] = 0x13;  // loop-back with both lines up
    dlg.uart->ProgramUart(0x2F8, 50.0f, 0, 0, 4);
    ASSERT_GE(port.writes.size(), 3u);
    EXPECT_EQ(port.writes[0], (std::pair<std::uint16_t, std::uint8_t>{0x2F9, 0x00}));
    EXPECT_EQ(port.writes[1], (std::pair<std::uint16_t, std::uint8_t>{0x2FC, 0x00}));
    EXPECT_EQ(port.writes[2].first, 0x2FB);
}

TEST_F(UartControl, PortNotInLoopBackKeepsItsLines) {
    port.registers[0x2FC] = 0x03;
    dlg.uart->ProgramUart(0x2F8, 50.0f, 0, 0, 4);
    for (const auto& w : port.writes) EXPECT_NE(w.first, 0x2FC);
    EXPECT_EQ(port.registers[0x2FC], 0x03);
}

TEST_F(UartControl, KeyingAndPowerLinesAreIndependent) {
    Settings().keyLine = 2;
    Settings().powerLine = 1;
    dlg.uart->CmPowerON();
    EXPECT_EQ(port.registers[0x2FC], 0x01);
    dlg.uart->KeyLineOn();
    EXPECT_EQ(port.registers[0x2FC], 0x03);
    dlg.uart->KeyLineOff();
    EXPECT_EQ(port.registers[0x2FC], 0x01);
    dlg.uart->KeyLineOn();
    dlg.uart->CmPowerOFF();
    EXPECT_EQ(port.registers[0x2FC], 0x02);
    EXPECT_EQ(dlg.w.powerCheck.Check(), 0);
}

TEST_F(UartControl, PowerOnWhileKeyedReleasesTheKeyFirst) {
    std::filesystem::create_directory("log");
    Settings().keyLine = 1;
    Settings().powerLine = 2;
    dlg.transmitter->CmTX();
    ASSERT_EQ(port.registers[0x2FC], 0x01);
    port.writes.clear();
    dlg.uart->CmPowerON();
    EXPECT_EQ(Settings().transmitterOn, 0);
    ASSERT_GE(port.writes.size(), 2u);
    EXPECT_EQ(port.writes.front(), (std::pair<std::uint16_t, std::uint8_t>{0x2FC, 0x00}));
    EXPECT_EQ(port.writes.back(), (std::pair<std::uint16_t, std::uint8_t>{0x2FC, 0x02}));
    EXPECT_EQ(dlg.w.powerCheck.Check(), 1);
    auto lines = test::ReadLines("log/20260101.log");
    ASSERT_FALSE(lines.empty());
    EXPECT_EQ(lines.back().substr(11), "CmRX : Transmitter OFF");
}

TEST_F(UartControl, BreakWritesExactValues) {
    port.registers[0x2FB] = 0x04;
    dlg.uart->BreakOn();
    EXPECT_EQ(port.registers[0x2FB], 0x40);
    dlg.uart->BreakOff();
    EXPECT_EQ(port.registers[0x2FB], 0x00);
}

}  // namespace
}  // namespace sked
