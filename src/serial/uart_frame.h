// Character frame timing of a 16550 from its line-control value and divisor.
#pragma once

#include <chrono>
#include <cstdint>

#include "platform/clock.h"
#include "serial/uart_registers.h"

namespace sked {

struct UartFrame {
    int dataBits;      // 5..8
    int stopHalfBits;  // stop length in half bits: 2 (1), 3 (1.5) or 4 (2)
    bool parity;

    static UartFrame FromLcr(std::uint8_t lcr) {
        UartFrame f;
        f.dataBits = 5 + (lcr & uart::kLcrWordMask);
        if (lcr & uart::kLcrStopBits) f.stopHalfBits = f.dataBits == 5 ? 3 : 4;
        else f.stopHalfBits = 2;
        f.parity = (lcr & 0x08) != 0;
        return f;
    }

    // Start bit, data bits, parity and stop bits, in half bits.
    int HalfBits() const { return 2 * (1 + dataBits + (parity ? 1 : 0)) + stopHalfBits; }
};

// One bit time at `divisor` (a divisor of 0 counts as 65536, as on the chip).
inline Duration BitTime(unsigned divisor) {
    double d = divisor == 0 ? 65536.0 : divisor;
    return std::chrono::duration_cast<Duration>(std::chrono::duration<double>(d / uart::kClockHz));
}

inline Duration FrameTime(unsigned divisor, std::uint8_t lcr) {
    double d = divisor == 0 ? 65536.0 : divisor;
    double seconds = d / uart::kClockHz * UartFrame::FromLcr(lcr).HalfBits() / 2.0;
    return std::chrono::duration_cast<Duration>(std::chrono::duration<double>(seconds));
}

inline double BaudOf(unsigned divisor) { return uart::kClockHz / (divisor == 0 ? 65536.0 : divisor); }

}  // namespace sked
