// The station identifies in Morse: on demand, and once per hour of keyed time
// while the CW-Timer box is ticked. An identification is a transmission of
// its own: cwid.txt, then the identification text in Morse (on the PSK31
// carrier in PSK31).
#pragma once

#include "platform/clock.h"
#include "scheduler/key_holding.h"
#include "scheduler/transmit_queue.h"
#include "transmit/station_settings.h"
#include "transmit/station_view.h"
#include "transmit/transmission.h"
#include "transmit/transmitter.h"

namespace sked {

class CwIdentifier {
public:
    // An hour of keyed time between automatic identifications.
    static constexpr int kPeriodSeconds = 3600;

    CwIdentifier(StationView& view, StationLog& log, Transmission& transmission, Transmitter& transmitter,
                 SchedulerState& scheduler, const TransmitQueue& queue, const Clock& clock);

    // Sends one identification now; only while no transmission is under way.
    // `hourly`: the hourly one, whose count starts again once it is done.
    void Cwid(bool hourly = false);
    // The CW-Timer box was ticked or unticked.
    void CwTimerChanged(bool ticked);
    // The Send CWID button: at once when idle; during a transmission it
    // waits for the transmission's end instead of cutting into it.
    void SendCwidClicked();
    // Every second: runs an identification that was waiting.
    void RunDeferred();
    // Every second of the queue step: the hourly count, and the
    // identification when an hour of keyed time is up.
    void CountSecond();
    // The transmitter went off: an hour that ran out while it was keyed is
    // identified at the next tick.
    void TransmitterReleased();

    int secondsCounted() const { return seconds_; }
    bool deferred() const { return deferred_; }

private:
    StationView& view_;
    StationLog& log_;
    Transmission& transmission_;
    Transmitter& transmitter_;
    SchedulerState& scheduler_;
    const TransmitQueue& queue_;
    const Clock& clock_;
    int seconds_ = -1;  // -1: the hourly identification is off
    bool deferred_ = false;
    bool hourlyDue_ = false;       // an hour ran out during a transmission
    bool hourlyUnderWay_ = false;  // the hourly identification is being sent
};

}  // namespace sked
