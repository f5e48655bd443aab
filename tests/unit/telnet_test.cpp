#include "net/telnet.h"

#include <cerrno>
#include <chrono>
#include <functional>
#include <string>
#include <vector>

#include <arpa/inet.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include "platform/poll_event_loop.h"

namespace sked {
namespace {

using namespace std::chrono_literals;
using Calls = std::vector<std::string>;

bool RunUntil(EventLoop& loop, const std::function<bool()>& done) {
    TimePoint deadline = loop.clock().Now() + 5s;
    while (!done()) {
        if (loop.clock().Now() >= deadline) return false;
        loop.WaitForEvent(deadline);
    }
    return true;
}

// A socket bound to 127.0.0.1 on an ephemeral port; listening when asked.
class LocalPort {
public:
    explicit LocalPort(bool listening) {
        fd_ = ::socket(AF_INET, SOCK_STREAM | SOCK_NONBLOCK | SOCK_CLOEXEC, 0);
        sockaddr_in address{};
        address.sin_family = AF_INET;
        address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        EXPECT_EQ(::bind(fd_, reinterpret_cast<sockaddr*>(&address), sizeof address), 0);
        if (listening) {
            EXPECT_EQ(::listen(fd_, 4), 0);
        }
        socklen_t size = sizeof address;
        ::getsockname(fd_, reinterpret_cast<sockaddr*>(&address), &size);
        port_ = ntohs(address.sin_port);
    }
    ~LocalPort() { ::close(fd_); }
    int fd() const { return fd_; }
    int port() const { return port_; }

private:
    int fd_ = -1;
    int port_ = 0;
};

// The far end of the link: accepts one connection and collects what arrives.
class Peer {
public:
    Peer(EventLoop& loop, const LocalPort& listener) : loop_(loop), listenFd_(listener.fd()) {
        watch_ = loop_.WatchFd(listenFd_, POLLIN, [this](short) { Accept(); });
    }
    ~Peer() {
        if (watch_) loop_.RemoveWatch(watch_);
        if (fd_ >= 0) ::close(fd_);
    }
    int fd() const { return fd_; }
    const std::string& received() const { return received_; }
    bool ended() const { return ended_; }

    void Write(const std::string& data) {
        ASSERT_EQ(::send(fd_, data.data(), data.size(), MSG_NOSIGNAL), static_cast<ssize_t>(data.size()));
    }
    // Orderly close.
    void Close() {
        loop_.RemoveWatch(watch_);
        watch_ = 0;
        ::close(fd_);
        fd_ = -1;
    }
    // Abortive close: the station's end sees a reset.
    void Reset() {
        linger abort{1, 0};
        ::setsockopt(fd_, SOL_SOCKET, SO_LINGER, &abort, sizeof abort);
        Close();
    }

private:
    void Accept() {
        int fd = ::accept4(listenFd_, nullptr, nullptr, SOCK_NONBLOCK | SOCK_CLOEXEC);
        if (fd < 0) return;
        loop_.RemoveWatch(watch_);
        fd_ = fd;
        watch_ = loop_.WatchFd(fd_, POLLIN, [this](short) { Read(); });
    }
    void Read() {
        char buffer[4096];
        ssize_t n = ::recv(fd_, buffer, sizeof buffer, 0);
        if (n > 0) {
            received_.append(buffer, static_cast<std::size_t>(n));
        } else if (n == 0 || (errno != EAGAIN && errno != EINTR)) {
            ended_ = true;
            loop_.ModifyWatch(watch_, 0);
        }
    }

    EventLoop& loop_;
    int listenFd_;
    int watch_ = 0;
    int fd_ = -1;
    std::string received_;
    bool ended_ = false;
};

// The main window as the link sees it. Like the station, turning the
// transmitter off while it is on closes the link.
class FakeHost : public TelnetHost {
public:
    Telnet* telnet = nullptr;
    bool transmitterOn = true;
    std::string authentication = "DE SKED";
    Calls calls;

    void CmRX() override {
        calls.push_back("CmRX");
        if (transmitterOn && telnet) {
            transmitterOn = false;
            telnet->CloseLink();
        }
    }
    void CmPause() override { calls.push_back("CmPause"); }
    void CmResume() override { calls.push_back("CmResume"); }
    void LogEvent(const std::string& message) override { calls.push_back("Log " + message); }
    void PumpMessages() override { calls.push_back("Pump"); }
    void ShowStopBox(const std::string& caption, const std::string& text) override {
        calls.push_back("Box " + caption + ": " + text);
    }
    std::string AuthenticationText() override { return authentication; }
    void LockLinkControls(bool connected) override { calls.push_back(connected ? "Lock" : "Unlock"); }

