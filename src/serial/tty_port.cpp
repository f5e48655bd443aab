#include "serial/tty_port.h"

#include <algorithm>
#include <cerrno>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <fstream>
#include <vector>

#include <fcntl.h>
#include <sys/ioctl.h>
#include <sys/stat.h>
#include <termios.h>
#include <unistd.h>

#include "serial/line_release.h"

namespace sked {

namespace {

constexpr std::uint16_t kBaseMask = static_cast<std::uint16_t>(~7u);
constexpr std::uint8_t kLineBits = uart::kMcrDtr | uart::kMcrRts;

// Errors by which a device tells that it is no longer there (USB adapter
// unplugged, pty master closed).
bool Gone(int err) { return err == EIO || err == ENXIO || err == ENODEV; }

// Errors a tty without modem-control lines (a pty) gives for DTR/RTS.
bool NoModemLines(int err) { return err == EINVAL || err == ENOTTY || err == EIO; }

std::string Hex(std::uint16_t value) {
    char text[8];
    std::snprintf(text, sizeof text, "0x%X", static_cast<unsigned>(value));
    return text;
}

int ToTiocm(std::uint8_t mcrBits) {
    int bits = 0;
    if (mcrBits & uart::kMcrDtr) bits |= TIOCM_DTR;
    if (mcrBits & uart::kMcrRts) bits |= TIOCM_RTS;
    return bits;
}

}  // namespace

std::string ComDeviceFor(std::uint16_t base) {
    switch (base) {
    case 0x3F8: return "/dev/ttyS0";
    case 0x2F8: return "/dev/ttyS1";
    case 0x3E8: return "/dev/ttyS2";
    case 0x3E0: return "/dev/ttyS3";
    case 0x2F0: return "/dev/ttyS4";
    case 0x2E8: return "/dev/ttyS5";
    case 0x2E0: return "/dev/ttyS6";
    case 0x260: return "/dev/ttyS7";
    default: return "";
    }
}

namespace tty {

std::uint32_t FrameFlags(std::uint8_t lcr) {
    static constexpr tcflag_t kSizes[] = {CS5, CS6, CS7, CS8};
    tcflag_t flags = kSizes[lcr & uart::kLcrWordMask];
    if (lcr & uart::kLcrStopBits) flags |= CSTOPB;
    if (lcr & 0x08) {
        flags |= PARENB;
        if (!(lcr & 0x10)) flags |= PARODD;  // odd, or mark when stuck
        if (lcr & 0x20) flags |= CMSPAR;     // stick parity
    }
    return flags;
}

unsigned BaudForDivisor(unsigned divisor) {
    const double d = divisor == 0 ? 65536.0 : divisor;
    return static_cast<unsigned>(std::lround(uart::kClockHz / d));
}

}  // namespace tty

TtyPortIo::TtyPortIo(const Clock& clock, std::string device)
    : clock_(clock), line_(clock), device_(std::move(device)) {}

TtyPortIo::~TtyPortIo() {
    for (auto& [base, port] : ports_) {
        if (port->fd < 0) continue;
        // Unkey and switch off explicitly; HUPCL does the same on close.
        if (port->breakOn) ioctl(port->fd, TIOCCBRK, 0);
        int lines = TIOCM_DTR | TIOCM_RTS;
        ioctl(port->fd, TIOCMBIC, &lines);
        line_release::UnregisterTty(port->fd);
        ::close(port->fd);
    }
}

std::string TtyPortIo::DeviceFor(std::uint16_t base) const {
    return device_.empty() ? ComDeviceFor(base & kBaseMask) : device_;
}

bool TtyPortIo::IsOpen(std::uint16_t base) const {
    const Port* port = FindPort(base & kBaseMask);
    return port != nullptr && port->fd >= 0;
}

const TtyPortIo::Port* TtyPortIo::FindPort(std::uint16_t base) const {
    auto it = ports_.find(base);
    return it == ports_.end() ? nullptr : it->second.get();
}

TtyPortIo::Port& TtyPortIo::PortAt(std::uint16_t base) {
    auto& slot = ports_[base];
    if (!slot) {
        slot = std::make_unique<Port>();
        slot->base = base;
        slot->device = DeviceFor(base);
    }
    return *slot;
}

std::uint8_t TtyPortIo::In(std::uint16_t address) {
    const std::uint16_t offset = address & 7;
    Port& port = PortAt(address & kBaseMask);
    const TimePoint now = clock_.Now();
    EnsureOpen(port, now);
    if (offset == uart::kLsr) return LineStatus(port, now);
    return port.shadow.Read(offset, line_.Now());
}

void TtyPortIo::Out(std::uint16_t address, std::uint8_t value) {
    const std::uint16_t offset = address & 7;
    Port& port = PortAt(address & kBaseMask);
    const TimePoint now = clock_.Now();
    EnsureOpen(port, now);

    const std::uint8_t oldLcr = port.shadow.lcr();
    const bool character = offset == uart::kThr && !port.shadow.dlab();
    port.shadow.Write(offset, value, line_.Now());  // also paces the character
    if (port.fd < 0) return;  // down: the character is dropped

    switch (offset) {
    case uart::kLcr:
        if (((oldLcr ^ value) & uart::kLcrBreak) && !ApplyBreak(port, now)) return;
        if (!port.shadow.dlab()) ApplyLcr(port, now);
        break;
    case uart::kMcr: ApplyLines(port, now); break;
    case uart::kThr:
        if (!character || !FlushPending(port, now)) return;
        if (port.pending) port.pendingByte = value;  // overrun, as on the chip
        else SendByte(port, value, now);
        break;
    default: break;
    }
}

TimePoint TtyPortIo::NextChange(std::uint16_t address) {
    const TimePoint now = clock_.Now();
    if ((address & 7) != uart::kLsr) return TimePoint::max();
    auto it = ports_.find(address & kBaseMask);
    if (it == ports_.end()) return now;
    Port& port = *it->second;
    TimePoint next = line_.ToClock(port.shadow.NextChange(uart::kLsr, line_.Now()));
    if (port.fd < 0) return next;

    const int queued = Queued(port, now);
    if (queued < 0) return next;  // gone: the shadow paces alone
    const Duration frame = port.shadow.frameTime();
    if (queued > 0 || port.pending) {
        next = std::max(next, now + frame * std::max(queued, 1));
    } else if (next <= now && HardwareBusy(port)) {
        next = now + frame;  // the last characters are still in the chip
    }
    return next;
}

std::uint8_t TtyPortIo::LineStatus(Port& port, TimePoint now) {
    std::uint8_t lsr = port.shadow.Read(uart::kLsr, line_.Now());
    if (port.fd < 0 || !FlushPending(port, now)) return lsr;
    const int queued = Queued(port, now);
    if (queued < 0) return lsr;
    if (queued > 0 || port.pending) lsr &= ~(uart::kLsrThre | uart::kLsrTemt);
    else if ((lsr & uart::kLsrTemt) && HardwareBusy(port)) lsr &= ~uart::kLsrTemt;
    return lsr;
}

int TtyPortIo::Queued(Port& port, TimePoint now) {
    int queued = 0;
    if (ioctl(port.fd, TIOCOUTQ, &queued) != 0) {
        const int err = errno;
        if (Gone(err)) {
            GoDown(port, port.device + ": " + std::strerror(err), now);
            return -1;
        }
        Note(port, "outq", port.device + ": cannot read the output queue (" + std::strerror(err) + ")");
        return 0;
    }
    return std::max(queued, 0);
}

bool TtyPortIo::HardwareBusy(Port& port) {
    if (!port.hasLineStatus) return false;
    unsigned int status = 0;
    if (ioctl(port.fd, TIOCSERGETLSR, &status) != 0) {
        port.hasLineStatus = false;  // not a UART driver (pty, some adapters)
        return false;
    }
    return !(status & TIOCSER_TEMT);
}

void TtyPortIo::EnsureOpen(Port& port, TimePoint now) {
    if (port.fd >= 0) return;
    if (!port.tried || now - port.lastAttempt >= kRetryInterval || now < port.lastAttempt) TryOpen(port, now);
}

bool TtyPortIo::IsConsole(dev_t rdev) const {
    std::vector<std::string> names = {"console", "tty0"};
    std::ifstream list(consoleList_);
    for (std::string name; list >> name;) names.push_back(name);
    for (const std::string& name : names) {
        struct stat st {};
        const std::string path = "/dev/" + name;
        if (stat(path.c_str(), &st) == 0 && S_ISCHR(st.st_mode) && st.st_rdev == rdev) return true;
    }
    return false;
}

void TtyPortIo::TryOpen(Port& port, TimePoint now) {
    port.tried = true;
    port.lastAttempt = now;
    const std::string& device = port.device;
    if (device.empty()) {
        GoDown(port, "no serial port known at I/O address " + Hex(port.base) + "; name one with --serial=tty:<device>",
               now);
        return;
    }
    const std::string consoleRefused = device + ": is the system console; refusing to use it for the transmitter";

    // The console check comes before open(): opening a port raises its lines.
    struct stat st {};
    if (stat(device.c_str(), &st) != 0) {
        GoDown(port, device + ": " + std::strerror(errno), now);
        return;
    }
    if (S_ISCHR(st.st_mode) && IsConsole(st.st_rdev)) {
        GoDown(port, consoleRefused, now);
        return;
    }
    const int fd = ::open(device.c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
    if (fd < 0) {
        GoDown(port, device + ": " + std::strerror(errno), now);
        return;
    }
    // Linux raises DTR and RTS on open, which would key the transmitter and
    // switch its power on: drop them before anything else.
    int lines = TIOCM_DTR | TIOCM_RTS;
    const int cleared = ioctl(fd, TIOCMBIC, &lines);
    const int clearErr = errno;
    struct stat opened {};
    if (fstat(fd, &opened) == 0 && S_ISCHR(opened.st_mode) && IsConsole(opened.st_rdev)) {
        ::close(fd);
        GoDown(port, consoleRefused, now);
        return;
    }
    if (cleared != 0) {
        if (!NoModemLines(clearErr)) {
            ::close(fd);
            GoDown(port, device + ": " + std::strerror(clearErr), now);
            return;
        }
        Note(port, "modem", device + ": no modem-control lines (" + std::strerror(clearErr) + ")");
    }

    port.fd = fd;
    line_release::RegisterTty(fd);
    port.appliedLines = 0;
    port.breakOn = false;
    port.formatApplied = false;
    port.pending = false;
    port.hasLineStatus = true;
    if (!SetupTermios(port, now)) return;
    if (!port.downReason.empty()) {
        ReportProblem(device + ": open again");
        port.downReason.clear();
    }
    // Back to what the station had programmed.
    if (port.shadow.formatSet() && !port.shadow.dlab() && !ApplyLcr(port, now)) return;
    if (!ApplyLines(port, now)) return;
    if (port.shadow.lcr() & uart::kLcrBreak) ApplyBreak(port, now);
}

bool TtyPortIo::SetupTermios(Port& port, TimePoint now) {
    struct termios t {};
    if (tcgetattr(port.fd, &t) != 0) {
        GoDown(port, port.device + ": " + std::strerror(errno), now);
        return false;
    }
    cfmakeraw(&t);
    // HUPCL: both lines drop when the station exits or dies.
    t.c_cflag |= CLOCAL | CREAD | HUPCL;
    t.c_cflag &= ~CRTSCTS;
    t.c_iflag &= ~(IXON | IXOFF | IXANY);
    t.c_cc[VMIN] = 0;
    t.c_cc[VTIME] = 0;
    if (tcsetattr(port.fd, TCSANOW, &t) != 0) {
        GoDown(port, port.device + ": " + std::strerror(errno), now);
        return false;
    }
    return true;
}

bool TtyPortIo::ApplyLcr(Port& port, TimePoint now) {
    const std::uint8_t format = port.shadow.lcr() & 0x3F;
    const unsigned divisor = port.shadow.divisor();
    if (port.formatApplied && port.appliedLcr == format && port.appliedDivisor == divisor) return true;

    struct termios t {};
    int err = 0;
    if (tcgetattr(port.fd, &t) == 0) {
        t.c_cflag = (t.c_cflag & ~(CSIZE | CSTOPB | PARENB | PARODD | CMSPAR)) | tty::FrameFlags(format);
        if (tcsetattr(port.fd, TCSANOW, &t) != 0) err = errno;
    } else {
        err = errno;
    }
    if (err != 0) {
        if (Gone(err)) {
            GoDown(port, port.device + ": " + std::strerror(err), now);
            return false;
        }
        Note(port, "format", port.device + ": cannot set the character format (" + std::strerror(err) + ")");
    }
    const unsigned baud = tty::BaudForDivisor(divisor);
    err = tty::SetSpeed(port.fd, baud);
    if (err != 0) {
        if (Gone(err)) {
            GoDown(port, port.device + ": " + std::strerror(err), now);
            return false;
        }
        Note(port, "speed " + std::to_string(baud),
             port.device + ": cannot set " + std::to_string(baud) + " baud (" + std::strerror(err) + ")");
    }
    port.formatApplied = true;
    port.appliedLcr = format;
    port.appliedDivisor = divisor;
    return true;
}

bool TtyPortIo::ApplyLines(Port& port, TimePoint now) {
    const std::uint8_t want = port.shadow.mcr() & kLineBits;
    const std::uint8_t changed = want ^ port.appliedLines;
    const struct {
        unsigned long request;
        int bits;
    } steps[] = {{TIOCMBIS, ToTiocm(changed & want)}, {TIOCMBIC, ToTiocm(changed & ~want)}};
    for (const auto& step : steps) {
        if (step.bits == 0) continue;
        int bits = step.bits;
        if (ioctl(port.fd, step.request, &bits) == 0) continue;
        const int err = errno;
        if (!NoModemLines(err)) {
            GoDown(port, port.device + ": " + std::strerror(err), now);
            return false;
        }
        Note(port, "modem", port.device + ": no modem-control lines (" + std::strerror(err) + ")");
    }
    port.appliedLines = want;
    return true;
}

bool TtyPortIo::ApplyBreak(Port& port, TimePoint now) {
    const bool on = (port.shadow.lcr() & uart::kLcrBreak) != 0;
    if (ioctl(port.fd, on ? TIOCSBRK : TIOCCBRK, 0) != 0) {
        const int err = errno;
        if (Gone(err)) {
            GoDown(port, port.device + ": " + std::strerror(err), now);
            return false;
        }
        Note(port, "break", port.device + ": cannot send a break (" + std::strerror(err) + ")");
    }
    port.breakOn = on;
    return true;
}

bool TtyPortIo::SendByte(Port& port, std::uint8_t value, TimePoint now) {
    for (;;) {
        const ssize_t n = ::write(port.fd, &value, 1);
        if (n == 1) return true;
        if (n < 0 && errno == EINTR) continue;
        const int err = n < 0 ? errno : EAGAIN;
        if (err == EAGAIN || err == EWOULDBLOCK) {
            // The driver's queue is full: hold the character like THR does.
            port.pending = true;
            port.pendingByte = value;
            return true;
        }
        GoDown(port, port.device + ": " + std::strerror(err), now);
        return false;
    }
}

bool TtyPortIo::FlushPending(Port& port, TimePoint now) {
    if (!port.pending) return true;
    port.pending = false;
    return SendByte(port, port.pendingByte, now);
}

void TtyPortIo::GoDown(Port& port, const std::string& reason, TimePoint now) {
    if (port.fd >= 0) {
        line_release::UnregisterTty(port.fd);
        ::close(port.fd);
    }
    port.fd = -1;
    port.pending = false;
    port.formatApplied = false;
    port.breakOn = false;
    port.appliedLines = 0;
    port.tried = true;
    port.lastAttempt = now;
    if (reason != port.downReason) {
        port.downReason = reason;
        ReportProblem(reason);
    }
}

void TtyPortIo::Note(Port& port, const std::string& key, const std::string& message) {
    if (port.notes.insert(key).second) ReportProblem(message);
}

}  // namespace sked
