// The serial port by direct I/O port access on x86 (ioperm, inb, outb), as
// the station did on a PC. Needs root and a kernel that allows it; where it
// is refused the port behaves as one whose device is gone: writes are
// dropped and the line-status register paces the station at line speed.
#pragma once

#include <cstdint>
#include <functional>
#include <map>

#include "serial/line_clock.h"
#include "serial/line_release.h"
#include "serial/port_io.h"
#include "serial/uart_16550.h"

namespace sked {

class IoPortsPortIo : public PortIo {
public:
    // The privileged operations, replaceable so that tests need neither root
    // nor a real UART.
    struct Access {
        // Grants access to `count` ports from `base`: 0, or an errno value.
        std::function<int(std::uint16_t base, unsigned count)> permit;
        std::function<std::uint8_t(std::uint16_t address)> in;
        std::function<void(std::uint16_t address, std::uint8_t value)> out;
        // Drops both lines and the break at `base` from a crash handler.
        line_release::PortRelease release = nullptr;

        // ioperm/inb/outb on x86; elsewhere permit always fails with ENOSYS.
        static Access Hardware();
    };

    explicit IoPortsPortIo(const Clock& clock);
    IoPortsPortIo(const Clock& clock, Access access);

    std::uint8_t In(std::uint16_t address) override;
    void Out(std::uint16_t address, std::uint8_t value) override;
    TimePoint NextChange(std::uint16_t address) override;

    // True once access to the ports of `base` has been granted.
    bool IsOpen(std::uint16_t base) const;

private:
    struct Port {
        bool permitted = false;
        Uart16550 shadow;  // format for the frame time; stand-in when refused
    };

    Port& PortAt(std::uint16_t base);

    const Clock& clock_;
    LineClock line_;
    Access access_;
    std::map<std::uint16_t, Port> ports_;
};

}  // namespace sked
