// Whether the transmitter stays keyed between transmissions: only when the
// next entry of the queue is already due, read from the queue as it is at
// that moment. A key held for an entry that is no longer due is released.
#pragma once

#include "platform/clock.h"
#include "scheduler/transmit_queue.h"
#include "transmit/station_state.h"
#include "transmit/transmitter_switch.h"

namespace sked {

class KeyHolding {
public:
    KeyHolding(StationState& state, TransmitQueue& queue, TransmitterSwitch& transmitter, const Clock& clock)
        : state_(state), queue_(queue), transmitter_(transmitter), clock_(clock) {}

    // The head of the queue goes out at the next tick (or at this one): it is
    // due and automatic sending is on, or Send now was pressed.
    bool NextTransmissionDue() const;
    // After a transmission: the transmitter stays keyed when the next entry
    // is already due, otherwise it is released.
    void ReleaseUnlessNextIsDue();
    // A key held over for an entry that is no longer due (a command ran, the
    // queue emptied, the scheduler was disabled) is released.
    void ReleaseHeldKey();

private:
    StationState& state_;
    TransmitQueue& queue_;
    TransmitterSwitch& transmitter_;
    const Clock& clock_;
};

}  // namespace sked
