#include <atomic>
#include <condition_variable>
#include <mutex>
#include <string>
#include <thread>

#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include "app/mode_controls.h"
#include "net/telnet.h"
#include "scheduler/dispatcher.h"
#include "support/station_fixture.h"
#include "transmit/file_sender.h"
#include "transmit/code_sender.h"
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
    int Count(const std::string& message) const {
        int n = 0;
        for (const auto& m : LogMessages()) n += m == message;
        return n;
    }
    bool Keyed() { return (port->In(0x2F8 + 4) & 0x02) != 0; }
};

TEST_F(TransmitterSwitching, SecondCmTxDoesNothing) {
    station->transmitter.CmTX();
    station->transmitter.CmTX();
    EXPECT_EQ(Count("CmTX : Transmitter ON"), 1);
    EXPECT_TRUE(Keyed());
    EXPECT_EQ(station->window.transmitField.Text(), "  ON  ");
    int keyings = 0;
    for (const auto& e : uart.events) keyings += e.kind == UartEventKind::kMcr && e.keyOn;
    EXPECT_EQ(keyings, 1);
}

TEST_F(TransmitterSwitching, CmRxWhileOffLeavesIdleAlone) {
    station->state.idle = 0;
    auto before = LogMessages().size();
    station->transmitter.CmRX();
    EXPECT_EQ(station->state.idle, 0);
    EXPECT_EQ(LogMessages().size(), before);
}

