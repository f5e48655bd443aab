// Operator command lines of any shape, fed to a whole station's console on a timer as from standard input (also
// mid-transmission), then shut down as on SIGTERM: no crash, no undefined behaviour, no port left keyed.
#include <chrono>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <ctime>
#include <filesystem>
#include <fstream>
#include <map>
#include <string>
#include <string_view>

#include "app/station.h"
#include "console/console_front_end.h"
#include "console/line_reader.h"
#include "fuzz_zone.h"
#include "platform/message_box.h"
#include "platform/simulated_event_loop.h"
#include "serial/emulated_ports.h"
#include "serial/uart_timeline.h"

namespace {

using namespace sked;

constexpr auto kFeedPeriod = std::chrono::milliseconds(700);
constexpr int kMaxLines = 64;  // enough for every command and a few transmissions; more only slows the search

// A schedule that falls due within the first minute, small files to send, the test and identification texts.
constexpr const char* kDataFiles[][2] = {
    {"schedule.lst", "01/01/2026 12:00:06 x.txt   // first bulletin\ny.txt\n01/01/2026 12:00:30 $TX\n"
                     "01/01/2026 12:00:31 $B50\n01/01/2026 12:00:32 $CWID\n01/01/2026 12:00:40 $RX\n"},
    {"x.txt", "QST ^D ^T\nRYRY\n"}, {"y.txt", "DE QZ0XB\n"}, {"header.txt", "ZCZC\n"}, {"footer.txt", "NNNN\n"},
    {"thefox.txt", "THE QUICK BROWN FOX\n"}, {"RYRYRYRY.txt", "RYRYRY\n"}, {"cwid.txt", "QZ0XB\n"}};

struct NoBoxes : MessageBoxService { void Show(const std::string&, const std::string&, BoxIcon) override {} };

// Each port's keying line as its last write left it; whether it went on during the shut-down tells findings apart.
struct KeyWatch : UartObserver {
    void OnUartEvent(const UartEvent& event) override {
        if (event.kind != UartEventKind::kMcr) return;
        keyed[event.base] = event.keyOn;
        keyedWhileClosing |= closing && event.keyOn;
    }
    std::map<std::uint16_t, bool> keyed;
    bool closing = false, keyedWhileClosing = false;
};

std::FILE* output = nullptr;  // stdout with CONSOLE_FUZZ_SHOW=1
std::time_t start;

}  // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) {
    start = PinFuzzZoneAndStart();
    // CONSOLE_FUZZ_SHOW=1 prints what the console shows and keeps the scratch folder, to follow a finding.
    const bool show = std::getenv("CONSOLE_FUZZ_SHOW");
    output = show ? stdout : std::fopen("/dev/null", "w");
    // data/ and log/ are made afresh for every input: in a scratch folder, never where a station keeps its own.
    static char path[] = "skedcast-console-fuzz-XXXXXX";
    if (!output || !::mkdtemp(path)) std::abort();
    static const std::filesystem::path scratch = std::filesystem::absolute(path);
    std::filesystem::current_path(scratch);
    if (!show) std::atexit([] { std::error_code ignored; std::filesystem::remove_all(scratch, ignored); });
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    for (const char* folder : {"data", "log"})
        std::filesystem::remove_all(folder), std::filesystem::create_directory(folder);
    for (const auto& file : kDataFiles) std::ofstream(std::string("data/") + file[0], std::ios::binary) << file[1];
    LineReader reader;
    reader.Push(std::string_view(reinterpret_cast<const char*>(data), size));
    reader.Finish();

    KeyWatch watch;
    SimulatedEventLoop loop(std::chrono::system_clock::from_time_t(start));
    EmulatedPorts ports(loop.clock());
    ports.AddObserver(&watch);
    NoBoxes boxes;
    Station station(loop, ports, boxes);
    ConsoleFrontEnd console(station, output);
    console.WatchFields();
    if (!station.StartUp("QZ0XB 2 RTS")) std::abort();
    Timer feeder(loop, [&, lines = 0]() mutable {
        if (loop.QuitRequested()) return;
        auto line = reader.Next();
        if (!line || ++lines > kMaxLines) {
            feeder.Stop();
            station.RequestShutdown();
        } else if (!line->tooLong) {
            console.HandleLine(line->text);
        }
    });
    feeder.Every(kFeedPeriod);
    loop.Run();
    feeder.Stop();
    watch.closing = true;
    station.ShutDown();
    ports.Sync();
    std::fflush(output);

    for (const auto& [base, keyed] : watch.keyed) {
        if (!keyed) continue;
        std::fprintf(stderr, "console_fuzz: the keying line is still on at port 0x%X after shut-down%s\n", base,
                     watch.keyedWhileClosing ? " (keyed again during the shut-down)" : "");
        std::abort();
    }
    return 0;
}
