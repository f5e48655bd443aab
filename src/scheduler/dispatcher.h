// The one-second dispatcher and the program's timers: the clock, the hourly
// identification count and the queue step that sends the head entry when it
// falls due; the scheduler's own switch (Enable, Disable).
#pragma once

#include <ctime>
#include <string>

#include "scheduler/command_interpreter.h"
#include "scheduler/cw_identification.h"
#include "scheduler/key_holding.h"
#include "scheduler/transmit_queue.h"
#include "transmit/code_sender.h"
#include "transmit/file_sender.h"
#include "transmit/station_state.h"
#include "transmit/station_view.h"
#include "transmit/timing.h"
#include "transmit/transmitter_switch.h"

namespace sked {

// Timer commands of OnTimer, beside the timer ids (kSecondTimer, kFastTimer).
enum TimerCommand : int {
    kStartSecondTimer = 0,
    kStopSecondTimer = 3,
    kStartFastTimer = 7,
    kStopFastTimer = 8,
};

class Dispatcher {
public:
    Dispatcher(StationState& state, StationView& view, StationLog& log, Timing& timing, TransmitQueue& queue,
               CommandInterpreter& commands, CwIdentifier& cwid, FileSender& files, TransmitterSwitch& transmitter,
               CodeSender& sender, KeyHolding& keyHolding)
        : state_(state),
          view_(view),
          log_(log),
          timing_(timing),
          queue_(queue),
          commands_(commands),
          cwid_(cwid),
          files_(files),
          transmitter_(transmitter),
          sender_(sender),
          keyHolding_(keyHolding) {}

    // A timer's tick (kSecondTimer, kFastTimer) or a timer command.
    void OnTimer(int number);
    void QueueStep(std::time_t now);

    void CmEnable();
    void CmDisable();

private:
    void OneSecondTick();
    void SendEntry(const std::string& name);

    StationState& state_;
    StationView& view_;
    StationLog& log_;
    Timing& timing_;
    TransmitQueue& queue_;
    CommandInterpreter& commands_;
    CwIdentifier& cwid_;
    FileSender& files_;
    TransmitterSwitch& transmitter_;
    CodeSender& sender_;
    KeyHolding& keyHolding_;
};

}  // namespace sked
