// The control socket: a Unix-domain stream socket on which operators' tools
// (skedcast ctl, scripts) steer and watch the station while it runs as a
// service. One command per line, exactly as typed on the console; one JSON
// object per line in reply. `watch` turns a connection into a stream of the
// main window's field changes and finished running lines.
//
// Everything happens on the station's loop, without ever waiting for a
// client: sockets are non-blocking, a request line is capped, and a client
// whose unread replies pile up is dropped rather than waited for.
#pragma once

#include <chrono>
#include <cstddef>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include "app/controls.h"
#include "app/station.h"
#include "console/line_reader.h"
#include "console/running_lines.h"
#include "console/typed_commands.h"

namespace sked {

class ControlServer {
public:
    // Unread output a client may leave behind before it is dropped.
    static constexpr std::size_t kMaxPendingOutput = 1 << 20;
    static constexpr int kMaxClients = 32;
    // How long the socket is not listened to when the process is out of descriptors.
    static constexpr std::chrono::seconds kAcceptPause{1};

    explicit ControlServer(Station& station);
    // Sends what it can of the replies still pending, closes every client and
    // removes the socket file.
    ~ControlServer();
    ControlServer(const ControlServer&) = delete;
    ControlServer& operator=(const ControlServer&) = delete;

    // Creates the socket at `path` (mode 0660) and listens. A socket file left
    // by a station that is gone is replaced; one a running station answers on
    // is not. False, with the reason in `problem`, when it cannot.
    bool Open(const std::string& path, std::string& problem);

    int ClientCount() const { return static_cast<int>(clients_.size()); }

private:
    struct Client {
        int fd = -1;
        int watch = 0;
        LineReader input;
        std::string output;  // replies not yet taken by the client
        bool watching = false;
        bool closing = false;  // the client has hung up: gone once its last request has run
        int requestsUnderWay = 0;
    };

    void Accept();
    void Readable(int id);
    void Writable(int id);
    void Run(int id, const std::string& line);
    void Send(int id, const std::string& jsonLine);
    void Flush(Client& client, int id);
    void Drop(int id, const char* why);
    void StartWatching(int id);
    void WatchFields();
    void Broadcast(const std::string& jsonLine);
    void FieldChanged(const char* name, const std::string& text);

    Station& station_;
    TypedCommands commands_;
    std::string path_;
    int listenFd_ = -1;
    int listenWatch_ = 0;
    int nextId_ = 1;
    std::map<int, Client> clients_;
    Timer acceptAgain_;
    // The window's fields, observed only while some client watches.
    std::vector<ControlSubscription> fields_;
    RunningLines runningLines_;
    int logListener_ = 0;
    // Shared with posted requests, so that one still queued when the server
    // goes finds it gone.
    std::shared_ptr<ControlServer*> self_;
};

}  // namespace sked
