// A 16550 serial port in software, for stations with no port and for
// simulated runs. Each base address gets its own chip model: divisor latch,
// line and modem control, and a transmitter with holding and shift registers
// timed on the station's clock from the programmed speed and frame. Nothing
// runs in the background: the model catches up with the clock whenever it is
// touched, and reports what went on the line to its observers.
#pragma once

#include <cstdint>
#include <functional>
#include <map>
#include <vector>

#include "platform/clock.h"
#include "platform/port_io.h"
#include "platform/uart_timeline.h"

namespace sked {

class EmulatedPortIo : public PortIo {
public:
    explicit EmulatedPortIo(const Clock& clock);

    // Registers: +0 THR (DLL with DLAB), +1 IER (DLM with DLAB), +3 LCR,
    // +4 MCR, +5 LSR (THRE, TEMT). Other registers read 0xFF and ignore writes.
    // A port is the 8-address window containing the address (address & ~7):
    // the station's bases 0x3F8, 0x2F8, 0x3E8, 0x3E0, 0x2F0, 0x2E8, 0x2E0 and
    // 0x260 are all multiples of 8, so their windows never overlap.
    std::uint8_t In(std::uint16_t address) override;
    void Out(std::uint16_t address, std::uint8_t value) override;
    // For the LSR: the end of the frame now shifting (THRE and/or TEMT change
    // then), or now when the transmitter is idle. Other registers never change
    // by themselves: TimePoint::max().
    TimePoint NextChange(std::uint16_t address) override;

    // Observers are not owned and must outlive the port (or be never called again).
    void AddObserver(UartObserver* observer);
    // Read at every MCR write to label the key and power lines in the events.
    // Without it the station's default holds: key on DTR, power on RTS.
    void SetLineMasks(std::function<LineMasks()> masks);

    // Catches every port up with the clock, so that a character that moved
    // from the holding into the shift register since the last access is
    // reported now (e.g. before the on-air rendering is finished).
    void Sync();
    // When every port will have sent all that was written to it so far (a held
    // character counted at the present format); now when all are idle.
    TimePoint IdleAt() const;

    // Characters written while the holding register was full (the earlier one is lost, as on the chip).
    std::uint64_t overruns() const { return overruns_; }
    // Frames started on all ports.
    std::uint64_t frames() const { return frames_; }

private:
    struct Port {
        std::uint16_t base = 0;
        std::uint8_t lcr = 0;
        std::uint8_t mcr = 0;
        std::uint8_t ier = 0;
        std::uint8_t dll = 0;  // divisor 0 counts as 65536 until the station programs it
        std::uint8_t dlm = 0;
        bool divisorWritten = false;  // since DLAB was last closed
        bool shifting = false;
        TimePoint shiftEnd{};
        bool holding = false;
        std::uint8_t held = 0;

        unsigned Divisor() const { return static_cast<unsigned>(dlm) << 8 | dll; }
    };

    Port& PortAt(std::uint16_t address);
    // Moves every port up to `now`, emitting frame starts in time order.
    void CatchUp(TimePoint now);
    // The clock, never earlier than an event already reported.
    TimePoint Now() const;
    void StartFrame(Port& port, TimePoint start, std::uint8_t code);
    void WriteLcr(Port& port, TimePoint now, std::uint8_t value);
    void WriteMcr(Port& port, TimePoint now, std::uint8_t value);
    void Emit(const UartEvent& event);

    const Clock& clock_;
    std::map<std::uint16_t, Port> ports_;
    std::vector<UartObserver*> observers_;
    std::function<LineMasks()> masks_;
    TimePoint lastEvent_{};
    std::uint64_t overruns_ = 0;
    std::uint64_t frames_ = 0;
};

}  // namespace sked
