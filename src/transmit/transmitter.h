// The transmitter on and off: the TCP mirror, the keying device and the signal
// path of the mode (the PSK31 carrier, or the tone generator that follows the
// line with its AFSK tones). Keying and releasing act at once; after a
// release the tones or the carrier run on a little (the afterglow) without
// holding anything up.
#pragma once

#include <functional>
#include <memory>
#include <optional>
#include <string>

#include "audio/tone_generator.h"
#include "keying/keying_device.h"
#include "keying/serial_keying.h"
#include "net/tcp_mirror.h"
#include "platform/event_loop.h"
#include "platform/message_box.h"
#include "serial/serial_line.h"
#include "transmit/psk_modem.h"
#include "transmit/station_settings.h"
#include "transmit/station_view.h"

namespace sked {

// The tones of one keying, as the tone fields give them.
struct TonePair {
    int centreHz = 2210;  // whole hertz, as the generator is given it
    double halfShiftHz = 85.0;
};

class Transmitter {
public:
    using GeneratorFactory = std::function<std::unique_ptr<ToneGenerator>(const TonePair& tones)>;
    // How long the tones or the PSK31 carrier run on after the key drops.
    static constexpr std::chrono::seconds kAfterglow{2};
    // The mirror's TCP port is this plus the network port chosen (1..16).
    static constexpr int kMirrorPortBase = 5999;

    Transmitter(EventLoop& loop, StationSettings& settings, StationView& view, StationLog& log,
                MessageBoxService& boxes, SerialPorts& ports, PskModem& psk, TcpMirror& mirror);
    ~Transmitter();
    Transmitter(const Transmitter&) = delete;
    Transmitter& operator=(const Transmitter&) = delete;

    // How long a release the keying device did not take waits before it is tried again.
    static constexpr std::chrono::seconds kReleaseRetry{5};
    // How often a keying device that can report its key is asked while keyed.
    static constexpr std::chrono::seconds kKeyCheck{1};

    // The serial line of the station's port: the teleprinter frames go out
    // on its transmit data line, whatever keys the transmitter.
    SerialLine& Line() { return ports_.Port(settings_.portNumber); }
    // What keys the transmitter: the serial line's RTS or DTR unless another
    // device is used.
    KeyingDevice& Keyer() { return keyer_ ? *keyer_ : serialKeyer_; }
    // Keys with `device` from now on (released, and the transmitter off).
    void UseKeyingDevice(std::unique_ptr<KeyingDevice> device) { keyer_ = std::move(device); }
    // The keying device is gone, in the words of the log ("is not there", "is gone").
    std::string KeyerAbsence(const char* state);
    // The same of the serial port, whose transmit data line carries the frames.
    std::string LineAbsence(const char* state);
    // Releases the keying device, whatever the station thinks it holds (at
    // start-up after a crash, and at shut-down); a refusal is retried.
    void ReleaseKeyingDevice();
    // Sets the rig's frequency, at once when the transmitter is off, else
    // when it is next released; the log tells what the rig reports back.
    // False, with the reason, when the keying device sets no frequency.
    bool RequestFrequency(double hertz, std::string& why);

    // Keys the transmitter with the sound of the mode (the tones, the PSK31
    // carrier); already on, it only passes the sound to a mode changed since.
    // False, with the reason in `why`, when it could not be keyed: nothing
    // is then keyed.
    bool KeyTransmitter(std::string* why = nullptr);
    // Releases it at once (nothing when it is off).
    void ReleaseTransmitter();

    bool On() const { return on_; }
    // Keyed by the operator or a $TX entry, to stay keyed until released.
    bool keyedOnRequest = false;
    // Left keyed by a transmission because the next entry was already due.
    bool keyHeldForNext = false;

    ToneGenerator* Generator() const { return generator_.get(); }
    // Ends the tones at once and gives their sound card back (the PSK31
    // modem takes it); the key stays as it is.
    void EndTones() { generator_.reset(); }
    // When the sound of the last release ends; now or earlier when it has.
    TimePoint AfterglowEnd() const { return afterglowEnd_; }

    // The audio back end supplies tone generators; none means no audio.
    void SetGeneratorFactory(GeneratorFactory factory) { makeGenerator_ = std::move(factory); }
    // Told after every release (the hourly identification ends with it).
    void SetReleaseListener(std::function<void()> listener) { released_ = std::move(listener); }
    // Told when what the keying needs is lost while keyed (the mirror's peer),
    // and when one key-down reaches the transmit time-out.
    void SetLossListener(std::function<void(const std::string& reason)> listener) { lost_ = std::move(listener); }
    // No single key-down lasts longer than `limit` (zero: no limit): a
    // schedule or a device gone wrong cannot hold a transmitter on the air.
    void SetTimeOut(std::chrono::minutes limit) { timeOutLimit_ = limit; }
    std::chrono::minutes TimeOut() const { return timeOutLimit_; }

    // The tone pair of the fields; the other pair of fields is filled in from
    // it, as the transmitter shows them once keyed.
    static TonePair TonesOf(ToneSettings& tones);

private:
    bool OpenMirror(std::string* why);
    // The sound of the mode: false, with the reason, when it cannot start.
    bool StartSound(std::string* why);
    bool StartTones(std::string* why);
    void EndAfterglow();
    void TimedOut();
    void CheckKey();
    void RetryRelease();
    void TuneRig();

    EventLoop& loop_;
    StationSettings& settings_;
    StationView& view_;
    StationLog& log_;
    MessageBoxService& boxes_;
    SerialPorts& ports_;
    PskModem& psk_;
    TcpMirror& mirror_;
    GeneratorFactory makeGenerator_;
    std::unique_ptr<ToneGenerator> generator_;
    std::function<void()> released_;
    std::function<void(const std::string&)> lost_;
    bool on_ = false;
    Mode keyedMode_ = Mode::Military;  // the mode the transmitter was keyed in
    TimePoint afterglowEnd_{};
    Timer afterglow_;
    std::chrono::minutes timeOutLimit_{0};
    Timer timeOut_;
    SerialKeying serialKeyer_;
    std::unique_ptr<KeyingDevice> keyer_;
    Timer keyCheck_;
    Timer releaseRetry_;
    bool releaseRefused_ = false;  // the last release was not taken: tried again until it is
    std::optional<double> pendingFrequency_;
};

}  // namespace sked
