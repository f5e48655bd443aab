// What happened on a serial port, event by event: register writes that matter
// on the air (format, speed, the keying and power lines, break) and every
// character frame with the exact moment its start bit began. The emulated
// port reports these; the line trace and the on-air renderer listen.
#pragma once

#include <bit>
#include <cstdint>

#include "platform/clock.h"
#include "serial/uart_registers.h"

namespace sked {

enum class UartEventKind { kLcr, kDivisor, kIer, kMcr, kBreak, kFrame };

// The short name used in the line trace: "lcr", "divisor", "ier", "mcr", "break", "frame".
inline const char* UartEventName(UartEventKind kind) {
    switch (kind) {
    case UartEventKind::kLcr: return "lcr";
    case UartEventKind::kDivisor: return "divisor";
    case UartEventKind::kIer: return "ier";
    case UartEventKind::kMcr: return "mcr";
    case UartEventKind::kBreak: return "break";
    case UartEventKind::kFrame: return "frame";
    }
    return "?";
}

struct UartEvent {
    UartEventKind kind = UartEventKind::kLcr;
    // When it happened; for a frame, the moment its start bit begins.
    TimePoint time{};
    std::uint16_t base = 0;

    // lcr, ier, mcr: the value written. frame: the code on the line (data bits only).
    std::uint8_t value = 0;
    // divisor: the new divisor. frame: the divisor it is sent with.
    unsigned divisor = 0;
    // mcr: the keying and power outputs as the port assigns them.
    bool keyOn = false;
    bool powerOn = false;
    // break: the line is now held at space (on) or released (off).
    bool breakOn = false;

    // frame only: the format in effect when the frame started.
    std::uint8_t lcr = 0;
    int dataBits = 0;
    int stopHalfBits = 0;  // 2, 3 or 4 half bits: 1, 1.5 or 2 stop bits
    Duration bitTime{};
    Duration frameTime{};  // start bit to end of the stop bits
    double baud = 0.0;
};

// The line level of bit `index` of a frame (0 = start bit, then the data bits
// LSB first, the parity bit if any, then stop bits and idle): true for mark.
inline bool FrameBitIsMark(const UartEvent& frame, long long index) {
    if (index <= 0) return index < 0;  // before the frame: idle mark; start bit: space
    if (index <= frame.dataBits) return ((frame.value >> (index - 1)) & 1) != 0;
    const bool parityEnabled = (frame.lcr & 0x08) != 0;
    if (parityEnabled && index == frame.dataBits + 1) {
        const bool even = (frame.lcr & 0x10) != 0;
        const bool stick = (frame.lcr & 0x20) != 0;
        if (stick) return !even;  // stick parity: forced 1 for "odd", 0 for "even"
        const bool oddOnes = (std::popcount(static_cast<unsigned>(frame.value)) & 1) != 0;
        return even ? oddOnes : !oddOnes;
    }
    return true;  // stop bits
}

class UartObserver {
public:
    virtual ~UartObserver() = default;
    virtual void OnUartEvent(const UartEvent& event) = 0;
};

}  // namespace sked
