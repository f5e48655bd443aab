// Bytes of any shape from a client of the control socket, fed to a whole station on the simulated clock (some
// of them mid-transmission), the replies read as they come: every reply line must be a JSON object that says
// "ok" or is an event, the station must run on, and no port may be left keyed.
#include <chrono>
#include <cstdint>
#include <cstdlib>
#include <filesystem>
#include <cstring>
#include <fstream>
#include <map>
#include <string>

#include <sys/socket.h>
#include <sys/un.h>
#include <unistd.h>

#include <nlohmann/json.hpp>

#include "app/station.h"
#include "console/control_server.h"
#include "fuzz_zone.h"
#include "platform/message_box.h"
#include "platform/simulated_event_loop.h"
#include "serial/emulated_ports.h"
#include "serial/uart_timeline.h"

namespace {

using namespace sked;

constexpr auto kRunFor = std::chrono::seconds(90);
constexpr auto kReadPeriod = std::chrono::milliseconds(300);

constexpr const char* kDataFiles[][2] = {
    {"schedule.lst", "01/01/2026 12:00:06 x.txt\n01/01/2026 12:00:30 $CWID\n"}, {"x.txt", "QST QST\nRYRY\n"},
    {"header.txt", "ZCZC\n"}, {"footer.txt", "NNNN\n"}, {"cwid.txt", "QZ0XB\n"}, {"thefox.txt", "FOX\n"},
    {"RYRYRYRY.txt", "RY\n"}};

struct NoBoxes : MessageBoxService { void Show(const std::string&, const std::string&, BoxIcon) override {} };

// Each port's keying line as its last write left it.
struct KeyWatch : UartObserver {
    void OnUartEvent(const UartEvent& event) override {
        if (event.kind == UartEventKind::kMcr) keyed[event.base] = event.keyOn;
    }
    std::map<std::uint16_t, bool> keyed;
};

std::time_t start;

void CheckReplies(std::string& pending) {
    for (auto end = pending.find('\n'); end != std::string::npos; end = pending.find('\n')) {
        const auto reply = nlohmann::json::parse(pending.substr(0, end), nullptr, false);
        if (reply.is_discarded() || !reply.is_object() || !(reply.contains("ok") || reply.contains("event"))) {
            std::fprintf(stderr, "control_fuzz: a reply that is not one: %s\n", pending.substr(0, end).c_str());
            std::abort();
        }
        pending.erase(0, end + 1);
    }
}

}  // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) {
    start = PinFuzzZoneAndStart();
    static char path[] = "skedcast-control-fuzz-XXXXXX";
    if (!::mkdtemp(path)) std::abort();
    static const std::filesystem::path scratch = std::filesystem::absolute(path);
    std::filesystem::current_path(scratch);
    std::atexit([] { std::error_code ignored; std::filesystem::remove_all(scratch, ignored); });
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    for (const char* folder : {"data", "log"})
        std::filesystem::remove_all(folder), std::filesystem::create_directory(folder);
    for (const auto& file : kDataFiles) std::ofstream(std::string("data/") + file[0], std::ios::binary) << file[1];

    SimulatedEventLoop loop(std::chrono::system_clock::from_time_t(start));
    EmulatedPorts ports(loop.clock());
    KeyWatch watch;
    ports.AddObserver(&watch);
    NoBoxes boxes;
    Station station(loop, ports, boxes);
    if (!station.StartUp("QZ0XB 2 RTS")) std::abort();
    station.commands.Enable();
    std::string pending;
    {
        ControlServer server(station);
        std::string problem;
        if (!server.Open("control", problem)) std::abort();
        const int client = ::socket(AF_UNIX, SOCK_STREAM | SOCK_NONBLOCK | SOCK_CLOEXEC, 0);
        sockaddr_un address{};
        address.sun_family = AF_UNIX;
        std::strcpy(address.sun_path, "control");
        if (client < 0 || ::connect(client, reinterpret_cast<sockaddr*>(&address), sizeof address) != 0) std::abort();
        std::size_t written = 0;
        Timer feed(loop, [&] {
            // As much of the input as the socket takes, then the replies so far; the end of the input closes
            // the client's sending half, as a script's would.
            if (written < size) {
                const ssize_t n = ::send(client, data + written, size - written, MSG_NOSIGNAL);
                if (n > 0) written += static_cast<std::size_t>(n);
                if (written == size) ::shutdown(client, SHUT_WR);
            }
            char buffer[65536];
            for (ssize_t n; (n = ::recv(client, buffer, sizeof buffer, 0)) > 0;) pending.append(buffer, static_cast<std::size_t>(n));
            CheckReplies(pending);
        });
        if (size == 0) ::shutdown(client, SHUT_WR);
        feed.Every(kReadPeriod);
        Timer end(loop, [&] { station.RequestShutdown(); });
        end.After(kRunFor);
        loop.Run();
        ::close(client);
    }
    station.ShutDown();
    ports.Sync();
    for (const auto& [base, keyed] : watch.keyed) {
        if (!keyed) continue;
        std::fprintf(stderr, "control_fuzz: the keying line is still on at port 0x%X after shut-down\n", base);
        std::abort();
    }
    return 0;
}
