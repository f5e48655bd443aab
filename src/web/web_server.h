// The web page's server: libmicrohttpd run from the station's own loop (its
// epoll descriptor watched like any other, MHD_run when it is ready or its
// time-out falls due), so that a request is handled between two characters
// like a typed command. Only the password check runs beside the loop: it is
// slow on purpose, and the station's timing must not wait for it.
//
// Every refusal (no session, a wrong CSRF token, a bad upload, too many
// connections, a client too slow to send its request) is logged with the
// client's address; the station runs on whatever a client does.
#pragma once

#include <chrono>
#include <map>
#include <memory>
#include <optional>
#include <string>
#include <thread>

#include "app/station.h"
#include "console/station_add_on.h"
#include "console/typed_commands.h"
#include "web/station_feed.h"
#include "web/web_access.h"
#include "web/web_schedule.h"

struct MHD_Daemon;
struct MHD_Connection;
struct MHD_Response;

namespace sked::web {

struct WebConfig {
    std::string host = "127.0.0.1";
    int port = 0;
    std::optional<std::string> passwordHash;  // none: no login, loopback only
    bool publicStatus = false;
    std::string certPem, keyPem;  // both given: HTTPS
};

class WebServer : public StationAddOn {
public:
    // A page takes a handful (its event stream, a few requests at a time); a flood is cut short, and so is the
    // work one run of the server does for it between two characters.
    static constexpr unsigned kMaxConnections = 32;
    static constexpr std::size_t kMaxHeaderBytes = 32 * 1024;  // the request line and headers of one request
    static constexpr std::size_t kMaxCommandBytes = 4096;
    static constexpr unsigned kIdleTimeoutSeconds = 30;
    // A request must have arrived whole by then (a client dribbling its headers is cut off).
    static constexpr std::chrono::seconds kRequestDeadline{10};
    static constexpr std::chrono::seconds kUploadDeadline{120};
    // Unsent events a page may leave behind before it is dropped.
    static constexpr std::size_t kMaxPendingEvents = 1 << 20;
    static constexpr const char* kCookie = "skedcast_session";

    WebServer(Station& station, WebConfig config);
    ~WebServer() override;
    WebServer(const WebServer&) = delete;
    WebServer& operator=(const WebServer&) = delete;

    // Binds and listens; false with the reason when it cannot.
    bool Open(std::string& problem);
    // "http://127.0.0.1:8080/" as bound (the port the system chose for port 0).
    std::string Url() const;

    struct Request;
    struct Connection;
    struct EventClient;

private:
    // libmicrohttpd's callbacks, each on the loop's thread.
    struct Callbacks;
    friend struct Callbacks;

    int Respond(MHD_Connection* connection, Request& request);
    int Route(MHD_Connection* connection, Request& request);
    int Reply(MHD_Connection* connection, unsigned status, const std::string& body, const char* type,
              const std::string& cookie = "");
    int Refuse(MHD_Connection* connection, Request& request, unsigned status, const std::string& why);
    int Login(MHD_Connection* connection, Request& request);
    int OpenEvents(MHD_Connection* connection, Request& request);
    int Command(MHD_Connection* connection, Request& request);
    int ReadFile(MHD_Connection* connection, Request& request);
    int WriteFile(MHD_Connection* connection, Request& request);
    int SessionInfo(MHD_Connection* connection, Request& request);
    int Schedule(MHD_Connection* connection, Request& request);
    const Sessions::Session* SessionOf(MHD_Connection* connection);
    bool HostAllowed(MHD_Connection* connection) const;
    std::string SessionCookie(const std::string& token) const;

    void LogRefusal(const std::string& text);
    void RunServer();
    void RunSoon();
    void Housekeeping();
    void SendChanges();

    Station& station_;
    WebConfig config_;
    TypedCommands commands_;
    StationFeed feed_;
    WebSchedule schedule_;
    LoginLimiter limiter_;
    Sessions sessions_;
    MHD_Daemon* daemon_ = nullptr;
    int watch_ = 0;
    int boundPort_ = 0;
    bool runPosted_ = false;
    Timer timeout_;
    Timer housekeeping_;
    std::map<Connection*, bool> connections_;
    std::map<EventClient*, bool> eventClients_;
    Steady lastSend_{};
    // The password check under way beside the loop (one at a time).
    std::thread checker_;
    bool checking_ = false;
    MHD_Connection* suspended_ = nullptr;  // the login waiting for it
    // Refusals logged this second, and those left out of the log since.
    Steady refusalSecond_{};
    int refusalsThisSecond_ = 0;
    int refusalsNotLogged_ = 0;
    // Shared with calls posted to the loop, so that one still queued when the server goes finds it gone.
    std::shared_ptr<WebServer*> self_;
};

// The station's starter for the page (--http and its options), for StationAddOns().
std::unique_ptr<StationAddOn> StartWebPage(Station& station, const RunOptions& options, std::string& problem);

// skedcast passwd FILE: reads the password (without echo at a terminal) and writes its hash.
int PasswordCommand(int argc, char** argv);

}  // namespace sked::web
