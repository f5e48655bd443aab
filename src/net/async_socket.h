// A non-blocking TCP client driven by the event loop. Calls follow the
// asynchronous-socket habit of the station's Windows ancestry: Connect
// returns false with LastError() == kWouldBlock while the connection is under
// way, and the outcome arrives later through OnConnect. All notifications run
// on the loop's thread, one per dispatch. Host names are looked up on a worker
// thread, so a slow name server never holds up the loop.
#pragma once

#include <cerrno>
#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include <netinet/in.h>
#include <sys/types.h>

#include "platform/event_loop.h"

namespace sked {

class AsyncSocket {
public:
    // "Operation under way / would block" (EAGAIN on Linux).
    static constexpr int kWouldBlock = EWOULDBLOCK;
    // A host name that could not be resolved (the Windows code's value).
    static constexpr int kHostNotFound = 11001;

    // Looks up an IPv4 address for a host name; runs on a worker thread.
    // Returns 0 with `address` set, kHostNotFound, or the system's error.
    using Resolver = std::function<int(const std::string& host, in_addr& address)>;
    // The system's resolver (getaddrinfo), used unless SetResolver says otherwise.
    static int ResolveHost(const std::string& host, in_addr& address);

    explicit AsyncSocket(EventLoop& loop);
    // Closes the socket, without notifications. Waits for a lookup still
    // running on its worker thread.
    virtual ~AsyncSocket();
    AsyncSocket(const AsyncSocket&) = delete;
    AsyncSocket& operator=(const AsyncSocket&) = delete;

    // Opens a non-blocking, close-on-exec IPv4 stream socket.
    bool Create();
    // Starts connecting to `host` (dotted address or a name) on `port`.
    // True when connected at once; false with kWouldBlock while under way
    // (OnConnect follows in both cases); false with another error otherwise.
    // A name is looked up first, in the background; one that cannot be
    // resolved ends in OnConnect(kHostNotFound). Text that cannot be a host
    // name at all (empty, a space, a '!') fails at once with kHostNotFound.
    bool Connect(const std::string& host, int port);
    // Bytes sent, or -1 with LastError() (kWouldBlock when the buffer is full:
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
    int LastError() const { return lastError_; }
    EventLoop& loop() const { return loop_; }

    // Readable text of an error code from LastError() or a notification.
    static std::string ErrorText(int error);

    // Replaces the name lookup of later Connect calls (tests: a name server
    // that answers late or not at all).
    void SetResolver(Resolver resolver) { resolver_ = std::move(resolver); }

protected:
    // The connection attempt ended: 0 when connected, else the error.
    virtual void OnConnect(int error) { (void)error; }
    // Data can be read with Receive.
    virtual void OnReceive(int error) { (void)error; }
    // There is room to send again after a kWouldBlock.
    virtual void OnSend(int error) { (void)error; }
    // The peer closed (0) or the connection broke (the error). Delivered
    // once; the socket stays open until Close or Detach.
    virtual void OnClose(int error) { (void)error; }

private:
    enum class State { None, Created, Resolving, Connecting, Connected, Closed };
    struct Lookup;

    // Connects the socket to `address`: 0 when connected or under way, else the error.
    int StartConnect(const sockaddr_in& address, bool& connected);
    bool StartLookup(const std::string& host, int port);
    void LookupDone(std::uint64_t serial);
    void Watch(short events);
    void OnReady(short revents);
    int PendingError() const;
    void Fail(int error) { lastError_ = error == EAGAIN ? kWouldBlock : error; }
    // Send's and Receive's checks, and `call` (the system call, given the
    // length) again after a signal; a failure is kept as the last error.
    ssize_t Transfer(int len, const std::function<ssize_t(std::size_t)>& call);

    EventLoop& loop_;
    int fd_ = -1;
    int watchId_ = 0;
    short watched_ = 0;
    State state_ = State::None;
    int lastError_ = 0;
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