TEST_F(TransmitterSwitching, CmRxReleasesWithATwoSecondTailAndUnticksCwTimer) {
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

TEST_F(TransmitterSwitching, CentreAndShiftGiveTheMarkAndSpaceFields) {
    station->commands.NoSound(false);
    station->commands.SetTone(ToneField::kCentre, "2210");
    station->commands.SetTone(ToneField::kShift, "170");
    station->transmitter.CmTX();
    EXPECT_EQ(station->window.markField.Text(), " 2125.00");
    EXPECT_EQ(station->window.spaceField.Text(), " 2295.00");
    EXPECT_EQ(station->state.toneCentre, 2210);
    EXPECT_DOUBLE_EQ(station->state.halfShift, 85.0);
    EXPECT_TRUE(station->window.centreField.ReadOnly());
    station->transmitter.CmRX();
    EXPECT_FALSE(station->window.centreField.ReadOnly());
}

TEST_F(TransmitterSwitching, MarkAndSpaceGiveCentreAndShiftEitherWayRound) {
    station->commands.NoSound(false);
    station->commands.ToneEntryStyle(false);
    for (auto [mark, space] : {std::pair{"2125", "2295"}, std::pair{"2295", "2125"}}) {
        station->commands.SetTone(ToneField::kMark, mark);
        station->commands.SetTone(ToneField::kSpace, space);
        station->transmitter.CmTX();
        EXPECT_EQ(station->window.centreField.Text(), " 2210.00");
        EXPECT_EQ(station->window.shiftField.Text(), " 170.0");
        EXPECT_EQ(station->state.toneCentre, 2210);
        EXPECT_DOUBLE_EQ(station->state.halfShift, 85.0);
        station->transmitter.CmRX();
    }
}

TEST_F(TransmitterSwitching, PskCentreIsTruncatedForTheModemOnly) {
    station->commands.SoundCard("-1 Auto");
    station->modes.ModeClicked(kPsk31);
    ASSERT_EQ(station->state.mode, kPsk31);
    station->commands.SetTone(ToneField::kCentre, "1500.7");
    station->transmitter.CmTX();
    EXPECT_EQ(station->psk.Frequency(), 1500);
    EXPECT_FLOAT_EQ(station->state.pskFrequency, 1500.7f);
    EXPECT_TRUE(station->psk.Transmitting());
    station->transmitter.CmRX();
}

TEST_F(TransmitterSwitching, PskWithoutSoundCardGoesBackToMilitary) {
    station->modes.ModeClicked(kPsk31);
    ASSERT_FALSE(boxes.shown.empty());
    EXPECT_EQ(boxes.shown.back().text, "Please Select a Sound Card");
    EXPECT_EQ(station->state.mode, kMilitary);
    EXPECT_TRUE(station->window.milButton.Checked());
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

// A listener on 127.0.0.1 that collects what the station mirrors, on the
// first of the mirror's ports (6000..6015) that is free.
class Listener {
public:
    Listener() {
        for (int n = 1; n <= 16 && !ok_; ++n) {
            fd_ = ::socket(AF_INET, SOCK_STREAM, 0);
            sockaddr_in a{};
            a.sin_family = AF_INET;
            a.sin_port = htons(static_cast<std::uint16_t>(5999 + n));
            a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
            ok_ = ::bind(fd_, reinterpret_cast<sockaddr*>(&a), sizeof a) == 0 && ::listen(fd_, 1) == 0;
            if (ok_) netPort = std::to_string(n);
            else ::close(fd_);
        }
        if (ok_) thread_ = std::thread([this] { Serve(); });
    }
    std::string netPort;  // as the station's port list names it
    ~Listener() {
        if (!ok_) return;
        ::shutdown(fd_, SHUT_RDWR);
        if (thread_.joinable()) thread_.join();
        ::close(fd_);
    }
    bool ok() const { return ok_; }
    std::string Received() {
        if (thread_.joinable()) thread_.join();
        return received_;
    }
    // The peer hangs up now (from the station's thread, so the station's
    // next look at its socket finds the link closed).
    void HangUp() {
        std::unique_lock<std::mutex> lock(mutex_);
        accepted_.wait_for(lock, std::chrono::seconds(5), [this] { return connection_ >= 0; });
        if (connection_ >= 0) ::shutdown(connection_, SHUT_RDWR);
    }

private:
    void Serve() {
        int c = ::accept(fd_, nullptr, nullptr);
        if (c < 0) return;
        {
            std::lock_guard<std::mutex> lock(mutex_);
            connection_ = c;
        }
        accepted_.notify_all();
        char buffer[256];
        for (ssize_t n; (n = ::recv(c, buffer, sizeof buffer, 0)) > 0;)
            received_.append(buffer, static_cast<std::size_t>(n));
        ::close(c);
    }
    int fd_;
    bool ok_ = false;
    std::thread thread_;
    std::string received_;
    std::mutex mutex_;
    std::condition_variable accepted_;
    int connection_ = -1;
};

TEST_F(TransmitterSwitching, MirrorGetsAuthenticationThenEverySentCharacter) {
    Listener listener;
    ASSERT_TRUE(listener.ok()) << "127.0.0.1:6000..6015 are all busy";
    WriteData("mirror.txt", "CQ de qz0xb\r\nK");
    station->commands.NetPort(listener.netPort);
    station->commands.Authentication("secret");
    station->files.SendTestFile("mirror.txt");
    EXPECT_EQ(station->state.transmitterOn, 0);
    EXPECT_EQ(listener.Received(), "secret\n\nCQ DE QZ0XB\rK");
}

TEST_F(TransmitterSwitching, ListenerThatClosesMidFileSwitchesOffAndPauses) {
    Listener listener;
    ASSERT_TRUE(listener.ok()) << "127.0.0.1:6000..6015 are all busy";
    WriteData("long.txt", std::string(400, 'R'));
    station->commands.NetPort(listener.netPort);
    station->commands.Enable();
    bool hungUp = false;
    loop->SetTimerHandler([&](int id) {
        station->dispatcher.OnTimer(id);
        if (id != kSecondTimer) return;
        // Some seconds into the file the peer goes away; once the link has
        // dropped the file waits paused: cancel it to end the test.
        if (!hungUp && station->state.transmitterOn == 1 && station->state.secondTicks >= 3) {
            hungUp = true;
            listener.HangUp();
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

}  // namespace
}  // namespace sked::test

namespace sked::test {
namespace {

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

TEST_F(PskSending, FileGoesOutThroughTheModemAtMostThreeCodesAhead) {
    WriteData("psk.txt", "cq cq de qz0xb\r\n^5k");
    int most = 0;
    station->psk.SetSymbolSink([&](TimePoint, bool) { most = std::max(most, station->psk.Pending()); });
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

TEST_F(PskSending, BaudButtonsChooseTheToneInPsk31) {
    station->modes.BaudClicked(3);
    EXPECT_FLOAT_EQ(station->state.pskFrequency, 1800.0f);
    EXPECT_FLOAT_EQ(station->state.baud, 45.45f);
    EXPECT_EQ(station->window.baudGroup.Caption(), "TX Freq");
    EXPECT_EQ(station->window.centreField.Text(), "  1800.000");
    EXPECT_EQ(station->window.markField.Text(), "  1784.4");
    EXPECT_EQ(station->psk.Frequency(), 1800);
}

}  // namespace
}  // namespace sked::test
