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

#include "app/operator_controls.h"
#include "audio/mode_controls.h"
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
    dlg->transmitter->CmTX();
    dlg->transmitter->CmTX();
    EXPECT_EQ(Count("CmTX : Transmitter ON"), 1);
    EXPECT_TRUE(Keyed());
    EXPECT_EQ(dlg->w.transmitField.Text(), "  ON  ");
    int keyings = 0;
    for (const auto& e : uart.events) keyings += e.kind == UartEventKind::kMcr && e.keyOn;
    EXPECT_EQ(keyings, 1);
}

TEST_F(TransmitterSwitching, CmRxWhileOffLeavesIdleAlone) {
    Settings().idle = 0;
    auto before = LogMessages().size();
    dlg->transmitter->CmRX();
    EXPECT_EQ(Settings().idle, 0);
    EXPECT_EQ(LogMessages().size(), before);
}

TEST_F(TransmitterSwitching, CmRxReleasesWithATwoSecondTailAndUnticksCwTimer) {
    dlg->transmitter->CmTX();
    dlg->w.cwTimerCheck.SetCheck(1);
    Settings().cwTimerSeconds = 100;
    Settings().idle = 0;
    TimePoint start = Now();
    dlg->transmitter->CmRX();
    EXPECT_FALSE(Keyed());
    EXPECT_GE(Now() - start, std::chrono::seconds(1));
    EXPECT_LE(Now() - start, std::chrono::seconds(2));
    EXPECT_EQ(Settings().idle, 1);
    EXPECT_EQ(dlg->w.cwTimerCheck.Check(), 0);
    EXPECT_EQ(Settings().cwTimerSeconds, -1);
    EXPECT_EQ(dlg->w.cwTimerField.Text(), "OFF");
    EXPECT_EQ(dlg->w.transmitField.Text(), "  OFF  ");
}

TEST_F(TransmitterSwitching, CentreAndShiftGiveTheMarkAndSpaceFields) {
    dlg->w.noSoundCheck.SetCheck(0);
    dlg->w.centreField.SetText("2210");
    dlg->w.shiftField.SetText("170");
    dlg->transmitter->CmTX();
    EXPECT_EQ(dlg->w.markField.Text(), " 2125.00");
    EXPECT_EQ(dlg->w.spaceField.Text(), " 2295.00");
    EXPECT_EQ(Settings().toneCentre, 2210);
    EXPECT_DOUBLE_EQ(Settings().halfShift, 85.0);
    EXPECT_TRUE(dlg->w.centreField.ReadOnly());
    dlg->transmitter->CmRX();
    EXPECT_FALSE(dlg->w.centreField.ReadOnly());
}

TEST_F(TransmitterSwitching, MarkAndSpaceGiveCentreAndShiftEitherWayRound) {
    dlg->w.noSoundCheck.SetCheck(0);
    dlg->modes->EntryStyleClicked(false);
    for (auto [mark, space] : {std::pair{"2125", "2295"}, std::pair{"2295", "2125"}}) {
        dlg->w.markField.SetText(mark);
        dlg->w.spaceField.SetText(space);
        dlg->transmitter->CmTX();
        EXPECT_EQ(dlg->w.centreField.Text(), " 2210.00");
        EXPECT_EQ(dlg->w.shiftField.Text(), " 170.0");
        EXPECT_EQ(Settings().toneCentre, 2210);
        EXPECT_DOUBLE_EQ(Settings().halfShift, 85.0);
        dlg->transmitter->CmRX();
    }
}

TEST_F(TransmitterSwitching, PskCentreIsTruncatedForTheModemOnly) {
    dlg->w.soundCardCombo.SetCurSel(1);  // "-1 Auto"
    dlg->modes->SoundCardChanged();
    dlg->modes->ModeClicked(kPsk31);
    ASSERT_EQ(Settings().mode, kPsk31);
    dlg->w.centreField.SetText("1500.7");
    dlg->transmitter->CmTX();
    EXPECT_EQ(dlg->psk->Frequency(), 1500);
    EXPECT_FLOAT_EQ(Settings().pskFrequency, 1500.7f);
    EXPECT_TRUE(dlg->psk->Transmitting());
    dlg->transmitter->CmRX();
}

TEST_F(TransmitterSwitching, PskWithoutSoundCardGoesBackToMilitary) {
    dlg->modes->ModeClicked(kPsk31);
    ASSERT_FALSE(boxes.shown.empty());
    EXPECT_EQ(boxes.shown.back().text, "Please Select a Sound Card");
    EXPECT_EQ(Settings().mode, kMilitary);
    EXPECT_TRUE(dlg->w.milButton.Checked());
}

TEST_F(TransmitterSwitching, FailedLinkLeavesTheTransmitterOffAndIdleRestored) {
    dlg->w.netPortCombo.SetCurSel(16);  // port 6015
    dlg->w.addressField.SetText("bad host name!");
    Settings().sending = 1;
    dlg->transmitter->CmTX();
    Settings().idle = 0;  // what every sender does after CmTX
    ASSERT_FALSE(boxes.shown.empty());
    EXPECT_EQ(boxes.shown.back().caption, "TCP/IP Connect Failure");
    EXPECT_NE(boxes.shown.back().text.find("Failed to connect to bad host name! on port 6015"), std::string::npos);
    EXPECT_EQ(Settings().transmitterOn, 0);
    EXPECT_FALSE(Keyed());
    EXPECT_FALSE(dlg->w.noSoundCheck.Enabled());
    dlg->transmitter->CmRX();
    EXPECT_EQ(Settings().idle, 1);
    EXPECT_TRUE(dlg->w.noSoundCheck.Enabled());
}

