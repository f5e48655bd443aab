// Runs the station under a front end: the back ends the options pick, the
// station, its start-up, the loop and its shut-down. The headless console
// and the window share it; each front end supplies its loop and its boxes.
#pragma once

#include <chrono>
#include <cstdio>
#include <ctime>
#include <memory>
#include <optional>
#include <stdexcept>

#include <unistd.h>

#include "app/audio_backend.h"
#include "app/command_line.h"
#include "app/run_options.h"
#include "app/serial_backend.h"
#include "app/settings_keeper.h"
#include "app/shutdown_signals.h"
#include "app/station.h"
#include "audio/alsa_wave_device.h"
#include "audio/onair_renderer.h"
#include "console/console_front_end.h"
#include "console/control_server.h"
#include "console/service_notifier.h"
#include "console/station_add_on.h"
#include "platform/poll_event_loop.h"
#include "platform/simulated_event_loop.h"
#include "platform/text_format.h"

namespace sked {


// The headless front end: the real-clock or simulated loop, boxes printed and
// answered at once, fields to standard output and commands from standard input.
class ConsoleRun {
public:
    explicit ConsoleRun(const RunOptions& options) {
        if (options.simulate) {
            std::time_t from = options.simulateFrom ? options.simulateFrom : std::time(nullptr);
            loop_ = std::make_unique<SimulatedEventLoop>(std::chrono::system_clock::from_time_t(from));
        } else {
            loop_ = std::make_unique<PollEventLoop>();
        }
    }
    EventLoop& Loop() { return *loop_; }
    MessageBoxService& Boxes() { return boxes_; }
    void Attach(Station& station) {
        console_ = std::make_unique<ConsoleFrontEnd>(station, stdout);
        console_->WatchFields();
    }
    void Started() { console_->WatchInput(STDIN_FILENO); }
    void Linger() {}
    void Finished() { console_->StopInput(); }
    void Detach() { console_.reset(); }

private:
    std::unique_ptr<EventLoop> loop_;
    ConsoleMessageBox boxes_;
    std::unique_ptr<ConsoleFrontEnd> console_;
};

// The keying device --ptt or the kept settings name, opened and released;
// the serial line unless another is named. False, said on standard error
// and in the log, when it cannot be opened.
inline bool UseKeyingDevice(Station& station, const RunOptions& options, const KeptSettings& kept) {
    PttSetting setting;
    if (options.ptt) setting = *options.ptt;
    else if (kept.ptt) ReadPttSetting(*kept.ptt, setting);
    if (setting.kind == PttSetting::Kind::Serial) return true;
    std::string why;
    std::unique_ptr<KeyingDevice> device = OpenKeyingDevice(setting, why);
    if (!device) {
        std::fprintf(stderr, "skedcast: --ptt=%s: %s\n", setting.text.c_str(), why.c_str());
        station.log.LogEvent("Keying : " + why);
        return false;
    }
    station.log.LogEvent("Keying : " + device->Name() + " keys the transmitter");
    station.transmitter.UseKeyingDevice(std::move(device));
    return true;
}

// Takes the front end off the station on every way out, before the station goes.
template <class FrontEnd>
struct Detaching {
    FrontEnd& front;
    ~Detaching() { front.Detach(); }
};

// The station, its back ends and the run's options, the same whichever
// front end the operator has.
template <class FrontEnd>
int RunStation(const RunOptions& options, FrontEnd& front) {
    EventLoop& loop = front.Loop();

    std::optional<std::string> authentication;
    if (!options.authFile.empty()) {
        std::string problem;
        authentication = ReadAuthenticationFile(options.authFile, problem);
        if (!authentication) {
            std::fprintf(stderr, "skedcast: --auth-file %s\n", problem.c_str());
            return kConfigurationError;
        }
    }
    // A device that is not there (yet) is not a configuration error: a
    // service tries again, and a USB adapter plugged back in is found.
    std::unique_ptr<SerialBackend> serial;
    try {
        serial = MakeSerialBackend(options, loop.clock());
    } catch (const std::exception& e) {
        std::fprintf(stderr, "skedcast: %s\n", e.what());
        return 1;
    }

    // Outlives the station, whose tone generators write to it.
    std::unique_ptr<WaveDevice> audio = MakeAudioBackend(options, loop.clock());
    Station station(loop, *serial->ports, front.Boxes());
    std::vector<std::string> cardNames;
    if (options.audio == RunOptions::Audio::Alsa) {
        for (const AlsaCard& card : ListAlsaCards()) {
            if (cardNames.size() <= static_cast<std::size_t>(card.deviceIndex)) cardNames.resize(card.deviceIndex + 1);
            cardNames[static_cast<std::size_t>(card.deviceIndex)] = card.name;
        }
    }
    station.UseAudio(*audio, options.simulate, std::move(cardNames));
    if (options.noiseDb) station.SetSignalToNoise(*options.noiseDb);
    if (serial->onAir) {
        serial->onAir->SetProblemReporter([&station](const std::string& problem) {
            station.view.ShowStatus(problem);
            station.log.LogEvent("On-air audio : " + problem);
        });
    }
    Detaching<FrontEnd> detach{front};
    front.Attach(station);
    // Steering and watching from other programs; gone before the station is.
    std::unique_ptr<ControlServer> control;
    if (!options.controlPath.empty()) {
        control = std::make_unique<ControlServer>(station);
        std::string problem;
        if (!control->Open(options.controlPath, problem)) {
            std::fprintf(stderr, "skedcast: --control=%s: %s\n", options.controlPath.c_str(), problem.c_str());
            return kConfigurationError;
        }
    }

    // The web page, when this program has one and the options ask for it.
    std::unique_ptr<StationAddOn> addOn;
    if (const AddOnStarter& start = StationAddOns()) {
        std::string problem;
        addOn = start(station, options, problem);
        if (!addOn && !problem.empty()) {
            std::fprintf(stderr, "skedcast: %s\n", problem.c_str());
            return kConfigurationError;
        }
    }

    ShutdownSignals signals(loop, [&](int signal) {
        // The editor alone keeps no log: the signal just ends it.
        if (!station.editorOnly()) station.log.LogEvent(SignalName(signal) + " : Shutting down");
        station.RequestShutdown();
    });

    int status = 0;
    try {
        if (!station.StartUp(JoinParameters(options.parameters))) {
            front.Linger();
            return station.exitStatus();
        }
        // The operator's kept settings (skedcast.conf); the options below override them for this run.
        SettingsKeeper kept(station);
        if (!kept.ApplyAtStart(options.noiseDb.has_value())) {
            station.ShutDown();
            front.Linger();
            throw StationExit{kConfigurationError};
        }
        // What a service needs before its first entry, as the window's fields would set it.
        StationCommands& commands = station.commands;
        if (options.soundCard) commands.SoundCard(*options.soundCard);
        if (options.netAddress) commands.NetAddress(*options.netAddress);
        if (authentication) commands.Authentication(*authentication);
        if (options.netPort) commands.NetPort(*options.netPort);
        if (options.cwTimer) commands.CwTimer(*options.cwTimer);
        if (options.fskShaping) commands.FskShaping(*options.fskShaping);
        if (!UseKeyingDevice(station, options, kept.kept())) {
            station.ShutDown();
            front.Linger();
            throw StationExit{1};  // a device not there (yet): a service tries again
        }
        const int timeOut = options.txTimeoutMinutes.value_or(kept.kept().txTimeoutMinutes.value_or(0));
        if (timeOut > 0) {
            station.transmitter.SetTimeOut(std::chrono::minutes(timeOut));
            station.log.LogEvent(Format("Transmit time-out of %d minutes", timeOut));
        }
        front.Started();
        if (options.enable) commands.Enable();
        ServiceNotifier service(station);
        service.Ready();

        Timer runFor(loop, [&station] { station.RequestShutdown(); });
        Timer idleCheck(loop, [&station] {
            if (station.Idle()) station.RequestShutdown();
        });
        if (options.runFor) {
            const auto period = std::chrono::milliseconds(static_cast<long long>(*options.runFor * 1000.0));
            if (period <= std::chrono::milliseconds(0)) station.RequestShutdown();
            else runFor.After(period);
        }
        if (options.exitWhenIdle) idleCheck.Every(std::chrono::seconds(1));

        loop.Run();
        service.Stopping();
        front.Finished();
        station.ShutDown();
    } catch (const StationExit& exit) {
        status = exit.status;
    }
    serial->Finish(loop.clock().Now());
    return status;
}

}  // namespace sked
