// Transmitter on and off: the network mirror, the keying line, and the
// signal path of the mode (PSK31 carrier or the audio tone generator).
#pragma once

#include <functional>
#include <memory>

#include "net/telnet.h"
#include "platform/message_box.h"
#include "transmit/code_sender.h"
#include "transmit/psk_modem.h"
#include "transmit/station_state.h"
#include "transmit/station_view.h"
#include "transmit/timing.h"
#include "audio/tone_generator.h"
#include "transmit/uart.h"

namespace sked {

class TransmitterSwitch {
public:
    using GeneratorFactory = std::function<std::unique_ptr<ToneGenerator>()>;

    TransmitterSwitch(StationState& state, StationView& view, StationLog& log, MessageBoxService& boxes, Timing& timing,
                      Uart& uart, PskModem& psk, Telnet& telnet, CodeSender& sender);
    ~TransmitterSwitch();

    void CmTX();
    void CmRX();

    // The audio back end supplies tone generators; none means no audio.
    void SetGeneratorFactory(GeneratorFactory factory) { makeGenerator_ = std::move(factory); }
    ToneGenerator* Generator() const { return generator_.get(); }

private:
    void SetTonePair();
    void LetGeneratorGo();

    StationState& state_;
    StationView& view_;
    StationLog& log_;
    MessageBoxService& boxes_;
    Timing& timing_;
    Uart& uart_;
    PskModem& psk_;
    Telnet& telnet_;
    CodeSender& sender_;
    GeneratorFactory makeGenerator_;
    std::unique_ptr<ToneGenerator> generator_;
    // A failed network link left the station switched "on" for its caller
    // without keying: the caller's CmRX must still bring it back to idle.
    bool linkFailed_ = false;
};

}  // namespace sked
