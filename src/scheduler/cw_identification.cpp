#include "scheduler/cw_identification.h"

namespace sked {

namespace {
// Carrier before and after the Morse, in fast-timer ticks.
constexpr int kCarrierTicks = 50;
// The PSK31 modem sends the identification itself: this long at most.
constexpr int kPskIdentificationSeconds = 15;
}  // namespace

void CwIdentifier::Cwid(const std::string& text) {
    // An identification does not release the queue early: Send now stays as it was.
    const bool sendNowBefore = state_.sendNow;
    state_.sending = true;
    state_.idle = false;
    state_.sendNow = false;
    state_.cancelRequested = false;
    log_.LogEvent("Cwid : Sending CW Identification.");
    view_.ShowQueueLine("CW Pre-Identification Text");
    transmitter_.CmTX();
    // In CW mode the keying line is the Morse key, for cwid.txt as for the
    // identification: the carrier, then the key opens for the first element.
    const bool keyLine = state_.mode == kCw;
    if (keyLine) sender_.MorseLeadIn();
    files_.TXFile("cwid.txt", state_.mode);
    view_.ShowQueueLine("Sending CWID " + text);

    if (state_.mode == kPsk31) {
        // Morse on the carrier after the text, then the carrier off; the
        // next transmission starts after fifteen seconds.
        psk_.SetIdentificationText(text);
        psk_.QueueIdentification();
        psk_.EndAfterQueue();
        timing_.WaitForSecondTicks(state_.secondTicks + kPskIdentificationSeconds);
        // A long callsign takes more than fifteen seconds at 18.75 words per
        // minute: the identification is never cut short by the restart.
        timing_.loop().WaitUntil([this] { return !psk_.Transmitting(); }, [this] { return psk_.TransmitEnd(); });
        psk_.StartTransmitting();
    } else {
        // Otherwise the identification is frequency-shift Morse: the break
        // condition holds the line at space within the carrier.
        if (!keyLine) {
            timing_.StartFastTimer();
            timing_.WaitTicks(kCarrierTicks);
        }
        for (char c : text) {
            if (state_.cancelRequested) break;
            if (keyLine) sender_.SendMorseKey(static_cast<unsigned char>(c));
            else sender_.SendMorseBreak(static_cast<unsigned char>(c));
        }
        if (!keyLine) timing_.WaitTicks(kCarrierTicks);
        timing_.StopFastTimer();
    }
    state_.sendNow = sendNowBefore;
    keyHolding_.ReleaseUnlessNextIsDue();
    view_.ShowQueueLine("Completed CWID");
    state_.sending = false;
    state_.idle = true;
}

void CwIdentifier::CwTimerChanged(bool ticked) {
    if (ticked) {
        state_.cwTimerSeconds = 0;
        if (state_.transmitterOn && !state_.sending) Cwid(state_.idText);
    } else {
        state_.cwTimerSeconds = -1;
        view_.ShowCwTimer("OFF");
    }
}

void CwIdentifier::SendCwidClicked() {
    if (state_.sending) {
        deferred_ = true;
        view_.ShowStatus("Cwid : Identification follows the transmission under way.");
        return;
    }
    Cwid(state_.idText);
}

void CwIdentifier::RunDeferred() {
    if (!deferred_ || state_.sending) return;
    deferred_ = false;
    Cwid(state_.idText);
}

}  // namespace sked
