// A 16550 serial port in software, for stations with no port and for
// simulated runs. Each base address gets its own chip model (Uart16550), all
// on one line time taken from the station's clock. Nothing runs in the
// background: the chips catch up with the clock whenever the port is touched,
// and what goes on the line is reported to the observers in time order.
#pragma once

#include <cstdint>
#include <functional>
#include <map>
#include <vector>

#include "platform/clock.h"
#include "serial/line_clock.h"
#include "serial/port_io.h"
#include "serial/uart_16550.h"
#include "serial/uart_timeline.h"

namespace sked {

class EmulatedPortIo : public PortIo {
public:
    explicit EmulatedPortIo(const Clock& clock);
    EmulatedPortIo(const EmulatedPortIo&) = delete;
    EmulatedPortIo& operator=(const EmulatedPortIo&) = delete;

    // Registers as Uart16550 has them: +0 THR (DLL with DLAB), +1 IER (DLM
    // with DLAB), +2 FCR/IIR, +3 LCR, +4 MCR, +5 LSR (THRE, TEMT), +6 MSR,
    // +7 scratch.
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
    // character counted at the present format); now when all are idle. In the
    // time of the events, which is the clock's unless the clock was stepped back.
    TimePoint IdleAt() const;

    // Characters written while the holding register was full (the earlier one is lost, as on the chip).
    std::uint64_t overruns() const;
    // Frames started on all ports.
    std::uint64_t frames() const;

private:
    Uart16550& PortAt(std::uint16_t address);
    // Moves every port up to `now`, reporting frame starts in time order.
    void CatchUp(TimePoint now);
    // Labels the key and power lines of an MCR write and passes the event on.
    void Relay(UartEvent event);

    LineClock line_;
    std::map<std::uint16_t, Uart16550> ports_;
    std::vector<UartObserver*> observers_;
    std::function<LineMasks()> masks_;
};

}  // namespace sked
