// Line speeds that are not one of the fixed Bxxx values (45 and 50 baud for
// teleprinters) need the kernel's termios2 with BOTHER. Its header clashes
// with <termios.h>, so it lives alone in this file.
#include <cerrno>

#include <asm/termbits.h>
#include <sys/ioctl.h>

namespace sked::tty {

int SetSpeed(int fd, unsigned baud) {
    struct termios2 t {};
    if (ioctl(fd, TCGETS2, &t) != 0) return errno;
    t.c_cflag &= ~(CBAUD | (CBAUD << IBSHIFT));
    t.c_cflag |= BOTHER | (BOTHER << IBSHIFT);
    t.c_ispeed = baud;
    t.c_ospeed = baud;
    if (ioctl(fd, TCSETS2, &t) != 0) return errno;
    return 0;
}

int GetSpeed(int fd, unsigned& baud) {
    struct termios2 t {};
    if (ioctl(fd, TCGETS2, &t) != 0) return errno;
    baud = t.c_ospeed;
    return 0;
}

}  // namespace sked::tty
