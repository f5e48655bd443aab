// The serial ports in software, for stations with no port and for simulated
// runs: each port is a 16550 model (Uart16550) at its I/O base address, all on
// one line time taken from the station's clock. Nothing runs in the
// background: the chips catch up with the clock whenever a port is touched,
// and what goes on the line is told to the observers in time order (the line
// trace, the on-air rendering).
#pragma once

#include <cstdint>
#include <map>
#include <memory>
#include <vector>

#include "platform/clock.h"
#include "serial/line_clock.h"
#include "serial/serial_line.h"
#include "serial/uart_16550.h"
#include "serial/uart_timeline.h"

namespace sked {

class EmulatedPorts : public SerialPorts {
public:
    explicit EmulatedPorts(const Clock& clock);
    ~EmulatedPorts() override;
    EmulatedPorts(const EmulatedPorts&) = delete;
    EmulatedPorts& operator=(const EmulatedPorts&) = delete;

    SerialLine& Port(int number) override;

    // Unplugs or plugs back the adapter of port `number`: an unplugged line
    // is not Present(), as a vanished USB adapter is not.
    void SetPresent(int number, bool present);

    // Observers are not owned and must outlive the ports.
    void AddObserver(UartObserver* observer);

    // Catches every port up with the clock, so that a character that moved
    // from the holding into the shift register since the last access is
    // told now (e.g. before the on-air rendering is finished).
    void Sync();
    // When every port will have sent all that was written to it so far; now
    // when all are idle. In the time of the events.
    TimePoint IdleAt() const;
    // Characters written while the holding register was full (the earlier one is lost, as on the chip).
    std::uint64_t overruns() const;
    std::uint64_t frames() const;

private:
    class Line;

    // Moves every port up to `now`, telling frame starts in time order.
    void CatchUp(TimePoint now);
    void Relay(const UartEvent& event);

    LineClock line_;
    std::map<int, std::unique_ptr<Line>> lines_;
    std::vector<UartObserver*> observers_;
};

}  // namespace sked