// A listener on 127.0.0.1 that collects what the station mirrors.
class Listener {
public:
    explicit Listener(int port) {
        fd_ = ::socket(AF_INET, SOCK_STREAM, 0);
        int one = 1;
        ::setsockopt(fd_, SOL_SOCKET, SO_REUSEADDR, &one, sizeof one);
        sockaddr_in a{};
        a.sin_family = AF_INET;
        a.sin_port = htons(static_cast<std::uint16_t>(port));
        a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        ok_ = ::bind(fd_, reinterpret_cast<sockaddr*>(&a), sizeof a) == 0 && ::listen(fd_, 1) == 0;
        if (ok_) thread_ = std::thread([this] { Serve(); });
    }
    ~Listener() {
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
    Listener listener(6000);
    ASSERT_TRUE(listener.ok()) << "127.0.0.1:6000 is busy";
    WriteData("mirror.txt", "CQ de qz0xb\r\nK");
    dlg->w.netPortCombo.SetCurSel(1);
    dlg->w.authField.SetText("secret");
    dlg->files->SendTestFile("mirror.txt");
    EXPECT_EQ(Settings().transmitterOn, 0);
    EXPECT_EQ(listener.Received(), "secret\n\nCQ DE QZ0XB\rK");
}

TEST_F(TransmitterSwitching, ListenerThatClosesMidFileSwitchesOffAndPauses) {
    // Port 2 (6001): tests run in parallel, and the one above holds 6000.
    Listener listener(6001);
    ASSERT_TRUE(listener.ok()) << "127.0.0.1:6001 is busy";
    WriteData("long.txt", std::string(400, 'R'));
    dlg->w.netPortCombo.SetCurSel(2);
    dlg->controls->CmEnable();
    bool hungUp = false;
    loop->SetTimerHandler([&](int id) {
        dlg->dispatcher->OnTimer(id);
        if (id != kSecondTimer) return;
        // Some seconds into the file the peer goes away; once the link has
        // dropped the file waits paused: cancel it to end the test.
        if (!hungUp && Settings().transmitterOn == 1 && Settings().secondTicks >= 3) {
            hungUp = true;
            listener.HangUp();
        } else if (Settings().transmitterOn == 0 && Settings().running == 0) {
            dlg->controls->CmCancel();
        }
    });
    Settings().sending = 1;
    dlg->transmitter->CmTX();
    Settings().idle = 0;
    Settings().secondTicks = 0;
    dlg->files->TXFile("long.txt", kMilitary);
    EXPECT_EQ(Settings().transmitterOn, 0);
    EXPECT_TRUE(Logged("CmPause : Session PAUSED"));
    EXPECT_TRUE(Logged("CmRX : Transmitter OFF"));
    EXPECT_NE(dlg->telnet->linkState, Telnet::kConnected);
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
        dlg->w.soundCardCombo.SetCurSel(1);  // "-1 Auto"
        dlg->modes->SoundCardChanged();
        dlg->modes->ModeClicked(kPsk31);
        ASSERT_EQ(Settings().mode, kPsk31);
        ASSERT_EQ(dlg->w.statusLine.Text(), "No error in starting sound card process");
    }
};

TEST_F(PskSending, FileGoesOutThroughTheModemAtMostThreeCodesAhead) {
    WriteData("psk.txt", "cq cq de qz0xb\r\n^5k");
    int most = 0;
    dlg->psk->SetSymbolSink([&](TimePoint, bool) { most = std::max(most, dlg->psk->Pending()); });
    dlg->transmitter->CmTX();
    dlg->files->TXFile("psk.txt", kPsk31);
    EXPECT_LE(most, 3);
    RunFor(std::chrono::seconds(5));
    // Text as written (no capitals in PSK31), the bells, no caret.
    EXPECT_EQ(dlg->psk->SentText(), "cq cq de qz0xb\r\n\a\a\a\a\ak");
    EXPECT_TRUE(uart.FrameCodes().empty());  // nothing on the serial line
    dlg->transmitter->CmRX();
    EXPECT_FALSE(dlg->psk->Transmitting());
}

TEST_F(PskSending, IdleFillWithTheModemOffTheAirDoesNotSpin) {
    // No CmTX: the modem takes the codes without sending them.
    TimePoint start = Now();
    dlg->sender->SendIdle(3);
    EXPECT_GE(Now() - start, std::chrono::seconds(2));
    EXPECT_LE(Now() - start, std::chrono::seconds(3));
}

TEST_F(PskSending, BaudButtonsChooseTheToneInPsk31) {
    dlg->modes->BaudClicked(3);
    EXPECT_FLOAT_EQ(Settings().pskFrequency, 1800.0f);
    EXPECT_FLOAT_EQ(Settings().baud, 45.45f);
    EXPECT_EQ(dlg->w.baudGroup.Caption(), "TX Freq");
    EXPECT_EQ(dlg->w.centreField.Text(), "  1800.000");
    EXPECT_EQ(dlg->w.markField.Text(), "  1784.4");
    EXPECT_EQ(dlg->psk->Frequency(), 1800);
}

}  // namespace
}  // namespace sked::test
