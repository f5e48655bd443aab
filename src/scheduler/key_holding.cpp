#include "scheduler/key_holding.h"

namespace sked {

bool KeyHolding::NextTransmissionDue() const {
    if (queue_.Empty() || queue_.At(0).text.empty()) return false;
    if (state_.sendNow) return true;
    if (!state_.autoSendEnabled) return false;
    const QueueEntry& head = queue_.At(0);
    return head.words == 3 && head.due > 0 && head.due <= clock_.Time();
}

void KeyHolding::ReleaseUnlessNextIsDue() {
    if (!state_.transmitterOn) return;
    if (NextTransmissionDue()) {
        state_.keyHeldForNext = true;
        return;
    }
    transmitter_.CmRX();
}

void KeyHolding::ReleaseHeldKey() {
    if (state_.transmitterOn && state_.keyHeldForNext && !state_.sending && !NextTransmissionDue())
        transmitter_.CmRX();
}

}  // namespace sked
