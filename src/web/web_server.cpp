#include "web/web_server.h"

#include <algorithm>
#include <cerrno>
#include <cstdarg>
#include <cstdio>
#include <cstring>
#include <fstream>
#include <sstream>

#include <arpa/inet.h>
#include <fcntl.h>
#include <microhttpd.h>
#include <netinet/in.h>
#include <poll.h>
#include <sodium.h>
#include <sys/socket.h>
#include <unistd.h>

#include <nlohmann/json.hpp>

#include "platform/atomic_file.h"
#include "platform/directory.h"
#include "platform/text_format.h"
#include "web/page_assets.h"

namespace sked::web {

namespace {

using Json = nlohmann::ordered_json;
using namespace std::chrono;

std::string JsonText(const Json& value) { return value.dump(-1, ' ', false, Json::error_handler_t::replace); }

Steady Now() { return steady_clock::now(); }

std::string AddressText(const sockaddr* address) {
    char text[INET6_ADDRSTRLEN] = "?";
    if (!address) return text;
    if (address->sa_family == AF_INET)
        ::inet_ntop(AF_INET, &reinterpret_cast<const sockaddr_in*>(address)->sin_addr, text, sizeof text);
    else if (address->sa_family == AF_INET6)
        ::inet_ntop(AF_INET6, &reinterpret_cast<const sockaddr_in6*>(address)->sin6_addr, text, sizeof text);
    return text;
}

// Text from a client, fit for one line of the log: printable ASCII only, and not too long.
std::string Printable(const std::string& text, std::size_t max = 80) {
    std::string out;
    for (const char c : text.substr(0, max)) out += (c >= 0x20 && c < 0x7f) ? c : '?';
    return text.size() > max ? out + "..." : out;
}

// Commands that only show something: a web page runs them often, the log need not hear of them.
bool OnlyShows(const std::string& word) {
    static const char* const kShowing[] = {"status", "queue", "help", "files", "show", "view", "viewlog"};
    return std::any_of(std::begin(kShowing), std::end(kShowing), [&](const char* w) { return word == w; });
}

}  // namespace

struct WebServer::Request {
    std::string method, url, address;
    std::string body;
    std::size_t limit = 0;
    bool tooLarge = false;
    enum class Check { None, Running, Matched, Failed } check = Check::None;
    ~Request() { ::sodium_memzero(body.data(), body.size()); }  // it may hold the password
};

struct WebServer::Connection {
    int fd = -1;
    std::string address;
    Steady deadline = Steady::max();  // the request must have arrived by then
    bool cut = false;
};

struct WebServer::EventClient {
    WebServer* server;
    std::string pending;
    bool dropped = false;
};

// libmicrohttpd's callbacks: each finds the server in its closure argument.
struct WebServer::Callbacks {
    static MHD_Result Accept(void* self, const sockaddr* address, socklen_t) {
        WebServer& s = *static_cast<WebServer*>(self);
        if (s.connections_.size() < kMaxConnections) return MHD_YES;
        s.LogRefusal("Web : refused a connection from " + AddressText(address) + ", " +
                     std::to_string(kMaxConnections) + " connections are open");
        return MHD_NO;
    }

    static void Notify(void* self, MHD_Connection* connection, void** socketState,
                       enum MHD_ConnectionNotificationCode code) {
        WebServer& s = *static_cast<WebServer*>(self);
        if (code == MHD_CONNECTION_NOTIFY_STARTED) {
            auto* c = new Connection;
            const MHD_ConnectionInfo* fd = MHD_get_connection_info(connection, MHD_CONNECTION_INFO_CONNECTION_FD);
            const MHD_ConnectionInfo* from = MHD_get_connection_info(connection, MHD_CONNECTION_INFO_CLIENT_ADDRESS);
            c->fd = fd ? fd->connect_fd : -1;
            c->address = AddressText(from ? from->client_addr : nullptr);
            c->deadline = Now() + kRequestDeadline;
            s.connections_[c] = true;
            *socketState = c;
            if (!s.housekeeping_.Running()) s.housekeeping_.Every(milliseconds(200));
        } else if (auto* c = static_cast<Connection*>(*socketState)) {
            s.connections_.erase(c);
            delete c;
            *socketState = nullptr;
            if (s.connections_.empty()) s.housekeeping_.Stop();
        }
    }

