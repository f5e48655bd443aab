// Operator command lines of any shape, typed into a whole station on the
// simulated clock: no crash, no undefined behaviour, and once the station has
// shut down the transmitter is not left keyed on any port it touched.
//
// The input is standard input as the console reads it: pieces go through the
// LineReader, and each complete line is handed to the console on a feed timer
// of the event loop, as the standard-input watch would hand it over. Lines
// therefore also arrive in the middle of a scheduled transmission; a blank
// line is a pause of one feed period. A line that starts a transmission of its
// own runs to its end before the next line is read, as on the real console.
// After the last line the station is asked to shut down (as SIGTERM does),
// runs until it quits and closes its window.
#include <chrono>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <ctime>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <map>
#include <string>
#include <string_view>

#include <unistd.h>

#include "app/station.h"
#include "transmit/station_state.h"
#include "console/console_front_end.h"
#include "console/line_reader.h"
#include "fuzz_zone.h"
#include "serial/emulated_uart.h"
#include "platform/message_box.h"
#include "platform/simulated_event_loop.h"
#include "serial/uart_timeline.h"
#include "scheduler/dispatcher.h"

namespace {

using namespace sked;

constexpr int kFeedTimer = 950;  // beside the station's own timers
constexpr auto kFeedPeriod = std::chrono::milliseconds(700);
// Enough for every command and a few transmissions; longer inputs only slow the search.
constexpr int kMaxLines = 64;

class OkMessageBox : public MessageBoxService {
public:
    int Show(const std::string&, const std::string&, BoxIcon) override { return 1; }
    void Beep() override {}
};

// Whether each port's keying line is on as its last write left it, and whether the key went down
// again once the window was being closed (to tell the findings apart).
class McrWatch : public UartObserver {
public:
    void OnUartEvent(const UartEvent& event) override {
        if (event.kind != UartEventKind::kMcr) return;
        keyed[event.base] = event.keyOn;
        if (closing && event.keyOn) keyedWhileClosing = true;
    }
    std::map<std::uint16_t, bool> keyed;  // the keying line as the last write left it
    bool closing = false;
    bool keyedWhileClosing = false;
};

void WriteFile(const std::string& path, const std::string& content) { std::ofstream(path, std::ios::binary) << content; }

// A fresh data/ and log/: a schedule that falls due within the first minute,
// small files to send, the station's test and identification texts.
void FreshFolders() {
    std::filesystem::remove_all("data");
    std::filesystem::remove_all("log");
    std::filesystem::create_directory("data");
    std::filesystem::create_directory("log");
    WriteFile("data/schedule.lst",
              "01/01/2026 12:00:06 x.txt   // first bulletin\n"
              "y.txt\n"
              "01/01/2026 12:00:30 $TX\n"
              "01/01/2026 12:00:31 $B50\n"
              "01/01/2026 12:00:32 $CWID\n"
              "01/01/2026 12:00:40 $RX\n");
    WriteFile("data/x.txt", "QST ^D ^T\nRYRY\n");
    WriteFile("data/y.txt", "DE QZ0XB\n");
    WriteFile("data/header.txt", "ZCZC\n");
    WriteFile("data/footer.txt", "NNNN\n");
    WriteFile("data/thefox.txt", "THE QUICK BROWN FOX\n");
    WriteFile("data/RYRYRYRY.txt", "RYRYRY\n");
    WriteFile("data/cwid.txt", "QZ0XB\n");
}

std::string ReadFile(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), {});
}

std::FILE* output = nullptr;
std::time_t start;

}  // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) {
    start = PinFuzzZoneAndStart();
    // One scratch working directory for the whole run, in the folder the
    // fuzzer runs in (scripts/fuzz.sh gives it one of its own, removed
    // afterwards even when a finding ends the run at once); data/ and log/
    // are made afresh for every input.
    static std::filesystem::path scratch = [] {
        char path[] = "skedcast-console-fuzz-XXXXXX";
        if (!::mkdtemp(path)) std::abort();
        return std::filesystem::absolute(path);
    }();
    std::filesystem::current_path(scratch);
    std::atexit([] {
        std::error_code ignored;
        std::filesystem::current_path("/", ignored);
        std::filesystem::remove_all(scratch, ignored);
    });
    // CONSOLE_FUZZ_SHOW=1 prints what the console shows, to follow a finding.
    output = std::getenv("CONSOLE_FUZZ_SHOW") ? stdout : std::fopen("/dev/null", "w");
    if (!output) std::abort();
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    FreshFolders();

    LineReader reader;
    reader.Push(std::string_view(reinterpret_cast<const char*>(data), size));
    reader.Finish();

    McrWatch watch;
    {
        SimulatedEventLoop loop(std::chrono::system_clock::from_time_t(start));
        EmulatedPortIo port(loop.clock());
        port.AddObserver(&watch);
        OkMessageBox boxes;
        Station station(loop, port, boxes);
        port.SetLineMasks([&station] {
            return LineMasks{static_cast<std::uint8_t>(station.state.keyLine),
                             static_cast<std::uint8_t>(station.state.powerLine)};
        });
        ConsoleFrontEnd console(station, output);
        console.WatchFields();
        if (!station.SetupWindow("QZ0XB 2 RTS")) std::abort();

        int lines = 0;
        bool feeding = false;  // a line's own transmission is under way
        auto feed = [&] {
            if (feeding || loop.QuitRequested()) return;
            feeding = true;
            auto line = reader.Next();
            if (!line || ++lines > kMaxLines) {
                loop.StopTimer(kFeedTimer);
                station.RequestShutdown();
            } else if (!line->tooLong) {
                console.HandleLine(line->text);
            }
            feeding = false;
        };
        loop.SetTimerHandler([&](int id) {
            if (id == kFeedTimer) feed();
            else station.OnTimer(id);
        });
        loop.StartTimer(kFeedTimer, kFeedPeriod);
        loop.Run();
        watch.closing = true;
        station.DestroyWindow();
        port.Sync();
        if (output == stdout)
            for (const auto& file : std::filesystem::directory_iterator("log"))
                std::printf("---- %s\n%s", file.path().c_str(), ReadFile(file.path()).c_str());
        std::fflush(output);

        for (const auto& [base, keyed] : watch.keyed) {
            if (keyed) {
                std::fprintf(stderr, "console_fuzz: the keying line is still on at port 0x%X after shut-down%s\n",
                             base, watch.keyedWhileClosing ? " (keyed again while the window was closing)" : "");
                std::abort();
            }
        }
    }
    return 0;
}
