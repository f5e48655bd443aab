// Whether a display answers, asked before Qt is started: Qt ends the whole
// process when it cannot open its display, and a station started with a
// stale DISPLAY (a service, a closed remote session) must run headless
// instead.
#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <string>

#include <unistd.h>

#include "platform/display_probe.h"
#include "platform/unix_socket.h"

namespace sked {

namespace {

// Whether a server answers at `path`; why not in `problem`.
bool Answers(const std::string& path, bool abstractName, std::string& problem) {
    const int fd = ConnectUnix(path, abstractName);
    if (fd < 0) {
        problem = path + ": " + (errno == ENAMETOOLONG ? "name too long" : std::strerror(errno));
        return false;
    }
    ::close(fd);
    return true;
}

// ":N" or ":N.S" (or "unix:N"): the local X server's socket, abstract or in /tmp/.X11-unix.
bool LocalX(const std::string& display, std::string& problem) {
    std::string rest = display.substr(display.find(':') + 1);
    const std::string number = rest.substr(0, rest.find('.'));
    if (number.empty() || number.find_first_not_of("0123456789") != std::string::npos) {
        problem = "DISPLAY=" + display + " does not name a display";
        return false;
    }
    const std::string path = "/tmp/.X11-unix/X" + number;
    std::string abstractProblem;
    return Answers(path, true, abstractProblem) || Answers(path, false, problem);
}

}  // namespace

bool DisplayAvailable(std::string* problem) {
    std::string reason;
    // A platform named outright (offscreen, vnc, ...) is Qt's to open.
    const char* platform = std::getenv("QT_QPA_PLATFORM");
    if (platform && *platform && std::strncmp(platform, "xcb", 3) != 0 && std::strncmp(platform, "wayland", 7) != 0) {
        if (problem) problem->clear();
        return true;
    }
    const char* wayland = std::getenv("WAYLAND_DISPLAY");
    const char* x11 = std::getenv("DISPLAY");
    bool ok = false;
    if (wayland && *wayland) {
        std::string path = wayland;
        if (path[0] != '/') {
            const char* runtime = std::getenv("XDG_RUNTIME_DIR");
            path = std::string(runtime ? runtime : "") + "/" + path;
        }
        ok = Answers(path, false, reason);
    }
    if (!ok && x11 && *x11) {
        const std::string display = x11;
        // A remote display (host:N) is left to Qt to reach.
        if (display[0] == ':' || display.rfind("unix:", 0) == 0) ok = LocalX(display, reason);
        else ok = true;
    }
    if (!ok && reason.empty()) reason = "neither DISPLAY nor WAYLAND_DISPLAY is set";
    if (problem) *problem = ok ? "" : reason;
    return ok;
}

}  // namespace sked
