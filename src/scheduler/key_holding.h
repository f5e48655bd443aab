// The scheduler's own switches, and whether the transmitter stays keyed
// between transmissions: only when the next entry of the queue is already
// due, read from the queue as it is at that moment.
#pragma once

#include <ctime>

#include "scheduler/transmit_queue.h"

namespace sked {

struct SchedulerState {
    bool autoSendEnabled = false;
    // Send >> was pressed: the head goes out at the next tick, whatever its time.
    bool sendNow = false;
};

// The head of the queue goes out at the next tick (or at this one): it is
// due and automatic sending is on, or Send >> was pressed.
inline bool NextTransmissionDue(const SchedulerState& scheduler, const TransmitQueue& queue, std::time_t now) {
    if (queue.Empty()) return false;
    if (scheduler.sendNow) return true;
    return scheduler.autoSendEnabled && queue.At(0).due <= now;
}

}  // namespace sked
