#include "platform/async_socket.h"

#include <cstring>
#include <system_error>

#include <arpa/inet.h>
#include <netdb.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

namespace sked {

AsyncSocket::AsyncSocket(EventLoop& loop) : loop_(loop) {}

AsyncSocket::~AsyncSocket() { Close(); }

std::string AsyncSocket::ErrorText(int error) {
    if (error == kHostNotFound) return "host name not found";
    return std::system_category().message(error);
}

bool AsyncSocket::Create() {
    if (fd_ >= 0) {
        Fail(EALREADY);
        return false;
    }
    int fd = ::socket(AF_INET, SOCK_STREAM | SOCK_NONBLOCK | SOCK_CLOEXEC, 0);
    if (fd < 0) {
        Fail(errno);
        return false;
    }
    fd_ = fd;
    state_ = State::Created;
    lastError_ = 0;
    return true;
}

bool AsyncSocket::Connect(const std::string& host, int port) {
    if (fd_ < 0) {
        Fail(EBADF);
        return false;
    }
    if (state_ != State::Created) {
        Fail(state_ == State::Connecting ? EALREADY : EISCONN);
        return false;
    }
    if (port <= 0 || port > 65535) {
        Fail(EINVAL);
        return false;
    }
    if (host.empty()) {
        Fail(kHostNotFound);
        return false;
    }

    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_port = htons(static_cast<uint16_t>(port));
    if (::inet_pton(AF_INET, host.c_str(), &address.sin_addr) != 1) {
        addrinfo hints{};
        hints.ai_family = AF_INET;
        hints.ai_socktype = SOCK_STREAM;
        addrinfo* found = nullptr;
        int rc = ::getaddrinfo(host.c_str(), nullptr, &hints, &found);
        if (rc != 0 || found == nullptr) {
            int error = errno;
            if (found) ::freeaddrinfo(found);
            Fail(rc == EAI_SYSTEM && error != 0 ? error : kHostNotFound);
            return false;
        }
        sockaddr_in resolved{};
        std::memcpy(&resolved, found->ai_addr, sizeof resolved);
        address.sin_addr = resolved.sin_addr;
        ::freeaddrinfo(found);
    }

    int rc = ::connect(fd_, reinterpret_cast<const sockaddr*>(&address), sizeof address);
    // EINTR on a non-blocking socket: the attempt goes on in the background.
    if (rc != 0 && errno != EINPROGRESS && errno != EINTR) {
        Fail(errno);
        return false;
    }
    state_ = State::Connecting;
    Watch(POLLOUT);  // writable once the attempt has ended, either way
    if (rc == 0) {
        lastError_ = 0;
        return true;
    }
    lastError_ = kWouldBlock;
    return false;
}

int AsyncSocket::Send(const void* data, int len) {
    if (fd_ < 0) {
        Fail(EBADF);
        return -1;
    }
    if (len < 0) {
        Fail(EINVAL);
        return -1;
    }
    ssize_t n;
    do {
        n = ::send(fd_, data, static_cast<size_t>(len), MSG_NOSIGNAL);
    } while (n < 0 && errno == EINTR);
    if (n < 0) {
        Fail(errno);
        if (lastError_ == kWouldBlock && state_ == State::Connected) Watch(watched_ | POLLOUT);
        return -1;
    }
    return static_cast<int>(n);
}

int AsyncSocket::Receive(void* data, int len) {
    if (fd_ < 0) {
        Fail(EBADF);
        return -1;
    }
    if (len < 0) {
        Fail(EINVAL);
        return -1;
    }
    ssize_t n;
    do {
        n = ::recv(fd_, data, static_cast<size_t>(len), 0);
    } while (n < 0 && errno == EINTR);
    if (n < 0) {
        Fail(errno);
        return -1;
    }
    return static_cast<int>(n);
}

void AsyncSocket::Close() {
    int fd = Detach();
    if (fd >= 0) ::close(fd);
}

int AsyncSocket::Detach() {
    if (watchId_ != 0) loop_.RemoveWatch(watchId_);
    watchId_ = 0;
    watched_ = 0;
    state_ = State::None;
    int fd = fd_;
    fd_ = -1;
    return fd;
}

void AsyncSocket::Watch(short events) {
    if (watchId_ == 0)
        watchId_ = loop_.WatchFd(fd_, events, [this](short revents) { OnReady(revents); });
    else
        loop_.ModifyWatch(watchId_, events);
    watched_ = events;
}

int AsyncSocket::PendingError() const {
    int error = 0;
    socklen_t size = sizeof error;
    if (::getsockopt(fd_, SOL_SOCKET, SO_ERROR, &error, &size) != 0) return errno;
    return error;
}

// One notification per dispatch. The watch is set for what comes next before
// the notification runs, so nothing here touches the object afterwards: the
// handler may close, detach or reopen the socket.
void AsyncSocket::OnReady(short revents) {
    if (fd_ < 0) return;
    if (state_ == State::Connecting) {
        int error = (revents & POLLNVAL) ? EBADF : PendingError();
        if (error == 0 && !(revents & POLLOUT)) error = ECONNABORTED;
        if (error == 0) {
            state_ = State::Connected;
            Watch(POLLIN);
        } else {
            state_ = State::Closed;
            Watch(0);
        }
        OnConnect(error);
        return;
    }
    if (state_ != State::Connected) {
        Watch(0);
        return;
    }

    if (revents & (POLLIN | POLLERR | POLLHUP | POLLNVAL)) {
        int error = 0;
        if (revents & POLLNVAL) {
            error = EBADF;
        } else {
            char probe;
            ssize_t n = ::recv(fd_, &probe, 1, MSG_PEEK | MSG_DONTWAIT);
            if (n > 0) {
                OnReceive(0);
                return;
            }
            if (n < 0) {
                error = errno;
                if (error == EAGAIN || error == EINTR) {
                    // Nothing to read after all; a hang-up still ends the link.
                    error = (revents & (POLLERR | POLLHUP)) ? PendingError() : -1;
                    if (error == 0) error = ECONNRESET;
                }
            }
        }
        if (error >= 0) {  // 0: the peer closed in order
            state_ = State::Closed;
            Watch(0);
            OnClose(error);
            return;
        }
    }
    if (revents & POLLOUT) {
        Watch(static_cast<short>(watched_ & ~POLLOUT));
        OnSend(0);
    }
}

}  // namespace sked
