#include "serial/tty_line.h"

#include <algorithm>
#include <cerrno>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <fstream>
#include <optional>
#include <set>
#include <vector>

#include <fcntl.h>
#include <sys/ioctl.h>
#include <sys/stat.h>
#include <termios.h>
#include <unistd.h>

#include "serial/frame_pacer.h"
#include "serial/line_release.h"

namespace sked {

namespace {

constexpr int kBothLines = TIOCM_DTR | TIOCM_RTS;

// Errors by which a device tells that it is no longer there (a USB adapter
// unplugged, a pty master closed).
bool Gone(int err) { return err == EIO || err == ENXIO || err == ENODEV; }

// Errors a tty without modem-control lines (a pty) gives for DTR and RTS.
bool NoModemLines(int err) { return err == EINVAL || err == ENOTTY || err == EIO; }

int LineBit(KeyLine line) { return line == KeyLine::Dtr ? TIOCM_DTR : TIOCM_RTS; }

// A speed as the operator writes it: "45.45", "50".
std::string BaudText(double baud) {
    char text[32];
    std::snprintf(text, sizeof text, "%g", baud);
    return text;
}

std::string ComDevice(int number) { return number >= 1 && number <= 8 ? "/dev/ttyS" + std::to_string(number - 1) : ""; }

// The termios character size and stop bits. With 5 data bits a UART sends
// CSTOPB as 1.5 stop bits, with more as 2.
tcflag_t FrameFlags(const LineFormat& format) {
    static constexpr tcflag_t kSizes[] = {CS5, CS6, CS7, CS8};
    tcflag_t flags = kSizes[std::clamp(format.dataBits, 5, 8) - 5];
    if (format.stopHalfBits > 2) flags |= CSTOPB;
    return flags;
}

}  // namespace

// One device and what the station last asked of it. Every call first opens
// the device if it is due (at the first use, then every kRetryInterval while
// it is missing); while it is not open the pacer alone answers.
class TtyPorts::Line : public SerialLine {
public:
    Line(TtyPorts& ports, std::string device) : ports_(ports), device_(std::move(device)) {
        pacer_.SetFrameTime(FrameTime(format_, format_.baud));
    }
    ~Line() override {
        if (fd_ >= 0) RestoreSpeedFlags();
        Close();
    }
    Line(const Line&) = delete;
    Line& operator=(const Line&) = delete;

    void SetFormat(const LineFormat& format) override {
        format_ = format;
        formatAsked_ = true;
        pacer_.SetFrameTime(FrameTime(format_, format_.baud));  // until the driver tells the speed it gives
        if (AlreadyOpen()) ApplyFormat();
    }
    void AssignLines(KeyLine key) override {
        keyLine_ = key;
        keyDown_ = false;
        if (AlreadyOpen()) SetLines(WantedLines());
    }
    void SetKey(bool down) override {
        keyDown_ = down;
        if (AlreadyOpen()) SetLines(WantedLines());
    }
    void SetPower(bool on) override {
        powerOn_ = on;
        if (AlreadyOpen()) SetLines(WantedLines());
    }
    void SetBreak(bool on) override {
        breakOn_ = on;
        if (AlreadyOpen()) ApplyBreak();
    }

    bool CanSend() override {
        const bool free = pacer_.CanSend(Now());
        if (!Ready()) return free;
        const int queued = Queued();
        return free && queued <= 0 && !pending_;  // gone (-1): the pacer alone
    }
    void Send(std::uint8_t code) override {
        pacer_.Send(Now());
        if (!Ready()) return;  // not there: the character is dropped, but took its time
        if (pending_) pendingByte_ = code;  // over a character still held, as on a chip
        else Write(code);
    }
    bool Drained() override {
        const bool idle = pacer_.Drained(Now());
        if (!Ready()) return idle;
        const int queued = Queued();
        if (queued < 0) return idle;
        return idle && queued == 0 && !pending_ && !TransmitterBusy();
    }
    TimePoint NextChange() override {
        const TimePoint now = Now();
        TimePoint next = pacer_.NextChange(now);
        const int queued = fd_ >= 0 ? Queued() : -1;
        if (queued >= 0) {
            const Duration frame = pacer_.frameTime();
            if (queued > 0 || pending_) {
                next = std::max(next, now + frame * std::max(queued, 1));
            } else if (next <= now && TransmitterBusy()) {
                next = now + frame;  // the last characters are still in the chip
            }
        }
        return ports_.lineClock_.ToClock(next);
    }

