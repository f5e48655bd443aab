// The station: its state, its window model and every subsystem, wired
// together, with start-up (SetupWindow) and shut-down (DestroyWindow). All
// of it lives on the one event-loop thread; sends handle events as they wait,
// so the station stays live in the middle of a transmission.
#pragma once

#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "app/event_log.h"
#include "app/main_window.h"
#include "app/mode_controls.h"
#include "app/station_commands.h"
#include "app/window_view.h"
#include "audio/afsk_generator.h"
#include "audio/psk31_sound.h"
#include "net/telnet.h"
#include "platform/event_loop.h"
#include "platform/message_box.h"
#include "serial/port_io.h"
#include "scheduler/command_interpreter.h"
#include "scheduler/cw_identification.h"
#include "scheduler/dispatcher.h"
#include "scheduler/key_holding.h"
#include "scheduler/schedule_loader.h"
#include "scheduler/transmit_queue.h"
#include "transmit/code_sender.h"
#include "transmit/file_sender.h"
#include "transmit/psk_modem.h"
#include "transmit/running_line.h"
#include "transmit/station_state.h"
#include "transmit/timing.h"
#include "transmit/transmitter_switch.h"
#include "transmit/uart.h"

namespace sked {

// Renders the audio that is due, while the loop drives the tone generator.
inline constexpr int kAudioTimer = 10;
// Brings the PSK31 modem up to the clock and feeds its sound, while on the air.
inline constexpr int kPskTimer = 11;
inline constexpr std::chrono::milliseconds kPskTimerPeriod{8};

// Ends the program from anywhere inside a handler (no timer left to run the
// station); main() catches it after the files are closed.
struct StationExit {
    int status;
};

class Station {
public:
    Station(EventLoop& loop, PortIo& port, MessageBoxService& boxes);
    ~Station();
    Station(const Station&) = delete;
    Station& operator=(const Station&) = delete;

    // Start-up. Returns false when the program is to end at once with
    // exitStatus() (usage boxes, editor-only operation).
    bool SetupWindow(const std::string& commandLine);
    void SetTitles(const std::string& callsign);
    // Shut-down: the ticks stop, the transmitter goes off, the end is logged.
    void DestroyWindow();
    // Asks the station to end: a transmission under way is cancelled first.
    void RequestShutdown();
    // The station's timers (the one-second tick, the fast timer, the audio).
    void OnTimer(int id);

    // The sound card's device, owned by the front end. `loopDriven`: on the
    // simulated clock the loop renders the audio instead of a thread.
    // `cardNames[n]` names card n+1 in the sound card list ("1 USB Audio CODEC").
    void UseAudio(WaveDevice& device, bool loopDriven, std::vector<std::string> cardNames = {});
    // The noise floor under the tones, in dB below them (at most 60).
    void SetSignalToNoise(double db) { signalToNoiseDb_ = db; }

    int exitStatus() const { return exitStatus_; }
    bool editorOnly() const { return editorOnly_; }

    // The schedule editor and the About box; front ends that have them
    // install the hooks.
    void OpenEditor();
    void ShowAbout();
    std::function<void()> editorHook;
    std::function<void()> aboutHook;

private:
    // What the TCP mirror needs of the station.
    class LinkHost : public TelnetHost, public Mirror {
    public:
        explicit LinkHost(Station& station) : s_(station) {}
        void CmRX() override { s_.transmitter.CmRX(); }
        void CmPause() override { s_.commands.Pause(); }
        void CmResume() override { s_.commands.Resume(); }
        void LogEvent(const std::string& message) override { s_.log.LogEvent(message); }
        void PumpMessages() override { s_.loop.PumpMessages(); }
        void ShowStopBox(const std::string& caption, const std::string& text) override {
            s_.boxes.Show(caption, text, BoxIcon::Stop);
        }
        std::string AuthenticationText() override { return s_.state.authentication; }
        void LockLinkControls(bool connected) override { s_.view.LockLinkChoice(connected); }
        void MirrorCharacter(int character) override { s_.telnet.EchoCharacter(character); }

    private:
        Station& s_;
    };
    // No timer left: the station cannot run without its tick.
    void FatalTimerStop();
    std::unique_ptr<ToneGenerator> MakeToneGenerator();
    void ShowStreamError(int code, const std::string& problem, bool opening);
    void PskSoundFailed(int code, const std::string& problem);
    void PumpPsk();

public:
    EventLoop& loop;
    PortIo& port;
    MessageBoxService& boxes;

    StationState state;
    MainWindow window;
    TransmitQueue queue;
    WindowView view;
    EventLog log;
    Timing timing;
    RunningLine runningLine;
    Uart uart;
    PskModem psk;

private:
    LinkHost linkHost_;

public:
    Telnet telnet;
    CodeSender sender;
    TransmitterSwitch transmitter;
    FileSender files;
    KeyHolding keyHolding;
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
    AfskGenerator* loopGenerator_ = nullptr;  // the last one made, while the loop drives it
    std::unique_ptr<Psk31Sound> pskSound_;    // the PSK31 modem's sound card
};

}  // namespace sked
