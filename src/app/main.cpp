// skedcast: the unattended teleprinter broadcast station.
#include <clocale>
#include <csignal>
#include <cstdio>
#include <memory>
#include <stdexcept>

#include <unistd.h>

#include "app/command_line.h"
#include "app/operator_controls.h"
#include "app/run_options.h"
#include "app/scheduler_dlg.h"
#include "app/serial_backend.h"
#include "app/shutdown_signals.h"
#include "console/console_front_end.h"
#include "platform/line_release.h"
#include "platform/poll_event_loop.h"
#include "platform/simulated_event_loop.h"
#include "scheduler/dispatcher.h"

#ifndef SKEDCAST_VERSION
#define SKEDCAST_VERSION "dev"
#endif

using namespace sked;

namespace {

// Our own timers, beside the station's 5 and 6.
constexpr int kRunForTimer = 900;
constexpr int kIdleCheckTimer = 901;

int RunStation(const RunOptions& options) {
    std::unique_ptr<EventLoop> loop;
    if (options.simulate) {
        std::time_t from = options.simulateFrom ? options.simulateFrom : std::time(nullptr);
        loop = std::make_unique<SimulatedEventLoop>(std::chrono::system_clock::from_time_t(from));
    } else {
        loop = std::make_unique<PollEventLoop>();
    }

    std::unique_ptr<SerialBackend> serial;
    try {
        serial = MakeSerialBackend(options, loop->clock());
    } catch (const std::exception& e) {
        std::fprintf(stderr, "skedcast: %s\n", e.what());
        return 1;
    }

    ConsoleMessageBox boxes;
    CSchedulerDlg dlg(*loop, *serial->port, boxes);
    serial->port->SetProblemReporter([&dlg](const std::string& problem) {
        dlg.w.statusLine.SetText(problem);
        dlg.log.LogEvent("Serial port : " + problem);
    });
    ConsoleFrontEnd console(dlg, stdout);
    console.WatchFields();

    ShutdownSignals signals(*loop, [&](int signal) {
        dlg.log.LogEvent(SignalName(signal) + " : Shutting down");
        dlg.RequestShutdown();
    });

    int status = 0;
    try {
        if (!dlg.SetupWindow(JoinParameters(options.parameters))) return dlg.exitStatus();
        console.WatchInput(STDIN_FILENO);
        if (options.enable) dlg.controls->CmEnable();

        auto stationTimers = [&](int id) {
            if (id == kRunForTimer) {
                loop->StopTimer(kRunForTimer);
                dlg.RequestShutdown();
            } else if (id == kIdleCheckTimer) {
                StationSettings& s = Settings();
                if (dlg.w.scheduleList.Count() == 0 && s.sending == 0 && s.transmitterOn == 0)
                    dlg.RequestShutdown();
            } else {
                dlg.dispatcher->OnTimer(id);
            }
        };
        loop->SetTimerHandler(stationTimers);
        if (options.runFor) {
            auto period = std::chrono::milliseconds(static_cast<long long>(*options.runFor * 1000.0));
            if (period <= std::chrono::milliseconds(0)) dlg.RequestShutdown();
            else loop->StartTimer(kRunForTimer, period);
        }
        if (options.exitWhenIdle) loop->StartTimer(kIdleCheckTimer, std::chrono::seconds(1));

        loop->Run();
        console.StopInput();
        dlg.DestroyWindow();
    } catch (const StationExit& exit) {
        status = exit.status;
    }
    serial->Finish(loop->clock().Now());
    return status;
}

}  // namespace

int main(int argc, char* argv[]) {
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
        std::printf("skedcast %s\n", SKEDCAST_VERSION);
        return 0;
    }
    if (!options.error.empty()) {
        std::fprintf(stderr, "skedcast: %s\n\n%s", options.error.c_str(), kUsageText);
        return 2;
    }
    if (!options.headless)
        std::fprintf(stderr, "skedcast: this build has no window yet; running headless.\n");
    return RunStation(options);
}
