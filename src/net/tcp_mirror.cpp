#include "net/tcp_mirror.h"

#include <unistd.h>

namespace sked {

namespace {
// The link's number in the send error line; the station has one link.
constexpr int kChannel = 1;
}  // namespace

std::error_code TcpMirror::Open(const std::string& host, int port, const std::string& authentication) {
    Close();
    peer_ = host + ":" + std::to_string(port);
    pending_ = authentication.substr(0, kMaxAuthentication) + "\n\n";
    if (!Create() || (!Connect(host, port) && !WouldBlock(LastError()))) {
        const std::error_code error = LastError();
        AsyncSocket::Close();
        pending_.clear();
        return error;
    }
    return {};
}

void TcpMirror::Close() {
    const bool wasConnected = connected_;
    connected_ = false;
    pending_.clear();
    if (AsyncSocket::IsOpen()) AsyncSocket::Close();
    if (wasConnected && handlers_.linkChanged) handlers_.linkChanged(false);
}

void TcpMirror::Write(int character) {
    if (!IsOpen() || character < 0 || character >= 128) return;
    pending_ += static_cast<char>(character);
    if (pending_.size() > kMostBuffered) return Lost("the peer " + peer_ + " takes nothing (" +
                                                     std::to_string(pending_.size()) + " characters waiting)");
    if (connected_) Flush();
}

void TcpMirror::OnConnect(std::error_code error) {
    if (error) return Lost("cannot connect to " + peer_ + ": " + error.message());
    connected_ = true;
    if (handlers_.linkChanged) handlers_.linkChanged(true);
    Flush();
}

void TcpMirror::Flush() {
    while (!pending_.empty()) {
        const int n = Send(pending_.data(), static_cast<int>(pending_.size()));
        if (n > 0) {
            pending_.erase(0, static_cast<std::size_t>(n));
            continue;
        }
        if (n < 0 && WouldBlock(LastError())) return;  // OnSend comes when there is room
        const std::error_code error = LastError();
        if (handlers_.log)
            handlers_.log("Telnet::Send socket error " + std::to_string(error.value()) + " Channel " +
                          std::to_string(kChannel));
        return Lost("sending to " + peer_ + ": " + error.message());
    }
}

void TcpMirror::OnSend() {
    if (connected_) Flush();
}

void TcpMirror::OnReceive() {
    char discard[1024];
    Receive(discard, sizeof discard);  // the peer has nothing to say to the station
}

void TcpMirror::OnClose(std::error_code error) {
    Lost(!error ? "the peer " + peer_ + " closed the link" : "the link to " + peer_ + " broke: " + error.message());
}

void TcpMirror::Lost(const std::string& reason) {
    Close();
    if (handlers_.lost) handlers_.lost(reason);
}

}  // namespace sked
