#include "console/station_main.h"

#include <cerrno>
#include <clocale>
#include <cstdio>
#include <cstring>
#include <string>

#include <unistd.h>

#include "app/about_listing.h"
#include "app/schedule_check.h"
#include "console/control_client.h"
#include "console/station_run.h"
#include "platform/display_probe.h"
#include "serial/line_release.h"

namespace sked {

namespace {

constexpr const char* kWindowProgram = "skedcast-gui";

// The window when a display answers, unless --headless; the simulated clock
// runs ahead of any screen, so it is always headless.
bool WantWindow(const RunOptions& options) {
    if (options.headless) return false;
    if (options.simulate) {
        if (DisplayAvailable()) std::fprintf(stderr, "skedcast: the simulated clock runs headless.\n");
        return false;
    }
    std::string problem;
    if (DisplayAvailable(&problem)) return true;
    std::fprintf(stderr, "skedcast: no display (%s); running headless.\n", problem.c_str());
    return false;
}

// skedcast-gui in the folder of this program, when it is there to run.
std::string WindowProgramBeside() {
    char self[4096];
    const ssize_t n = ::readlink("/proc/self/exe", self, sizeof self - 1);
    if (n <= 0) return {};
    std::string path(self, static_cast<std::size_t>(n));
    path = path.substr(0, path.rfind('/') + 1) + kWindowProgram;
    return ::access(path.c_str(), X_OK) == 0 ? path : std::string();
}

// A build without windows: the window program takes over the run (nothing is
// open yet), or the station runs headless and says why. False when neither can be.
bool HandOverToWindows(char** argv, bool mustHaveWindow) {
    const std::string program = WindowProgramBeside();
    if (!program.empty()) {
        ::execv(program.c_str(), argv);
        std::fprintf(stderr, "skedcast: %s: %s\n", program.c_str(), std::strerror(errno));
    } else if (mustHaveWindow) {
        std::fprintf(stderr, "skedcast: the schedule editor is a window: install %s.\n", kWindowProgram);
    } else {
        std::fprintf(stderr, "skedcast: no windows in this build (install %s); running headless.\n", kWindowProgram);
    }
    return !mustHaveWindow;
}

}  // namespace

int StationMain(int argc, char** argv, WindowStarter* windows) {
    // The control client opens no port: it needs none of what follows.
    if (argc > 1 && std::strcmp(argv[1], "ctl") == 0) return RunControlClient(argc - 2, argv + 2);
    // Before any port is opened: no signal may end the station keyed.
    BlockTerminatingSignals();
    line_release::InstallCrashHandlers();
    // Day and month names of the date macros follow the operator's locale;
    // numbers keep the decimal point the tone fields are written with.
    std::setlocale(LC_TIME, "");

    RunOptions options = ParseRunOptions(argc, argv);
    if (options.help) {
        std::fputs(kUsageText, stdout);
        return 0;
    }
    if (options.version) {
        std::printf("skedcast %s\n", ProgramVersion());
        return 0;
    }
    if (!options.error.empty()) {
        std::fprintf(stderr, "skedcast: %s\n\n%s", options.error.c_str(), kUsageText);
        return kConfigurationError;
    }
    if (options.checkSchedule) {
        const bool simulated = options.simulate && options.simulateFrom != 0;
        return CheckSchedule(simulated ? options.simulateFrom : std::time(nullptr), stdout, options.checkPeriodSeconds);
    }
    const StationParameters parameters = ParseStationParameters(JoinParameters(options.parameters));
    // Port 0 opens the schedule editor alone: a window or nothing.
    const bool editorOnly = parameters.outcome == StationParameters::Outcome::EditorOnly;
    if (editorOnly) {
        std::string problem;
        if (!DisplayAvailable(&problem)) {
            std::fprintf(stderr, "skedcast: the schedule editor needs a display (%s).\n", problem.c_str());
            return 1;
        }
    }
    if (editorOnly || WantWindow(options)) {
        if (windows) {
            for (const std::string& warning : parameters.warnings) std::printf("skedcast: %s\n", warning.c_str());
            std::fflush(stdout);
            return windows->Run(options, argc, argv);
        }
        if (!HandOverToWindows(argv, editorOnly)) return 1;
    }
    // Parameters taken otherwise than perhaps meant: the station runs, and says so (the log too).
    for (const std::string& warning : parameters.warnings) std::printf("skedcast: %s\n", warning.c_str());
    std::fflush(stdout);
    ConsoleRun console(options);
    return RunStation(options, console);
}

}  // namespace sked
