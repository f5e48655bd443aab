// The TCP mirror: while the transmitter is keyed, every character that goes
// on the air is passed to one peer on the network, after an authentication
// line. Writes never wait: characters are buffered and go out as the socket
// takes them. A link that fails (refused, closed by the peer, a send error,
// a peer that stops reading) is told once through the lost handler.
#pragma once

#include <functional>
#include <string>

#include "net/async_socket.h"

namespace sked {

class TcpMirror : private AsyncSocket {
public:
    // Longest authentication text sent ahead of the two line feeds.
    static constexpr std::size_t kMaxAuthentication = 253;
    // Characters held for a peer that does not read before it counts as lost.
    static constexpr std::size_t kMostBuffered = 64 * 1024;

    struct Handlers {
        // The link came up (true) or went down (false): the address fields lock while it is up.
        std::function<void(bool connected)> linkChanged;
        // The link failed while open; `reason` names the peer and the cause.
        std::function<void(const std::string& reason)> lost;
        // A log line ("Telnet::Send socket error ...").
        std::function<void(const std::string& message)> log;
    };

    explicit TcpMirror(EventLoop& loop) : AsyncSocket(loop) {}
    void SetHandlers(Handlers handlers) { handlers_ = std::move(handlers); }

    // Starts connecting to `host` at `port`; the authentication text and two
    // line feeds go first once connected. The error when the attempt cannot
    // even start; none when it is under way.
    std::error_code Open(const std::string& host, int port, const std::string& authentication);
    // Closes the link; nothing more is told.
    void Close();
    bool IsOpen() const { return AsyncSocket::IsOpen(); }
    bool Connected() const { return connected_; }
    // Mirrors one character sent on the air (7-bit characters only).
    void Write(int character);

    using AsyncSocket::SetResolver;

private:
    void OnConnect(std::error_code error) override;
    void OnReceive() override;
    void OnSend() override;
    void OnClose(std::error_code error) override;
    // Hands the socket what it takes of the buffer.
    void Flush();
    void Lost(const std::string& reason);

    Handlers handlers_;
    std::string peer_;     // "host:port" for the reasons
    std::string pending_;  // not yet taken by the socket
    bool connected_ = false;
};

}  // namespace sked
