#include "console/control_server.h"

#include <cerrno>
#include <cstring>

#include <fcntl.h>
#include <poll.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>
#include <unistd.h>

#include <nlohmann/json.hpp>

#include "platform/text_format.h"
#include "platform/unix_socket.h"

namespace sked {

namespace {

using Json = nlohmann::ordered_json;

// One line of JSON. Text the station shows may hold bytes that are not UTF-8
// (a bulletin in Latin-1): they are replaced, never allowed to fail the reply.
std::string JsonLine(const Json& value) { return value.dump(-1, ' ', false, Json::error_handler_t::replace) + "\n"; }

std::string ErrorLine(const std::string& error) { return JsonLine({{"ok", false}, {"error", error}}); }

std::string ReplyLine(const CommandReply& reply) {
    if (!reply.ok) return ErrorLine(reply.error);
    Json json{{"ok", true}};
    if (!reply.text.empty()) json["text"] = reply.text;
    if (!reply.fields.empty()) {
        Json fields = Json::object();
        for (const auto& [name, value] : reply.fields) fields[name] = value;
        json["fields"] = fields;
    }
    return JsonLine(json);
}

socklen_t FillAddress(const std::string& path, sockaddr_un& address, std::string& problem) {
    const socklen_t length = path.empty() ? 0 : UnixAddress(path, false, address);
    if (length == 0)
        problem = path.empty() ? "no path given" : "the path is longer than " +
                                                       std::to_string(sizeof address.sun_path - 1) + " bytes";
    return length;
}

// A socket file at `path` that nothing answers on any more (a station that
// ended without removing it) may go; anything else stays.
bool ClearStaleSocket(const std::string& path, std::string& problem) {
    struct stat info {};
    if (::lstat(path.c_str(), &info) != 0) return true;
    if (!S_ISSOCK(info.st_mode)) {
        problem = "it exists and is not a socket";
        return false;
    }
    const int probe = ConnectUnix(path);
    if (probe >= 0) {
        ::close(probe);
        problem = "a running station already listens on it";
        return false;
    }
    ::unlink(path.c_str());
    return true;
}

}  // namespace

ControlServer::ControlServer(Station& station)
    : station_(station),
      commands_(station),
      acceptAgain_(station.loop, [this] { station_.loop.ModifyWatch(listenWatch_, POLLIN); }),
      self_(std::make_shared<ControlServer*>(this)) {
    // Every line of the log, to whoever watches.
    logListener_ = station_.log.AddListener([this](const std::string& message) {
        if (!fields_.empty())
            Broadcast(JsonLine(
                {{"event", "log"}, {"time", LocalStamp(station_.loop.clock().Now(), false)}, {"text", message}}));
    });
}

ControlServer::~ControlServer() {
    station_.log.RemoveListener(logListener_);
    self_.reset();
    fields_.clear();
    for (auto& [id, client] : clients_) {
        if (!client.output.empty())
            (void)::send(client.fd, client.output.data(), client.output.size(), MSG_NOSIGNAL | MSG_DONTWAIT);
        station_.loop.RemoveWatch(client.watch);
        ::close(client.fd);
    }
    if (listenWatch_) station_.loop.RemoveWatch(listenWatch_);
    if (listenFd_ >= 0) {
        ::close(listenFd_);
        ::unlink(path_.c_str());
    }
}

bool ControlServer::Open(const std::string& path, std::string& problem) {
    sockaddr_un address;
    const socklen_t length = FillAddress(path, address, problem);
    if (length == 0 || !ClearStaleSocket(path, problem)) return false;
    const int fd = ::socket(AF_UNIX, SOCK_STREAM | SOCK_NONBLOCK | SOCK_CLOEXEC, 0);
    if (fd < 0) {
        problem = std::strerror(errno);
        return false;
    }
    // Owner and group may connect (the group is how a service lets its operators in), nobody else.
    const mode_t oldMask = ::umask(0117);
    const bool bound = ::bind(fd, reinterpret_cast<const sockaddr*>(&address), length) == 0;
    const int bindError = errno;
    ::umask(oldMask);
    if (!bound || ::chmod(path.c_str(), 0660) != 0 || ::listen(fd, SOMAXCONN) != 0) {
        problem = std::strerror(bound ? errno : bindError);
        if (bound) ::unlink(path.c_str());
        ::close(fd);
        return false;
    }
    path_ = path;
    listenFd_ = fd;
    listenWatch_ = station_.loop.WatchFd(fd, POLLIN, [this](short) { Accept(); });
    return true;
}

void ControlServer::Accept() {
    const int fd = ::accept4(listenFd_, nullptr, nullptr, SOCK_NONBLOCK | SOCK_CLOEXEC);
    if (fd < 0) {
        // Out of descriptors, the waiting connection stays and the socket stays
        // readable: listening again only after a pause keeps the loop from spinning.
        if (errno == EMFILE || errno == ENFILE || errno == ENOBUFS || errno == ENOMEM) {
            station_.loop.ModifyWatch(listenWatch_, 0);
            acceptAgain_.After(kAcceptPause);
        }
        return;  // else gone again before it was taken
    }
    if (ClientCount() >= kMaxClients) {
        const std::string refusal = ErrorLine("too many clients (" + std::to_string(kMaxClients) + ")");
        (void)::send(fd, refusal.data(), refusal.size(), MSG_NOSIGNAL | MSG_DONTWAIT);
        ::close(fd);
        return;
    }
    const int id = nextId_++;
    Client& client = clients_[id];
    client.fd = fd;
    client.watch = station_.loop.WatchFd(fd, POLLIN, [this, id](short events) {
        // Once it has hung up, only its replies are still wanted: a hang-up
        // or error then ends it (poll reports them whatever was asked).
        if (clients_.at(id).closing) {
            if (events & (POLLHUP | POLLERR)) return Drop(id, nullptr);
        } else if (events & (POLLIN | POLLHUP | POLLERR)) {
            Readable(id);
        }
        if (clients_.contains(id) && (events & POLLOUT)) Writable(id);
    });
}

void ControlServer::Readable(int id) {
    Client& client = clients_.at(id);
    char buffer[4096];
    const ssize_t n = ::recv(client.fd, buffer, sizeof buffer, 0);
    if (n < 0 && (errno == EINTR || errno == EAGAIN)) return;
    if (n <= 0) {
        // Hung up (or only its sending half): the requests it sent are still answered.
        client.input.Finish();
        client.closing = true;
    } else {
        client.input.Push(std::string_view(buffer, static_cast<std::size_t>(n)));
    }
    while (auto line = client.input.Next()) {
        if (line->tooLong) {
            // The reply may find the client gone, and drop it: then nothing of it is left to read.
            Send(id, ErrorLine("request line longer than " + std::to_string(LineReader::kMaxLine) + " bytes"));
            if (!clients_.contains(id)) return;
            continue;
        }
        // A call of its own on the loop, as a typed line: it acts between two characters.
        ++client.requestsUnderWay;
        station_.loop.Post([self = std::weak_ptr<ControlServer*>(self_), id, text = std::move(line->text)] {
            if (auto server = self.lock()) (*server)->Run(id, text);
        });
    }
    if (client.closing) {
        station_.loop.ModifyWatch(client.watch, client.output.empty() ? 0 : POLLOUT);
        if (client.requestsUnderWay == 0 && client.output.empty() && !client.watching) Drop(id, nullptr);
    }
}

void ControlServer::Run(int id, const std::string& line) {
    auto it = clients_.find(id);
    if (it == clients_.end()) return;
    --it->second.requestsUnderWay;
    const std::string command = Trimmed(line);
    if (Lowered(command) == "watch") {  // in any case, as every command
        StartWatching(id);
        return;
    }
    if (command.empty()) {
        Send(id, JsonLine({{"ok", true}}));
    } else {
        Send(id, ReplyLine(commands_.Run(command)));
    }
    it = clients_.find(id);
    if (it != clients_.end() && it->second.closing && it->second.requestsUnderWay == 0 && it->second.output.empty())
        Drop(id, nullptr);
}

void ControlServer::StartWatching(int id) {
    clients_.at(id).watching = true;
    const bool first = fields_.empty();
    if (first) WatchFields();
    Send(id, JsonLine({{"ok", true}, {"watching", true}}));
}

void ControlServer::WatchFields() {
    MainWindow& w = station_.window;
    runningLines_ = RunningLines();
    runningLines_.Update(w.statusLine.Text());
    fields_.emplace_back(w.statusLine, [this, &w] {
        for (const RunningLines::Change& change : runningLines_.Update(w.statusLine.Text())) {
            const char* kind = change.kind == RunningLines::Change::Kind::Line ? "line" : "status";
            Broadcast(JsonLine({{"event", kind},
                                {"time", LocalStamp(station_.loop.clock().Now(), false)},
                                {"text", change.text}}));
        }
    });
    const std::pair<const char*, EditControl*> watched[] = {
        {"queue", &w.queueLine},     {"autosend", &w.autoSendField}, {"transmit", &w.transmitField},
        {"flow", &w.flowField},      {"down", &w.countdownField},    {"send", &w.charCountField},
        {"cwtimer", &w.cwTimerField}, {"comport", &w.comPortField},
    };
    for (const auto& entry : watched) {
        const char* name = entry.first;
        EditControl* field = entry.second;
        fields_.emplace_back(*field, [this, name, field] { FieldChanged(name, field->Text()); });
    }
}

void ControlServer::FieldChanged(const char* name, const std::string& text) {
    Broadcast(JsonLine(
        {{"event", "field"}, {"time", LocalStamp(station_.loop.clock().Now(), false)}, {"field", name}, {"text", text}}));
}

void ControlServer::Broadcast(const std::string& jsonLine) {
    std::vector<int> watchers;
    for (const auto& [id, client] : clients_)
        if (client.watching) watchers.push_back(id);
    for (int id : watchers) Send(id, jsonLine);
}

void ControlServer::Send(int id, const std::string& jsonLine) {
    auto it = clients_.find(id);
    if (it == clients_.end()) return;
    Client& client = it->second;
    client.output += jsonLine;
    Flush(client, id);
}

void ControlServer::Flush(Client& client, int id) {
    while (!client.output.empty()) {
        const ssize_t n = ::send(client.fd, client.output.data(), client.output.size(), MSG_NOSIGNAL | MSG_DONTWAIT);
        if (n > 0) {
            client.output.erase(0, static_cast<std::size_t>(n));
            continue;
        }
        if (n < 0 && errno == EINTR) continue;
        if (n < 0 && (errno == EAGAIN || errno == EWOULDBLOCK)) break;
        return Drop(id, nullptr);  // the client has gone
    }
    if (client.output.size() > kMaxPendingOutput) return Drop(id, "it does not read its replies");
    const short reading = client.closing ? 0 : POLLIN;
    station_.loop.ModifyWatch(client.watch, static_cast<short>(reading | (client.output.empty() ? 0 : POLLOUT)));
    if (client.closing && client.output.empty() && client.requestsUnderWay == 0 && !client.watching) Drop(id, nullptr);
}

void ControlServer::Writable(int id) { Flush(clients_.at(id), id); }

void ControlServer::Drop(int id, const char* why) {
    auto it = clients_.find(id);
    if (it == clients_.end()) return;
    station_.loop.RemoveWatch(it->second.watch);
    ::close(it->second.fd);
    clients_.erase(it);
    bool anyWatching = false;
    for (const auto& [other, client] : clients_) anyWatching = anyWatching || client.watching;
    if (!anyWatching) fields_.clear();
    // Logged once the client is gone: the log line goes to the watchers, and a
    // dropped watcher still among them would be sent it, and dropped, again.
    if (why) station_.log.LogEvent(std::string("Control : a client was dropped, ") + why);
}

}  // namespace sked
