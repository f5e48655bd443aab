// Every register access of the serial port: line format and speed, the
// transmit register, the keying and power lines and the break condition,
// always at the station's current port.
#pragma once

#include <cstdint>

#include "platform/event_loop.h"
#include "serial/port_io.h"
#include "transmit/code_output.h"
#include "transmit/station_state.h"

namespace sked {

class Uart : public CodeOutput {
public:
    Uart(PortIo& port, EventLoop& loop, StationState& state) : port_(port), loop_(loop), state_(state) {}

    // Sets format and speed at `base` (which becomes the current port).
    void ProgramUart(std::uint16_t base, float baud, int parityBits, int wordLengthBits, int stopBits);
    // Divisor that ProgramUart writes for a speed: 115200 / baud, truncated.
    static unsigned Divisor(float baud);

    // Waits, handling events, until the transmit holding register is empty,
    // then writes the code.
    void TransmitCode(std::uint8_t code);
    // Waits, handling events, until the last character has left the shift
    // register, so that releasing the transmitter does not cut it off.
    void WaitUntilSent();

    void KeyLineOn();
    void KeyLineOff();
    void PowerLineOn();
    void PowerLineOff();
    // Makes `keyLine` the keying line and `powerLine` the power line of the
    // current port: the key is left open, the power as it was.
    void SetLines(int keyLine, int powerLine);
    void BreakOn() { WriteLcr(uart::kLcrBreak); }
    void BreakOff() { WriteLcr(0); }

    std::uint8_t ReadMcr();
    void WriteMcr(std::uint8_t value);
    std::uint8_t ReadLcr();
    void WriteLcr(std::uint8_t value);

    // The transmit register as a code output.
    bool Ready() override;
    TimePoint ReadyAt() override;
    void Put(int code) override;

private:
    std::uint16_t Base() const { return state_.portBase; }
    void WaitForLineStatus(std::uint8_t bit);

    PortIo& port_;
    EventLoop& loop_;
    StationState& state_;
};

}  // namespace sked