    bool Called(const std::string& call) const {
        for (const auto& c : calls)
            if (c == call) return true;
        return false;
    }
};

class TelnetTest : public ::testing::Test {
protected:
    TelnetTest() { host.telnet = &telnet; }

    // Opens the link and waits for the authentication to reach the peer.
    void Connect(const std::string& expectedText) {
        ASSERT_FALSE(telnet.OpenLink("127.0.0.1", listener.port()));
        ASSERT_TRUE(RunUntil(loop, [&] { return peer.received().size() >= expectedText.size(); }));
        EXPECT_EQ(peer.received(), expectedText);
        EXPECT_EQ(telnet.linkState, Telnet::kConnected);
        EXPECT_EQ(host.calls, (Calls{"Lock", "CmResume"}));
        host.calls.clear();
    }

    PollEventLoop loop;
    LocalPort listener{true};
    Peer peer{loop, listener};
    FakeHost host;
    Telnet telnet{loop, host};
};

TEST_F(TelnetTest, SendsAuthenticationThenSevenBitCharacters) {
    EXPECT_EQ(telnet.channel, 1);
    Connect("DE SKED\n\n");
    for (int c : {int{'R'}, int{'Y'}, 200, 128, 255, -1, 127, 0}) telnet.EchoCharacter(c);
    const std::string expected("DE SKED\n\nRY\x7f\0", 13);
    ASSERT_TRUE(RunUntil(loop, [&] { return peer.received().size() >= expected.size(); }));
    EXPECT_EQ(peer.received(), expected);
    EXPECT_TRUE(host.calls.empty());
}

TEST_F(TelnetTest, LongAuthenticationIsCut) {
    host.authentication = std::string(300, 'x');
    Connect(std::string(253, 'x') + "\n\n");
}

TEST_F(TelnetTest, EmptyAuthenticationStillSendsTwoLineFeeds) {
    host.authentication.clear();
    Connect("\n\n");
}

TEST_F(TelnetTest, ResolvesAHostName) {
    ASSERT_FALSE(telnet.OpenLink("localhost", listener.port()));
    ASSERT_TRUE(RunUntil(loop, [&] { return peer.received() == "DE SKED\n\n"; }));
    EXPECT_EQ(telnet.linkState, Telnet::kConnected);
}

TEST_F(TelnetTest, RefusedConnectionEndsInSocketErrorBox) {
    LocalPort unused(false);  // bound, not listening: connections are refused
    ASSERT_FALSE(telnet.OpenLink("127.0.0.1", unused.port()));
    ASSERT_TRUE(RunUntil(loop, [&] { return !host.calls.empty(); }));
    ASSERT_EQ(host.calls.size(), 5u);
    EXPECT_EQ(host.calls[0], "CmRX");
    EXPECT_EQ(host.calls[1], "Unlock");
    EXPECT_EQ(host.calls[2], "CmPause");
    EXPECT_EQ(host.calls[3].rfind("Log Telnet::Send socket error ", 0), 0u) << host.calls[3];
    EXPECT_NE(host.calls[3].find(" Channel 1"), std::string::npos) << host.calls[3];
    EXPECT_EQ(host.calls[4], "Box Socket Error: Error with Sending to Socket");
    EXPECT_EQ(telnet.linkState, Telnet::kFailed);
    EXPECT_FALSE(telnet.IsOpen());
}

TEST_F(TelnetTest, PeerClosingTurnsTransmitterOffAndPauses) {
    Connect("DE SKED\n\n");
    peer.Close();
    ASSERT_TRUE(RunUntil(loop, [&] { return host.Called("CmPause"); }));
    EXPECT_EQ(host.calls, (Calls{"CmRX", "Unlock", "CmPause"}));
    EXPECT_EQ(telnet.linkState, Telnet::kIdle);
    EXPECT_FALSE(telnet.IsOpen());
    for (int i = 0; i < 3; ++i) loop.PumpMessages();
    telnet.EchoCharacter('A');
    EXPECT_EQ(host.calls.size(), 3u);
}

TEST_F(TelnetTest, PeerResetEndsTheLinkOnNextSendOrNotification) {
    Connect("DE SKED\n\n");
    peer.Reset();
    ASSERT_TRUE(RunUntil(loop, [&] {
        telnet.EchoCharacter('A');
        return host.Called("CmPause");
    }));
    ASSERT_GE(host.calls.size(), 3u);
    EXPECT_EQ(Calls(host.calls.begin(), host.calls.begin() + 3), (Calls{"CmRX", "Unlock", "CmPause"}));
    EXPECT_FALSE(telnet.IsOpen());
    EXPECT_NE(telnet.linkState, Telnet::kConnected);
}

TEST_F(TelnetTest, FailedSendClosesLinkAndLogs) {
    Connect("DE SKED\n\n");
    ASSERT_EQ(::shutdown(telnet.Handle(), SHUT_WR), 0);  // every further send fails
    EXPECT_EQ(telnet.Send("AB", 2), -1);
    EXPECT_EQ(host.calls, (Calls{"CmRX", "Unlock", "CmPause",
                                 "Log Telnet::Send socket error " + std::to_string(EPIPE) + " Channel 1"}));
    EXPECT_EQ(telnet.linkState, Telnet::kFailed);
    EXPECT_FALSE(telnet.IsOpen());
    EXPECT_EQ(telnet.Send("AB", 2), -1);
    EXPECT_EQ(host.calls.size(), 4u);
}

TEST_F(TelnetTest, CloseWithTransmitterOffClosesTheSocketItself) {
    Connect("DE SKED\n\n");
    host.transmitterOn = false;  // CmRX will not close the link
    peer.Close();
    ASSERT_TRUE(RunUntil(loop, [&] { return host.Called("CmPause"); }));
    EXPECT_EQ(host.calls, (Calls{"CmRX", "CmPause"}));
    EXPECT_FALSE(telnet.IsOpen());
    EXPECT_EQ(telnet.linkState, Telnet::kIdle);
}

TEST_F(TelnetTest, OpenLinkWhileOpenFails) {
    ASSERT_FALSE(telnet.OpenLink("127.0.0.1", listener.port()));
    EXPECT_TRUE(telnet.OpenLink("127.0.0.1", listener.port()));  // still connecting
    EXPECT_EQ(telnet.linkState, Telnet::kIdle);
    ASSERT_TRUE(RunUntil(loop, [&] { return telnet.linkState == Telnet::kConnected; }));
    EXPECT_TRUE(telnet.OpenLink("127.0.0.1", listener.port()));
    EXPECT_EQ(telnet.linkState, Telnet::kIdle);
    EXPECT_TRUE(telnet.IsOpen());
}

TEST_F(TelnetTest, UnresolvableHostFailsCleanly) {
    EXPECT_TRUE(telnet.OpenLink("bad host name!", listener.port()));
    EXPECT_EQ(telnet.linkState, Telnet::kIdle);
    EXPECT_FALSE(telnet.IsOpen());
    EXPECT_TRUE(host.calls.empty());
    Connect("DE SKED\n\n");  // a later attempt is not refused as already open
}

TEST_F(TelnetTest, DiscardsWhatThePeerSends) {
    Connect("DE SKED\n\n");
    telnet.EchoCharacter('K');
    ASSERT_TRUE(RunUntil(loop, [&] { return peer.received() == "DE SKED\n\nK"; }));
    peer.Write(std::string(3000, 'z'));
    peer.Close();  // the close is seen only after all the data has been read
    ASSERT_TRUE(RunUntil(loop, [&] { return host.Called("CmPause"); }));
    EXPECT_EQ(host.calls, (Calls{"CmRX", "Unlock", "CmPause"}));
}

TEST_F(TelnetTest, CloseLinkClosesSocketAndUnlocks) {
    Connect("DE SKED\n\n");
    telnet.CloseLink();
    EXPECT_FALSE(telnet.IsOpen());
    EXPECT_EQ(telnet.linkState, Telnet::kIdle);
    EXPECT_EQ(host.calls, (Calls{"Unlock"}));
    ASSERT_TRUE(RunUntil(loop, [&] { return peer.ended(); }));
    telnet.EchoCharacter('A');
    EXPECT_EQ(peer.received(), "DE SKED\n\n");
}

}  // namespace
}  // namespace sked
