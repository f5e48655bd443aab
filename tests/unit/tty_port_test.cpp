// The tty back end on pseudo-terminals: the station's register accesses turn
// into termios settings and characters on the line, and a device that is
// missing, vanishes or is the console is handled without hanging or spinning.
#include "platform/tty_port.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <string>
#include <vector>

#include <fcntl.h>
#include <poll.h>
#include <termios.h>
#include <unistd.h>

#include "platform/simulated_event_loop.h"
#include "platform/uart_frame.h"

namespace sked {
namespace {

using namespace std::chrono_literals;

constexpr std::uint16_t kBase = 0x2F8;
constexpr std::uint16_t kLsr = kBase + uart::kLsr;
constexpr std::uint8_t kEmpty = uart::kLsrThre | uart::kLsrTemt;
const TimePoint kStart{std::chrono::seconds(1'700'000'000)};

// A pseudo-terminal: the port gets the slave side, the test reads the master.
class Pty {
public:
    Pty() {
        master_ = posix_openpt(O_RDWR | O_NOCTTY | O_CLOEXEC);
        if (master_ < 0 || grantpt(master_) != 0 || unlockpt(master_) != 0) return;
        char name[128];
        if (ptsname_r(master_, name, sizeof name) != 0) return;
        slave_ = name;
        fcntl(master_, F_SETFL, fcntl(master_, F_GETFL) | O_NONBLOCK);
    }
    ~Pty() { CloseMaster(); }

    bool ok() const { return master_ >= 0 && !slave_.empty(); }
    // The master reads EIO once the slave has been opened and closed again,
    // and nothing (EAGAIN) while it never was.
    bool SlaveEverClosed() const {
        char c;
        return ::read(master_, &c, 1) < 0 && errno == EIO;
    }
    const std::string& slave() const { return slave_; }
    void CloseMaster() {
        if (master_ >= 0) ::close(master_);
        master_ = -1;
    }

    // What arrives on the master side, up to `count` bytes (waits for I/O, at
    // most two seconds, never for time).
    std::string Read(std::size_t count) {
        std::string got;
        for (int rounds = 0; got.size() < count && rounds < 20; ++rounds) {
            pollfd p{master_, POLLIN, 0};
            if (poll(&p, 1, 100) <= 0) continue;
            char buffer[64];
            const ssize_t n = ::read(master_, buffer, std::min(sizeof buffer, count - got.size()));
            if (n > 0) got.append(buffer, static_cast<std::size_t>(n));
        }
        return got;
    }

private:
    int master_ = -1;
    std::string slave_;
};

// The settings the slave side has now, as seen through a second descriptor.
struct SlaveSettings {
    termios t{};
    unsigned baud = 0;
    bool ok = false;
};

SlaveSettings ReadSettings(const std::string& slave) {
    SlaveSettings s;
    const int fd = ::open(slave.c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
    if (fd < 0) return s;
    s.ok = tcgetattr(fd, &s.t) == 0 && tty::GetSpeed(fd, s.baud) == 0;
    ::close(fd);
    return s;
}

// A scratch directory removed at the end of the test.
class TempDir {
public:
    TempDir() {
        char pattern[] = "/tmp/skedcast-tty-XXXXXX";
        if (mkdtemp(pattern) != nullptr) path_ = pattern;
    }
    ~TempDir() {
        for (const std::string& file : files_) ::unlink(file.c_str());
        if (!path_.empty()) ::rmdir(path_.c_str());
    }
    std::string File(const std::string& name) {
        files_.push_back(path_ + "/" + name);
        return files_.back();
    }
    bool ok() const { return !path_.empty(); }

private:
    std::string path_;
    std::vector<std::string> files_;
};

struct Problems {
    std::vector<std::string> list;
    PortIo::ProblemReporter Reporter() {
        return [this](const std::string& message) { list.push_back(message); };
    }
    int Count(const std::string& prefix) const {
        return static_cast<int>(std::count_if(list.begin(), list.end(), [&](const std::string& m) {
            return m.compare(0, prefix.size(), prefix) == 0;
        }));
    }
};

void Program(PortIo& port, std::uint16_t base, unsigned divisor, std::uint8_t lcr) {
    port.Out(base + uart::kLcr, uart::kLcrDlab);
    port.Out(base + 0, static_cast<std::uint8_t>(divisor & 0xFF));
    port.Out(base + 1, static_cast<std::uint8_t>(divisor >> 8));
    port.Out(base + uart::kLcr, lcr);
}

// Sends as the station does: wait for THRE, sleeping until NextChange.
// Fails the test if a wait would not move time on (the station would spin).
void Send(PortIo& port, SimulatedClock& clock, std::uint16_t base, std::uint8_t code) {
    for (int waits = 0; !(port.In(base + uart::kLsr) & uart::kLsrThre); ++waits) {
        const TimePoint next = port.NextChange(base + uart::kLsr);
        ASSERT_GT(next, clock.Now()) << "would spin";
        ASSERT_LT(waits, 100) << "THRE never comes back";
        clock.AdvanceTo(next);
    }
    port.Out(base + uart::kThr, code);
}

TEST(TtyPortMapping, LineControlBecomesTermiosFlags) {
    EXPECT_EQ(tty::FrameFlags(0x00), static_cast<std::uint32_t>(CS5));
    EXPECT_EQ(tty::FrameFlags(0x04), static_cast<std::uint32_t>(CS5 | CSTOPB));  // Baudot, 1.5 stop bits
    EXPECT_EQ(tty::FrameFlags(0x01), static_cast<std::uint32_t>(CS6));
    EXPECT_EQ(tty::FrameFlags(0x02), static_cast<std::uint32_t>(CS7));
    EXPECT_EQ(tty::FrameFlags(0x07), static_cast<std::uint32_t>(CS8 | CSTOPB));  // ASCII, 2 stop bits
    EXPECT_EQ(tty::FrameFlags(0x0B), static_cast<std::uint32_t>(CS8 | PARENB | PARODD));
    EXPECT_EQ(tty::FrameFlags(0x1B), static_cast<std::uint32_t>(CS8 | PARENB));
    EXPECT_EQ(tty::FrameFlags(0x2B), static_cast<std::uint32_t>(CS8 | PARENB | PARODD | CMSPAR));  // mark
    EXPECT_EQ(tty::FrameFlags(0x3B), static_cast<std::uint32_t>(CS8 | PARENB | CMSPAR));           // space
    EXPECT_EQ(tty::FrameFlags(0x10 | 0x03), static_cast<std::uint32_t>(CS8));  // "even" without enable
    EXPECT_EQ(tty::FrameFlags(0xC4), tty::FrameFlags(0x04));  // DLAB and break are not format
}

TEST(TtyPortMapping, DivisorBecomesRoundedSpeed) {
    EXPECT_EQ(tty::BaudForDivisor(2534), 45u);  // 45.45 baud
    EXPECT_EQ(tty::BaudForDivisor(2304), 50u);
    EXPECT_EQ(tty::BaudForDivisor(1745), 66u);  // 66.0x
    EXPECT_EQ(tty::BaudForDivisor(1536), 75u);
    EXPECT_EQ(tty::BaudForDivisor(1047), 110u);
    EXPECT_EQ(tty::BaudForDivisor(384), 300u);
    EXPECT_EQ(tty::BaudForDivisor(0), 2u);  // 0 counts as 65536
}

TEST(TtyPortMapping, BaseAddressesNameComPortsOrTheNamedDevice) {
    SimulatedClock clock(kStart);
    TtyPortIo com(clock);
    const std::pair<std::uint16_t, const char*> table[] = {
        {0x3F8, "/dev/ttyS0"}, {0x2F8, "/dev/ttyS1"}, {0x3E8, "/dev/ttyS2"}, {0x3E0, "/dev/ttyS3"},
        {0x2F0, "/dev/ttyS4"}, {0x2E8, "/dev/ttyS5"}, {0x2E0, "/dev/ttyS6"}, {0x260, "/dev/ttyS7"}};
    for (const auto& [base, device] : table) EXPECT_EQ(com.DeviceFor(base), device) << std::hex << base;
    EXPECT_EQ(com.DeviceFor(0x2FD), "/dev/ttyS1");  // any register of the port
    EXPECT_EQ(com.DeviceFor(0x100), "");
    EXPECT_FALSE(com.IsOpen(0x3F8));  // naming a device does not open it

    TtyPortIo named(clock, "/dev/ttyUSB0");
    EXPECT_EQ(named.DeviceFor(0x3F8), "/dev/ttyUSB0");
    EXPECT_EQ(named.DeviceFor(0x260), "/dev/ttyUSB0");
}

TEST(TtyPortMapping, UnknownBaseWithoutDeviceIsReportedOnce) {
    SimulatedClock clock(kStart);
    TtyPortIo port(clock);
    Problems problems;
    port.SetProblemReporter(problems.Reporter());
    Program(port, 0x100, 384, 0x03);
    clock.AdvanceTo(kStart + 30s);
    port.Out(0x100, 'A');
    ASSERT_EQ(problems.list.size(), 1u);
    EXPECT_EQ(problems.list[0].rfind("no serial port known at I/O address 0x100", 0), 0u) << problems.list[0];
    EXPECT_FALSE(port.IsOpen(0x100));
}

TEST(TtyPortOnPty, ProgramsRawModeFormatAndSpeed) {
    Pty pty;
    ASSERT_TRUE(pty.ok());
    SimulatedClock clock(kStart);
    TtyPortIo port(clock, pty.slave());
    Problems problems;
    port.SetProblemReporter(problems.Reporter());

    Program(port, kBase, 2534, 0x04);  // 45.45 baud Baudot, 1.5 stop bits
    EXPECT_TRUE(port.IsOpen(kBase));
    EXPECT_EQ(port.In(kBase + uart::kLcr), 0x04);
    SlaveSettings s = ReadSettings(pty.slave());
    ASSERT_TRUE(s.ok);
    EXPECT_EQ(s.baud, 45u);
    EXPECT_TRUE(s.t.c_cflag & CSTOPB);
    EXPECT_TRUE(s.t.c_cflag & CLOCAL);
    EXPECT_TRUE(s.t.c_cflag & HUPCL);
    EXPECT_FALSE(s.t.c_cflag & CRTSCTS);
    EXPECT_FALSE(s.t.c_iflag & (IXON | IXOFF));
    EXPECT_FALSE(s.t.c_oflag & OPOST);
    EXPECT_FALSE(s.t.c_lflag & (ICANON | ECHO | ISIG));

    Program(port, kBase, 1047, 0x03);  // 110 baud ASCII, 1 stop bit
    s = ReadSettings(pty.slave());
    EXPECT_EQ(s.baud, 110u);
    EXPECT_FALSE(s.t.c_cflag & CSTOPB);

    // Break on and off for the Morse identification; a pty accepts it.
    port.Out(kBase + uart::kLcr, 0x43);
    port.Out(kBase + uart::kLcr, 0x03);
    EXPECT_EQ(port.In(kBase + uart::kLcr), 0x03);
    EXPECT_TRUE(port.IsOpen(kBase));

    // Only the missing modem lines may be remarked on.
    for (const std::string& m : problems.list) EXPECT_NE(m.find("no modem-control lines"), std::string::npos) << m;
}

TEST(TtyPortOnPty, CharactersArriveUnchangedAtLineSpeed) {
    Pty pty;
    ASSERT_TRUE(pty.ok());
    SimulatedClock clock(kStart);
    TtyPortIo port(clock, pty.slave());
    Program(port, kBase, 384, 0x07);  // 300 baud, 8 bits, 2 stop bits
    const Duration frame = FrameTime(384, 0x07);

    const std::string message("RY\n\xFF\x00" "CQ", 7);
    for (char c : message) Send(port, clock, kBase, static_cast<std::uint8_t>(c));
    EXPECT_EQ(pty.Read(message.size()), message);  // raw: no CR added, all 8 bits
    // A pty has no output queue of its own; the station is still held to
    // line speed: two characters go at once (holding and shift register),
    // each further one a frame later.
    EXPECT_EQ(clock.Now() - kStart, frame * 5);
    EXPECT_EQ(port.In(kLsr) & kEmpty, 0);
    clock.AdvanceTo(port.NextChange(kLsr));
    clock.AdvanceTo(port.NextChange(kLsr));
    EXPECT_EQ(port.In(kLsr) & kEmpty, kEmpty);
    EXPECT_EQ(clock.Now() - kStart, frame * 7);
    EXPECT_EQ(port.NextChange(kLsr), clock.Now());
}

TEST(TtyPortOnPty, MissingModemLinesAreRemarkedOnceAndPortStaysUp) {
    Pty pty;
    ASSERT_TRUE(pty.ok());
    SimulatedClock clock(kStart);
    TtyPortIo port(clock, pty.slave());
    Problems problems;
    port.SetProblemReporter(problems.Reporter());
    Program(port, kBase, 2304, 0x04);

    for (std::uint8_t mcr : {0x01, 0x03, 0x02, 0x00, 0x01}) port.Out(kBase + uart::kMcr, mcr);
    port.Out(kBase + uart::kMcr, 0x13);  // loop-back is only remembered
    EXPECT_EQ(port.In(kBase + uart::kMcr), 0x13);
    EXPECT_EQ(port.In(kBase + 6) & 0x30, 0x30);  // CTS and DSR follow RTS and DTR in loop-back
    port.Out(kBase + uart::kMcr, 0x02);
    EXPECT_EQ(port.In(kBase + uart::kMcr), 0x02);

    EXPECT_EQ(problems.Count(pty.slave() + ": no modem-control lines ("), 1);
    EXPECT_EQ(problems.list.size(), 1u);
    EXPECT_TRUE(port.IsOpen(kBase));
    Send(port, clock, kBase, 0x1F);
    EXPECT_EQ(pty.Read(1), "\x1F");
}

TEST(TtyPortDown, MissingDeviceReportsOnceAndPacesAtLineSpeed) {
    SimulatedClock clock(kStart);
    TtyPortIo port(clock, "/dev/ttyDOESNOTEXIST");
    Problems problems;
    port.SetProblemReporter(problems.Reporter());

    Program(port, kBase, 2534, 0x04);  // 45.45 baud, 5 bits, 1.5 stop bits
    ASSERT_EQ(problems.list, std::vector<std::string>{"/dev/ttyDOESNOTEXIST: No such file or directory"});
    EXPECT_FALSE(port.IsOpen(kBase));
    EXPECT_EQ(port.In(kBase + uart::kLcr), 0x04);  // registers still read back

    const Duration frame = FrameTime(2534, 0x04);
    const double frameMs = std::chrono::duration<double, std::milli>(frame).count();
    EXPECT_NEAR(frameMs, 164.97, 0.01);

    EXPECT_EQ(port.In(kLsr), kEmpty);
    port.Out(kBase, 0x1F);  // goes straight on the line
    EXPECT_EQ(port.In(kLsr), uart::kLsrThre);
    port.Out(kBase, 0x01);  // waits in the holding register
    EXPECT_EQ(port.In(kLsr) & uart::kLsrThre, 0);
    EXPECT_EQ(port.NextChange(kLsr), kStart + frame);
    clock.AdvanceTo(kStart + frame - 1us);
    EXPECT_EQ(port.In(kLsr) & uart::kLsrThre, 0);
    clock.AdvanceTo(kStart + frame);
    EXPECT_EQ(port.In(kLsr), uart::kLsrThre);
    EXPECT_EQ(port.NextChange(kLsr), kStart + 2 * frame);
    clock.AdvanceTo(kStart + 2 * frame);
    EXPECT_EQ(port.In(kLsr), kEmpty);

    // A whole line of Baudot keeps to the line speed.
    const TimePoint begin = clock.Now();
    for (int i = 0; i < 20; ++i) Send(port, clock, kBase, 0x04);
    EXPECT_EQ(clock.Now() - begin, 18 * frame);

    // Retries (every ten seconds) that fail the same way stay quiet.
    clock.AdvanceTo(kStart + 60s);
    port.Out(kBase, 0x04);
    clock.AdvanceTo(kStart + 120s);
    port.In(kLsr);
    EXPECT_EQ(problems.list.size(), 1u);
}

TEST(TtyPortDown, VanishedDeviceReportsOnceAndKeepsPacing) {
    auto pty = std::make_unique<Pty>();
    ASSERT_TRUE(pty->ok());
    const std::string slave = pty->slave();
    SimulatedClock clock(kStart);
    TtyPortIo port(clock, slave);
    Problems problems;
    port.SetProblemReporter(problems.Reporter());
    Program(port, kBase, 2534, 0x04);
    Send(port, clock, kBase, 0x0A);
    EXPECT_EQ(pty->Read(1), "\x0A");
    const std::size_t before = problems.list.size();  // the modem-lines remark

    pty->CloseMaster();  // the adapter is pulled out
    port.Out(kBase, 0x0B);
    ASSERT_EQ(problems.list.size(), before + 1);
    EXPECT_EQ(problems.list.back(), slave + ": Input/output error");
    EXPECT_FALSE(port.IsOpen(kBase));

    // Down: dropped characters still take their time on the line.
    const Duration frame = FrameTime(2534, 0x04);
    const TimePoint begin = clock.Now();
    for (int i = 0; i < 5; ++i) Send(port, clock, kBase, 0x0C);
    EXPECT_GE(clock.Now() - begin, 4 * frame);
    EXPECT_LT(clock.Now() - kStart, TtyPortIo::kRetryInterval);  // no retry yet
    EXPECT_EQ(problems.list.size(), before + 1);
}

TEST(TtyPortDown, DeviceThatAppearsIsOpenedAtTheNextRetryAndReprogrammed) {
    Pty pty;
    ASSERT_TRUE(pty.ok());
    TempDir dir;
    ASSERT_TRUE(dir.ok());
    const std::string link = dir.File("radio");
    SimulatedClock clock(kStart);
    TtyPortIo port(clock, link);
    Problems problems;
    port.SetProblemReporter(problems.Reporter());

    Program(port, kBase, 2534, 0x04);
    port.Out(kBase + uart::kMcr, uart::kMcrRts);
    EXPECT_EQ(problems.Count(link + ": No such file or directory"), 1);
    ASSERT_EQ(::symlink(pty.slave().c_str(), link.c_str()), 0) << std::strerror(errno);

    clock.AdvanceTo(kStart + 9s);
    port.In(kLsr);
    EXPECT_FALSE(port.IsOpen(kBase));  // at most one try in ten seconds
    clock.AdvanceTo(kStart + 10s);
    port.In(kLsr);
    EXPECT_TRUE(port.IsOpen(kBase));
    EXPECT_EQ(problems.Count(link + ": open again"), 1);
    EXPECT_EQ(problems.Count(link + ": No such file or directory"), 1);

    const SlaveSettings s = ReadSettings(pty.slave());
    ASSERT_TRUE(s.ok);
    EXPECT_EQ(s.baud, 45u);
    EXPECT_TRUE(s.t.c_cflag & CSTOPB);
    EXPECT_FALSE(s.t.c_oflag & OPOST);
    Send(port, clock, kBase, 0x11);
    EXPECT_EQ(pty.Read(1), "\x11");
}

TEST(TtyPortConsoleGuard, RefusesTheSystemConsole) {
    Pty pty;
    ASSERT_TRUE(pty.ok());
    TempDir dir;
    ASSERT_TRUE(dir.ok());
    const std::string list = dir.File("active");
    std::ofstream(list) << "tty0 " << pty.slave().substr(5) << "\n";  // "pts/N"

    SimulatedClock clock(kStart);
    TtyPortIo port(clock, pty.slave());
    port.SetConsoleListPath(list);
    Problems problems;
    port.SetProblemReporter(problems.Reporter());
    Program(port, kBase, 384, 0x03);
    port.Out(kBase + uart::kMcr, uart::kMcrDtr | uart::kMcrRts);
    port.Out(kBase, 'X');
    clock.AdvanceTo(kStart + 25s);
    port.Out(kBase, 'Y');
    EXPECT_EQ(problems.list, std::vector<std::string>{pty.slave() +
                                                      ": is the system console; refusing to use it for the transmitter"});
    EXPECT_FALSE(port.IsOpen(kBase));
    EXPECT_FALSE(pty.SlaveEverClosed()) << "the console was opened (which raises its lines)";

    // The same device is used when the console is elsewhere.
    std::ofstream(list) << "tty0 ttyS0\n";
    TtyPortIo other(clock, pty.slave());
    other.SetConsoleListPath(list);
    Problems otherProblems;
    other.SetProblemReporter(otherProblems.Reporter());
    Program(other, kBase, 384, 0x03);
    EXPECT_TRUE(other.IsOpen(kBase));
    EXPECT_EQ(otherProblems.Count(pty.slave() + ": is the system console"), 0);
}

}  // namespace
}  // namespace sked
