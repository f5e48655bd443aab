#include "scheduler/dispatcher.h"

#include "platform/text_format.h"
#include "transmit/data_file_name.h"

namespace sked {

namespace {
// An hour of keyed time between automatic identifications.
constexpr int kIdentificationPeriod = 3600;
// Seconds of idle fill after keying and before the release.
constexpr int kIdleSeconds = 5;
}  // namespace

void Dispatcher::OnTimer(int number) {
    switch (number) {
        case kStartSecondTimer:
            timing_.StartSecondTimer();
            break;
        case kStopSecondTimer:
            timing_.StopSecondTimer();
            break;
        case kSecondTimer:
            OneSecondTick();
            break;
        case kFastTimer:
            timing_.OnFastTick();
            break;
        case kStartFastTimer:
            timing_.StartFastTimer();
            break;
        case kStopFastTimer:
            timing_.StopFastTimer();
            break;
        default:
            break;
    }
}

void Dispatcher::CmEnable() {
    view_.ShowAutoSend(true);
    view_.ShowFlow("");
    state_.autoSendEnabled = true;
    state_.cancelRequested = false;
    log_.LogEvent("CmEnable : Scheduler ENABLED");
}

void Dispatcher::CmDisable() {
    view_.ShowAutoSend(false);
    view_.ShowCountdown("");
    state_.autoSendEnabled = false;
    state_.sendNow = false;
    log_.LogEvent("CmDisable : Scheduler DISABLED");
}

void Dispatcher::OneSecondTick() {
    timing_.OnSecondTick();
    std::time_t now = timing_.loop().clock().Time();
    view_.ShowClock(CtimeText(now));
    cwid_.RunDeferred();
    if (state_.autoSendEnabled) QueueStep(now);
    keyHolding_.ReleaseHeldKey();
}

void Dispatcher::QueueStep(std::time_t now) {
    if (state_.cwTimerSeconds >= 0 && state_.transmitterOn) {
        state_.cwTimerSeconds += 1;
        view_.ShowCwTimer(Format("%d", kIdentificationPeriod - state_.cwTimerSeconds));
    }
    if (state_.cwTimerSeconds > kIdentificationPeriod && state_.transmitterOn && !state_.sending) {
        cwid_.Cwid(state_.idText);
        state_.cwTimerSeconds = 0;
    }

    if (queue_.Empty() || queue_.At(0).text.empty()) {
        CmDisable();
        view_.ShowQueueLine("Queue Empty: Nothing to Send.");
        log_.LogEvent("Queue Empty: Nothing to Send.");
        return;
    }

    const QueueEntry head = queue_.At(0);
    const long t = static_cast<long>(head.due - now);
    // Send now moves the head whatever its time, but never into the middle
    // of a transmission still under way (its key-up tail included).
    const bool goes = !state_.sending && (state_.sendNow || (head.words == 3 && t <= 0));
    if (!goes) {
        view_.ShowCountdown(Format("%ld", t));
        return;
    }
    queue_.Remove(0);

    if (!head.name.empty() && head.name[0] == '$') {
        commands_.Run(head.name.substr(1));
        state_.sendNow = false;
        return;
    }
    SendEntry(head.name);
}

void Dispatcher::SendEntry(const std::string& name) {
    state_.sending = true;
    state_.idle = false;
    state_.sendNow = false;
    std::string queued = Format("File <%s> in TRANSMIT Queue.", name.c_str());
    view_.ShowQueueLine(queued);
    log_.LogEvent(queued);
    view_.ShowStatus("");

    bool sent = false;
    if (!state_.pskUnavailable.empty()) {
        // Chosen for PSK31, which could not start: not sent in another mode.
        std::string skip = Format("SendAbort : <%s> not sent: PSK31 cannot start: %s.", name.c_str(),
                                  state_.pskUnavailable.c_str());
        log_.LogEvent(skip);
        view_.ShowStatus(skip);
    } else if (!state_.cancelRequested) {
        if (std::FILE* f = FileSender::OpenForReading("data/" + name); f && IsDataFileName(name)) {
            std::fclose(f);
            transmitter_.CmTX();
            if (state_.mode == kCw) sender_.MorseLeadIn();
            else sender_.SendIdle(kIdleSeconds);
            if (!state_.cancelRequested && state_.headerEnabled) files_.TXFile("header.txt", state_.mode);
            if (!state_.cancelRequested) sent = files_.TXFile(name, state_.mode);
            if (!state_.cancelRequested && state_.headerEnabled) files_.TXFile("footer.txt", state_.mode);
            if (state_.mode == kCw) timing_.StopFastTimer();
            else if (!state_.cancelRequested) sender_.SendIdle(kIdleSeconds);
        } else {
            if (f) std::fclose(f);
            std::string abort = Format("SendAbort : File <%s> could not be opened.", name.c_str());
            log_.LogEvent(abort);
            view_.ShowStatus(abort);
        }
    }

    keyHolding_.ReleaseUnlessNextIsDue();
    std::string result;
    if (state_.cancelRequested) {
        result = Format("ABORTED sending <%s>.", name.c_str());
        CmDisable();
    } else if (!sent) {
        // Not sent, and not the operator's doing: the queue goes on.
        result = Format("ABORTED sending <%s>.", name.c_str());
    } else {
        result = Format("Completed sending <%s>.", name.c_str());
    }
    view_.ShowQueueLine(result);
    log_.LogEvent(result);
    state_.idle = true;
    state_.sending = false;
}

}  // namespace sked
