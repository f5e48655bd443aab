// Sockets on 127.0.0.1 for the network tests, and a bounded wait on the loop.
#pragma once

#include <chrono>
#include <cstdint>

#include <arpa/inet.h>
#include <gtest/gtest.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include "platform/loop_core.h"

namespace sked::test {

// Runs the loop until `done()` or five seconds have passed; returns done().
inline bool RunUntil(LoopCore& loop, auto done) {
    const TimePoint deadline = loop.clock().Now() + std::chrono::seconds(5);
    while (!done() && loop.clock().Now() < deadline)
        loop.RunUntil(std::min(deadline, loop.clock().Now() + std::chrono::milliseconds(10)));
    return done();
}

// A socket on 127.0.0.1 at an ephemeral port (or `wanted`, if free): listening, or only bound (refusing connections).
struct LocalPort {
    explicit LocalPort(bool listening, int wanted = 0) {
        sockaddr_in a{};
        a.sin_family = AF_INET;
        a.sin_port = htons(static_cast<std::uint16_t>(wanted));
        a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        socklen_t size = sizeof a;
        bound = ::bind(fd, reinterpret_cast<sockaddr*>(&a), size) == 0 && (!listening || ::listen(fd, 4) == 0);
        EXPECT_TRUE(bound || wanted);
        ::getsockname(fd, reinterpret_cast<sockaddr*>(&a), &size);
        port = ntohs(a.sin_port);
    }
    ~LocalPort() { ::close(fd); }
    int fd = ::socket(AF_INET, SOCK_STREAM | SOCK_NONBLOCK | SOCK_CLOEXEC, 0);
    int port = 0;
    bool bound = false;
};

}  // namespace sked::test
