// The scheduler's own switches, and whether the transmitter stays keyed
// between transmissions: only when the next entry of the queue is already
// due, read from the queue as it is at that moment.
#pragma once

#include <ctime>

#include "scheduler/schedule_commands.h"
#include "scheduler/transmit_queue.h"

namespace sked {

struct SchedulerState {
    bool autoSendEnabled = false;
    // Send >> was pressed: the head goes out at the next tick, whatever its time.
    bool sendNow = false;
};

// A file, an identification or a keying: what the key is held for. Other
// commands take no air time.
inline bool TakesAirTime(const QueueEntry& entry) {
    if (!entry.IsCommand()) return true;
    const ScheduleCommand* command = FindScheduleCommand(entry.name.substr(1));
    return command && (command->action == ScheduleAction::Identify || command->action == ScheduleAction::TransmitterOn);
}

// The next entry that goes on the air goes out at the next tick (or at this
// one): it is due and automatic sending is on, or Send >> was pressed for it.
// Commands due before it take no air time and are carried out at once, so
// they are looked past: the key is never held for a run of commands alone.
inline bool NextTransmissionDue(const SchedulerState& scheduler, const TransmitQueue& queue, std::time_t now) {
    for (int i = 0; i < queue.Count(); ++i) {
        const QueueEntry& entry = queue.At(i);
        // Send >> moves the head only.
        const bool due = (i == 0 && scheduler.sendNow) || (scheduler.autoSendEnabled && entry.due <= now);
        if (!due) return false;
        if (TakesAirTime(entry)) return true;
    }
    return false;
}

}  // namespace sked