    static MHD_Result Handle(void* self, MHD_Connection* connection, const char* url, const char* method,
                             const char*, const char* data, std::size_t* size, void** state) {
        WebServer& s = *static_cast<WebServer*>(self);
        if (!*state) {
            // The request line and headers are in: the next deadline is the body's, if one comes.
            auto* r = new Request;
            *state = r;
            r->method = method;
            r->url = url;
            const MHD_ConnectionInfo* from = MHD_get_connection_info(connection, MHD_CONNECTION_INFO_CLIENT_ADDRESS);
            r->address = AddressText(from ? from->client_addr : nullptr);
            const bool upload = r->method == "PUT" && r->url == "/api/file";
            r->limit = upload ? kMaxUploadBytes : kMaxCommandBytes;
            const MHD_ConnectionInfo* socket = MHD_get_connection_info(connection, MHD_CONNECTION_INFO_SOCKET_CONTEXT);
            const char* length = MHD_lookup_connection_value(connection, MHD_HEADER_KIND, MHD_HTTP_HEADER_CONTENT_LENGTH);
            const char* chunked = MHD_lookup_connection_value(connection, MHD_HEADER_KIND, MHD_HTTP_HEADER_TRANSFER_ENCODING);
            const bool body = (length && std::strcmp(length, "0") != 0) || chunked;
            if (socket && socket->socket_context)
                static_cast<Connection*>(socket->socket_context)->deadline =
                    body ? Now() + kUploadDeadline : Steady::max();
            // Refused before a byte of an oversize body is read.
            if (length && std::strtoull(length, nullptr, 10) > r->limit) {
                r->tooLarge = true;
                return static_cast<MHD_Result>(s.Refuse(connection, *r, MHD_HTTP_CONTENT_TOO_LARGE,
                                                        "the body is larger than " + std::to_string(r->limit) + " bytes"));
            }
            return MHD_YES;
        }
        Request& r = *static_cast<Request*>(*state);
        if (*size) {
            if (r.body.size() + *size > r.limit) r.tooLarge = true;
            else if (!r.tooLarge) r.body.append(data, *size);
            *size = 0;
            return MHD_YES;
        }
        if (r.tooLarge)
            return static_cast<MHD_Result>(s.Refuse(connection, r, MHD_HTTP_CONTENT_TOO_LARGE,
                                                    "the body is larger than " + std::to_string(r.limit) + " bytes"));
        return static_cast<MHD_Result>(s.Respond(connection, r));
    }

    static void Completed(void*, MHD_Connection* connection, void** state, enum MHD_RequestTerminationCode) {
        delete static_cast<Request*>(*state);
        *state = nullptr;
        // Between two requests of a kept-alive connection: the idle time-out, then the next request's deadline.
        const MHD_ConnectionInfo* socket = MHD_get_connection_info(connection, MHD_CONNECTION_INFO_SOCKET_CONTEXT);
        if (socket && socket->socket_context)
            static_cast<Connection*>(socket->socket_context)->deadline =
                Now() + seconds(kIdleTimeoutSeconds) + kRequestDeadline;
    }

    // The server's own refusals (a header too large, a request that does not parse) and troubles.
    static void Log(void* self, const char* format, va_list arguments) {
        char text[256];
        std::vsnprintf(text, sizeof text, format, arguments);
        std::string message = Trimmed(text);
        static_cast<WebServer*>(self)->LogRefusal("Web : " + Printable(message, 100));
    }

