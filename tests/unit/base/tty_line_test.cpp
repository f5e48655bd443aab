// The tty back end on pseudo-terminals, with a stand-in driver for what a pty cannot do; time on a manual clock.
#include "serial/tty_line.h"

#include <gtest/gtest.h>

#include <cerrno>
#include <fstream>
#include <memory>
#include <string>
#include <vector>

#include <asm/termbits.h>  // termios2: the speed as the kernel holds it
#include <fcntl.h>
#include <poll.h>
#include <sys/ioctl.h>
#include <unistd.h>

#include "support/station_fixture.h"

namespace sked {
namespace {

using namespace std::chrono;
using Texts = std::vector<std::string>;

struct ManualClock : Clock { TimePoint Now() const override { return now; } TimePoint now{seconds(1'700'000'000)}; };

// A pseudo-terminal whose master the test holds.
struct Pty {
    Pty() { EXPECT_TRUE(grantpt(master) == 0 && unlockpt(master) == 0); }
    ~Pty() { ::close(master); }
    // The slave's settings now (asked of the master, which answers for its slave).
    termios2 Settings() const {
        termios2 t{};
        EXPECT_EQ(ioctl(master, TCGETS2, &t), 0);
        return t;
    }
    // At least `count` bytes (waits at most two seconds for I/O, never for time).
    std::string Read(std::size_t count) const {
        std::string got;
        char buffer[4096];
        for (pollfd p{master, POLLIN, 0}; got.size() < count && poll(&p, 1, 2000) > 0;) {
            const ssize_t n = ::read(master, buffer, sizeof buffer);
            if (n <= 0) break;
            got.append(buffer, static_cast<std::size_t>(n));
        }
        return got;
    }
    int master = posix_openpt(O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
    std::string slave = ptsname(master);
};

// A UART driver's answers in place of the pty's: the modem lines and the break, with `serial` its serial_struct.
struct FakeUart {
    TtyDriver Driver(bool serial) {
        TtyDriver driver = TtyDriver::System();
        driver.raiseLines = [this](int, int bits) { return lines |= bits, 0; };
        driver.dropLines = [this](int, int bits) { return lines &= ~bits, 0; };
        driver.setBreak = [this](int, bool on) { return breakOn = on, 0; };
        if (!serial) return driver;
        driver.getSerial = [this](int, serial_struct& s) { return s = info, 0; };
        driver.setSerial = [this](int, const serial_struct& s) { return given.push_back(s), setError; };
        return driver;
    }
    serial_struct info{};
    std::vector<serial_struct> given;
    int setError = 0, lines = TIOCM_DTR | TIOCM_RTS;  // what TIOCSSERIAL answers; raised, as Linux leaves them
    bool breakOn = false;
};

class TtyLineTest : public ::testing::Test {
protected:
    void Use(const std::string& device, TtyDriver driver = TtyDriver::System()) {
        ports = std::make_unique<TtyPorts>(clock, device, std::move(driver));
        ports->SetConsoleListPath("console");
        ports->SetProblemReporter([this](const std::string& message) { problems.push_back(message); });
        line = &ports->Port(2);
        problems.clear();
    }
    // As the station sends: waits for CanSend until NextChange, never spinning.
    void Send(std::uint8_t code) {
        for (int waits = 0; !line->CanSend(); ++waits) {
            ASSERT_TRUE(waits < 100 && line->NextChange() > clock.now) << "CanSend never back, or would spin";
            clock.now = line->NextChange();
        }
        line->Send(code);
    }
    static std::string Inexact(const std::string& device, const std::string& why) {
        return device + ": 45.45 baud cannot be set exactly (no custom divisor: " + why + "); using 45 baud";
    }

    test::ScratchDirectory dir;
    ManualClock clock;
    FakeUart uart;  // outlives the ports that call it
    Texts problems;
    std::unique_ptr<TtyPorts> ports;
    SerialLine* line = nullptr;
};

TEST_F(TtyLineTest, CustomDivisorWhereTheDriverTakesOne) {
    const struct { int baudBase, setError, divisor; const char* refusal; } rows[] = {
        {115200, 0, 2534, ""}, {1843200, 0, 40554, ""}, {0, 0, 0, "baud base 0"},
        {115200, EPERM, 0, "Operation not permitted"}};
    for (const auto& row : rows) {
        Pty pty;
        ports.reset();
        uart = FakeUart{};
        uart.info.baud_base = row.baudBase;
        uart.info.flags = ASYNC_SKIP_TEST | ASYNC_SPD_SHI;
        uart.setError = row.setError;
        Use(pty.slave, uart.Driver(true));
        const LineFormat format = LineFormat::Baudot(45.45);
        line->SetFormat(format);
        line->Send(0x1F);  // paced at the speed the line runs: exact, or the nearest whole baud
        const double runs = row.divisor ? static_cast<double>(row.baudBase) / row.divisor : 45;
        EXPECT_EQ(line->NextChange(), clock.now + FrameTime(format, runs)) << row.baudBase;
        EXPECT_EQ(problems, row.divisor ? Texts{} : Texts{Inexact(pty.slave, row.refusal)});
        if (!row.divisor) continue;
        EXPECT_EQ(pty.Settings().c_cflag & CBAUD, static_cast<tcflag_t>(B38400));
        ports.reset();  // the driver gets back the settings it had
        ASSERT_EQ(uart.given.size(), 2u);
        EXPECT_EQ(std::pair(uart.given[0].flags, uart.given[0].custom_divisor),
                  std::pair(int{ASYNC_SKIP_TEST | ASYNC_SPD_CUST}, row.divisor));
        EXPECT_EQ(std::pair(uart.given[1].flags, uart.given[1].custom_divisor), std::pair(uart.info.flags, 0));
    }
}

TEST_F(TtyLineTest, BytesArriveInOrderAtLineSpeed) {
    Pty pty;
    Use(pty.slave);
    const Duration frame = FrameTime(LineFormat::Ascii(110), 110);
    line->SetFormat(LineFormat::Ascii(110));
    const std::string message("RY\n\xFF\x00" "CQ", 7);
    const TimePoint start = clock.now;
    for (char c : message) Send(static_cast<std::uint8_t>(c));
    EXPECT_EQ(clock.now - start, 5 * frame);  // two at once, then one a frame
    clock.now += 2 * frame - 1ns;
    EXPECT_FALSE(line->Drained());
    clock.now += 1ns;
    EXPECT_TRUE(line->Drained());
    EXPECT_EQ(pty.Read(message.size()), message);  // no CR added, all 8 bits
}

// A pty takes no custom divisor: it runs at the nearest whole baud, and the operator is told once.
TEST_F(TtyLineTest, PtyAtWholeBaudLinesAsAssignedAndAVanishedDeviceTriedAgainEveryTenSeconds) {
    auto pty = std::make_unique<Pty>();
    const std::string link = "radio";
    ASSERT_EQ(symlink(pty->slave.c_str(), link.c_str()), 0);
    Use(link, uart.Driver(false));
    const LineFormat format = LineFormat::Baudot(45.45);
    const auto expectSettings = [&] {  // raw, 1.5 stop bits, 45 baud
        const termios2 t = pty->Settings();
        EXPECT_EQ(t.c_ospeed, 45u);
        EXPECT_EQ(t.c_cflag & (CBAUD | CSTOPB), static_cast<tcflag_t>(BOTHER | CSTOPB));
        EXPECT_EQ(t.c_cflag & (CLOCAL | CREAD | HUPCL | CRTSCTS), static_cast<tcflag_t>(CLOCAL | CREAD | HUPCL));
        EXPECT_FALSE((t.c_iflag & (IXON | IXOFF)) || (t.c_oflag & OPOST) || (t.c_lflag & (ICANON | ECHO | ISIG)));
    };
    line->SetFormat(format);
    line->SetFormat(format);
    expectSettings();
    constexpr int D = TIOCM_DTR, R = TIOCM_RTS;
    // p/P: power off/on, K: key down, r: keying on RTS. Opened, both lines are dropped at once.
    const std::pair<char, int> steps[] = {{'p', 0}, {'P', R}, {'K', D | R}, {'r', D}, {'K', D | R}, {'p', R}};
    for (auto [step, lines] : steps) {
        if (step == 'r') line->AssignLines(KeyLine::Rts);  // the key released, the power moved to DTR
        else if (step == 'K') line->SetKey(true);
        else line->SetPower(step == 'P');
        EXPECT_EQ(uart.lines, lines) << step;
    }
    line->SetBreak(true);
    EXPECT_TRUE(uart.breakOn);
    line->Send(0x1F);
    EXPECT_EQ(line->NextChange(), clock.now + FrameTime(format, 45));
    pty.reset();  // the adapter is pulled out, with a character in the driver
    clock.now += 1s;
    EXPECT_TRUE(line->Drained());  // what the driver held is lost, not waited for
    EXPECT_FALSE(line->Present());
    const TimePoint gone = clock.now;
    for (int i = 0; i < 5; ++i) Send(0x0C);  // dropped, but at line speed
    EXPECT_EQ(clock.now - gone, 3 * FrameTime(format, 45));

    pty = std::make_unique<Pty>();  // plugged in again
    ASSERT_EQ(unlink(link.c_str()), 0);
    ASSERT_EQ(symlink(pty->slave.c_str(), link.c_str()), 0);
    for (auto [after, present] : {std::pair{9999ms, false}, {10000ms, true}}) {
        clock.now = gone + after;
        EXPECT_EQ(line->Present(), present) << after.count();
    }
    expectSettings();  // as the station left it
    EXPECT_TRUE(uart.lines == R && uart.breakOn);
    Send('y');
    EXPECT_EQ(pty->Read(1), "y");
    EXPECT_EQ(problems, (Texts{Inexact(link, "Inappropriate ioctl for device"), link + ": Input/output error",
                               link + ": open again"}));
    ports.reset();  // the station lets go: break off, both lines down
    EXPECT_TRUE(!uart.breakOn && uart.lines == 0);
}

TEST_F(TtyLineTest, ConsoleIsNeverOpenedAndAMissingDeviceToldOnce) {
    const struct { const char* console; bool missing, opens; std::string problem; } rows[] = {  // "PTY": "pts/5"
        {"tty0 PTY", false, false, ": is the system console; refusing to use it for the transmitter"},
        {"tty0 ttyS0", false, true, ": no modem-control lines (Inappropriate ioctl for device)"},
        {"", true, false, ": No such file or directory"}};
    for (const auto& row : rows) {
        Pty pty;
        std::string list = row.console;
        if (const auto at = list.find("PTY"); at != std::string::npos) list.replace(at, 3, pty.slave.substr(5));
        std::ofstream("console") << list << "\n";
        const std::string device = row.missing ? "nothing" : pty.slave;
        Use(device);
        line->SetFormat(LineFormat::Ascii(300));
        for (int tries = 0; tries < 3; ++tries, clock.now += 10s) EXPECT_EQ(line->Present(), row.opens);
        EXPECT_EQ(problems, Texts{device + row.problem});
        ports.reset();
        char c;  // the master reads EIO once the slave has been opened and closed, EAGAIN if never
        EXPECT_EQ(::read(pty.master, &c, 1) < 0 && errno == EIO, row.opens) << list;
    }
}

}  // namespace
}  // namespace sked