    bool Present() override { return EnsureOpen() && Queued() >= 0; }
    std::string WhyAbsent() const override { return downReason_; }
    bool KeyDown() const override { return keyDown_; }
    bool PowerOn() const override { return powerOn_; }

private:
    const TtyDriver& Driver() const { return ports_.driver_; }
    TimePoint Now() { return ports_.lineClock_.Now(); }
    int WantedLines() const {
        return (keyDown_ ? LineBit(keyLine_) : 0) | (powerOn_ ? LineBit(OtherLine(keyLine_)) : 0);
    }

    // Open, trying the device again when it is due; false while it is not there.
    bool EnsureOpen() {
        if (fd_ < 0 && (!tried_ || Now() - lastAttempt_ >= kRetryInterval)) TryOpen();
        return fd_ >= 0;
    }
    // True when the device was open already. Otherwise tries to open it when
    // due, and opening brings it to everything asked so far.
    bool AlreadyOpen() {
        if (fd_ >= 0) return true;
        EnsureOpen();
        return false;
    }
    // Open, and the character the driver had no room for passed on.
    bool Ready() { return EnsureOpen() && FlushPending(); }

    void TryOpen() {
        tried_ = true;
        lastAttempt_ = Now();
        if (device_.empty()) {
            Fail("no tty device for this port number; name one with --serial=tty:<device>");
            return;
        }
        // Before open(): opening a port raises its lines, and the console's
        // would be keyed.
        struct stat st {};
        if (stat(device_.c_str(), &st) != 0) {
            Fail(errno);
            return;
        }
        if (IsConsole(st)) {
            Fail(ConsoleRefusal());
            return;
        }
        const int fd = ::open(device_.c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
        if (fd < 0) {
            Fail(errno);
            return;
        }
        fd_ = fd;
        line_release::RegisterTty(fd_);
        // Linux raises DTR and RTS on open, which would key the transmitter
        // and switch its power on: drop both before anything else.
        linesUp_ = kBothLines;
        if (!SetLines(0)) return;
        // The name may have been switched to the console between stat() and open().
        if (fstat(fd_, &st) == 0 && IsConsole(st)) {
            Fail(ConsoleRefusal());
            return;
        }
        if (!SetRaw()) return;
        if (!downReason_.empty()) {
            Report(device_ + ": open again");
            downReason_.clear();
        }
        // Back to what the station last asked.
        if (formatAsked_ && !ApplyFormat()) return;
        if (!SetLines(WantedLines())) return;
        if (breakOn_) ApplyBreak();
    }

    bool IsConsole(const struct stat& device) const {
        if (!S_ISCHR(device.st_mode)) return false;
        std::vector<std::string> names = {"console", "tty0"};
        std::ifstream list(ports_.consoleList_);
        for (std::string name; list >> name;) names.push_back(name);
        return std::any_of(names.begin(), names.end(), [&](const std::string& name) {
            struct stat console {};
            const std::string path = "/dev/" + name;
            return stat(path.c_str(), &console) == 0 && S_ISCHR(console.st_mode) && console.st_rdev == device.st_rdev;
        });
    }
    std::string ConsoleRefusal() const {
        return device_ + ": is the system console; refusing to use it for the transmitter";
    }

    // 8-bit clean, no flow control, reads that never wait; HUPCL drops both
    // lines when the station ends or dies.
    bool SetRaw() {
        struct termios t {};
        if (tcgetattr(fd_, &t) != 0) return Fail(errno);
        cfmakeraw(&t);
        t.c_cflag |= CLOCAL | CREAD | HUPCL;
        t.c_cflag &= ~CRTSCTS;
        t.c_iflag &= ~(IXON | IXOFF | IXANY);
        t.c_cc[VMIN] = 0;
        t.c_cc[VTIME] = 0;
        if (tcsetattr(fd_, TCSANOW, &t) != 0) return Fail(errno);
        return true;
    }

    // Each Apply/Set returns false when the device has gone (and the line is then closed).
    bool ApplyFormat() {
        struct termios t {};
        int err = tcgetattr(fd_, &t) == 0 ? 0 : errno;
        if (err == 0) {
            t.c_cflag = (t.c_cflag & ~(CSIZE | CSTOPB | PARENB | PARODD | CMSPAR)) | FrameFlags(format_);
            if (tcsetattr(fd_, TCSANOW, &t) != 0) err = errno;
        }
        if (!Survives(err, "format", "cannot set the character format")) return false;
        return ApplySpeed();
    }

    // The speed exactly, through the custom divisor where the driver takes
    // one; else the nearest whole baud, and the operator told so.
    bool ApplySpeed() {
        const double asked = format_.baud;
        serial_struct found {};
        int err = Driver().getSerial(fd_, found);
        const int divisor = err == 0 ? static_cast<int>(found.baud_base / asked) : 0;
        if (divisor > 0) {
            serial_struct custom = found;
            custom.flags = (found.flags & ~ASYNC_SPD_MASK) | ASYNC_SPD_CUST;
            custom.custom_divisor = divisor;
            err = Driver().setSerial(fd_, custom);
            if (err == 0) {
                if (!foundSerial_) foundSerial_ = found;
                return UseSpeed(Driver().setDivisorSpeed(fd_), static_cast<double>(found.baud_base) / divisor);
            }
        }
        if (Gone(err)) return Fail(err);
        const std::string why = err != 0 ? std::strerror(err) : "baud base " + std::to_string(found.baud_base);
        const unsigned whole = static_cast<unsigned>(std::max(1L, std::lround(asked)));
        err = Driver().setBaud(fd_, whole);
        if (err == 0 && whole != asked) {
            Note("speed " + BaudText(asked), BaudText(asked) + " baud cannot be set exactly (no custom divisor: " + why +
                                                 "); using " + std::to_string(whole) + " baud");
        }
        return UseSpeed(err, whole);
    }
    // The driver keeps a custom divisor after the port is closed, and would
    // give it to whoever next asks for 38400 baud: put back what was found.
    void RestoreSpeedFlags() {
        serial_struct now {};
        if (!foundSerial_ || Driver().getSerial(fd_, now) != 0) return;
        now.flags = (now.flags & ~ASYNC_SPD_MASK) | (foundSerial_->flags & ASYNC_SPD_MASK);
        now.custom_divisor = foundSerial_->custom_divisor;
        Driver().setSerial(fd_, now);
    }
    // The pacer times frames at the speed the line really runs.
    bool UseSpeed(int err, double baud) {
        if (!Survives(err, "speed set " + BaudText(baud), "cannot set " + BaudText(baud) + " baud")) return false;
        if (err == 0) pacer_.SetFrameTime(FrameTime(format_, baud));
        return true;
    }

    // Raises and drops DTR and RTS to `want` (TIOCM_ bits).
    bool SetLines(int want) {
        const int raise = want & ~linesUp_;
        const int drop = linesUp_ & ~want;
        if (raise != 0 && !LinesTaken(Driver().raiseLines(fd_, raise))) return false;
        if (drop != 0 && !LinesTaken(Driver().dropLines(fd_, drop))) return false;
        linesUp_ = want;
        return true;
    }
    // After a DTR/RTS call: false, and the line closed, when the device has gone.
    bool LinesTaken(int err) {
        if (err == 0) return true;
        // EIO is also what a device that has gone says; its output queue tells which.
        if (!NoModemLines(err) || (err == EIO && Queued() < 0)) return Fail(err);
        Note("modem", std::string("no modem-control lines (") + std::strerror(err) + ")");
        return true;
    }

    bool ApplyBreak() {
        const int err = Driver().setBreak(fd_, breakOn_);
        if (!Survives(err, "break", "cannot send a break")) return false;
        breakSet_ = breakOn_ && err == 0;
        return true;
    }

    bool Write(std::uint8_t code) {
        for (;;) {
            const ssize_t n = ::write(fd_, &code, 1);
            if (n == 1) return true;
            const int err = n < 0 ? errno : EAGAIN;
            if (err == EINTR) continue;
            if (err != EAGAIN) return Fail(err);
            // The driver's queue is full: hold the character, as a chip's holding register does.
            pending_ = true;
            pendingByte_ = code;
            return true;
        }
    }
    bool FlushPending() {
        if (!pending_) return true;
        pending_ = false;
        return Write(pendingByte_);
    }

    // Characters in the driver's output queue; -1 when the device has gone.
    int Queued() {
        int bytes = 0;
        const int err = Driver().outputQueue(fd_, bytes);
        if (!Survives(err, "queue", "cannot read the output queue")) return -1;
        return err == 0 ? std::max(bytes, 0) : 0;
    }
    // The last character is still in the UART's shift register.
    bool TransmitterBusy() {
        if (!hasLineStatus_) return false;
        bool empty = true;
        if (Driver().transmitterEmpty(fd_, empty) != 0) {
            hasLineStatus_ = false;  // not a UART driver (a pty, some adapters)
            return false;
        }
        return !empty;
    }

    // After a failed call that leaves the device usable: told once per `key`.
    // False, and the line closed, when the failure says the device has gone.
    bool Survives(int err, const std::string& key, const std::string& what) {
        if (err == 0) return true;
        if (Gone(err)) return Fail(err);
        Note(key, what + " (" + std::strerror(err) + ")");
        return true;
    }

    bool Fail(int err) { return Fail(device_ + ": " + std::strerror(err)); }
    // Closes the line until the next try; the reason told once per change.
    bool Fail(const std::string& reason) {
        Close();
        tried_ = true;
        lastAttempt_ = Now();
        if (reason != downReason_) {
            downReason_ = reason;
            Report(reason);
        }
        return false;
    }
    void Close() {
        if (fd_ < 0) return;
        if (breakSet_) Driver().setBreak(fd_, false);
        Driver().dropLines(fd_, kBothLines);
        line_release::UnregisterTty(fd_);
        ::close(fd_);
        fd_ = -1;
        linesUp_ = 0;
        breakSet_ = false;
        pending_ = false;
        hasLineStatus_ = true;
    }

    void Note(const std::string& key, const std::string& message) {
        if (notes_.insert(key).second) Report(device_ + ": " + message);
    }
    void Report(const std::string& message) const { ports_.ReportProblem(message); }

    TtyPorts& ports_;
    const std::string device_;
    FramePacer pacer_;

    // What the station asked.
    LineFormat format_;
    bool formatAsked_ = false;
    KeyLine keyLine_ = KeyLine::Dtr;
    bool keyDown_ = false;
    bool powerOn_ = false;
    bool breakOn_ = false;

    // The device.
    int fd_ = -1;
    bool tried_ = false;
    TimePoint lastAttempt_{};
    std::string downReason_;  // last failure told; empty while open
    std::set<std::string> notes_;  // remarks told once
    int linesUp_ = 0;  // TIOCM_ bits the device has
    bool breakSet_ = false;
    bool pending_ = false;  // a character the driver had no room for
    std::uint8_t pendingByte_ = 0;
    bool hasLineStatus_ = true;  // the driver answers TIOCSERGETLSR
    std::optional<serial_struct> foundSerial_;  // before the first custom divisor
};

TtyPorts::TtyPorts(const Clock& clock, std::string device, TtyDriver driver)
    : lineClock_(clock), device_(std::move(device)), driver_(std::move(driver)) {}

TtyPorts::~TtyPorts() = default;

SerialLine& TtyPorts::Port(int number) {
    const std::string device = DeviceFor(number);
    auto& line = lines_[device];
    if (!line) line = std::make_unique<Line>(*this, device);
    return *line;
}

std::string TtyPorts::DeviceFor(int number) const { return device_.empty() ? ComDevice(number) : device_; }

}  // namespace sked
