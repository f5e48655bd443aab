#include "platform/async_socket.h"

#include <chrono>
#include <condition_variable>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include "support/local_port.h"

#include "platform/poll_event_loop.h"
#include "platform/simulated_event_loop.h"

namespace sked {
namespace {

using test::LocalPort;
using test::RunUntil;

using namespace std::chrono_literals;

struct RecordingSocket : AsyncSocket {
    using AsyncSocket::AsyncSocket;
    void OnConnect(int error) override { notes.push_back("connect " + std::to_string(error)); }
    void OnReceive(int) override {
        char buffer[64];
        const int n = Receive(buffer, sizeof buffer);
        if (n > 0) received.append(buffer, static_cast<std::size_t>(n));
    }
    void OnClose(int error) override { notes.push_back("close " + std::to_string(error)); }
    std::vector<std::string> notes;
    std::string received;
};

// A name server under the test's control: every lookup waits until Answer()
// (ten seconds at most, noted as a time-out), then gives 127.0.0.1.
class SlowNameServer {
public:
    AsyncSocket::Resolver Resolver() {
        return [this](const std::string&, in_addr& address) {
            std::unique_lock<std::mutex> lock(mutex_);
            if (!answer_.wait_for(lock, 10s, [this] { return answering_; })) timedOut_ = true;
            address.s_addr = htonl(INADDR_LOOPBACK);
            return 0;
        };
    }
    void Answer() {
        std::lock_guard<std::mutex> lock(mutex_);
        answering_ = true;
        answer_.notify_all();
    }
    bool TimedOut() {
        std::lock_guard<std::mutex> lock(mutex_);
        return timedOut_;
    }

private:
    std::mutex mutex_;
    std::condition_variable answer_;
    bool answering_ = false;
    bool timedOut_ = false;
};

TEST(AsyncSocketTest, ConnectSendReceiveAndPeerCloseAreNotifiedOnceAndARefusalIsReported) {
    PollEventLoop loop;
    LocalPort listener(true), unused(false);
    RecordingSocket socket(loop), refused(loop);
    ASSERT_TRUE(socket.Create() && refused.Create());
    EXPECT_TRUE(socket.Connect("127.0.0.1", listener.port) || socket.LastError() == AsyncSocket::kWouldBlock);
    ASSERT_TRUE(RunUntil(loop, [&] { return !socket.notes.empty(); }));

    const int peer = ::accept4(listener.fd, nullptr, nullptr, SOCK_CLOEXEC);
    ASSERT_GE(peer, 0);
    EXPECT_EQ(socket.Send("ping", 4), 4);
    ASSERT_EQ(::send(peer, "pong", 4, MSG_NOSIGNAL), 4);
    ASSERT_TRUE(RunUntil(loop, [&] { return socket.received == "pong"; }));
    ::shutdown(peer, SHUT_WR);
    ASSERT_TRUE(RunUntil(loop, [&] { return socket.notes.size() > 1; }));
    for (int i = 0; i < 3; ++i) loop.PumpMessages();
    EXPECT_EQ(socket.notes, (std::vector<std::string>{"connect 0", "close 0"}));
    ::close(peer);

    EXPECT_FALSE(refused.Connect("127.0.0.1", unused.port));
    ASSERT_TRUE(RunUntil(loop, [&] { return !refused.notes.empty(); }));
    EXPECT_EQ(refused.notes, std::vector<std::string>{"connect " + std::to_string(ECONNREFUSED)});
}

TEST(AsyncSocketTest, LocalhostIsLookedUpAndConnectedOnTheSimulatedClock) {
    SimulatedEventLoop loop(TimePoint(std::chrono::hours(24 * 20454)));
    LocalPort listener(true);
    RecordingSocket socket(loop);
    ASSERT_TRUE(socket.Create());
    EXPECT_FALSE(socket.Connect("localhost", listener.port));
    EXPECT_EQ(socket.LastError(), AsyncSocket::kWouldBlock);
    EXPECT_TRUE(loop.RealWorkUnderWay());
    ASSERT_TRUE(RunUntil(loop, [&] { return !socket.notes.empty(); }));
    EXPECT_EQ(socket.notes, std::vector<std::string>{"connect 0"});
    EXPECT_FALSE(loop.RealWorkUnderWay());
    const int peer = ::accept4(listener.fd, nullptr, nullptr, SOCK_CLOEXEC);
    EXPECT_GE(peer, 0);
    ::close(peer);
}

TEST(AsyncSocketTest, ANameThatDoesNotResolveEndsInHostNotFound) {
    PollEventLoop loop;
    RecordingSocket socket(loop), unnamed(loop);
    ASSERT_TRUE(socket.Create() && unnamed.Create());
    EXPECT_FALSE(socket.Connect("no-such-host.invalid", 23));
    EXPECT_EQ(socket.LastError(), AsyncSocket::kWouldBlock);
    EXPECT_FALSE(socket.Connect("no-such-host.invalid", 23));
    EXPECT_EQ(socket.LastError(), EALREADY);
    // A name server may take its time to say no.
    const TimePoint deadline = loop.clock().Now() + 60s;
    while (socket.notes.empty() && loop.clock().Now() < deadline) loop.WaitForEvent(deadline);
    EXPECT_EQ(socket.notes, std::vector<std::string>{"connect " + std::to_string(AsyncSocket::kHostNotFound)});
    EXPECT_FALSE(loop.RealWorkUnderWay());

    // Text that cannot be a host name fails at once, without a lookup.
    for (const std::string& text : {std::string(), std::string("bad host name!"), std::string("tab\there"),
                                    std::string("x;y"), std::string(254, 'a')}) {
        EXPECT_FALSE(unnamed.Connect(text, 23)) << text;
        EXPECT_EQ(unnamed.LastError(), AsyncSocket::kHostNotFound) << text;
        EXPECT_FALSE(loop.RealWorkUnderWay()) << text;
    }
    for (int i = 0; i < 3; ++i) loop.PumpMessages();
    EXPECT_TRUE(unnamed.notes.empty());
}

TEST(AsyncSocketTest, TheLoopKeepsDispatchingWhileANameIsLookedUp) {
    PollEventLoop loop;
    LocalPort listener(true);
    std::mutex mutex;
    std::condition_variable ticked;
    int ticks = 0, ticksWhenAnswered = -1;
    loop.SetTimerHandler([&](int) {
        std::lock_guard<std::mutex> lock(mutex);
        ++ticks;
        ticked.notify_all();
    });
    ASSERT_TRUE(loop.StartTimer(1, 5ms));
    RecordingSocket socket(loop);
    // The name server answers only once the loop has run three timer ticks.
    socket.SetResolver([&](const std::string& host, in_addr& address) {
        std::unique_lock<std::mutex> lock(mutex);
        if (ticked.wait_for(lock, 10s, [&] { return ticks >= 3; })) ticksWhenAnswered = ticks;
        if (host != "station.example") return AsyncSocket::kHostNotFound;
        address.s_addr = htonl(INADDR_LOOPBACK);
        return 0;
    });
    ASSERT_TRUE(socket.Create());
    EXPECT_FALSE(socket.Connect("station.example", listener.port));
    EXPECT_EQ(socket.LastError(), AsyncSocket::kWouldBlock);
    ASSERT_TRUE(RunUntil(loop, [&] { return !socket.notes.empty(); }));
    EXPECT_EQ(socket.notes, std::vector<std::string>{"connect 0"});
    std::lock_guard<std::mutex> lock(mutex);
    EXPECT_GE(ticksWhenAnswered, 3);
}

TEST(AsyncSocketTest, ClosingOrDestroyingTheSocketDuringALookupIsSafe) {
    PollEventLoop loop;
    LocalPort listener(true), unused(false);
    SlowNameServer server;
    RecordingSocket socket(loop);
    socket.SetResolver(server.Resolver());
    ASSERT_TRUE(socket.Create());
    EXPECT_FALSE(socket.Connect("slow.example", unused.port));
    socket.Close();  // does not wait for the name server
    EXPECT_FALSE(socket.IsOpen());
    // A new attempt while the abandoned lookup still runs: only its own answer counts.
    ASSERT_TRUE(socket.Create());
    EXPECT_FALSE(socket.Connect("slow.example", listener.port));
    EXPECT_EQ(socket.LastError(), AsyncSocket::kWouldBlock);
    server.Answer();
    ASSERT_TRUE(RunUntil(loop, [&] { return !socket.notes.empty() && !loop.RealWorkUnderWay(); }));
    for (int i = 0; i < 3; ++i) loop.PumpMessages();
    EXPECT_EQ(socket.notes, std::vector<std::string>{"connect 0"});
    EXPECT_FALSE(server.TimedOut());

    // Destroyed with its answer still on the way: the answer finds nobody.
    std::vector<std::string> late;
    struct LoggingSocket : AsyncSocket {
        LoggingSocket(EventLoop& loop, std::vector<std::string>& log) : AsyncSocket(loop), log(log) {}
        void OnConnect(int error) override { log.push_back("connect " + std::to_string(error)); }
        std::vector<std::string>& log;
    };
    auto doomed = std::make_unique<LoggingSocket>(loop, late);
    doomed->SetResolver(server.Resolver());
    ASSERT_TRUE(doomed->Create());
    EXPECT_FALSE(doomed->Connect("slow.example", listener.port));
    doomed.reset();  // waits for its worker, whose answer is left queued
    EXPECT_FALSE(loop.RealWorkUnderWay());
    for (int i = 0; i < 3; ++i) loop.PumpMessages();
    EXPECT_TRUE(late.empty());
}

}  // namespace
}  // namespace sked
