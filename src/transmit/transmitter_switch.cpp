#include "transmit/transmitter_switch.h"

#include <algorithm>
#include <cmath>
#include <cstdlib>

#include "platform/text_format.h"

namespace sked {

namespace {
// The tone fields are read as their first 29 characters, as decimal numbers.
constexpr std::size_t kFieldChars = 29;
// The mirror's TCP port is this plus the network port chosen (1..16).
constexpr int kMirrorPortBase = 5999;
// How long the tones or the PSK31 carrier run on after the key drops.
constexpr int kTailSeconds = 2;

double FieldValue(const std::string& text) { return std::atof(text.substr(0, kFieldChars).c_str()); }
}  // namespace

TransmitterSwitch::TransmitterSwitch(StationState& state, StationView& view, StationLog& log, MessageBoxService& boxes,
                                     Timing& timing, Uart& uart, PskModem& psk, Telnet& telnet, CodeSender& sender)
    : state_(state),
      view_(view),
      log_(log),
      boxes_(boxes),
      timing_(timing),
      uart_(uart),
      psk_(psk),
      telnet_(telnet),
      sender_(sender) {}

TransmitterSwitch::~TransmitterSwitch() { sender_.SetToneGenerator(nullptr); }

void TransmitterSwitch::CmTX() {
    if (state_.transmitterOn) return;
    view_.LockSoundChoice(true);

    if (state_.netPort != 0) {
        const std::string address = state_.netAddress.substr(0, kFieldChars);
        const int tcpPort = state_.netPort + kMirrorPortBase;
        if (!telnet_.OpenLink(address, tcpPort)) {
            boxes_.Show("TCP/IP Connect Failure",
                        Format("Failed to connect to %s on port %i\nPlease correct IP address and try again.\n"
                               "Socket error reported as %i",
                               address.c_str(), tcpPort, telnet_.LastError()),
                        BoxIcon::Stop);
            linkFailed_ = true;
            return;
        }
    }

    state_.transmitterOn = true;
    view_.ShowTransmitter(true);
    log_.LogEvent("CmTX : Transmitter ON");
    uart_.KeyLineOn();

    if (state_.mode == kPsk31) {
        state_.pskFrequency = static_cast<float>(FieldValue(state_.tones.centre));
        psk_.SetTone(static_cast<int>(state_.pskFrequency));
        psk_.StartTransmitting();
        view_.LockToneFields(true);
        return;
    }
    if (state_.mode == kCw) return;  // the keying line is the Morse key
    if (state_.noSound) return;

    SetTonePair();
    // Nothing is queued while the new generator is made.
    sender_.SetToneGenerator(nullptr);
    generator_.reset();
    if (makeGenerator_) {
        state_.sampleRate = 8000;
        state_.noiseFilter = true;
        generator_ = makeGenerator_();
        if (generator_) {
            generator_->StartGenerator();
            sender_.SetToneGenerator(generator_.get());
        }
    }
    view_.LockToneFields(true);
}

void TransmitterSwitch::SetTonePair() {
    ToneFields& tones = state_.tones;
    if (tones.centreAndShift) {
        double c = FieldValue(tones.centre);
        double shift = FieldValue(tones.shift);
        tones.mark = Format("%8.2f", c - shift / 2);
        tones.space = Format("%8.2f", c + shift / 2);
        state_.toneCentre = static_cast<int>(c);
        state_.halfShift = shift / 2;
    } else {
        double m = FieldValue(tones.mark);
        double p = FieldValue(tones.space);
        double shift = std::fabs(m - p);
        double c = std::max(m, p) - shift / 2;
        tones.centre = Format("%8.2f", c);
        tones.shift = Format("%6.1f", shift);
        state_.halfShift = shift / 2;
        state_.toneCentre = static_cast<int>(c);
    }
    view_.ShowTones();
}

void TransmitterSwitch::CmRX() {
    if (!state_.transmitterOn) {
        if (linkFailed_) {
            // The sender that found the link down is done: back to idle.
            linkFailed_ = false;
            view_.LockSoundChoice(false);
            state_.idle = true;
        }
        return;
    }
    // The last teleprinter character goes out whole before the key drops,
    // and the station shows OFF only once the key is really up.
    if (state_.mode != kPsk31 && state_.mode != kCw) {
        uart_.WaitUntilSent();
        if (!state_.transmitterOn) return;  // switched off meanwhile
    }
    linkFailed_ = false;
    state_.keyedOnRequest = false;
    state_.keyHeldForNext = false;
    view_.LockSoundChoice(false);
    if (telnet_.IsOpen()) telnet_.CloseLink();
    state_.transmitterOn = false;
    // The hourly identification ends with the transmission.
    state_.cwTimerSeconds = -1;
    view_.ShowCwTimerTicked(false);
    view_.ShowCwTimer("OFF");
    view_.ShowTransmitter(false);
    state_.idle = true;
    uart_.KeyLineOff();
    log_.LogEvent("CmRX : Transmitter OFF");
    view_.LockToneFields(false);

    if (state_.mode == kPsk31) {
        psk_.PrepareEnd();
        psk_.EndAfterQueue();
        timing_.WaitSeconds(kTailSeconds);
        psk_.PrepareEnd();
        psk_.EndAfterQueue();
    } else if (state_.mode != kCw) {
        LetGeneratorGo();
    }
}

void TransmitterSwitch::LetGeneratorGo() {
    // The key drops first; the tones run on for the tail, without the codes
    // still queued.
    ToneGenerator* generator = generator_.get();
    if (generator) generator->EmptyQueue();
    timing_.WaitSeconds(kTailSeconds);
    if (generator && generator == generator_.get()) generator->RequestStop();
}

}  // namespace sked
