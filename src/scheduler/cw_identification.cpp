#include "scheduler/cw_identification.h"

namespace sked {

CwIdentifier::CwIdentifier(StationView& view, StationLog& log, Transmission& transmission, Transmitter& transmitter,
                           SchedulerState& scheduler, const TransmitQueue& queue, const Clock& clock)
    : view_(view),
      log_(log),
      transmission_(transmission),
      transmitter_(transmitter),
      scheduler_(scheduler),
      queue_(queue),
      clock_(clock) {}

void CwIdentifier::Cwid(bool hourly) {
    if (transmission_.Busy()) return;
    // An identification does not release the queue early: Send >> stays as it was.
    const bool sendNowBefore = scheduler_.sendNow;
    scheduler_.sendNow = false;
    log_.LogEvent("Cwid : Sending CW Identification.");
    view_.ShowQueueLine("CW Pre-Identification Text");

    TransmissionPlan plan;
    plan.parts = {TextPart{"cwid.txt", false, std::nullopt}};
    plan.identification = true;
    hourlyUnderWay_ = hourly;
    auto restore = [this, sendNowBefore] { scheduler_.sendNow = sendNowBefore; };
    transmission_.Start(std::move(plan),
                        {.keepKeyed =
                             [this, restore] {
                                 restore();
                                 return NextTransmissionDue(scheduler_, queue_, clock_.Time());
                             },
                         .done =
                             [this, restore, hourly](const TransmissionResult&) {
                                 restore();
                                 // The hour is counted afresh from this identification.
                                 if (hourly) seconds_ = 0;
                                 hourlyUnderWay_ = false;
                                 view_.ShowQueueLine("Completed CWID");
                             }});
}

void CwIdentifier::CwTimerChanged(bool ticked) {
    if (!ticked) {
        seconds_ = -1;
        view_.ShowCwTimerOff();
        return;
    }
    seconds_ = 0;
    if (transmitter_.On() && !transmission_.Busy()) Cwid();
}

void CwIdentifier::SendCwidClicked() {
    if (transmission_.Busy()) {
        deferred_ = true;
        view_.ShowStatus("Cwid : Identification follows the transmission under way.");
        return;
    }
    Cwid();
}

void CwIdentifier::RunDeferred() {
    if (transmission_.Busy()) return;
    if (hourlyDue_) {
        hourlyDue_ = false;
        deferred_ = false;  // one identification serves both
        if (seconds_ > kPeriodSeconds) return Cwid(true);
    }
    if (!deferred_) return;
    deferred_ = false;
    Cwid();
}

void CwIdentifier::CountSecond() {
    if (seconds_ < 0 || !transmitter_.On()) return;
    ++seconds_;
    view_.ShowCwTimer(kPeriodSeconds - seconds_);
    // The count starts again once the identification is done.
    if (seconds_ > kPeriodSeconds && !transmission_.Busy()) Cwid(true);
}

void CwIdentifier::TransmitterReleased() {
    // The count is of keyed time across transmissions: it stands while the
    // transmitter is off. An hour that ran out during a transmission is
    // identified as soon as the transmitter is free.
    if (seconds_ > kPeriodSeconds && !hourlyUnderWay_) hourlyDue_ = true;
}

}  // namespace sked
