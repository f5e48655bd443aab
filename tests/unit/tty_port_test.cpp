// The tty back end on pseudo-terminals: registers mapped onto termios, characters on the line, and a device that is
// missing, vanishes or is the console, handled without hanging or spinning. (Pacing: emulated_uart_test.cpp.)
#include "serial/tty_port.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <memory>
#include <string>
#include <utility>
#include <vector>

#include <fcntl.h>
#include <poll.h>
#include <termios.h>
#include <unistd.h>

#include "platform/simulated_event_loop.h"
#include "serial/uart_frame.h"

namespace sked {
namespace {

using namespace std::chrono;

constexpr std::uint16_t kBase = 0x2F8;
constexpr std::uint16_t kLsr = kBase + uart::kLsr;
const TimePoint kStart{seconds(1'700'000'000)};

TEST(TtyMapping, LineControlGivesTheTermiosFrameAndTheDivisorTheSpeed) {
    const std::pair<std::uint8_t, tcflag_t> frames[] = {
        {0x00, CS5}, {0x01, CS6}, {0x02, CS7}, {0x03, CS8}, {0x07, CS8 | CSTOPB},
        {0x04, CS5 | CSTOPB},                                                    // 1.5 stop bits: the nearest termios has
        {0x0B, CS8 | PARENB | PARODD}, {0x1B, CS8 | PARENB},                     // odd, even
        {0x2B, CS8 | PARENB | PARODD | CMSPAR}, {0x3B, CS8 | PARENB | CMSPAR}};  // mark, space
    for (auto [lcr, flags] : frames) EXPECT_EQ(tty::FrameFlags(lcr), static_cast<std::uint32_t>(flags)) << int(lcr);
    const std::pair<unsigned, unsigned> speeds[] = {{2534, 45}, {2304, 50}, {1553, 74}, {1047, 110},
                                                    {384, 300},  {12, 9600},  {1, 115200}, {0, 2}};
    for (auto [divisor, baud] : speeds) EXPECT_EQ(tty::BaudForDivisor(divisor), baud) << divisor;
}

class TtyPortTest : public ::testing::Test {
protected:
    void SetUp() override {
        master = posix_openpt(O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
        ASSERT_TRUE(master >= 0 && grantpt(master) == 0 && unlockpt(master) == 0);
        slave = ptsname(master);
        std::filesystem::create_directories(dir);
    }
    void TearDown() override {
        ::close(master);
        std::filesystem::remove_all(dir);
    }
    void Use(const std::string& device) {
        port = std::make_unique<TtyPortIo>(clock, device);
        port->SetConsoleListPath(dir / "console");
        port->SetProblemReporter([this](const std::string& message) { problems.push_back(message); });
    }
    void Program(unsigned divisor, std::uint8_t lcr) {
        for (auto [offset, value] : {std::pair<int, unsigned>{uart::kLcr, uart::kLcrDlab}, {0, divisor & 0xFF},
                                     {1, divisor >> 8}, {uart::kLcr, lcr}})
            port->Out(static_cast<std::uint16_t>(kBase + offset), static_cast<std::uint8_t>(value));
    }
    // As the station sends: wait for THRE, sleeping until NextChange, never spinning.
    void Send(std::uint8_t code) {
        for (int waits = 0; !(port->In(kLsr) & uart::kLsrThre); ++waits) {
            ASSERT_TRUE(waits < 100 && port->NextChange(kLsr) > clock.Now()) << "THRE never back, or would spin";
            clock.AdvanceTo(port->NextChange(kLsr));
        }
        port->Out(kBase + uart::kThr, code);
    }
    // At least `count` bytes from the master side (waits for I/O at most two seconds, never for time).
    std::string Read(std::size_t count) {
        std::string got;
        char buffer[64];
        for (pollfd p{master, POLLIN, 0}; got.size() < count && poll(&p, 1, 2000) > 0;) {
            const ssize_t n = ::read(master, buffer, sizeof buffer);
            if (n <= 0) break;
            got.append(buffer, static_cast<std::size_t>(n));
        }
        return got;
    }
    // The slave's settings and speed now, seen through a second descriptor.
    std::pair<termios, unsigned> Settings() {
        std::pair<termios, unsigned> s{};
        const int fd = ::open(slave.c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
        EXPECT_TRUE(fd >= 0 && tcgetattr(fd, &s.first) == 0 && tty::GetSpeed(fd, s.second) == 0);
        ::close(fd);
        return s;
    }

    const std::filesystem::path dir =
        std::filesystem::temp_directory_path() / ("skedcast-tty-" + std::to_string(::getpid()));
    SimulatedClock clock{kStart};
    int master = -1;
    std::string slave;
    std::vector<std::string> problems;
    std::unique_ptr<TtyPortIo> port;
};

TEST_F(TtyPortTest, PtyGetsRawFormatAndSpeedAndTheBytesAtLineSpeed) {
    Use(slave);
    const struct {
        unsigned divisor;
        std::uint8_t lcr;
        unsigned baud;
        bool twoStopBits;  // a pty keeps the stop bits and the speed (and only CS8)
    } formats[] = {{2534, 0x04, 45, true}, {2304, 0x00, 50, false}, {1553, 0x04, 74, true}, {1047, 0x03, 110, false}};
    for (const auto& f : formats) {
        Program(f.divisor, f.lcr);
        const auto [t, baud] = Settings();
        EXPECT_EQ(baud, f.baud);
        EXPECT_EQ((t.c_cflag & CSTOPB) != 0, f.twoStopBits) << f.divisor;
        EXPECT_EQ(t.c_cflag & (CLOCAL | HUPCL | CRTSCTS), static_cast<tcflag_t>(CLOCAL | HUPCL));
        EXPECT_FALSE((t.c_iflag & (IXON | IXOFF)) || (t.c_oflag & OPOST) || (t.c_lflag & (ICANON | ECHO | ISIG)));
    }
    port->Out(kBase + uart::kLcr, uart::kLcrDlab);  // a speed counts once the latch is closed again
    port->Out(kBase + uart::kThr, 0x80);
    EXPECT_EQ(Settings().second, 110u);

    // A pty has no modem lines: remarked once, and the port stays up.
    for (std::uint8_t mcr : {0x01, 0x03, 0x02, 0x00, 0x01}) port->Out(kBase + uart::kMcr, mcr);
    port->Out(kBase + uart::kLcr, 0x47);  // a break for the Morse identification
    Program(1047, 0x03);                  // ASCII at 110 baud, 1 stop bit
    const TimePoint start = clock.Now();
    const std::string message("RY\n\xFF\x00" "CQ", 7);
    for (char c : message) Send(static_cast<std::uint8_t>(c));
    EXPECT_EQ(Read(message.size()), message);  // no CR added, all 8 bits, no divisor byte
    // Two characters go at once (holding and shift register), each further one a frame later.
    EXPECT_EQ(clock.Now() - start, 5 * FrameTime(1047, 0x03));
    ASSERT_EQ(problems.size(), 1u);
    EXPECT_EQ(problems[0].rfind(slave + ": no modem-control lines (", 0), 0u) << problems[0];
    EXPECT_TRUE(port->IsOpen(kBase));
}

TEST_F(TtyPortTest, MissingDeviceIsOpenedWhenItAppearsAndReportedWhenItVanishes) {
    const std::string link = dir / "radio";
    Use(link);
    Program(2534, 0x04);
    Send(0x04);
    clock.AdvanceTo(kStart + 25s);  // a retry that fails the same way stays quiet
    Send(0x04);
    EXPECT_EQ(problems, std::vector<std::string>{link + ": No such file or directory"});
    ASSERT_EQ(::symlink(slave.c_str(), link.c_str()), 0);
    for (auto [at, open] : {std::pair{34s, false}, {35s, true}}) {  // at most one try in ten seconds
        clock.AdvanceTo(kStart + at);
        port->In(kLsr);
        EXPECT_EQ(port->IsOpen(kBase), open) << at.count();
    }
    const auto [t, baud] = Settings();
    EXPECT_TRUE(t.c_cflag & CSTOPB);  // reprogrammed as the station left it
    EXPECT_EQ(baud, 45u);
    Send(0x11);
    EXPECT_EQ(Read(1), "\x11");

    ::close(std::exchange(master, -1));  // the adapter is pulled out
    const TimePoint pulled = clock.Now();
    for (int i = 0; i < 5; ++i) Send(0x0C);
    EXPECT_GE(clock.Now() - pulled, 4 * FrameTime(2534, 0x04));  // dropped characters still take their time
    for (const auto& m : {link + ": open again", link + ": Input/output error"})
        EXPECT_EQ(std::count(problems.begin(), problems.end(), m), 1) << m;
}

TEST_F(TtyPortTest, TheSystemConsoleIsNeverOpened) {
    std::ofstream(dir / "console") << "tty0 " << slave.substr(5) << "\n";  // "pts/N"
    Use(slave);
    Program(384, 0x03);
    port->Out(kBase, 'X');
    clock.AdvanceTo(kStart + 25s);
    port->Out(kBase, 'Y');
    EXPECT_EQ(problems,
              std::vector<std::string>{slave + ": is the system console; refusing to use it for the transmitter"});
    char c;  // the master reads EIO once the slave has been opened and closed, EAGAIN if never
    EXPECT_FALSE(::read(master, &c, 1) < 0 && errno == EIO) << "the console was opened (which raises its lines)";

    std::ofstream(dir / "console") << "tty0 ttyS0\n";  // the console is elsewhere
    Use(slave);
    Program(384, 0x03);
    EXPECT_TRUE(port->IsOpen(kBase));
}

}  // namespace
}  // namespace sked
