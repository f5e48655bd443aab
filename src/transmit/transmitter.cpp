#include "transmit/transmitter.h"

#include <algorithm>
#include <cmath>

#include "audio/stream_errors.h"
#include "platform/text_format.h"

namespace sked {

namespace {
// The address field is read as its first 29 characters.
constexpr std::size_t kAddressChars = 29;
}  // namespace

Transmitter::Transmitter(EventLoop& loop, StationSettings& settings, StationView& view, StationLog& log,
                         MessageBoxService& boxes, SerialPorts& ports, PskModem& psk, TcpMirror& mirror)
    : loop_(loop),
      settings_(settings),
      view_(view),
      log_(log),
      boxes_(boxes),
      ports_(ports),
      psk_(psk),
      mirror_(mirror),
      afterglow_(loop, [this] { EndAfterglow(); }),
      timeOut_(loop, [this] { TimedOut(); }),
      serialKeyer_([this]() -> SerialLine& { return Line(); }),
      keyCheck_(loop, [this] { CheckKey(); }),
      releaseRetry_(loop, [this] { RetryRelease(); }) {
    mirror_.SetHandlers({
        .linkChanged = [this](bool connected) { view_.LockLinkChoice(connected); },
        .lost =
            [this](const std::string& reason) {
                if (on_ && lost_) lost_(reason);
            },
        .log = [this](const std::string& message) { log_.LogEvent(message); },
    });
}

Transmitter::~Transmitter() = default;

TonePair Transmitter::TonesOf(ToneSettings& tones) {
    if (tones.centreAndShift) {
        tones.mark = tones.centre - tones.shift / 2;
        tones.space = tones.centre + tones.shift / 2;
        return {static_cast<int>(tones.centre), tones.shift / 2};
    }
    const double shift = std::fabs(tones.mark - tones.space);
    tones.shift = shift;
    tones.centre = std::max(tones.mark, tones.space) - shift / 2;
    return {static_cast<int>(tones.centre), shift / 2};
}

bool Transmitter::OpenMirror(std::string* why) {
    const MirrorSettings& mirror = settings_.mirror;
    if (mirror.port == 0) return true;
    const std::string address = mirror.address.substr(0, kAddressChars);
    const int tcpPort = mirror.port + kMirrorPortBase;
    const std::error_code error = mirror_.Open(address, tcpPort, mirror.authentication);
    if (!error) return true;
    boxes_.Show("TCP/IP Connect Failure",
                Format("Failed to connect to %s on port %i\nPlease correct IP address and try again.\n"
                       "Socket error reported as %i",
                       address.c_str(), tcpPort, error.value()),
                BoxIcon::Stop);
    if (why) *why = Format("the TCP mirror %s:%d cannot be opened: %s", address.c_str(), tcpPort,
                           error.message().c_str());
    return false;
}

bool Transmitter::KeyTransmitter(std::string* why) {
    // Held across a change of mode: the sound passes to the new mode.
    if (on_) return keyedMode_ == settings_.mode || StartSound(why);
    view_.LockSoundChoice(true);
    if (!OpenMirror(why)) {
        view_.LockSoundChoice(false);
        return false;
    }
    // A new keying cuts the afterglow of the last one short.
    afterglow_.Stop();
    afterglowEnd_ = loop_.clock().Now();
    // Nothing is keyed without the sound the mode goes out with.
    if (!StartSound(why)) {
        mirror_.Close();
        view_.LockSoundChoice(false);
        return false;
    }
    // Shown on before the key goes down, so that nothing is keyed while the window says OFF.
    view_.ShowTransmitter(true);
    std::string refused;
    if (!Keyer().SetKey(true, refused)) {
        // Half keyed is keyed: the device is released before the failure is told.
        view_.ShowTransmitter(false);
        log_.LogEvent("Keying : " + refused);
        ReleaseKeyingDevice();
        EndTones();
        mirror_.Close();
        view_.LockSoundChoice(false);
        view_.LockToneFields(false);
        if (why) *why = refused;
        return false;
    }
    releaseRetry_.Stop();
    releaseRefused_ = false;
    on_ = true;
    log_.LogEvent("CmTX : Transmitter ON");
    if (timeOutLimit_.count() > 0) timeOut_.After(timeOutLimit_);
    if (!Keyer().IsSerialLine()) keyCheck_.Every(kKeyCheck);
    return true;
}

std::string Transmitter::KeyerAbsence(const char* state) {
    KeyingDevice& keyer = Keyer();
    if (keyer.IsSerialLine()) return LineAbsence(state);
    const std::string why = keyer.WhyAbsent();
    return keyer.Name() + " " + state + (why.empty() ? "" : " (" + why + ")");
}

std::string Transmitter::LineAbsence(const char* state) {
    const std::string why = Line().WhyAbsent();
    return Format("the serial port COM%d %s", settings_.portNumber, state) + (why.empty() ? "" : " (" + why + ")");
}

void Transmitter::CheckKey() {
    if (!on_) return keyCheck_.Stop();
    const std::string problem = Keyer().CheckKeyed();
    if (problem.empty()) return;
    keyCheck_.Stop();
    log_.LogEvent("Keying : " + problem);
    // A transmission under way ends as on a lost device (ABORTED, with the reason).
    if (lost_) lost_(problem);
    ReleaseTransmitter();
}

void Transmitter::ReleaseKeyingDevice() {
    std::string why;
    if (Keyer().SetKey(false, why)) {
        if (releaseRefused_) log_.LogEvent("Keying : " + Keyer().Name() + " took the release: the key is off.");
        releaseRefused_ = false;
        releaseRetry_.Stop();
        TuneRig();
        return;
    }
    if (!releaseRefused_)
        log_.LogEvent(Format("Keying : %s; the key is retried off every %d seconds.", why.c_str(),
                             static_cast<int>(kReleaseRetry.count())));
    releaseRefused_ = true;
    releaseRetry_.After(kReleaseRetry);
}

void Transmitter::RetryRelease() {
    if (!on_) ReleaseKeyingDevice();
}

bool Transmitter::RequestFrequency(double hertz, std::string& why) {
    if (!Keyer().SetsFrequency()) {
        why = Keyer().Name() + " sets no frequency: rig control does (--ptt=hamlib: or rigctld:)";
        return false;
    }
    pendingFrequency_ = hertz;
    if (!on_ && !releaseRefused_) TuneRig();
    return true;
}

void Transmitter::TuneRig() {
    if (!pendingFrequency_) return;
    const double hertz = *pendingFrequency_;
    pendingFrequency_.reset();
    std::string why;
    if (const auto reported = Keyer().SetFrequency(hertz, why))
        log_.LogEvent(Format("Frequency : %.3f kHz set; the rig reports %.3f kHz", hertz / 1000, *reported / 1000));
    else log_.LogEvent("Frequency : " + why);
}

void Transmitter::TimedOut() {
    if (!on_) return;
    const std::string reason = Format("the transmit time-out of %d minute%s was reached",
                                      static_cast<int>(timeOutLimit_.count()), timeOutLimit_.count() == 1 ? "" : "s");
    log_.LogEvent("Transmit time-out : " + reason + ", the key is dropped.");
    view_.ShowStatus("Transmit time-out : " + reason + ".");
    // A transmission under way ends as on a lost device (ABORTED, with the
    // reason); a key held on request is released.
    if (lost_) lost_(reason);
    ReleaseTransmitter();
}

bool Transmitter::StartSound(std::string* why) {
    keyedMode_ = settings_.mode;
    switch (keyedMode_) {
        case Mode::Psk31:
            EndTones();  // the sound card is the modem's
            settings_.pskFrequency = static_cast<float>(settings_.tones.centre);
            psk_.SetTone(static_cast<int>(settings_.pskFrequency));
            psk_.StartTransmitting();
            view_.LockToneFields(true);
            return true;
        case Mode::Cw:
            EndTones();  // the keying line is the Morse key: no tones
            return true;
        default:
            return settings_.noSound || StartTones(why);
    }
}

bool Transmitter::StartTones(std::string* why) {
    const TonePair tones = TonesOf(settings_.tones);
    view_.ShowTones(settings_, ToneDisplay::Keyed);
    generator_.reset();  // the last keying's tones end before the new ones start
    if (makeGenerator_) generator_ = makeGenerator_(tones);
    view_.LockToneFields(true);
    const std::error_code error = generator_ ? generator_->StartGenerator() : std::error_code();
    if (!error) return true;
    const std::string problem = generator_->Problem();
    generator_.reset();
    view_.LockToneFields(false);
    if (!problem.empty()) log_.LogEvent("Sound card : " + problem);
    if (const std::string text = StreamErrorText(error); !text.empty()) boxes_.Show("Skedcast", text, BoxIcon::Stop);
    if (why) *why = "the sound card cannot be opened: " + (problem.empty() ? error.message() : problem);
    return false;
}

void Transmitter::ReleaseTransmitter() {
    if (!on_) return;
    keyedOnRequest = false;
    keyHeldForNext = false;
    view_.LockSoundChoice(false);
    mirror_.Close();
    on_ = false;
    timeOut_.Stop();
    keyCheck_.Stop();
    // Shown off once the key is up: a window or a watcher never sees OFF with the key still down.
    ReleaseKeyingDevice();
    view_.ShowTransmitter(false);
    log_.LogEvent("CmRX : Transmitter OFF");
    view_.LockToneFields(false);
    if (released_) released_();

    // The key is up; the carrier or the tones run on for the afterglow,
    // without the codes still queued.
    if (keyedMode_ == Mode::Psk31) {
        psk_.EndAfterQueue();
    } else if (keyedMode_ == Mode::Cw || !generator_) {
        return;
    } else {
        generator_->EmptyQueue();
    }
    afterglowEnd_ = loop_.clock().Now() + kAfterglow;
    afterglow_.At(afterglowEnd_);
}

void Transmitter::EndAfterglow() {
    if (keyedMode_ == Mode::Psk31) psk_.EndAfterQueue();
    else if (generator_) generator_->RequestStop();
}

}  // namespace sked
