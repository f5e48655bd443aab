#include "platform/async_socket.h"

#include <string>
#include <vector>

#include <arpa/inet.h>
#include <netinet/in.h>
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

}  // namespace
}  // namespace sked
