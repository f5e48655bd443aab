// The station's serial ports as Linux tty devices: on-board ports and USB
// adapters. Each port is opened at its first use, set to raw 8-bit framing
// at the teleprinter's speed (exactly, through a custom divisor, where the
// driver takes one), and keyed through DTR and RTS. A device that is
// missing or disappears keeps the station at line speed (the characters
// are dropped) and is tried again every ten seconds until it is back.
#pragma once

#include <chrono>
#include <functional>
#include <map>
#include <memory>
#include <string>
#include <utility>

#include <linux/serial.h>

#include "serial/line_clock.h"
#include "serial/serial_line.h"

namespace sked {

// The driver calls that set the speed and drive the lines, apart so that a
// test can stand in for a driver it cannot have (a UART that takes a custom
// divisor). Each returns 0, or the errno of the failed call.
struct TtyDriver {
    std::function<int(int fd, serial_struct& info)> getSerial;        // TIOCGSERIAL
    std::function<int(int fd, const serial_struct& info)> setSerial;  // TIOCSSERIAL
    // The termios speed B38400, which a custom divisor stands in for.
    std::function<int(int fd)> setDivisorSpeed;
    // Any whole baud, through termios2 and BOTHER.
    std::function<int(int fd, unsigned baud)> setBaud;
    std::function<int(int fd, int lines)> raiseLines;  // TIOCMBIS with TIOCM_DTR / TIOCM_RTS
    std::function<int(int fd, int lines)> dropLines;   // TIOCMBIC
    std::function<int(int fd, bool on)> setBreak;      // TIOCSBRK / TIOCCBRK
    std::function<int(int fd, int& bytes)> outputQueue;        // TIOCOUTQ
    std::function<int(int fd, bool& empty)> transmitterEmpty;  // TIOCSERGETLSR (TEMT)

    // The kernel's own calls.
    static TtyDriver System();
};

class TtyPorts : public SerialPorts {
public:
    static constexpr Duration kRetryInterval = std::chrono::seconds(10);
    static constexpr const char* kConsoleList = "/sys/class/tty/console/active";

    // With no device named, COMn is /dev/ttyS(n-1); with one named, every
    // port number uses it (one line, however many numbers ask for it).
    explicit TtyPorts(const Clock& clock, std::string device = "", TtyDriver driver = TtyDriver::System());
    ~TtyPorts() override;
    TtyPorts(const TtyPorts&) = delete;
    TtyPorts& operator=(const TtyPorts&) = delete;

    SerialLine& Port(int number) override;

    // The device behind port `number`; "" when there is none.
    std::string DeviceFor(int number) const;
    // The file naming the console devices, which are never opened.
    void SetConsoleListPath(std::string path) { consoleList_ = std::move(path); }

private:
    class Line;

    LineClock lineClock_;  // one timeline for every port
    std::string device_;
    TtyDriver driver_;
    std::string consoleList_ = kConsoleList;
    std::map<std::string, std::unique_ptr<Line>> lines_;  // by device
};

}  // namespace sked
