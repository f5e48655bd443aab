// The station identifies in Morse: on demand, and once per hour of keyed
// time while the CW-Timer box is ticked.
#pragma once

#include <string>

#include "scheduler/key_holding.h"
#include "transmit/code_sender.h"
#include "transmit/file_sender.h"
#include "transmit/psk_modem.h"
#include "transmit/station_state.h"
#include "transmit/station_view.h"
#include "transmit/timing.h"
#include "transmit/transmitter_switch.h"

namespace sked {

class CwIdentifier {
public:
    CwIdentifier(StationState& state, StationView& view, StationLog& log, Timing& timing,
                 TransmitterSwitch& transmitter, FileSender& files, CodeSender& sender, PskModem& psk,
                 KeyHolding& keyHolding)
        : state_(state),
          view_(view),
          log_(log),
          timing_(timing),
          transmitter_(transmitter),
          files_(files),
          sender_(sender),
          psk_(psk),
          keyHolding_(keyHolding) {}

    void Cwid(const std::string& text);
    // The CW-Timer box was ticked or unticked.
    void CwTimerChanged(bool ticked);
    // The Send CWID button: at once when idle; during a transmission it
    // waits for the transmission's end instead of cutting into it.
    void SendCwidClicked();
    // Called every second: runs an identification that was waiting.
    void RunDeferred();
    bool deferred() const { return deferred_; }

private:
    StationState& state_;
    StationView& view_;
    StationLog& log_;
    Timing& timing_;
    TransmitterSwitch& transmitter_;
    FileSender& files_;
    CodeSender& sender_;
    PskModem& psk_;
    KeyHolding& keyHolding_;
    bool deferred_ = false;
};

}  // namespace sked
