// The one-second tick that makes the station run unattended: the clock, the
// hourly identification count, and the queue step that takes the head entry
// when it falls due, running a "$" command at once or sending the file as a
// transmission of its own (lead-in, header, file, footer, tail). The
// scheduler's own switch (Enable, Disable) and Send >> are here too.
#pragma once

#include <ctime>
#include <functional>
#include <string>

#include "platform/event_loop.h"
#include "scheduler/command_interpreter.h"
#include "scheduler/cw_identification.h"
#include "scheduler/key_holding.h"
#include "scheduler/transmit_queue.h"
#include "transmit/station_settings.h"
#include "transmit/station_view.h"
#include "transmit/transmission.h"
#include "transmit/transmitter.h"

namespace sked {

class Dispatcher {
public:
    // Seconds of idle fill after keying and before the release.
    static constexpr int kIdleSeconds = 5;

    Dispatcher(EventLoop& loop, const StationSettings& settings, StationView& view, StationLog& log,
               TransmitQueue& queue, CommandInterpreter& commands, CwIdentifier& cwid, Transmission& transmission,
               Transmitter& transmitter, SchedulerState& state);

    // The one-second tick from now on; `noTimer` runs when none can be had.
    void StartTicks(const std::function<void()>& noTimer);
    void StopTicks();

    void Enable();
    void Disable();
    // Send >>: the head goes out at the next tick.
    void SendNow();

    void QueueStep(std::time_t now);

private:
    void OneSecondTick();
    void SendEntry(const std::string& name);
    // The entry `name` ended (sent whole or not): the result, shown and logged.
    void Report(const std::string& name, const std::string& notSent, const TransmissionResult& result);

    EventLoop& loop_;
    const StationSettings& settings_;
    StationView& view_;
    StationLog& log_;
    TransmitQueue& queue_;
    CommandInterpreter& commands_;
    CwIdentifier& cwid_;
    Transmission& transmission_;
    Transmitter& transmitter_;
    SchedulerState& state_;
    Timer tick_;
};

}  // namespace sked
