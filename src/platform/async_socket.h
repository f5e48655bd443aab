// A non-blocking TCP client driven by the event loop. Calls follow the
// asynchronous-socket habit of the station's Windows ancestry: Connect
// returns false with LastError() == kWouldBlock while the connection is under
// way, and the outcome arrives later through OnConnect. All notifications run
// on the loop's thread, one per dispatch.
#pragma once

#include <cerrno>
#include <string>

#include "platform/event_loop.h"

namespace sked {

class AsyncSocket {
public:
    // "Operation under way / would block" (EAGAIN on Linux).
    static constexpr int kWouldBlock = EWOULDBLOCK;
    // A host name that could not be resolved (the Windows code's value).
    static constexpr int kHostNotFound = 11001;

    explicit AsyncSocket(EventLoop& loop);
    virtual ~AsyncSocket();  // closes the socket, without notifications
    AsyncSocket(const AsyncSocket&) = delete;
    AsyncSocket& operator=(const AsyncSocket&) = delete;

    // Opens a non-blocking, close-on-exec IPv4 stream socket.
    bool Create();
    // Starts connecting to `host` (dotted address or a name) on `port`.
    // True when connected at once; false with kWouldBlock while under way
    // (OnConnect follows in both cases); false with another error otherwise.
    bool Connect(const std::string& host, int port);
    // Bytes sent, or -1 with LastError() (kWouldBlock when the buffer is full:
    // OnSend follows once there is room again).
    virtual int Send(const void* data, int len);
    // Bytes read, 0 when the peer has closed, or -1 with LastError().
    int Receive(void* data, int len);
    // Closes the socket; no notification follows.
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
    enum class State { None, Created, Connecting, Connected, Closed };

    void Watch(short events);
    void OnReady(short revents);
    int PendingError() const;
    void Fail(int error) { lastError_ = error == EAGAIN ? kWouldBlock : error; }

    EventLoop& loop_;
    int fd_ = -1;
    int watchId_ = 0;
    short watched_ = 0;
    State state_ = State::None;
    int lastError_ = 0;
};

}  // namespace sked
