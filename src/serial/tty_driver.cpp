// The kernel's calls behind TtyDriver. Speeds that are not one of the fixed
// Bxxx values (45 and 50 baud for teleprinters) need termios2 with BOTHER,
// whose header clashes with <termios.h>; so the calls live alone here.
#include <cerrno>

#include <asm/termbits.h>
#include <sys/ioctl.h>

#include "serial/tty_line.h"

namespace sked {

namespace {

int Result(int status) { return status == 0 ? 0 : errno; }

// Output and input speed alike: the termios speed code, and for BOTHER the baud itself.
int SetSpeed(int fd, unsigned code, unsigned baud) {
    struct termios2 t {};
    if (ioctl(fd, TCGETS2, &t) != 0) return errno;
    t.c_cflag &= ~(CBAUD | (CBAUD << IBSHIFT));
    t.c_cflag |= code | (code << IBSHIFT);
    t.c_ispeed = baud;
    t.c_ospeed = baud;
    return Result(ioctl(fd, TCSETS2, &t));
}

}  // namespace

TtyDriver TtyDriver::System() {
    TtyDriver driver;
    driver.getSerial = [](int fd, serial_struct& info) { return Result(ioctl(fd, TIOCGSERIAL, &info)); };
    driver.setSerial = [](int fd, const serial_struct& info) { return Result(ioctl(fd, TIOCSSERIAL, &info)); };
    driver.setDivisorSpeed = [](int fd) { return SetSpeed(fd, B38400, 38400); };
    driver.setBaud = [](int fd, unsigned baud) { return SetSpeed(fd, BOTHER, baud); };
    driver.raiseLines = [](int fd, int lines) { return Result(ioctl(fd, TIOCMBIS, &lines)); };
    driver.dropLines = [](int fd, int lines) { return Result(ioctl(fd, TIOCMBIC, &lines)); };
    driver.setBreak = [](int fd, bool on) { return Result(ioctl(fd, on ? TIOCSBRK : TIOCCBRK, 0)); };
    driver.outputQueue = [](int fd, int& bytes) { return Result(ioctl(fd, TIOCOUTQ, &bytes)); };
    driver.transmitterEmpty = [](int fd, bool& empty) {
        unsigned int status = 0;
        if (ioctl(fd, TIOCSERGETLSR, &status) != 0) return errno;
        empty = (status & TIOCSER_TEMT) != 0;
        return 0;
    };
    return driver;
}

}  // namespace sked
