#include "scheduler/dispatcher.h"

#include "platform/text_format.h"
#include "scheduler/schedule_loader.h"
#include "scheduler/timetable.h"
#include "transmit/data_file_name.h"
#include "transmit/data_files.h"

namespace sked {

Dispatcher::Dispatcher(EventLoop& loop, const StationSettings& settings, StationView& view, StationLog& log,
                       TransmitQueue& queue, CommandInterpreter& commands, CwIdentifier& cwid,
                       Transmission& transmission, Transmitter& transmitter, SchedulerState& state)
    : loop_(loop),
      settings_(settings),
      view_(view),
      log_(log),
      queue_(queue),
      commands_(commands),
      cwid_(cwid),
      transmission_(transmission),
      transmitter_(transmitter),
      state_(state),
      tick_(loop, [this] { OneSecondTick(); }) {}

void Dispatcher::StartTicks(const std::function<void()>& noTimer) {
    if (!tick_.Every(std::chrono::seconds(1), EventLoop::Alignment::WallSecond) && noTimer) noTimer();
}

void Dispatcher::StopTicks() { tick_.Stop(); }

void Dispatcher::Enable() {
    view_.ShowAutoSend(true);
    view_.ShowFlow(Flow::None);
    state_.autoSendEnabled = true;
    log_.LogEvent("CmEnable : Scheduler ENABLED");
}

void Dispatcher::Disable() {
    view_.ShowAutoSend(false);
    view_.ClearCountdown();
    state_.autoSendEnabled = false;
    state_.sendNow = false;
    log_.LogEvent("CmDisable : Scheduler DISABLED");
}

void Dispatcher::SendNow() {
    if (transmission_.Busy() || !state_.autoSendEnabled) return;
    state_.sendNow = true;
    view_.ShowFlow(Flow::None);
    log_.LogEvent("CmSendNow : Manual Enabling of next in queue.");
}

void Dispatcher::OneSecondTick() {
    const std::time_t now = loop_.clock().Time();
    view_.ShowClock(now);
    // A missing keying device is looked for again as often as its back end
    // allows (a tty every ten seconds): its return is told when it comes
    // back, not at the next keying.
    if (!transmitter_.On()) transmitter_.Line().Present();
    cwid_.RunDeferred();
    if (state_.autoSendEnabled) QueueStep(now);
    // A key held over for an entry that is no longer due (it was a command,
    // it could not be sent, the scheduler was disabled, the queue ran empty)
    // is released.
    if (transmitter_.On() && transmitter_.keyHeldForNext && !transmission_.Busy() &&
        !NextTransmissionDue(state_, queue_, now))
        transmitter_.ReleaseTransmitter();
}

void Dispatcher::QueueStep(std::time_t now) {
    cwid_.CountSecond();
    // Commands take no air time: a run of due ones is carried out at once.
    while (state_.autoSendEnabled) {
        if (queue_.Empty()) {
            Disable();
            view_.ShowQueueLine("Queue Empty: Nothing to Send.");
            log_.LogEvent("Queue Empty: Nothing to Send.");
            return;
        }
        const QueueEntry head = queue_.At(0);
        const long t = static_cast<long>(head.due - now);
        // Send >> moves the head whatever its time, but never into the middle
        // of a transmission still under way (its release included).
        if (transmission_.Busy() || (!state_.sendNow && t > 0)) {
            view_.ShowCountdown(t);
            return;
        }
        queue_.Remove(0);
        QueueNextOccurrence(queue_, head, now, settings_, DataFileSizeOnDisk);
        if (!head.IsCommand()) return SendEntry(head.name);
        commands_.Run(head.name.substr(1));
        state_.sendNow = false;
    }
}

void Dispatcher::SendEntry(const std::string& name) {
    state_.sendNow = false;
    const std::string queued = Format("File <%s> in TRANSMIT Queue.", name.c_str());
    view_.ShowQueueLine(queued);
    log_.LogEvent(queued);
    view_.ShowStatus("");

    TransmissionPlan plan;
    std::string body;
    if (!settings_.pskUnavailable.empty()) {
        // Chosen for PSK31, which could not start: not sent in another mode.
        plan.notSent = Format("SendAbort : <%s> not sent: PSK31 cannot start: %s.", name.c_str(),
                              settings_.pskUnavailable.c_str());
    } else if (std::string problem; !IsDataFileName(name) || !ReadText("data/" + name, body, &problem)) {
        // The reason too: missing, no regular file, outside data/, too large.
        plan.notSent = Format("SendAbort : File <%s> could not be opened", name.c_str()) +
                       (problem.empty() ? "." : ": " + problem + ".");
    }
    if (!plan.notSent.empty()) {
        // Nothing is keyed for it; a key held for it is released.
        log_.LogEvent(plan.notSent);
        view_.ShowStatus(plan.notSent);
        plan.key = false;
    } else {
        plan.leadInSeconds = kIdleSeconds;
        if (settings_.headerEnabled) plan.parts.push_back({"header.txt", false, std::nullopt});
        plan.parts.push_back({name, true, std::move(body)});
        if (settings_.headerEnabled) plan.parts.push_back({"footer.txt", false, std::nullopt});
        plan.tailSeconds = kIdleSeconds;
    }
    const std::string notSent = plan.notSent;
    transmission_.Start(std::move(plan),
                        {.keepKeyed = [this] { return NextTransmissionDue(state_, queue_, loop_.clock().Time()); },
                         .done = [this, name, notSent](const TransmissionResult& result) {
                             Report(name, notSent, result);
                         }});
}

void Dispatcher::Report(const std::string& name, const std::string& notSent, const TransmissionResult& result) {
    // Why a transmission under way did not go out whole (a refusal before it
    // started has been told already).
    if (!result.whole && !result.cancelled && result.reason != notSent)
        log_.LogEvent(Format("SendAbort : <%s> not sent whole: %s.", name.c_str(), result.reason.c_str()));
    const std::string line =
        Format(result.whole ? "Completed sending <%s>." : "ABORTED sending <%s>.", name.c_str());
    // A cancelled transmission stops the scheduler; any other goes on with the queue.
    if (result.cancelled) Disable();
    view_.ShowQueueLine(line);
    log_.LogEvent(line);
}

}  // namespace sked
