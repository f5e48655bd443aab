#include "net/telnet.h"

#include <unistd.h>

namespace sked {

Telnet::Telnet(EventLoop& loop, TelnetHost& host) : AsyncSocket(loop), host_(host) {}

bool Telnet::OpenLink(const std::string& host, int port) {
    if (IsOpen()) {
        linkState = kIdle;
        return false;
    }
    if (!Create()) {
        linkState = kFailed;
        return false;
    }
    if (!Connect(host, port) && LastError() != kWouldBlock) {
        // Closed here so that a later attempt is not refused as "already open".
        Close();
        linkState = kIdle;
        return false;
    }
    return true;
}

void Telnet::OnConnect(int /*error*/) {
    // A refused attempt is not looked at here: it shows up as a failed send.
    std::string text = host_.AuthenticationText();
    if (text.size() > kMaxAuthentication) text.resize(kMaxAuthentication);
    text += "\n\n";
    linkState = kConnected;
    int n = Send(text.data(), static_cast<int>(text.size()));
    if (n > 0) {
        host_.LockLinkControls(true);
        host_.CmResume();
    } else {
        host_.ShowStopBox("Socket Error", "Error with Sending to Socket");
    }
}

int Telnet::Send(const void* data, int len) {
    if (linkState != kConnected || !IsOpen()) return -1;
    const char* bytes = static_cast<const char*>(data);
    int sent = 0;
    while (sent < len) {
        if (linkState != kConnected) {  // closed while messages were handled
            linkState = kFailed;
            OnClose(-1);
            return -1;
        }
        int n = AsyncSocket::Send(bytes + sent, len - sent);
        if (n == 0) {
            host_.PumpMessages();
        } else if (n < 0) {
            int error = LastError();
            OnClose(-1);
            linkState = kFailed;
            host_.LogEvent("Telnet::Send socket error " + std::to_string(error) + " Channel " +
                           std::to_string(channel));
            return -1;
        } else {
            sent += n;
        }
    }
    return sent;
}

void Telnet::OnClose(int /*error*/) {
    if (closing_) return;  // the transmitter-off sequence led back here
    closing_ = true;
    // Gone first, so that CmRX's call of CloseLink sees the link as closed
    // and nothing more is echoed.
    linkState = kIdle;
    host_.CmRX();
    host_.CmPause();
    if (IsOpen()) {
        // The transmitter was already off, so CmRX did not close the socket.
        // The handle is forgotten and closed here rather than left to leak.
        int fd = Detach();
        if (fd >= 0) ::close(fd);
    }
    closing_ = false;
}

void Telnet::CloseLink() {
    if (IsOpen()) Close();
    linkState = kIdle;
    host_.LockLinkControls(false);
}

void Telnet::OnReceive(int /*error*/) {
    char discard[1024];
    Receive(discard, sizeof discard);  // the peer has nothing to say to the station
}

void Telnet::EchoCharacter(int character) {
    if (linkState != kConnected || character < 0 || character >= 128) return;
    unsigned char byte = static_cast<unsigned char>(character);
    Send(&byte, 1);
}

}  // namespace sked
