#include "net/async_socket.h"

#include <algorithm>
#include <cstring>
#include <system_error>
#include <thread>

#include <arpa/inet.h>
#include <netdb.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

namespace sked {

// One host-name lookup on its worker thread. The worker writes `error` and
// `address`, then posts; the loop thread reads them once the post has come
// (the posting queue's lock orders the two).
struct AsyncSocket::Lookup {
    std::uint64_t serial = 0;
    int port = 0;
    RealWorkScope work;
    std::error_code error;
    in_addr address{};
    std::thread worker;
};

namespace {

// Host names are made of letters, digits, '-', '_' and '.'. Anything else (a
// space, a '!') can never be found, so it fails at once, like an empty name,
// rather than after a lookup.
bool CouldBeHostName(const std::string& host) {
    if (host.empty() || host.size() > 253) return false;
    return std::all_of(host.begin(), host.end(), [](char c) {
        return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') || c == '-' || c == '_' ||
               c == '.';
    });
}

}  // namespace

AsyncSocket::AsyncSocket(EventLoop& loop) : loop_(loop) {}

AsyncSocket::~AsyncSocket() {
    Close();
    // No thread outlives the socket; a lookup still running is waited for
    // (its posted result then finds the socket gone and is dropped).
    for (auto& lookup : lookups_) lookup->worker.join();
}

std::error_code AsyncSocket::ResolveHost(const std::string& host, in_addr& address) {
    addrinfo hints{};
    hints.ai_family = AF_INET;
    hints.ai_socktype = SOCK_STREAM;
    addrinfo* found = nullptr;
    errno = 0;
    int rc = ::getaddrinfo(host.c_str(), nullptr, &hints, &found);
    int error = errno;
    if (rc != 0 || found == nullptr || found->ai_addr == nullptr) {
        if (rc == 0 && found) ::freeaddrinfo(found);
        return rc == EAI_SYSTEM && error != 0 ? SystemError(error) : NetError::HostNotFound;
    }
    sockaddr_in resolved{};
    std::memcpy(&resolved, found->ai_addr, std::min<std::size_t>(sizeof resolved, found->ai_addrlen));
    address = resolved.sin_addr;
    ::freeaddrinfo(found);
    return {};
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
    lastError_.clear();
    return true;
}

bool AsyncSocket::Connect(const std::string& host, int port) {
    if (fd_ < 0) {
        Fail(EBADF);
        return false;
    }
    if (state_ != State::Created) {
        Fail(state_ == State::Connecting || state_ == State::Resolving ? EALREADY : EISCONN);
        return false;
    }
    if (port <= 0 || port > 65535) {
        Fail(EINVAL);
        return false;
    }

    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_port = htons(static_cast<uint16_t>(port));
    if (::inet_pton(AF_INET, host.c_str(), &address.sin_addr) != 1) {
        if (CouldBeHostName(host)) return StartLookup(host, port);
        Fail(NetError::HostNotFound);
        return false;
    }

    bool connected = false;
    if (std::error_code error = StartConnect(address, connected)) {
        Fail(error);
        return false;
    }
    lastError_ = connected ? std::error_code() : std::make_error_code(std::errc::operation_would_block);
    return connected;
}

std::error_code AsyncSocket::StartConnect(const sockaddr_in& address, bool& connected) {
    int rc = ::connect(fd_, reinterpret_cast<const sockaddr*>(&address), sizeof address);
    // EINTR on a non-blocking socket: the attempt goes on in the background.
    if (rc != 0 && errno != EINPROGRESS && errno != EINTR) {
        // EAGAIN here means no local port is free; it must not read as "under way".
        return SystemError(errno == EAGAIN ? EADDRNOTAVAIL : errno);
    }
    state_ = State::Connecting;
    Watch(POLLOUT);  // writable once the attempt has ended, either way
    connected = rc == 0;
    return {};
}

bool AsyncSocket::StartLookup(const std::string& host, int port) {
    auto lookup = std::make_unique<Lookup>();
    lookup->serial = nextLookup_++;
    lookup->port = port;
    lookup->work = RealWorkScope(loop_);  // a simulated clock must not jump past the answer
    Lookup* pending = lookup.get();
    lookups_.reserve(lookups_.size() + 1);  // so that keeping it below cannot fail once the thread runs
    try {
        pending->worker = std::thread([pending, host, resolver = resolver_, &loop = loop_,
                                       alive = std::weak_ptr<const bool>(alive_), this] {
            in_addr address{};
            std::error_code error = NetError::HostNotFound;
            try {
                if (resolver) error = resolver(host, address);
            } catch (...) {
                error = NetError::HostNotFound;
            }
            pending->error = error;
            pending->address = address;
            loop.Post([alive, this, serial = pending->serial] {
                if (alive.lock()) LookupDone(serial);
            });
        });
    } catch (const std::system_error& e) {
        // No thread to be had: failed at once (EAGAIN would read as "under way").
        Fail(e.code().value() == EAGAIN ? ENOMEM : e.code().value());
        return false;
    }
    lookups_.push_back(std::move(lookup));
    currentLookup_ = pending->serial;
    state_ = State::Resolving;
    lastError_ = std::make_error_code(std::errc::operation_would_block);
    return false;
}

// On the loop thread, once a lookup's result has been posted: the worker is
// reaped, and the connection goes on unless the lookup was abandoned.
void AsyncSocket::LookupDone(std::uint64_t serial) {
    auto it = std::find_if(lookups_.begin(), lookups_.end(), [serial](const auto& l) { return l->serial == serial; });
    if (it == lookups_.end()) return;
    std::unique_ptr<Lookup> lookup = std::move(*it);
    lookups_.erase(it);
    lookup->worker.join();  // it has posted; nothing is left for it but to end
    if (serial != currentLookup_ || state_ != State::Resolving) return;
    currentLookup_ = 0;

    std::error_code error = lookup->error;
    if (!error) {
        sockaddr_in address{};
        address.sin_family = AF_INET;
        address.sin_port = htons(static_cast<uint16_t>(lookup->port));
        address.sin_addr = lookup->address;
        bool connected = false;
        error = StartConnect(address, connected);
    }
    lookup.reset();
    if (!error) return;  // OnReady reports how the attempt ends
    state_ = State::Closed;
    lastError_ = error;
    OnConnect(error);
}

ssize_t AsyncSocket::Transfer(int len, const std::function<ssize_t(std::size_t)>& call) {
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
        n = call(static_cast<std::size_t>(len));
    } while (n < 0 && errno == EINTR);
    if (n < 0) Fail(errno);
    return n;
}

int AsyncSocket::Send(const void* data, int len) {
    const ssize_t n = Transfer(len, [&](std::size_t size) { return ::send(fd_, data, size, MSG_NOSIGNAL); });
    if (n < 0) {
        if (WouldBlock(lastError_) && state_ == State::Connected) Watch(watched_ | POLLOUT);
        return -1;
    }
    return static_cast<int>(n);
}

int AsyncSocket::Receive(void* data, int len) {
    const ssize_t n = Transfer(len, [&](std::size_t size) { return ::recv(fd_, data, size, 0); });
    return n < 0 ? -1 : static_cast<int>(n);
}

void AsyncSocket::Close() {
    int fd = Detach();
    if (fd >= 0) ::close(fd);
}

int AsyncSocket::Detach() {
    currentLookup_ = 0;  // a lookup under way is abandoned; its worker is reaped when its result comes
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
        OnConnect(error == 0 ? std::error_code() : SystemError(error));
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
                OnReceive();
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
            OnClose(error == 0 ? std::error_code() : SystemError(error));
            return;
        }
    }
    if (revents & POLLOUT) {
        Watch(static_cast<short>(watched_ & ~POLLOUT));
        OnSend();
    }
}

}  // namespace sked
