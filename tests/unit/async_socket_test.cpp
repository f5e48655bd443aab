#include "platform/async_socket.h"

#include <cerrno>
#include <chrono>
#include <functional>
#include <string>
#include <vector>

#include <arpa/inet.h>
#include <fcntl.h>
#include <poll.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include "platform/poll_event_loop.h"

namespace sked {
namespace {

using namespace std::chrono_literals;

// Runs the loop until `done` holds or five seconds have passed.
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

class RecordingSocket : public AsyncSocket {
public:
    using AsyncSocket::AsyncSocket;
    std::vector<std::string> notes;
    std::string received;

protected:
    void OnConnect(int error) override { notes.push_back("connect " + std::to_string(error)); }
    void OnReceive(int error) override {
        notes.push_back("receive " + std::to_string(error));
        char buffer[64];
        int n = Receive(buffer, sizeof buffer);
        if (n > 0) received.append(buffer, static_cast<std::size_t>(n));
    }
    void OnClose(int error) override { notes.push_back("close " + std::to_string(error)); }
};

// The far end: accepts one connection and collects what arrives, all
// driven by the loop.
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

TEST(AsyncSocketTest, ConnectSendReceiveAndPeerClose) {
    PollEventLoop loop;
    LocalPort listener(true);
    Peer peer(loop, listener);
    RecordingSocket socket(loop);
    ASSERT_TRUE(socket.Create());
    int flags = ::fcntl(socket.Handle(), F_GETFL);
    EXPECT_TRUE(flags & O_NONBLOCK);
    EXPECT_TRUE(::fcntl(socket.Handle(), F_GETFD) & FD_CLOEXEC);

    if (!socket.Connect("127.0.0.1", listener.port())) {
        EXPECT_EQ(socket.LastError(), AsyncSocket::kWouldBlock);
    }
    ASSERT_TRUE(RunUntil(loop, [&] { return !socket.notes.empty(); }));
    EXPECT_EQ(socket.notes, std::vector<std::string>{"connect 0"});

    ASSERT_TRUE(RunUntil(loop, [&] { return peer.fd() >= 0; }));
    EXPECT_EQ(socket.Send("ping", 4), 4);
    ASSERT_TRUE(RunUntil(loop, [&] { return peer.received() == "ping"; }));

    ASSERT_EQ(::send(peer.fd(), "pong", 4, MSG_NOSIGNAL), 4);
    ASSERT_TRUE(RunUntil(loop, [&] { return socket.received == "pong"; }));

    ::shutdown(peer.fd(), SHUT_WR);
    ASSERT_TRUE(RunUntil(loop, [&] { return socket.notes.back().rfind("close", 0) == 0; }));
    EXPECT_EQ(socket.notes.back(), "close 0");
    std::size_t count = socket.notes.size();
    for (int i = 0; i < 3; ++i) loop.PumpMessages();
    EXPECT_EQ(socket.notes.size(), count) << "the close notification comes once";
    EXPECT_TRUE(socket.IsOpen());
    socket.Close();
    EXPECT_FALSE(socket.IsOpen());
}

TEST(AsyncSocketTest, RefusedConnectionReportsTheError) {
    PollEventLoop loop;
    LocalPort unused(false);  // bound, not listening: connections are refused
    RecordingSocket socket(loop);
    ASSERT_TRUE(socket.Create());
    if (socket.Connect("127.0.0.1", unused.port())) FAIL() << "connected to a port with no listener";
    if (socket.LastError() != AsyncSocket::kWouldBlock) {
        EXPECT_EQ(socket.LastError(), ECONNREFUSED);
        return;
    }
    ASSERT_TRUE(RunUntil(loop, [&] { return !socket.notes.empty(); }));
    EXPECT_EQ(socket.notes, std::vector<std::string>{"connect " + std::to_string(ECONNREFUSED)});
}

TEST(AsyncSocketTest, CallsOnAClosedSocketFail) {
    PollEventLoop loop;
    AsyncSocket socket(loop);
    EXPECT_FALSE(socket.Connect("127.0.0.1", 23));
    EXPECT_EQ(socket.LastError(), EBADF);
    char byte = 0;
    EXPECT_EQ(socket.Send(&byte, 1), -1);
    EXPECT_EQ(socket.Receive(&byte, 1), -1);
    EXPECT_EQ(socket.LastError(), EBADF);
    ASSERT_TRUE(socket.Create());
    EXPECT_FALSE(socket.Create());
    EXPECT_FALSE(socket.Connect("127.0.0.1", 0));
    EXPECT_EQ(socket.LastError(), EINVAL);
}

TEST(AsyncSocketTest, UnresolvableHostName) {
    PollEventLoop loop;
    AsyncSocket socket(loop);
    ASSERT_TRUE(socket.Create());
    // Not a valid host name: rejected without asking any name server.
    EXPECT_FALSE(socket.Connect("bad host name!", 23));
    EXPECT_EQ(socket.LastError(), AsyncSocket::kHostNotFound);
    EXPECT_EQ(AsyncSocket::ErrorText(socket.LastError()), "host name not found");
    EXPECT_TRUE(socket.IsOpen());
}

TEST(AsyncSocketTest, DetachLeavesTheHandleOpen) {
    PollEventLoop loop;
    AsyncSocket socket(loop);
    ASSERT_TRUE(socket.Create());
    int fd = socket.Detach();
    EXPECT_FALSE(socket.IsOpen());
    EXPECT_EQ(socket.Detach(), -1);
    ASSERT_GE(fd, 0);
    EXPECT_NE(::fcntl(fd, F_GETFD), -1);
    EXPECT_EQ(::close(fd), 0);
}

}  // namespace
}  // namespace sked
