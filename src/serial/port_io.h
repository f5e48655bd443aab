// The only way to the serial port: one byte in or out at an I/O address, as a
// 16550's registers are reached on a PC. Back ends: the emulated 16550, direct
// port access (ioperm/inb/outb) and a tty device mapped register by register.
#pragma once

#include <cstdint>
#include <functional>
#include <string>

#include "platform/clock.h"

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
}  // namespace uart

class PortIo {
public:
    using ProblemReporter = std::function<void(const std::string& message)>;

    virtual ~PortIo() = default;

    virtual std::uint8_t In(std::uint16_t address) = 0;
    virtual void Out(std::uint16_t address, std::uint8_t value) = 0;

    // The earliest time at which reading `address` may give a different value
    // without any write in between (for the line-status register: when the
    // transmit holding register empties). Waits sleep until then instead of
    // spinning. Clock::Now()-based; a time in the past means "read again now".
    virtual TimePoint NextChange(std::uint16_t address) = 0;

    // Problems a back end meets (device missing or gone, access refused) are
    // reported here once per change of state, so the station can show and log them.
    void SetProblemReporter(ProblemReporter reporter) { reporter_ = std::move(reporter); }

protected:
    void ReportProblem(const std::string& message) {
        if (reporter_) reporter_(message);
    }

private:
    ProblemReporter reporter_;
};

}  // namespace sked
