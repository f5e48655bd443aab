#include "console/control_client.h"

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <string_view>

#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <nlohmann/json.hpp>

#include "platform/unix_socket.h"

namespace sked {

namespace {

using Json = nlohmann::json;

constexpr int kRefused = 1;
constexpr int kUsage = 2;
constexpr int kNoStation = 3;
constexpr int kReplyTimeoutMs = 30000;

constexpr const char* kUsageText =
    "usage: skedcast ctl [--station=NAME | --control=PATH] [--json] COMMAND [ARGUMENTS...]\n"
    "  Sends one console command to a running station and prints its reply;\n"
    "  'watch' prints the station's fields and running lines as they change.\n"
    "  The socket: --control=PATH, else /run/skedcast/NAME/control for --station=NAME,\n"
    "  else /run/skedcast/control. Type 'skedcast ctl help' for the commands.\n";

struct Connection {
    int fd = -1;
    std::string path;
    std::string buffer;
    ~Connection() {
        if (fd >= 0) ::close(fd);
    }

    bool Connect(std::string& problem) {
        fd = ConnectUnix(path);
        if (fd < 0) problem = std::strerror(errno);
        return fd >= 0;
    }

    bool SendLine(const std::string& line) {
        std::string_view rest = line;
        while (!rest.empty()) {
            const ssize_t n = ::send(fd, rest.data(), rest.size(), MSG_NOSIGNAL);
            if (n < 0 && errno == EINTR) continue;
            if (n <= 0) return false;
            rest.remove_prefix(static_cast<std::size_t>(n));
        }
        return true;
    }

    // The next reply line; false at the end of the connection or after
    // `timeoutMs` (-1: none) without one.
    bool ReadLine(std::string& line, int timeoutMs) {
        for (;;) {
            const auto end = buffer.find('\n');
            if (end != std::string::npos) {
                line = buffer.substr(0, end);
                buffer.erase(0, end + 1);
                return true;
            }
            pollfd ready{fd, POLLIN, 0};
            const int polled = ::poll(&ready, 1, timeoutMs);
            if (polled < 0 && errno == EINTR) continue;
            if (polled <= 0) return false;
            char chunk[4096];
            const ssize_t n = ::recv(fd, chunk, sizeof chunk, 0);
            if (n < 0 && errno == EINTR) continue;
            if (n <= 0) return false;
            buffer.append(chunk, static_cast<std::size_t>(n));
        }
    }
};

// A member of a reply, when it is there and of its kind.
std::string TextOf(const Json& value, const char* key) {
    const auto it = value.find(key);
    return it != value.end() && it->is_string() ? it->get<std::string>() : std::string();
}
bool FlagOf(const Json& value, const char* key) {
    const auto it = value.find(key);
    return it != value.end() && it->is_boolean() && it->get<bool>();
}

// A watch event as the console prints it: "21:00:03 line: RYRYRY".
void PrintEvent(const Json& event) {
    const std::string kind = TextOf(event, "event");
    const std::string label = kind == "field" ? TextOf(event, "field") : kind;
    std::printf("%s %s: %s\n", TextOf(event, "time").c_str(), label.c_str(), TextOf(event, "text").c_str());
}

}  // namespace

std::string DefaultControlPath(const std::string& station) {
    return station.empty() ? "/run/skedcast/control" : "/run/skedcast/" + station + "/control";
}

int RunControlClient(int argc, char** arguments) {
    std::string path, station, command;
    bool json = false;
    int i = 0;
    for (; i < argc; ++i) {
        const std::string_view argument = arguments[i];
        if (argument == "--json") json = true;
        else if (argument.starts_with("--control=")) path = argument.substr(10);
        else if (argument.starts_with("--station=")) station = argument.substr(10);
        else if (argument == "--help" || argument == "-h") {
            std::fputs(kUsageText, stdout);
            return 0;
        } else if (argument.starts_with("--")) {
            std::fprintf(stderr, "skedcast ctl: unknown option %s\n%s", arguments[i], kUsageText);
            return kUsage;
        } else break;
    }
    for (; i < argc; ++i) command += (command.empty() ? "" : " ") + std::string(arguments[i]);
    if (command.empty()) {
        std::fputs(kUsageText, stderr);
        return kUsage;
    }
    if (station.find_first_of("/") != std::string::npos || station == "." || station == "..") {
        std::fprintf(stderr, "skedcast ctl: --station=%s is not a station name\n", station.c_str());
        return kUsage;
    }
    if (command.find('\n') != std::string::npos) {
        std::fputs("skedcast ctl: a command is one line\n", stderr);
        return kUsage;
    }

    Connection station_socket;
    station_socket.path = path.empty() ? DefaultControlPath(station) : path;
    std::string problem;
    if (!station_socket.Connect(problem)) {
        std::fprintf(stderr, "skedcast ctl: no station answers at %s: %s\n", station_socket.path.c_str(),
                     problem.c_str());
        return kNoStation;
    }
    std::string line;
    if (!station_socket.SendLine(command + "\n") || !station_socket.ReadLine(line, kReplyTimeoutMs)) {
        std::fprintf(stderr, "skedcast ctl: no reply from the station at %s\n", station_socket.path.c_str());
        return kNoStation;
    }
    const Json reply = Json::parse(line, nullptr, false);
    if (reply.is_discarded() || !reply.is_object()) {
        std::fprintf(stderr, "skedcast ctl: the station at %s answered what is not JSON: %s\n",
                     station_socket.path.c_str(), line.c_str());
        return kNoStation;
    }
    if (json) std::printf("%s\n", line.c_str());
    if (!FlagOf(reply, "ok")) {
        if (!json) std::fprintf(stderr, "skedcast ctl: %s\n", TextOf(reply, "error").c_str());
        return kRefused;
    }
    if (!json) std::fputs(TextOf(reply, "text").c_str(), stdout);
    std::fflush(stdout);
    if (!FlagOf(reply, "watching")) return 0;

    // Watching: every event until the station goes (or the operator stops it).
    while (station_socket.ReadLine(line, -1)) {
        if (json) {
            std::printf("%s\n", line.c_str());
        } else {
            const Json event = Json::parse(line, nullptr, false);
            if (event.is_object() && event.contains("event")) PrintEvent(event);
        }
        std::fflush(stdout);
    }
    std::fprintf(stderr, "skedcast ctl: the station at %s closed the connection\n", station_socket.path.c_str());
    return 0;
}

}  // namespace sked
