// The page's start from the run's options, and `skedcast passwd`.
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <fstream>
#include <iostream>
#include <sstream>

#include <sodium.h>
#include <termios.h>
#include <unistd.h>

#include "app/kept_settings.h"
#include "web/web_server.h"

namespace sked::web {

namespace {

bool ReadWhole(const std::string& path, std::string& content, std::string& problem) {
    std::ifstream file(path, std::ios::binary);
    if (!file) {
        problem = path + ": " + std::strerror(errno);
        return false;
    }
    std::ostringstream text;
    text << file.rdbuf();
    content = text.str();
    return true;
}

// One line of standard input; at a terminal without echo.
bool ReadPassword(const char* prompt, std::string& password) {
    termios saved{};
    const bool terminal = ::isatty(STDIN_FILENO) && ::tcgetattr(STDIN_FILENO, &saved) == 0;
    if (terminal) {
        std::fputs(prompt, stderr);
        termios quiet = saved;
        quiet.c_lflag &= ~static_cast<tcflag_t>(ECHO);
        ::tcsetattr(STDIN_FILENO, TCSAFLUSH, &quiet);
    }
    const bool read = static_cast<bool>(std::getline(std::cin, password));
    if (terminal) {
        ::tcsetattr(STDIN_FILENO, TCSAFLUSH, &saved);
        std::fputs("\n", stderr);
    }
    if (!password.empty() && password.back() == '\r') password.pop_back();
    return read;
}

}  // namespace

std::unique_ptr<StationAddOn> StartWebPage(Station& station, const RunOptions& given, std::string& problem) {
    // The kept settings' [web] section where the options say nothing (a file that does not read is the
    // settings keeper's to report, and ends the station then).
    RunOptions options = given;
    KeptSettings kept;
    std::string unread;
    if (ReadKeptSettings(KeptSettings::kFile, kept, unread)) {
        if (options.httpHost.empty() && kept.webAddress)
            ParseHttpAddress(*kept.webAddress, options.httpHost, options.httpPort, unread);
        if (options.httpPasswordFile.empty() && kept.webPasswordFile) options.httpPasswordFile = *kept.webPasswordFile;
        if (!options.httpPublicStatus && kept.webPublicStatus) options.httpPublicStatus = *kept.webPublicStatus;
        problem = HttpOptionsProblem(options);
        if (!problem.empty()) {
            problem = std::string(KeptSettings::kFile) + " [web] with the options: " + problem;
            return nullptr;
        }
    }
    if (options.httpHost.empty()) return nullptr;
    WebConfig config;
    config.host = options.httpHost;
    config.port = options.httpPort;
    config.publicStatus = options.httpPublicStatus;
    if (!options.httpPasswordFile.empty()) {
        config.passwordHash = ReadPasswordHash(options.httpPasswordFile, problem);
        if (!config.passwordHash) {
            problem = "--http-password-file=" + problem;
            return nullptr;
        }
    }
    if (!options.httpCert.empty() && (!ReadWhole(options.httpCert, config.certPem, problem) ||
                                      !ReadWhole(options.httpKey, config.keyPem, problem))) {
        problem = "--http-cert/--http-key: " + problem;
        return nullptr;
    }
    auto server = std::make_unique<WebServer>(station, std::move(config));
    if (!server->Open(problem)) return nullptr;
    // The address taken (with port 0, the port the system chose): for the operator and for scripts.
    std::printf("skedcast: web page at %s\n", server->Url().c_str());
    std::fflush(stdout);
    station.log.LogEvent("Web : page at " + server->Url());
    return server;
}

int PasswordCommand(int argc, char** argv) {
    if (argc != 1 || std::strcmp(argv[0], "--help") == 0) {
        std::fputs("Usage: skedcast passwd FILE\n"
                   "  reads the web page's password from standard input (without echo at a terminal)\n"
                   "  and writes its hash to FILE (mode 0600), for --http-password-file=FILE\n",
                   argc == 1 ? stdout : stderr);
        return argc == 1 ? 0 : 2;
    }
    std::string password, again;
    if (!ReadPassword("Password: ", password)) {
        std::fputs("skedcast passwd: no password given\n", stderr);
        return 2;
    }
    if (::isatty(STDIN_FILENO) && (!ReadPassword("Again: ", again) || again != password)) {
        std::fputs("skedcast passwd: the two passwords differ\n", stderr);
        return 2;
    }
    if (password.size() < 8) {
        std::fputs("skedcast passwd: the password must have at least 8 characters\n", stderr);
        return 2;
    }
    std::string problem;
    const bool written = WritePasswordHash(argv[0], password, problem);
    ::sodium_memzero(password.data(), password.size());
    if (!written) {
        std::fprintf(stderr, "skedcast passwd: %s\n", problem.c_str());
        return 1;
    }
    std::printf("skedcast passwd: the hash is in %s\n", argv[0]);
    return 0;
}

}  // namespace sked::web
