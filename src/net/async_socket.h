// A non-blocking TCP client driven by the event loop: Connect returns false
// with LastError() reading "would block" while the connection is under way,
// and the outcome arrives later through OnConnect. All notifications run
// on the loop's thread, one per dispatch. Host names are looked up on a worker
// thread, so a slow name server never holds up the loop.
#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <system_error>
#include <vector>

#include <netinet/in.h>
#include <sys/types.h>

#include "net/net_error.h"
#include "platform/event_loop.h"

namespace sked {

class AsyncSocket {
public:
    // "Operation under way / would block".
    static bool WouldBlock(std::error_code error) { return error == std::errc::operation_would_block; }

    // Looks up an IPv4 address for a host name; runs on a worker thread.
    // Returns no error with `address` set, NetError::HostNotFound, or the system's error.
    using Resolver = std::function<std::error_code(const std::string& host, in_addr& address)>;
    // The system's resolver (getaddrinfo), used unless SetResolver says otherwise.
    static std::error_code ResolveHost(const std::string& host, in_addr& address);

    explicit AsyncSocket(EventLoop& loop);
    // Closes the socket, without notifications. Waits for a lookup still
    // running on its worker thread.
    virtual ~AsyncSocket();
    AsyncSocket(const AsyncSocket&) = delete;
    AsyncSocket& operator=(const AsyncSocket&) = delete;

    // Opens a non-blocking, close-on-exec IPv4 stream socket.
    bool Create();
    // Starts connecting to `host` (dotted address or a name) on `port`.
    // True when connected at once; false with "would block" while under way
    // (OnConnect follows in both cases); false with another error otherwise.
    // A name is looked up first, in the background; one that cannot be
    // resolved ends in OnConnect(HostNotFound). Text that cannot be a host
    // name at all (empty, a space, a '!') fails at once with HostNotFound.
    bool Connect(const std::string& host, int port);
    // Bytes sent, or -1 with LastError() ("would block" when the buffer is full:
    // OnSend follows once there is room again).
    virtual int Send(const void* data, int len);
    // Bytes read, 0 when the peer has closed, or -1 with LastError().
    int Receive(void* data, int len);
    // Closes the socket; no notification follows. A lookup under way is
    // abandoned without waiting for it: its result is dropped when it comes.
    void Close();
    // Stops watching the socket and forgets it without closing it; returns the
    // descriptor (-1 if none), which the caller must close.
    int Detach();

    bool IsOpen() const { return fd_ >= 0; }
    int Handle() const { return fd_; }
    std::error_code LastError() const { return lastError_; }
    EventLoop& loop() const { return loop_; }

    // Replaces the name lookup of later Connect calls (tests: a name server
    // that answers late or not at all).
    void SetResolver(Resolver resolver) { resolver_ = std::move(resolver); }

protected:
    // The connection attempt ended: no error when connected, else the error.
    virtual void OnConnect(std::error_code) {}
    // Data can be read with Receive.
    virtual void OnReceive() {}
    // There is room to send again after "would block".
    virtual void OnSend() {}
    // The peer closed (no error) or the connection broke (the error).
    // Delivered once; the socket stays open until Close or Detach.
    virtual void OnClose(std::error_code) {}

private:
    enum class State { None, Created, Resolving, Connecting, Connected, Closed };
    struct Lookup;

    // Connects the socket to `address`: no error when connected or under way, else the error.
    std::error_code StartConnect(const sockaddr_in& address, bool& connected);
    bool StartLookup(const std::string& host, int port);
    void LookupDone(std::uint64_t serial);
    void Watch(short events);
    void OnReady(short revents);
    int PendingError() const;
    void Fail(int error) { lastError_ = SystemError(error); }
    void Fail(std::error_code error) { lastError_ = error; }
    // Send's and Receive's checks, and `call` (the system call, given the
    // length) again after a signal; a failure is kept as the last error.
    ssize_t Transfer(int len, const std::function<ssize_t(std::size_t)>& call);

    EventLoop& loop_;
    int fd_ = -1;
    int watchId_ = 0;
    short watched_ = 0;
    State state_ = State::None;
    std::error_code lastError_;
    Resolver resolver_ = ResolveHost;
    // Lookups whose worker has not been joined yet: the current one (while
    // Resolving) and any abandoned by Close, each reaped when its result comes.
    std::vector<std::unique_ptr<Lookup>> lookups_;
    std::uint64_t currentLookup_ = 0;  // serial of the lookup Connect waits for; 0: none
    std::uint64_t nextLookup_ = 1;
    // Results are posted to the loop and may arrive after the socket is gone.
    std::shared_ptr<const bool> alive_ = std::make_shared<const bool>(true);
};

}  // namespace sked
