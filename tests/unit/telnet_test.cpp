// The Telnet link on loopback: the station's side through the event loop, the peer on plain sockets.
#include "net/telnet.h"

#include <regex>
#include <string>
#include <utility>
#include <vector>

#include <arpa/inet.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include "support/local_port.h"

#include "platform/poll_event_loop.h"

namespace sked {
namespace {

using test::LocalPort;
using test::RunUntil;

using namespace std::chrono_literals;
using Calls = std::vector<std::string>;

// The main window as the link sees it; like the station's, CmRX with the transmitter on closes the link.
struct FakeHost : TelnetHost {
    void CmRX() override {
        calls.push_back("CmRX");
        if (std::exchange(transmitterOn, false) && telnet) telnet->CloseLink();
    }
    void CmPause() override { calls.push_back("CmPause"); }
    void CmResume() override { calls.push_back("CmResume"); }
    void LogEvent(const std::string& message) override { calls.push_back("Log " + message); }
    void PumpMessages() override { calls.push_back("Pump"); }
    void ShowStopBox(const std::string& c, const std::string& t) override { calls.push_back("Box " + c + ": " + t); }
    std::string AuthenticationText() override { return authentication; }
    void LockLinkControls(bool connected) override { calls.push_back(connected ? "Lock" : "Unlock"); }

    Telnet* telnet = nullptr;
    bool transmitterOn = true;
    std::string authentication = "DE SKED";
    Calls calls;
};

class TelnetTest : public ::testing::Test {
protected:
    TelnetTest() { host.telnet = &telnet; }
    ~TelnetTest() override { ::close(peer); }
    // Opens the link with the transmitter on and accepts it as the peer.
    void Connect() {
        host.calls.clear();
        host.transmitterOn = true;
        ASSERT_TRUE(telnet.OpenLink("127.0.0.1", listener.port));
        ASSERT_TRUE(RunUntil(loop, [&] { return telnet.linkState == Telnet::kConnected; }));
        ::close(std::exchange(peer, ::accept4(listener.fd, nullptr, nullptr, SOCK_CLOEXEC)));
        ASSERT_GE(peer, 0);
        EXPECT_EQ(host.calls, (Calls{"Lock", "CmResume"}));
        host.calls.clear();
    }
    // What reaches the peer, up to `count` bytes (waits for I/O at most five seconds).
    std::string PeerReads(std::size_t count) {
        std::string got;
        char buffer[512];
        for (pollfd p{peer, POLLIN, 0}; got.size() < count && ::poll(&p, 1, 5000) > 0;) {
            const ssize_t n = ::recv(peer, buffer, sizeof buffer, 0);
            if (n <= 0) break;
            got.append(buffer, static_cast<std::size_t>(n));
        }
        return got;
    }

    PollEventLoop loop;
    LocalPort listener{true};
    FakeHost host;
    Telnet telnet{loop, host};
    int peer = -1;
};

TEST_F(TelnetTest, AuthenticationAndTwoLineFeedsThenOnlySevenBitCharacters) {
    for (const std::string& text : {std::string("DE SKED"), std::string(), std::string(300, 'x')}) {
        host.authentication = text;
        Connect();
        for (int c : {int{'R'}, int{'Y'}, 200, 128, 255, -1, 127, 0}) telnet.EchoCharacter(c);
        const std::string expected = text.substr(0, 253) + "\n\nRY" + std::string("\x7f\0", 2);
        EXPECT_EQ(PeerReads(expected.size()), expected);
        telnet.CloseLink();
    }
}

TEST_F(TelnetTest, RefusedConnectionEndsInASocketErrorBox) {
    LocalPort unused(false);
    ASSERT_TRUE(telnet.OpenLink("127.0.0.1", unused.port));
    ASSERT_TRUE(RunUntil(loop, [&] { return !host.calls.empty(); }));
    ASSERT_EQ(host.calls.size(), 5u);
    host.calls[3] = std::regex_replace(host.calls[3], std::regex("error [0-9]+ "), "error N ");  // EPIPE, as it happens
    EXPECT_EQ(host.calls, (Calls{"CmRX", "Unlock", "CmPause", "Log Telnet::Send socket error N Channel 1",
                                 "Box Socket Error: Error with Sending to Socket"}));
    EXPECT_EQ(telnet.linkState, Telnet::kFailed);
    EXPECT_FALSE(telnet.IsOpen());
}

TEST_F(TelnetTest, PeerClosingTurnsTheTransmitterOffAndPauses) {
    for (bool transmitterOn : {true, false}) {
        Connect();
        host.transmitterOn = transmitterOn;  // when off, CmRX does not close the link: it closes itself
        ASSERT_EQ(PeerReads(9), "DE SKED\n\n");
        ASSERT_EQ(::send(peer, std::string(3000, 'z').data(), 3000, MSG_NOSIGNAL), 3000);  // read and dropped
        ::close(std::exchange(peer, -1));
        ASSERT_TRUE(RunUntil(loop, [&] { return !host.calls.empty() && host.calls.back() == "CmPause"; }));
        EXPECT_EQ(host.calls, (transmitterOn ? Calls{"CmRX", "Unlock", "CmPause"} : Calls{"CmRX", "CmPause"}));
        EXPECT_EQ(telnet.linkState, Telnet::kIdle);
        EXPECT_FALSE(telnet.IsOpen());
        telnet.EchoCharacter('A');
        EXPECT_EQ(host.calls.size(), transmitterOn ? 3u : 2u);
    }
}

TEST_F(TelnetTest, OpenLinkWhileOpenFails) {
    ASSERT_TRUE(telnet.OpenLink("127.0.0.1", listener.port));
    EXPECT_FALSE(telnet.OpenLink("127.0.0.1", listener.port));  // still connecting
    ASSERT_TRUE(RunUntil(loop, [&] { return telnet.linkState == Telnet::kConnected; }));
    EXPECT_FALSE(telnet.OpenLink("127.0.0.1", listener.port));
    EXPECT_EQ(telnet.linkState, Telnet::kIdle);
    EXPECT_TRUE(telnet.IsOpen());
}

}  // namespace
}  // namespace sked
