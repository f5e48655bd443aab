// The TCP mirror on loopback: the station's side on the event loop, the peer on plain sockets.
#include "net/tcp_mirror.h"

#include <algorithm>
#include <atomic>
#include <cstring>
#include <future>
#include <memory>
#include <string>
#include <utility>
#include <vector>

#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include "platform/poll_event_loop.h"
#include "support/local_port.h"

namespace sked {
namespace {

using namespace std::chrono_literals;
using test::LocalPort;
using test::RunUntil;
using Notes = std::vector<std::string>;

class TcpMirrorTest : public ::testing::Test {
protected:
    TcpMirrorTest() {
        mirror.SetHandlers({[this](bool up) { notes.push_back(up ? "up" : "down"); },
                            [this](const std::string& reason) { notes.push_back("lost " + reason); }, {}});
    }
    ~TcpMirrorTest() override { ::close(peer); }
    static std::string Peer(const LocalPort& port) { return "127.0.0.1:" + std::to_string(port.port); }
    bool Open(const LocalPort& port, const std::string& authentication = "DE SKED", const char* host = "127.0.0.1") {
        return !mirror.Open(host, port.port, authentication);
    }
    // Once the link is up, the peer's side.
    void Accept() {
        ASSERT_TRUE(RunUntil(loop, [&] { return mirror.Connected(); }));
        ::close(std::exchange(peer, ::accept4(listener.fd, nullptr, nullptr, SOCK_CLOEXEC)));
        ASSERT_GE(peer, 0);
    }
    // What reaches the peer: `count` bytes, or all until the link closes (waits for I/O at most five seconds).
    std::string PeerReads(std::size_t count = std::string::npos) {
        std::string got;
        char buffer[512];
        for (pollfd p{peer, POLLIN, 0}; got.size() < count && ::poll(&p, 1, 5000) > 0;) {
            const ssize_t n = ::recv(peer, buffer, std::min(sizeof buffer, count - got.size()), 0);
            if (n <= 0) break;
            got.append(buffer, static_cast<std::size_t>(n));
        }
        return got;
    }
    // Gives notifications that should not come a chance to.
    void RunAWhile() { loop.RunUntil(loop.clock().Now() + 50ms); }

