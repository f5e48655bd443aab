// One transmission at a time, as a state machine driven by the station's
// loop: the transmitter keyed, the lead-in (idle letters, silence, PSK31
// reversals, or the Morse lead-in in CW), the text files in turn (header,
// bulletin, footer; a test text or the composition, again while Repeat is
// ticked), the identification, the idle tail, and the release unless the next
// entry is already due, with the afterglow of the tones. Each step does what
// its device can take now and arms a timer for when it can take more, so that
// commands from any front end act between two characters: pause, resume and
// cancel, and a lost device or peer, arrive as events.
#pragma once

#include <functional>
#include <optional>
#include <string>
#include <vector>

#include "net/tcp_mirror.h"
#include "platform/event_loop.h"
#include "transmit/air_encoder.h"
#include "transmit/psk_modem.h"
#include "transmit/running_line.h"
#include "transmit/station_settings.h"
#include "transmit/station_view.h"
#include "transmit/transmitter.h"

namespace sked {

// One text file of a transmission.
struct TextPart {
    std::string name;  // under data/
    // The transmission counts as sent whole only if this part went out whole
    // (a scheduled bulletin: not its header and footer).
    bool counts = true;
    std::optional<std::string> text;  // read already (the bulletin, before keying)
};

struct TransmissionPlan {
    // False: nothing can go out (why in `notSent`); the transmission only
    // ends, releasing a key held for it.
    bool key = true;
    std::string notSent;
    // Idle fill after keying; in CW the Morse lead-in takes its place.
    int leadInSeconds = 0;
    std::vector<TextPart> parts;
    bool repeatLast = false;      // the last part again while Repeat is ticked
    bool identification = false;  // the station's identification after the parts
    int tailSeconds = 0;          // idle fill before the release (not in CW, not after a cancel)
    bool alwaysRelease = false;   // else the key stays down when the next entry is due
};

struct TransmissionResult {
    bool whole = false;      // every counting part went out whole on a keyed transmitter
    bool cancelled = false;  // by the operator
    std::string reason;      // why it did not go out whole, when that was not the operator's doing
};

class Transmission {
public:
    // Morse lead-in and the carrier around the identification.
    static constexpr std::chrono::milliseconds kMorseCarrier{1700};
    static constexpr int kMorseLeadInGapUnits = 7;
    // The PSK31 identification gets at least this long before the next text.
    static constexpr std::chrono::seconds kPskIdentification{15};

    struct Hooks {
        // Asked at the end: the next entry is due, and the key stays down for it.
        std::function<bool()> keepKeyed;
        std::function<void(const TransmissionResult& result)> done;
    };

    Transmission(EventLoop& loop, const StationSettings& settings, StationView& view, StationLog& log,
                 Transmitter& transmitter, PskModem& psk, TcpMirror& mirror, AirEncoder& encoder);

    bool Busy() const { return phase_ != Phase::Idle; }
    // The text going out: its file, the characters of it taken and in all.
    struct Progress {
        std::string name;
        std::size_t sent = 0;
        std::size_t total = 0;
    };
    // Nothing between texts (keying, lead-in, identification, tail) and when idle.
    std::optional<Progress> TextUnderWay() const;
    // Starts a transmission; only when none is under way.
    void Start(TransmissionPlan plan, Hooks hooks);

    void Pause();
    void Resume();
    bool Paused() const { return paused_; }
    // The operator's cancel: the text stops at the next character.
    void Cancel();
    bool CancelRequested() const { return Busy() && cancelled_; }
    // What the transmission needs is lost (the mirror's peer, the sound card,
    // the serial device): the key drops now and the transmission ends.
    void Abort(const std::string& reason);
    // The station shuts down: a transmission under way ends here and now,
    // cancelled, with its result told.
    void EndNow();

private:
    enum class Phase { Idle, Key, LeadIn, Parts, Identification, Tail, Release, Afterglow, Done };
    // What a step asks of the loop.
    struct Next {
        enum Kind { Again, At, Event } kind;
        TimePoint when{};
    };
    static Next Again() { return {Next::Again}; }
    static Next At(TimePoint when) { return {Next::At, when}; }
    static Next WhenNotified() { return {Next::Event}; }  // until the operator or a new start wakes it

    void Wake();
    void Step();
    Next Advance();
    Next KeyUp();
    Next LeadIn();
    Next Parts();
    Next StartPart();
    Next SendCharacter();
    Next Identify();
    Next Tail();
    Next Release();
    Next Afterglow();
    void Finish();

    // Idle fill until `until_`: letters on the line, silence in ASCII,
    // reversals in PSK31.
    Next IdleFill();
    // Carries out steps_ from stepAt_.
    Next RunSteps();
    Next PutCode(int code);
    void CloseKey(bool closed);
    void SetBreak(bool on);
    void EndPart();
    bool Stopped() const { return cancelled_ || aborted_; }
    // The keying device missing: "the serial port COMn <state> (why)".
    // Why a device the transmission needs is missing ("" when none is), in the log's words.
    std::string Absence(const char* state);
    // Opens or closes the Morse key (the keying device); a device that refuses ends the transmission.
    void KeyMorse(bool closed);
    TimePoint Now() const { return loop_.clock().Now(); }
    // A wait for the device's next change, never in the past (that would spin).
    TimePoint NotBefore(TimePoint when) const;

    EventLoop& loop_;
    const StationSettings& settings_;
    StationView& view_;
    StationLog& log_;
    Transmitter& transmitter_;
    PskModem& psk_;
    TcpMirror& mirror_;
    AirEncoder& encoder_;
    RunningLine line_;
    Timer timer_;

    // The transmission under way.
    TransmissionPlan plan_;
    Hooks hooks_;
    Phase phase_ = Phase::Idle;
    Mode mode_ = Mode::Military;  // the mode it was keyed in
    int stage_ = 0;               // within the phase
    TimePoint until_{};
    bool paused_ = false;
    bool cancelled_ = false;
    bool aborted_ = false;
    std::string reason_;
    bool breakKeyer_ = false;  // Morse keys the break condition (else the keying line)
    bool breakOn_ = false;
    bool allWhole_ = true;

    // The part under way and its character.
    std::size_t part_ = 0;
    bool partStarted_ = false;
    bool partWhole_ = false;
    std::string text_;
    std::size_t at_ = 0;
    AirSteps steps_;
    std::size_t stepAt_ = 0;
    std::optional<TimePoint> pauseEnd_;  // of the Morse pause under way
};

}  // namespace sked
