#include "net/async_socket.h"

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <future>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "support/local_port.h"

#include "platform/poll_event_loop.h"
#include "platform/simulated_event_loop.h"

namespace sked {
namespace {

using test::LocalPort;
using test::RunUntil;

using namespace std::chrono_literals;
using Notes = std::vector<std::string>;

struct RecordingSocket : AsyncSocket {
    RecordingSocket(EventLoop& loop, Notes& notes) : AsyncSocket(loop), notes(notes) {}
    explicit RecordingSocket(EventLoop& loop) : RecordingSocket(loop, own) {}
    void OnConnect(int error) override { notes.push_back("connect " + std::to_string(error)); }
    void OnReceive(int) override {
        char buffer[64];
        const int n = Receive(buffer, sizeof buffer);
        if (n > 0) received.append(buffer, static_cast<std::size_t>(n));
    }
    void OnClose(int error) override { notes.push_back("close " + std::to_string(error)); }
    Notes own;
    Notes& notes;
    std::string received;
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
    EXPECT_EQ(socket.notes, (Notes{"connect 0", "close 0"}));
    ::close(peer);

    EXPECT_FALSE(refused.Connect("127.0.0.1", unused.port));
    ASSERT_TRUE(RunUntil(loop, [&] { return !refused.notes.empty(); }));
    EXPECT_EQ(refused.notes, Notes{"connect " + std::to_string(ECONNREFUSED)});
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
    EXPECT_EQ(socket.notes, Notes{"connect 0"});
    EXPECT_FALSE(loop.RealWorkUnderWay());
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
    EXPECT_EQ(socket.notes, Notes{"connect " + std::to_string(AsyncSocket::kHostNotFound)});
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
    ASSERT_TRUE(RunUntil(loop, [&] { return !socket.notes.empty(); }));
    EXPECT_EQ(socket.notes, Notes{"connect 0"});
    std::lock_guard<std::mutex> lock(mutex);
    EXPECT_GE(ticksWhenAnswered, 3);
}

TEST(AsyncSocketTest, ClosingOrDestroyingTheSocketDuringALookupIsSafe) {
    PollEventLoop loop;
    LocalPort listener(true), unused(false);
    // A name server that answers 127.0.0.1 when told to (ten seconds at most).
    std::promise<void> answer;
    std::shared_future<void> answered = answer.get_future().share();
    std::atomic<bool> timedOut{false};
    auto slow = [&](const std::string&, in_addr& address) {
        if (answered.wait_for(10s) != std::future_status::ready) timedOut = true;
        address.s_addr = htonl(INADDR_LOOPBACK);
        return 0;
    };
    Notes late;
    RecordingSocket socket(loop);
    socket.SetResolver(slow);
    ASSERT_TRUE(socket.Create());
    EXPECT_FALSE(socket.Connect("slow.example", unused.port));
    socket.Close();  // does not wait for the name server
    EXPECT_FALSE(socket.IsOpen());
    // A new attempt while the abandoned lookup still runs: only its own answer counts.
    ASSERT_TRUE(socket.Create());
    EXPECT_FALSE(socket.Connect("slow.example", listener.port));
    EXPECT_EQ(socket.LastError(), AsyncSocket::kWouldBlock);
    answer.set_value();
    ASSERT_TRUE(RunUntil(loop, [&] { return !socket.notes.empty() && !loop.RealWorkUnderWay(); }));
    for (int i = 0; i < 3; ++i) loop.PumpMessages();
    EXPECT_EQ(socket.notes, Notes{"connect 0"});
    EXPECT_FALSE(timedOut);

    // Destroyed with its answer still on the way: the answer finds nobody.
    auto doomed = std::make_unique<RecordingSocket>(loop, late);
    doomed->SetResolver(slow);
    ASSERT_TRUE(doomed->Create());
    EXPECT_FALSE(doomed->Connect("slow.example", listener.port));
    doomed.reset();  // waits for its worker, whose answer is left queued
    EXPECT_FALSE(loop.RealWorkUnderWay());
    for (int i = 0; i < 3; ++i) loop.PumpMessages();
    EXPECT_TRUE(late.empty());
}

}  // namespace
}  // namespace sked