    PollEventLoop loop;
    LocalPort listener{true};
    TcpMirror mirror{loop};
    Notes notes;
    int peer = -1;
};

TEST_F(TcpMirrorTest, AuthenticationAndTwoLineFeedsFirstThenOnlySevenBitCharacters) {
    for (const std::string& text : {std::string("DE SKED"), std::string(), std::string(300, 'x')}) {
        ASSERT_TRUE(Open(listener, text, "localhost"));
        EXPECT_TRUE(loop.RealWorkUnderWay());  // the name is looked up: a simulated clock waits for it
        mirror.Write('R');  // before the link is up: it waits behind the authentication
        Accept();
        for (int c : {int{'Y'}, 200, 128, 255, -1, 127, 0}) mirror.Write(c);
        mirror.Close();  // tells `lost` nothing
        RunAWhile();
        EXPECT_EQ(PeerReads(), text.substr(0, TcpMirror::kMaxAuthentication) + "\n\nRY" + std::string("\x7f\0", 2));
        EXPECT_EQ(std::exchange(notes, {}), (Notes{"up", "down"}));
    }
}

TEST_F(TcpMirrorTest, RefusedConnectionUnknownHostAndPeerThatClosesAreEachToldOnceNamingThePeer) {
    LocalPort unused(false);
    ASSERT_TRUE(Open(unused));
    ASSERT_TRUE(RunUntil(loop, [&] { return !notes.empty(); }));
    ASSERT_TRUE(Open(unused, "", "no-such-host.invalid"));
    // A name server may take its time to say no.
    for (const auto until = loop.clock().Now() + 60s; notes.size() < 2 && loop.clock().Now() < until;) RunAWhile();
    RunAWhile();
    EXPECT_FALSE(mirror.IsOpen());
    EXPECT_EQ(notes, (Notes{"lost cannot connect to " + Peer(unused) + ": " + std::strerror(ECONNREFUSED),
                            "lost cannot connect to no-such-host.invalid:" + std::to_string(unused.port) +
                                ": host name not found"}));
    notes.clear();

    ASSERT_TRUE(Open(listener));
    Accept();
    ASSERT_EQ(PeerReads(9), "DE SKED\n\n");
    ASSERT_EQ(::send(peer, std::string(3000, 'z').data(), 3000, MSG_NOSIGNAL), 3000);  // read and dropped
    ::close(std::exchange(peer, -1));
    ASSERT_TRUE(RunUntil(loop, [&] { return notes.size() >= 3; }));
    RunAWhile();
    EXPECT_EQ(notes, (Notes{"up", "down", "lost the peer " + Peer(listener) + " closed the link"}));
    EXPECT_FALSE(mirror.IsOpen());
}

// A slow resolver (gone.example at the 3rd tick, others the 6th): an attempt given up, or a mirror gone, hears nothing.
TEST_F(TcpMirrorTest, TheLoopRunsOnWhileANameIsLookedUpAndOnlyTheLatestAttemptCounts) {
    std::promise<void> answers[2];
    const std::shared_future<void> answered[] = {answers[0].get_future().share(), answers[1].get_future().share()};
    std::atomic<bool> timedOut{false};
    int ticks = 0;
    Timer tick(loop, [&] { if (++ticks % 3 == 0 && ticks <= 6) answers[ticks / 3 - 1].set_value(); });
    ASSERT_TRUE(tick.Every(5ms));
    const auto slow = [&](const std::string& host, in_addr& address) {
        if (answered[host != "gone.example"].wait_for(10s) != std::future_status::ready) timedOut = true;
        address.s_addr = htonl(INADDR_LOOPBACK);
        return std::error_code();
    };
    LocalPort unused(false);
    mirror.SetResolver(slow);
    ASSERT_TRUE(Open(unused, "", "gone.example"));
    ASSERT_TRUE(Open(listener, "", "slow.example"));  // closes the first, whose lookup still runs and answers first
    ASSERT_TRUE(RunUntil(loop, [&] { return mirror.Connected() && !loop.RealWorkUnderWay(); }));
    RunAWhile();
    EXPECT_TRUE(notes == Notes{"up"} && !timedOut) << notes.size() << " notes";

    auto doomed = std::make_unique<TcpMirror>(loop);
    const auto late = [&](auto) { notes.push_back("late"); };
    doomed->SetHandlers({late, late, {}});
    doomed->SetResolver(slow);
    ASSERT_FALSE(doomed->Open("slow.example", listener.port, ""));
    doomed.reset();  // waits for its worker, whose answer is left queued
    EXPECT_FALSE(loop.RealWorkUnderWay());
    RunAWhile();
    EXPECT_EQ(notes, Notes{"up"});
}

TEST_F(TcpMirrorTest, PeerThatStopsReadingIsDroppedOnceTheBufferIsFullNotWaitedFor) {
    ASSERT_TRUE(Open(listener));
    Accept();
    // The mirror's socket, found by its peer: small buffers, so that it soon takes no more.
    const int small = 4096;
    ASSERT_EQ(::setsockopt(peer, SOL_SOCKET, SO_RCVBUF, &small, sizeof small), 0);
    for (int fd = 3; fd < 1024; ++fd) {
        sockaddr_in a{};
        socklen_t size = sizeof a;
        if (::getpeername(fd, reinterpret_cast<sockaddr*>(&a), &size) == 0 && ntohs(a.sin_port) == listener.port) {
            ASSERT_EQ(::setsockopt(fd, SOL_SOCKET, SO_SNDBUF, &small, sizeof small), 0);
        }
    }
    // Without the loop running: the writes never wait for the peer.
    for (std::size_t written = 0; notes.size() == 1 && written < 64u << 20; ++written) mirror.Write('x');
    mirror.Write('x');
    EXPECT_EQ(notes, (Notes{"up", "down", "lost the peer " + Peer(listener) + " takes nothing (" +
                                              std::to_string(TcpMirror::kMostBuffered + 1) + " characters waiting)"}));
    EXPECT_FALSE(mirror.IsOpen());
}

}  // namespace
}  // namespace sked