    static ssize_t EventRead(void* self, std::uint64_t, char* buffer, std::size_t max) {
        EventClient& client = *static_cast<EventClient*>(self);
        if (client.dropped) return MHD_CONTENT_READER_END_WITH_ERROR;
        const std::size_t n = std::min(max, client.pending.size());
        std::memcpy(buffer, client.pending.data(), n);
        client.pending.erase(0, n);
        return static_cast<ssize_t>(n);  // 0: nothing yet; asked again at the next run
    }

    static void EventClosed(void* self) {
        auto* client = static_cast<EventClient*>(self);
        WebServer& s = *client->server;
        s.eventClients_.erase(client);
        delete client;
        if (s.eventClients_.empty()) s.feed_.Watch(false);
    }
};

WebServer::WebServer(Station& station, WebConfig config)
    : station_(station),
      config_(std::move(config)),
      commands_(station),
      feed_(station),
      schedule_(station),
      timeout_(station.loop, [this] { RunServer(); }),
      housekeeping_(station.loop, [this] { Housekeeping(); }),
      self_(std::make_shared<WebServer*>(this)) {
    feed_.OnChange([this] {
        station_.loop.Post([self = std::weak_ptr<WebServer*>(self_)] {
            if (auto server = self.lock()) (*server)->SendChanges();
        });
    });
}

WebServer::~WebServer() {
    self_.reset();
    if (checker_.joinable()) checker_.join();
    if (suspended_) MHD_resume_connection(suspended_);
    if (watch_) station_.loop.RemoveWatch(watch_);
    if (daemon_) MHD_stop_daemon(daemon_);
}

bool WebServer::Open(std::string& problem) {
    const bool six = config_.host.find(':') != std::string::npos;
    sockaddr_storage address{};
    socklen_t length = 0;
    if (six) {
        auto* a = reinterpret_cast<sockaddr_in6*>(&address);
        a->sin6_family = AF_INET6;
        a->sin6_port = htons(static_cast<std::uint16_t>(config_.port));
        ::inet_pton(AF_INET6, config_.host.c_str(), &a->sin6_addr);
        length = sizeof *a;
    } else {
        auto* a = reinterpret_cast<sockaddr_in*>(&address);
        a->sin_family = AF_INET;
        a->sin_port = htons(static_cast<std::uint16_t>(config_.port));
        ::inet_pton(AF_INET, config_.host.c_str(), &a->sin_addr);
        length = sizeof *a;
    }
    const std::string where = "--http=" + (six ? "[" + config_.host + "]" : config_.host) + ":" +
                              std::to_string(config_.port);
    const int fd = ::socket(six ? AF_INET6 : AF_INET, SOCK_STREAM | SOCK_NONBLOCK | SOCK_CLOEXEC, 0);
    const int on = 1;
    if (fd < 0 || ::setsockopt(fd, SOL_SOCKET, SO_REUSEADDR, &on, sizeof on) != 0 ||
        (six && ::setsockopt(fd, IPPROTO_IPV6, IPV6_V6ONLY, &on, sizeof on) != 0) ||
        ::bind(fd, reinterpret_cast<const sockaddr*>(&address), length) != 0 || ::listen(fd, 64) != 0 ||
        ::getsockname(fd, reinterpret_cast<sockaddr*>(&address), &length) != 0) {
        problem = where + ": " + std::strerror(errno);
        if (fd >= 0) ::close(fd);
        return false;
    }
    boundPort_ = ntohs(six ? reinterpret_cast<sockaddr_in6*>(&address)->sin6_port
                           : reinterpret_cast<sockaddr_in*>(&address)->sin_port);

    const bool tls = !config_.certPem.empty();
    if (tls && MHD_is_feature_supported(MHD_FEATURE_TLS) != MHD_YES) {
        problem = where + ": this libmicrohttpd has no TLS";
        ::close(fd);
        return false;
    }
    unsigned flags = MHD_USE_EPOLL | MHD_ALLOW_SUSPEND_RESUME | MHD_USE_ERROR_LOG |
                     (six ? static_cast<unsigned>(MHD_USE_IPv6) : 0u) | (tls ? static_cast<unsigned>(MHD_USE_TLS) : 0u);
    MHD_OptionItem options[] = {
        {MHD_OPTION_EXTERNAL_LOGGER, reinterpret_cast<intptr_t>(&Callbacks::Log), this},
        {MHD_OPTION_LISTEN_SOCKET, fd, nullptr},
        {MHD_OPTION_CONNECTION_LIMIT, kMaxConnections + 8, nullptr},
        {MHD_OPTION_CONNECTION_MEMORY_LIMIT, static_cast<intptr_t>(kMaxHeaderBytes), nullptr},
        {MHD_OPTION_CONNECTION_TIMEOUT, kIdleTimeoutSeconds, nullptr},
        {MHD_OPTION_NOTIFY_COMPLETED, reinterpret_cast<intptr_t>(&Callbacks::Completed), this},
        {MHD_OPTION_NOTIFY_CONNECTION, reinterpret_cast<intptr_t>(&Callbacks::Notify), this},
        {tls ? MHD_OPTION_HTTPS_MEM_CERT : MHD_OPTION_END, 0, const_cast<char*>(config_.certPem.c_str())},
        {tls ? MHD_OPTION_HTTPS_MEM_KEY : MHD_OPTION_END, 0, const_cast<char*>(config_.keyPem.c_str())},
        {MHD_OPTION_END, 0, nullptr},
    };
    daemon_ = MHD_start_daemon(flags, 0, &Callbacks::Accept, this, &Callbacks::Handle, this, MHD_OPTION_ARRAY,
                               options, MHD_OPTION_END);
    if (!daemon_) {
        problem = where + ": the web server did not start" + (tls ? " (is the key the certificate's?)" : "");
        ::close(fd);
        return false;
    }
    const MHD_DaemonInfo* epoll = MHD_get_daemon_info(daemon_, MHD_DAEMON_INFO_EPOLL_FD);
    watch_ = station_.loop.WatchFd(epoll->epoll_fd, POLLIN, [this](short) { RunServer(); });
    return true;
}

std::string WebServer::Url() const {
    const bool six = config_.host.find(':') != std::string::npos;
    return std::string(config_.certPem.empty() ? "http" : "https") + "://" +
           (six ? "[" + config_.host + "]" : config_.host) + ":" + std::to_string(boundPort_) + "/";
}

void WebServer::RunServer() {
    if (!daemon_) return;
    MHD_run(daemon_);
    MHD_UNSIGNED_LONG_LONG ms = 0;
    if (MHD_get_timeout(daemon_, &ms) != MHD_YES) return timeout_.Stop();
    // A page's stream with nothing to send also asks to be run again at once:
    // it is run when its next event comes, and meanwhile now and then (never in a spin).
    const bool streamsWaiting = std::any_of(eventClients_.begin(), eventClients_.end(),
                                            [](const auto& entry) { return entry.first->pending.empty(); });
    if (ms == 0 && !streamsWaiting) RunSoon();
    else timeout_.After(milliseconds(std::clamp<MHD_UNSIGNED_LONG_LONG>(ms, streamsWaiting ? 100 : 1, 1000)));
}

void WebServer::RunSoon() {
    if (runPosted_) return;
    runPosted_ = true;
    station_.loop.Post([self = std::weak_ptr<WebServer*>(self_)] {
        if (auto server = self.lock()) {
            (*server)->runPosted_ = false;
            (*server)->RunServer();
        }
    });
}

void WebServer::Housekeeping() {
    const Steady now = Now();
    SendChanges();
    // A page open with nothing new: a comment now and then keeps it (and any proxy) from timing out.
    if (!eventClients_.empty() && now - lastSend_ > seconds(15)) {
        for (auto& [client, on] : eventClients_) client->pending += ": still here\n\n";
        lastSend_ = now;
        RunSoon();
    }
    for (auto& [c, on] : connections_) {
        if (c->cut || now < c->deadline) continue;
        c->cut = true;
        LogRefusal("Web : cut off " + c->address + ", its request did not arrive in time");
        ::shutdown(c->fd, SHUT_RDWR);  // the server sees it end and closes it
        RunSoon();
    }
}

void WebServer::SendChanges() {
    if (eventClients_.empty() || !feed_.HasChanges()) return;
    const Steady now = Now();
    if (now - lastSend_ < milliseconds(100)) return;  // the next housekeeping sends them
    lastSend_ = now;
    const std::string text = feed_.TakeChanges();
    for (auto& [client, on] : eventClients_) {
        client->pending += text;
        if (client->pending.size() > kMaxPendingEvents && !client->dropped) {
            client->dropped = true;
            station_.log.LogEvent("Web : a page was dropped, it does not read its events");
        }
    }
    RunServer();
}

void WebServer::LogRefusal(const std::string& text) {
    // A flood of refusals must not become a flood of the log: some a second, then a count.
    const Steady now = Now();
    if (now - refusalSecond_ >= seconds(1)) {
        refusalSecond_ = now;
        refusalsThisSecond_ = 0;
    }
    if (++refusalsThisSecond_ > 20) {
        ++refusalsNotLogged_;
        return;
    }
    if (refusalsNotLogged_ > 0) {
        station_.log.LogEvent("Web : " + std::to_string(refusalsNotLogged_) + " more refusals were not logged");
        refusalsNotLogged_ = 0;
    }
    station_.log.LogEvent(text);
}

int WebServer::Reply(MHD_Connection* connection, unsigned status, const std::string& body, const char* type,
                     const std::string& cookie) {
    MHD_Response* response =
        MHD_create_response_from_buffer(body.size(), const_cast<char*>(body.data()), MHD_RESPMEM_MUST_COPY);
    MHD_add_response_header(response, MHD_HTTP_HEADER_CONTENT_TYPE, type);
    MHD_add_response_header(response, MHD_HTTP_HEADER_CACHE_CONTROL, "no-store");
    MHD_add_response_header(response, "X-Content-Type-Options", "nosniff");
    MHD_add_response_header(response, "X-Frame-Options", "DENY");
    MHD_add_response_header(response, "Referrer-Policy", "no-referrer");
    MHD_add_response_header(response, "Content-Security-Policy",
                            "default-src 'self'; connect-src 'self'; img-src 'self' data:; frame-ancestors 'none'");
    if (!cookie.empty()) MHD_add_response_header(response, MHD_HTTP_HEADER_SET_COOKIE, cookie.c_str());
    const MHD_Result queued = MHD_queue_response(connection, status, response);
    MHD_destroy_response(response);
    return queued;
}

int WebServer::Refuse(MHD_Connection* connection, Request& request, unsigned status, const std::string& why) {
    LogRefusal("Web : refused " + Printable(request.method, 10) + " " + Printable(request.url) + " from " +
               request.address + ": " + why);
    return Reply(connection, status, JsonText({{"ok", false}, {"error", why}}), "application/json");
}

const Sessions::Session* WebServer::SessionOf(MHD_Connection* connection) {
    const char* token = MHD_lookup_connection_value(connection, MHD_COOKIE_KIND, kCookie);
    return token ? sessions_.Find(token, Now()) : nullptr;
}

std::string WebServer::SessionCookie(const std::string& token) const {
    return std::string(kCookie) + "=" + token + "; Path=/; HttpOnly; SameSite=Strict" +
           (config_.certPem.empty() ? "" : "; Secure");
}

bool WebServer::HostAllowed(MHD_Connection* connection) const {
    // Without a password only this machine may use the page: a name that a
    // web site has pointed at 127.0.0.1 (DNS rebinding) must not pass for it.
    if (config_.passwordHash) return true;
    const char* host = MHD_lookup_connection_value(connection, MHD_HEADER_KIND, MHD_HTTP_HEADER_HOST);
    if (!host) return false;
    std::string name = host;
    if (name.starts_with("[")) name = name.substr(1, name.find(']') - 1);
    else name = name.substr(0, name.rfind(':') == std::string::npos ? name.size() : name.rfind(':'));
    return name == "localhost" || IsLoopbackAddress(name);
}

int WebServer::Respond(MHD_Connection* connection, Request& request) {
    if (!HostAllowed(connection))
        return Refuse(connection, request, MHD_HTTP_FORBIDDEN, "a page without a password answers only to localhost");
    return Route(connection, request);
}

int WebServer::Route(MHD_Connection* connection, Request& r) {
    const bool get = r.method == "GET" || r.method == "HEAD";
    if (get) {
        for (const PageAsset& asset : PageAssets())
            if (r.url == asset.path) return Reply(connection, MHD_HTTP_OK, std::string(asset.content), asset.type);
        if (r.url == "/api/session") return SessionInfo(connection, r);
        if (r.url == "/api/events") return OpenEvents(connection, r);
        if (r.url == "/api/file") return ReadFile(connection, r);
        if (r.url == "/api/schedule") {
            if (!SessionOf(connection)) return Refuse(connection, r, MHD_HTTP_FORBIDDEN, "not logged in");
            return Schedule(connection, r);
        }
        return Refuse(connection, r, MHD_HTTP_NOT_FOUND, "no such page");
    }
    if (r.method == "POST" && r.url == "/api/login") return Login(connection, r);
    const bool known = (r.method == "POST" && (r.url == "/api/command" || r.url == "/api/logout" ||
                                               r.url == "/api/schedule")) ||
                       (r.method == "PUT" && r.url == "/api/file");
    if (!known) return Refuse(connection, r, MHD_HTTP_NOT_FOUND, "no such action");
    // Every change of state: a session, and the token the page was given with it.
    const char* token = MHD_lookup_connection_value(connection, MHD_COOKIE_KIND, kCookie);
    const Sessions::Session* session = token ? sessions_.Find(token, Now()) : nullptr;
    if (!session) return Refuse(connection, r, MHD_HTTP_FORBIDDEN, "not logged in");
    const char* csrf = MHD_lookup_connection_value(connection, MHD_HEADER_KIND, "X-CSRF-Token");
    if (!csrf || !SameSecret(csrf, session->csrf))
        return Refuse(connection, r, MHD_HTTP_FORBIDDEN, "the CSRF token is missing or wrong");
    if (r.url == "/api/logout") {
        sessions_.Close(token);
        return Reply(connection, MHD_HTTP_OK, JsonText({{"ok", true}}), "application/json",
                     std::string(kCookie) + "=; Path=/; HttpOnly; SameSite=Strict; Max-Age=0");
    }
    if (r.url == "/api/command") return Command(connection, r);
    if (r.url == "/api/schedule") return Schedule(connection, r);
    return WriteFile(connection, r);
}

int WebServer::SessionInfo(MHD_Connection* connection, Request&) {
    const Sessions::Session* session = SessionOf(connection);
    std::string cookie;
    // Without a password (this machine only) a page is given a session for the asking.
    if (!session && !config_.passwordHash) {
        std::string token;
        session = &sessions_.Open(Now(), token);
        cookie = SessionCookie(token);
    }
    Json info{{"loggedIn", session != nullptr},
              {"csrf", session ? session->csrf : ""},
              {"publicStatus", config_.publicStatus},
              {"password", config_.passwordHash.has_value()},
              {"title", station_.window.title}};
    return Reply(connection, MHD_HTTP_OK, JsonText(info), "application/json", cookie);
}

int WebServer::Login(MHD_Connection* connection, Request& r) {
    if (!config_.passwordHash) return Refuse(connection, r, MHD_HTTP_BAD_REQUEST, "this page has no password");
    switch (r.check) {
        case Request::Check::None: {
            if (!limiter_.Allow(r.address, Now()))
                return Refuse(connection, r, MHD_HTTP_TOO_MANY_REQUESTS, "too many login attempts, wait a minute");
            if (checking_)
                return Refuse(connection, r, MHD_HTTP_SERVICE_UNAVAILABLE, "another login is being checked");
            if (checker_.joinable()) checker_.join();
            checking_ = true;
            r.check = Request::Check::Running;
            suspended_ = connection;
            MHD_suspend_connection(connection);
            // The check takes a good part of a second on purpose: beside the loop, its verdict posted back.
            auto work = std::make_shared<RealWorkScope>(station_.loop);
            checker_ = std::thread([hash = *config_.passwordHash, password = r.body, &loop = station_.loop,
                                    self = std::weak_ptr<WebServer*>(self_), request = &r, work]() mutable {
                const bool matches = PasswordMatches(hash, password);
                ::sodium_memzero(password.data(), password.size());
                loop.Post([self, request, matches, work] {
                    auto server = self.lock();
                    if (!server) return;
                    WebServer& s = **server;
                    request->check = matches ? Request::Check::Matched : Request::Check::Failed;
                    s.checking_ = false;
                    MHD_resume_connection(std::exchange(s.suspended_, nullptr));
                    s.RunSoon();
                });
            });
            return MHD_YES;
        }
        case Request::Check::Running:
            return MHD_YES;
        case Request::Check::Failed:
            return Refuse(connection, r, MHD_HTTP_FORBIDDEN, "wrong password");
        case Request::Check::Matched:
            break;
    }
    limiter_.Succeeded(r.address);
    std::string token;
    const Sessions::Session& session = sessions_.Open(Now(), token);
    station_.log.LogEvent("Web : " + r.address + " logged in");
    return Reply(connection, MHD_HTTP_OK, JsonText({{"ok", true}, {"csrf", session.csrf}}), "application/json",
                 SessionCookie(token));
}

int WebServer::OpenEvents(MHD_Connection* connection, Request& r) {
    if (!SessionOf(connection) && !config_.publicStatus)
        return Refuse(connection, r, MHD_HTTP_FORBIDDEN, "not logged in");
    feed_.Watch(true);
    auto* client = new EventClient{this, "retry: 2000\n\n" + feed_.Snapshot()};
    MHD_Response* response =
        MHD_create_response_from_callback(MHD_SIZE_UNKNOWN, 4096, &Callbacks::EventRead, client, &Callbacks::EventClosed);
    if (!response) {
        delete client;
        return MHD_NO;
    }
    eventClients_[client] = true;
    MHD_add_response_header(response, MHD_HTTP_HEADER_CONTENT_TYPE, "text/event-stream; charset=utf-8");
    MHD_add_response_header(response, MHD_HTTP_HEADER_CACHE_CONTROL, "no-store");
    MHD_add_response_header(response, "X-Accel-Buffering", "no");  // a proxy in front passes each event at once
    const MHD_Result queued = MHD_queue_response(connection, MHD_HTTP_OK, response);
    MHD_destroy_response(response);
    return queued;
}

int WebServer::Command(MHD_Connection* connection, Request& r) {
    std::string line = r.body;
    while (!line.empty() && (line.back() == '\n' || line.back() == '\r')) line.pop_back();
    if (line.find_first_of("\r\n") != std::string::npos)
        return Refuse(connection, r, MHD_HTTP_BAD_REQUEST, "one command per request");
    const std::string command = Trimmed(line);
    if (Lowered(command) == "watch")
        return Refuse(connection, r, MHD_HTTP_BAD_REQUEST, "watch is the page's own event stream");
    const std::string word = Lowered(command.substr(0, command.find(' ')));
    if (!word.empty() && !OnlyShows(word)) station_.log.LogEvent("Web : " + r.address + " : " + Printable(word, 20));
    const CommandReply reply = commands_.Run(command);
    Json json{{"ok", reply.ok}, {"text", reply.text}, {"error", reply.error}};
    if (!reply.fields.empty()) {
        Json fields = Json::object();
        for (const auto& [name, value] : reply.fields) fields[name] = value;
        json["fields"] = fields;
    }
    return Reply(connection, MHD_HTTP_OK, JsonText(json), "application/json");
}

int WebServer::Schedule(MHD_Connection* connection, Request& r) {
    Json request = r.method == "POST" ? Json::parse(r.body, nullptr, false) : Json{{"op", "view"}};
    if (!request.is_object()) return Refuse(connection, r, MHD_HTTP_BAD_REQUEST, "the action is not a JSON object");
    const nlohmann::json reply = schedule_.Act(request);
    const std::string op = request.value("op", "");
    if (!reply["ok"].get<bool>()) {
        LogRefusal("Web : refused the schedule's " + Printable(op, 10) + " from " + r.address + ": " +
                   Printable(reply["error"].get<std::string>(), 160));
        return Reply(connection, MHD_HTTP_UNPROCESSABLE_CONTENT, JsonText(reply), "application/json");
    }
    if (op == "save") station_.log.LogEvent("Web : " + r.address + " saved data/schedule.lst");
    return Reply(connection, MHD_HTTP_OK, JsonText(reply), "application/json");
}

int WebServer::ReadFile(MHD_Connection* connection, Request& r) {
    if (!SessionOf(connection)) return Refuse(connection, r, MHD_HTTP_FORBIDDEN, "not logged in");
    const char* name = MHD_lookup_connection_value(connection, MHD_GET_ARGUMENT_KIND, "name");
    const std::string problem = UploadNameProblem(name ? name : "");
    if (!problem.empty()) return Refuse(connection, r, MHD_HTTP_BAD_REQUEST, problem);
    const int fd = OpenBeneath("data", name, O_RDONLY | O_CLOEXEC | O_NOFOLLOW);
    if (fd < 0)
        return Refuse(connection, r, MHD_HTTP_NOT_FOUND, std::string("data/") + name + ": " + BeneathProblem(errno, "data/"));
    std::string content;
    char buffer[8192];
    ssize_t n;
    while ((n = ::read(fd, buffer, sizeof buffer)) > 0 && content.size() <= kMaxUploadBytes)
        content.append(buffer, static_cast<std::size_t>(n));
    ::close(fd);
    if (content.size() > kMaxUploadBytes)
        return Refuse(connection, r, MHD_HTTP_CONTENT_TOO_LARGE, "the file is too large to edit here");
    return Reply(connection, MHD_HTTP_OK, content, "text/plain; charset=utf-8");
}

int WebServer::WriteFile(MHD_Connection* connection, Request& r) {
    const char* name = MHD_lookup_connection_value(connection, MHD_GET_ARGUMENT_KIND, "name");
    const std::string problem = UploadNameProblem(name ? name : "");
    if (!problem.empty()) return Refuse(connection, r, MHD_HTTP_BAD_REQUEST, problem);
    std::string why;
    if (!ReplaceFileBeneath("data", name, r.body, why))
        return Refuse(connection, r, MHD_HTTP_INTERNAL_SERVER_ERROR, std::string("data/") + name + ": " + why);
    station_.log.LogEvent("Web : " + r.address + " saved data/" + name + " (" + std::to_string(r.body.size()) +
                          " bytes)");
    commands_.Run("refresh");  // the file list shows it
    return Reply(connection, MHD_HTTP_OK, JsonText({{"ok", true}}), "application/json");
}

}  // namespace sked::web
