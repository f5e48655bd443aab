// The registers of a 16550 that the station programs, for the two back ends
// that reach one register by register: direct port access and the emulated
// chip.
#pragma once

#include <cstdint>

#include "serial/serial_line.h"

namespace sked {

// Register offsets and bits of a 16550 that the station uses.
namespace uart {
constexpr std::uint16_t kThr = 0;  // transmit holding / divisor low (DLAB)
constexpr std::uint16_t kIer = 1;  // interrupt enable / divisor high (DLAB)
constexpr std::uint16_t kLcr = 3;
constexpr std::uint16_t kMcr = 4;
constexpr std::uint16_t kLsr = 5;

constexpr std::uint8_t kLcrDlab = 0x80;
constexpr std::uint8_t kLcrBreak = 0x40;
constexpr std::uint8_t kLcrStopBits = 0x04;
constexpr std::uint8_t kLcrWordMask = 0x03;
constexpr std::uint8_t kLcrParityMask = 0x38;
constexpr std::uint8_t kMcrDtr = 0x01;
constexpr std::uint8_t kMcrRts = 0x02;
constexpr std::uint8_t kMcrLoop = 0x10;
constexpr std::uint8_t kLsrThre = 0x20;
constexpr std::uint8_t kLsrTemt = 0x40;

constexpr double kClockHz = 115200.0;  // 1.8432 MHz / 16

// The line-control value of a frame (no parity).
inline std::uint8_t LcrFor(const LineFormat& format) {
    const int word = format.dataBits - 5;
    return static_cast<std::uint8_t>((word & kLcrWordMask) | (format.stopHalfBits > 2 ? kLcrStopBits : 0));
}
// The divisor a 16550 is given for a speed: its clock over the speed,
// truncated (45.45 baud: 2534, 45.46 baud on the line).
inline unsigned DivisorFor(double baud) { return static_cast<unsigned>(kClockHz / baud); }
// The modem-control bit of an output.
inline std::uint8_t McrBit(KeyLine line) { return line == KeyLine::Dtr ? kMcrDtr : kMcrRts; }
}  // namespace uart

}  // namespace sked
