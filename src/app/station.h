// The station: its settings, its window model and every part, wired
// together, with its start-up and shut-down. All of it lives on the one
// event-loop thread; a transmission is a state machine on that loop, so the
// station stays live in the middle of one.
#pragma once

#include <functional>
#include <memory>
#include <string>
#include <system_error>
#include <vector>

#include "app/event_log.h"
#include "app/main_window.h"
#include "app/mode_controls.h"
#include "app/station_commands.h"
#include "app/window_view.h"
#include "audio/fsk_oscillator.h"
#include "audio/noise_source.h"
#include "audio/psk31_sound.h"
#include "audio/wave_device.h"
#include "net/tcp_mirror.h"
#include "platform/event_loop.h"
#include "platform/message_box.h"
#include "scheduler/command_interpreter.h"
#include "scheduler/cw_identification.h"
#include "scheduler/dispatcher.h"
#include "scheduler/key_holding.h"
#include "scheduler/schedule_loader.h"
#include "scheduler/transmit_queue.h"
#include "serial/serial_line.h"
#include "transmit/air_encoder.h"
#include "transmit/psk_modem.h"
#include "transmit/station_settings.h"
#include "transmit/transmission.h"
#include "transmit/transmitter.h"

namespace sked {

// Ends the program from anywhere inside a handler (no timer left to run the
// station); main() catches it after the files are closed.
struct StationExit {
    int status;
};

class Station {
public:
    Station(EventLoop& loop, SerialPorts& ports, MessageBoxService& boxes);
    ~Station();
    Station(const Station&) = delete;
    Station& operator=(const Station&) = delete;

    // Start-up from the station's parameters ("QZ0XB 2 RTS"). Returns false
    // when the program is to end at once with exitStatus() (usage boxes,
    // editor-only operation).
    bool StartUp(const std::string& commandLine);
    // Shut-down: the ticks stop, the transmitter goes off, the end is logged.
    void ShutDown();
    // Asks the station to end: a transmission under way is cancelled first.
    void RequestShutdown();

    // The sound card's device, owned by the front end. `loopDriven`: on the
    // simulated clock the loop renders the audio instead of a thread.
    // `cardNames[n]` names card n+1 in the sound card list ("1 USB Audio CODEC").
    void UseAudio(WaveDevice& device, bool loopDriven, std::vector<std::string> cardNames = {});
    // The noise floor under the tones, in dB below them (at most 60).
    void SetSignalToNoise(double db) { signalToNoiseDb_ = db; }
    double SignalToNoise() const { return signalToNoiseDb_; }

    int exitStatus() const { return exitStatus_; }
    bool editorOnly() const { return editorOnly_; }
    // Nothing queued, nothing under way, the transmitter off.
    bool Idle() const { return queue.Empty() && !transmission.Busy() && !transmitter.On(); }

    // The schedule editor and the About box; front ends that have them
    // install the hooks.
    void OpenEditor();
    void ShowAbout();
    std::function<void()> editorHook;
    std::function<void()> aboutHook;

private:
    void ShowTitles();
    std::unique_ptr<ToneGenerator> MakeToneGenerator(const TonePair& tones);
    void SoundCardFailed(std::error_code error, const std::string& problem);
    void PskSoundFailed(std::error_code error, const std::string& problem);
    // Keeps the PSK31 modem up to the clock and its sound fed while on the air:
    // called again when the modem next has symbols to hand on.
    void PumpPsk();
    void ArmPskPump();
    // No timer left: the station cannot run without its tick.
    void FatalTimerStop();
    // What the keying needs was lost: the transmission under way ends, or
    // the key held on request is released.
    void KeyingLost(const std::string& reason);

public:
    EventLoop& loop;
    SerialPorts& ports;
    MessageBoxService& boxes;

    StationSettings settings;
    SchedulerState scheduler;
    MainWindow window;
    TransmitQueue queue;
    WindowView view;
    EventLog log;
    PskModem psk;
    TcpMirror mirror;
    AirEncoder encoder;
    Transmitter transmitter;
    Transmission transmission;
    CwIdentifier cwid;
    ModeControls modes;
    StationCommands commands;
    CommandInterpreter interpreter;
    ScheduleLoader loader;
    Dispatcher dispatcher;

private:
    int exitStatus_ = 0;
    bool editorOnly_ = false;
    WaveDevice* audioDevice_ = nullptr;
    bool audioLoopDriven_ = false;
    std::vector<std::string> cardNames_;
    double signalToNoiseDb_ = kRequestedSignalToNoiseDb;
    PhaseAccumulator tonePhase_;  // runs on across every transmission
    std::unique_ptr<Psk31Sound> pskSound_;
    Timer pskPump_;
};

}  // namespace sked
