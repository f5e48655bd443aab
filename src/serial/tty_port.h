// The serial port through a Linux tty device: the station's 16550 register
// accesses are mapped onto termios, modem-control ioctls and write(). Works
// with on-board ports and USB adapters; a port that disappears keeps pacing
// the station at line speed until it comes back.
#pragma once

#include <cstdint>
#include <map>
#include <memory>
#include <set>
#include <string>

#include <sys/types.h>

#include "serial/line_clock.h"
#include "serial/port_io.h"
#include "serial/uart_16550.h"

namespace sked {

class TtyPortIo : public PortIo {
public:
    static constexpr Duration kRetryInterval = std::chrono::seconds(10);
    static constexpr const char* kConsoleList = "/sys/class/tty/console/active";

    // With no device named, each base address is a COM port (0x3F8 = /dev/ttyS0
    // ... 0x260 = /dev/ttyS7); with one named, every base address uses it.
    explicit TtyPortIo(const Clock& clock, std::string device = "");
    ~TtyPortIo() override;
    TtyPortIo(const TtyPortIo&) = delete;
    TtyPortIo& operator=(const TtyPortIo&) = delete;

    std::uint8_t In(std::uint16_t address) override;
    void Out(std::uint16_t address, std::uint8_t value) override;
    TimePoint NextChange(std::uint16_t address) override;

    // For the status display.
    bool IsOpen(std::uint16_t base) const;
    std::string DeviceFor(std::uint16_t base) const;

    // The file naming the console devices, which are never opened.
    void SetConsoleListPath(std::string path) { consoleList_ = std::move(path); }

private:
    struct Port {
        std::uint16_t base = 0;
        std::string device;
        // What the station programmed; paces the station at line speed
        // whether or not the device is there.
        Uart16550 shadow;
        int fd = -1;
        bool tried = false;
        TimePoint lastAttempt{};
        std::string downReason;  // last failure reported; empty while open
        std::set<std::string> notes;  // one-time remarks already reported
        // What the device has been given.
        bool formatApplied = false;
        std::uint8_t appliedLcr = 0;
        unsigned appliedDivisor = 0;
        std::uint8_t appliedLines = 0;
        bool breakOn = false;
        bool pending = false;  // a character the driver had no room for
        std::uint8_t pendingByte = 0;
        bool hasLineStatus = true;  // driver answers TIOCSERGETLSR
    };

    Port& PortAt(std::uint16_t base);
    const Port* FindPort(std::uint16_t base) const;
    void EnsureOpen(Port& port, TimePoint now);
    void TryOpen(Port& port, TimePoint now);
    bool IsConsole(dev_t rdev) const;
    void GoDown(Port& port, const std::string& reason, TimePoint now);
    // A remark reported once per port and `key`.
    void Note(Port& port, const std::string& key, const std::string& message);
    // Each returns false when the device has gone (and the port is then down).
    bool SetupTermios(Port& port, TimePoint now);
    bool ApplyLcr(Port& port, TimePoint now);
    bool ApplyLines(Port& port, TimePoint now);
    bool ApplyBreak(Port& port, TimePoint now);
    bool SendByte(Port& port, std::uint8_t value, TimePoint now);
    bool FlushPending(Port& port, TimePoint now);
    // Bytes in the driver's output queue; -1 when the device has gone.
    int Queued(Port& port, TimePoint now);
    bool HardwareBusy(Port& port);
    std::uint8_t LineStatus(Port& port, TimePoint now);

    const Clock& clock_;
    LineClock line_;
    std::string device_;
    std::string consoleList_ = kConsoleList;
    std::map<std::uint16_t, std::unique_ptr<Port>> ports_;
};

// The device a COM port base address stands for, "" for none.
std::string ComDeviceFor(std::uint16_t base);

namespace tty {
// termios c_cflag bits (size, stop bits, parity) for a 16550 line-control value.
std::uint32_t FrameFlags(std::uint8_t lcr);
// The integer line speed for a divisor: 115200 / divisor, rounded.
unsigned BaudForDivisor(unsigned divisor);
// Custom speed through termios2 (BOTHER); 0 on success, else errno.
int SetSpeed(int fd, unsigned baud);
// Current output speed through termios2; 0 on success, else errno.
int GetSpeed(int fd, unsigned& baud);
}  // namespace tty

}  // namespace sked
