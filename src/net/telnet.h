// The Telnet link: while the transmitter is keyed, every character sent on
// the air is mirrored to one TCP peer, after an authentication line.
#pragma once

#include <string>

#include "net/telnet_host.h"
#include "net/async_socket.h"

namespace sked {

class Telnet : public AsyncSocket {
public:
    static constexpr int kIdle = 0;
    static constexpr int kConnected = 2;
    static constexpr int kFailed = 4;
    // Longest authentication text sent ahead of the two line feeds.
    static constexpr std::size_t kMaxAuthentication = 253;

    Telnet(EventLoop& loop, TelnetHost& host);

    // kIdle, kConnected or kFailed.
    int linkState = kIdle;
    // Shown in the log; the station has one link.
    int channel = 1;

    // Starts connecting (or finds the link open already): true while the
    // link is on its way, false when it cannot be opened (LastError() says why).
    bool OpenLink(const std::string& host, int port);
    // The transmitter-off sequence: closes the socket and unlocks the controls.
    void CloseLink();
    // Mirrors one character sent on the air (7-bit characters only).
    void EchoCharacter(int character);
    // Sends all `len` bytes, pumping messages while the socket takes none.
    // Returns `len`, or -1 after the link has been closed.
    int Send(const void* data, int len) override;

protected:
    void OnConnect(int error) override;
    void OnReceive(int error) override;
    void OnClose(int error) override;

private:
    TelnetHost& host_;
    bool closing_ = false;
};

}  // namespace sked
