#include <string>

#include <arpa/inet.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include "app/mode_controls.h"
#include "net/telnet.h"
#include "scheduler/dispatcher.h"
#include "support/station_fixture.h"
#include "transmit/code_sender.h"
#include "transmit/file_sender.h"
#include "transmit/psk_modem.h"
#include "transmit/transmitter_switch.h"

namespace sked::test {
namespace {

class TransmitterSwitching : public StationTest {
protected:
    void SetUp() override {
        StationTest::SetUp();
        ASSERT_TRUE(StartStation("QZ0XB 2 RTS"));
    }
    bool Keyed() { return (port->In(0x2F8 + 4) & 0x02) != 0; }
};

// The tones run on for the tail; the hourly identification ends with the transmission; off, nothing to do.
TEST_F(TransmitterSwitching, CmRxReleasesWithATwoSecondTailAndUnticksCwTimer) {
    station->state.idle = 0;
    const auto logged = LogMessages();
    station->transmitter.CmRX();
    EXPECT_EQ(station->state.idle, 0);
    EXPECT_EQ(LogMessages(), logged);
    station->transmitter.CmTX();
    station->window.cwTimerCheck.SetCheck(1);
    station->state.cwTimerSeconds = 100;
    station->state.idle = 0;
    TimePoint start = Now();
    station->transmitter.CmRX();
    EXPECT_FALSE(Keyed());
    EXPECT_GE(Now() - start, std::chrono::seconds(1));
    EXPECT_LE(Now() - start, std::chrono::seconds(2));
    EXPECT_EQ(station->state.idle, 1);
    EXPECT_EQ(station->window.cwTimerCheck.Check(), 0);
    EXPECT_EQ(station->state.cwTimerSeconds, -1);
    EXPECT_EQ(station->window.cwTimerField.Text(), "OFF");
    EXPECT_EQ(station->window.transmitField.Text(), "  OFF  ");
}

// The tones are set when the transmitter comes on, from either pair of fields.
TEST_F(TransmitterSwitching, TheTonesComeFromCentreAndShiftOrFromMarkAndSpaceEitherWayRound) {
    station->commands.NoSound(false);
    const struct {
        bool centreAndShift;
        const char *first, *second;
    } cases[] = {{true, "2210", "170"}, {false, "2125", "2295"}, {false, "2295", "2125"}};
    for (const auto& c : cases) {
        station->commands.ToneEntryStyle(c.centreAndShift);
        station->commands.SetTone(c.centreAndShift ? ToneField::kCentre : ToneField::kMark, c.first);
        station->commands.SetTone(c.centreAndShift ? ToneField::kShift : ToneField::kSpace, c.second);
        station->transmitter.CmTX();
        EXPECT_EQ(station->state.toneCentre, 2210) << c.first;
        EXPECT_DOUBLE_EQ(station->state.halfShift, 85.0) << c.first;
        if (c.centreAndShift) {
            EXPECT_EQ(station->window.markField.Text(), " 2125.00");
            EXPECT_EQ(station->window.spaceField.Text(), " 2295.00");
            EXPECT_TRUE(station->window.centreField.ReadOnly());  // locked while on the air
        } else {
            EXPECT_EQ(station->window.centreField.Text(), " 2210.00") << c.first;
            EXPECT_EQ(station->window.shiftField.Text(), " 170.0") << c.first;
        }
        station->transmitter.CmRX();
        EXPECT_EQ(station->window.centreField.ReadOnly(), !c.centreAndShift);
    }
}

TEST_F(TransmitterSwitching, FailedLinkLeavesTheTransmitterOffAndIdleRestored) {
    station->commands.NetPort("16");  // port 6015
    station->commands.NetAddress("bad host name!");
    station->state.sending = 1;
    station->transmitter.CmTX();
    station->state.idle = 0;  // what every sender does after CmTX
    ASSERT_FALSE(boxes.shown.empty());
    EXPECT_EQ(boxes.shown.back().caption, "TCP/IP Connect Failure");
    EXPECT_NE(boxes.shown.back().text.find("Failed to connect to bad host name! on port 6015"), std::string::npos);
    EXPECT_EQ(station->state.transmitterOn, 0);
    EXPECT_FALSE(Keyed());
    EXPECT_FALSE(station->window.noSoundCheck.Enabled());
    station->transmitter.CmRX();
    EXPECT_EQ(station->state.idle, 1);
    EXPECT_TRUE(station->window.noSoundCheck.Enabled());
}

// The mirror's peer on the first free port of 6000..6015; what the station sends waits in the socket.
struct MirrorPeer {
    MirrorPeer() {
        for (int n = 1; n <= 16 && netPort.empty(); ++n) {
            sockaddr_in a{AF_INET, htons(static_cast<std::uint16_t>(5999 + n)), {htonl(INADDR_LOOPBACK)}, {}};
            if (::bind(fd, reinterpret_cast<sockaddr*>(&a), sizeof a) == 0 && ::listen(fd, 1) == 0)
                netPort = std::to_string(n);
        }
    }
    ~MirrorPeer() {
        ::close(connection);
        ::close(fd);
    }
    int Accept() {
        if (connection < 0) connection = ::accept4(fd, nullptr, nullptr, SOCK_CLOEXEC);
        return connection;
    }
    std::string Received() {  // up to the station's hang-up
        std::string got;
        char buffer[256];
        for (pollfd p{Accept(), POLLIN, 0}; p.fd >= 0 && ::poll(&p, 1, 5000) > 0;) {
            const ssize_t n = ::recv(connection, buffer, sizeof buffer, 0);
            if (n <= 0) break;
            got.append(buffer, static_cast<std::size_t>(n));
        }
        return got;
    }
    int fd = ::socket(AF_INET, SOCK_STREAM | SOCK_NONBLOCK | SOCK_CLOEXEC, 0);
    int connection = -1;
    std::string netPort;  // as the station's port list names it
};

TEST_F(TransmitterSwitching, MirrorGetsAuthenticationThenEverySentCharacter) {
    MirrorPeer peer;
    ASSERT_FALSE(peer.netPort.empty()) << "127.0.0.1:6000..6015 are all busy";
    WriteData("mirror.txt", "CQ de qz0xb\r\nK");
    station->commands.NetPort(peer.netPort);
    station->commands.Authentication("secret");
    station->files.SendTestFile("mirror.txt");
    EXPECT_EQ(station->state.transmitterOn, 0);
    EXPECT_EQ(peer.Received(), "secret\n\nCQ DE QZ0XB\rK");
}

TEST_F(TransmitterSwitching, PeerThatHangsUpMidFileSwitchesOffAndPauses) {
    MirrorPeer peer;
    ASSERT_FALSE(peer.netPort.empty()) << "127.0.0.1:6000..6015 are all busy";
    WriteData("long.txt", std::string(400, 'R'));
    station->commands.NetPort(peer.netPort);
    station->commands.Enable();
    bool hungUp = false;
    loop->SetTimerHandler([&](int id) {
        station->dispatcher.OnTimer(id);
        if (id != kSecondTimer) return;
        // Some seconds into the file the peer goes away; the file then waits paused: cancel it to end the test.
        if (!hungUp && station->state.transmitterOn == 1 && station->state.secondTicks >= 3) {
            hungUp = true;
            ::shutdown(peer.Accept(), SHUT_RDWR);
        } else if (station->state.transmitterOn == 0 && station->state.running == 0) {
            station->commands.Cancel();
        }
    });
    station->state.sending = 1;
    station->transmitter.CmTX();
    station->state.idle = 0;
    station->state.secondTicks = 0;
    station->files.TXFile("long.txt", kMilitary);
    EXPECT_EQ(station->state.transmitterOn, 0);
    EXPECT_TRUE(Logged("CmPause : Session PAUSED"));
    EXPECT_TRUE(Logged("CmRX : Transmitter OFF"));
    EXPECT_NE(station->telnet.linkState, Telnet::kConnected);
}

class PskSending : public StationTest {
protected:
    void SetUp() override {
        StationTest::SetUp();
        ASSERT_TRUE(StartStation("QZ0XB 2 RTS"));
        station->commands.SoundCard("-1 Auto");
        station->modes.ModeClicked(kPsk31);
        ASSERT_EQ(station->state.mode, kPsk31);
        ASSERT_EQ(station->window.statusLine.Text(), "No error in starting sound card process");
    }
};

// The centre is truncated for the modem only; in PSK31 the baud buttons choose the tone.
TEST_F(PskSending, TheModemTakesTheCentreTruncatedOrTheToneOfABaudButton) {
    station->commands.SetTone(ToneField::kCentre, "1500.7");
    station->transmitter.CmTX();
    EXPECT_EQ(station->psk.Frequency(), 1500);
    EXPECT_FLOAT_EQ(station->state.pskFrequency, 1500.7f);
    station->transmitter.CmRX();
    station->modes.BaudClicked(3);
    EXPECT_FLOAT_EQ(station->state.pskFrequency, 1800.0f);
    EXPECT_FLOAT_EQ(station->state.baud, 45.45f);
    EXPECT_EQ(station->window.baudGroup.Caption(), "TX Freq");
    EXPECT_EQ(station->window.centreField.Text(), "  1800.000");
    EXPECT_EQ(station->psk.Frequency(), 1800);
}

TEST_F(PskSending, FileGoesOutThroughTheModemAtMostThreeCodesAhead) {
    WriteData("psk.txt", "cq cq de qz0xb\r\n^5k");
    int most = 0;
    station->psk.SetSymbolSink([&](TimePoint, PskSymbol) { most = std::max(most, station->psk.CodesQueued()); });
    station->transmitter.CmTX();
    station->files.TXFile("psk.txt", kPsk31);
    EXPECT_LE(most, 3);
    RunFor(std::chrono::seconds(5));
    // Text as written (no capitals in PSK31), the bells, no caret.
    EXPECT_EQ(station->psk.SentText(), "cq cq de qz0xb\r\n\a\a\a\a\ak");
    EXPECT_TRUE(uart.FrameCodes().empty());  // nothing on the serial line
    station->transmitter.CmRX();
    EXPECT_FALSE(station->psk.Transmitting());
}

TEST_F(PskSending, IdleFillWithTheModemOffTheAirDoesNotSpin) {
    // No CmTX: the modem takes the codes without sending them.
    TimePoint start = Now();
    station->sender.SendIdle(3);
    EXPECT_GE(Now() - start, std::chrono::seconds(2));
    EXPECT_LE(Now() - start, std::chrono::seconds(3));
}

}  // namespace
}  // namespace sked::test
