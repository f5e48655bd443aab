// The serial ports by direct I/O port access on x86 (ioperm, inb, outb), as a
// station reaches a PC's 16550s. Needs root and a kernel that allows it; where
// it is refused the port says so once, with the address range and the reason,
// and behaves as one whose device is gone: characters are dropped and the
// station is kept to line speed.
#pragma once

#include <cstdint>
#include <functional>
#include <map>
#include <memory>

#include "serial/line_clock.h"
#include "serial/line_release.h"
#include "serial/serial_line.h"

namespace sked {

class IoPorts : public SerialPorts {
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

    explicit IoPorts(const Clock& clock, Access access = Access::Hardware());
    ~IoPorts() override;
    IoPorts(const IoPorts&) = delete;
    IoPorts& operator=(const IoPorts&) = delete;

    SerialLine& Port(int number) override;

private:
    class Line;

    LineClock line_;
    Access access_;
    std::map<int, std::unique_ptr<Line>> lines_;
};

}  // namespace sked
