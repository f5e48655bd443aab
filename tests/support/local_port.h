// Sockets on 127.0.0.1 for the network tests, and a bounded wait on the loop.
#pragma once

#include <chrono>

#include <arpa/inet.h>
#include <gtest/gtest.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include "platform/event_loop.h"

namespace sked::test {

// Runs the loop until `done()` or five seconds have passed; returns done().
inline bool RunUntil(EventLoop& loop, auto done) {
    const TimePoint deadline = loop.clock().Now() + std::chrono::seconds(5);
    while (!done() && loop.clock().Now() < deadline) loop.WaitForEvent(deadline);
    return done();
}

// A socket on 127.0.0.1 at an ephemeral port: listening, or only bound (connections are refused).
struct LocalPort {
    explicit LocalPort(bool listening) {
        sockaddr_in a{};
        a.sin_family = AF_INET;
        a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        socklen_t size = sizeof a;
        EXPECT_TRUE(::bind(fd, reinterpret_cast<sockaddr*>(&a), size) == 0 && (!listening || ::listen(fd, 4) == 0));
        ::getsockname(fd, reinterpret_cast<sockaddr*>(&a), &size);
        port = ntohs(a.sin_port);
    }
    ~LocalPort() { ::close(fd); }
    int fd = ::socket(AF_INET, SOCK_STREAM | SOCK_NONBLOCK | SOCK_CLOEXEC, 0);
    int port = 0;
};

}  // namespace sked::test
