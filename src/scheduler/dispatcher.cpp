#include "scheduler/dispatcher.h"

#include <sstream>

#include "app/operator_controls.h"
#include "app/scheduler_dlg.h"
#include "platform/text_format.h"
#include "scheduler/command_interpreter.h"
#include "scheduler/cw_identification.h"
#include "scheduler/schedule_loader.h"
#include "transmit/code_sender.h"
#include "transmit/data_file_name.h"
#include "transmit/file_sender.h"
#include "transmit/transmitter_switch.h"
#include "transmit/uart.h"

namespace sked {

void Dispatcher::OnTimer(int number) {
    EventLoop& loop = dlg_.loop;
    switch (number) {
        case kStartSecondTimer:
            if (!loop.StartTimer(kSecondTimer, std::chrono::seconds(1), EventLoop::Alignment::WallSecond))
                FatalTimerStop();
            break;
        case kStopSecondTimer:
            loop.StopTimer(kSecondTimer);
            break;
        case kSecondTimer:
            OneSecondTick();
            break;
        case kFastTimer:
            Settings().milliTicks += 1;
            break;
        case kStartFastTimer:
            if (!loop.StartTimer(kFastTimer, kFastTimerPeriod)) FatalTimerStop();
            break;
        case kStopFastTimer:
            loop.StopTimer(kFastTimer);
            break;
        default:
            break;
    }
}

void Dispatcher::FatalTimerStop() {
    dlg_.log.LogEvent("OnTimer : Out of Timers - Fatal Abort - Exiting");
    // Never leave the transmitter keyed behind a dead program.
    if (Settings().transmitterOn == 1) {
        dlg_.uart->KeyLineOff();
        Settings().transmitterOn = 0;
        dlg_.log.LogEvent("CmRX : Transmitter OFF");
    }
    throw StationExit{0};
}

namespace {
// Waits until `count` reaches `target`, woken by the timer that advances it;
// without that timer running, waits until `fallback` on the clock instead.
void WaitForCount(EventLoop& loop, const int& count, int target, int timerId, TimePoint fallback) {
    while (count < target) {
        if (loop.TimerRunning(timerId)) {
            loop.WaitForEvent(EventLoop::Forever);
        } else {
            if (loop.clock().Now() >= fallback) break;
            loop.WaitForEvent(fallback);
        }
    }
}
}  // namespace

void Dispatcher::WaitTicks(int ticks) {
    StationSettings& s = Settings();
    s.milliTicks = 0;
    EventLoop& loop = dlg_.loop;
    WaitForCount(loop, s.milliTicks, ticks, kFastTimer, loop.clock().Now() + kFastTimerPeriod * ticks);
}

void Dispatcher::MorseLeadIn() {
    OnTimer(kStartFastTimer);
    WaitTicks(50);
    // The keying line is also the Morse key: it has been closed since the
    // transmitter came on. Open it for a word space, or the first element
    // would run on from the lead-in carrier and be lost.
    dlg_.uart->KeyLineOff();
    WaitTicks(7);
}

void Dispatcher::WaitSeconds(int seconds) {
    Settings().secondTicks = 0;
    WaitForSecondTicks(seconds);
}

void Dispatcher::WaitForSecondTicks(int count) {
    StationSettings& s = Settings();
    EventLoop& loop = dlg_.loop;
    WaitForCount(loop, s.secondTicks, count, kSecondTimer,
                 loop.clock().Now() + std::chrono::seconds(count - s.secondTicks));
}

void Dispatcher::OneSecondTick() {
    StationSettings& s = Settings();
    s.secondTicks += 1;
    std::time_t now = dlg_.loop.clock().Time();
    dlg_.w.clockField.SetText(CtimeText(now));
    dlg_.cwid->RunDeferred();
    if (s.autoSendEnabled == 1) QueueStep(now);
    ReleaseHeldKey();
}

bool Dispatcher::NextTransmissionDue() const {
    const StationSettings& s = Settings();
    const ListBoxControl& queue = dlg_.w.scheduleList;
    if (queue.Count() == 0 || queue.Item(0).empty()) return false;
    if (s.sendNow == 1) return true;
    if (s.autoSendEnabled != 1) return false;
    std::istringstream words(queue.Item(0));
    std::string date, time, name;
    if (!(words >> date >> time >> name)) return false;
    const std::time_t due = ScheduleLoader::EntryTime(queue.Item(0));
    return due > 0 && due <= dlg_.loop.clock().Time();
}

void Dispatcher::ReleaseUnlessNextIsDue() {
    StationSettings& s = Settings();
    if (s.transmitterOn != 1) return;
    if (NextTransmissionDue()) {
        s.keyHeldForNext = true;
        return;
    }
    dlg_.transmitter->CmRX();
}

void Dispatcher::ReleaseHeldKey() {
    StationSettings& s = Settings();
    if (s.transmitterOn == 1 && s.keyHeldForNext && s.sending == 0 && !NextTransmissionDue())
        dlg_.transmitter->CmRX();
}

void Dispatcher::QueueStep(std::time_t now) {
    StationSettings& s = Settings();
    MainWindow& w = dlg_.w;

    if (s.cwTimerSeconds >= 0 && s.transmitterOn == 1) {
        s.cwTimerSeconds += 1;
        w.cwTimerField.SetText(Format("%d", 3600 - s.cwTimerSeconds));
    }
    if (s.cwTimerSeconds > 3600 && s.transmitterOn == 1 && s.sending == 0) {
        dlg_.cwid->Cwid(s.idText);
        s.cwTimerSeconds = 0;
    }

    if (w.scheduleList.Count() == 0 || w.scheduleList.Item(0).empty()) {
        dlg_.controls->CmDisable();
        w.queueLine.SetText("Queue Empty: Nothing to Send.");
        dlg_.log.LogEvent("Queue Empty: Nothing to Send.");
        s.secondsToNext = 10;
        return;
    }

    std::string head = w.scheduleList.Item(0);
    std::time_t due = ScheduleLoader::EntryTime(head);
    long t = static_cast<long>(due - now);
    s.secondsToNext = t;
    std::istringstream words(head);
    std::string date, time, name;
    int count = 0;
    if (words >> date) ++count;
    if (words >> time) ++count;
    if (words >> name) ++count;

    // Send now moves the head whatever its time, but never into the middle
    // of a transmission still under way (its key-up tail included).
    bool goes = s.sending == 0 && (s.sendNow == 1 || (count == 3 && t <= 0));
    if (!goes) {
        w.countdownField.SetText(Format("%ld", t));
        return;
    }
    w.scheduleList.DeleteString(0);

    if (!name.empty() && name[0] == '$') {
        dlg_.commands->Run(name.substr(1));
        s.sendNow = 0;
        return;
    }
    SendEntry(name);
}

void Dispatcher::SendEntry(const std::string& name) {
    StationSettings& s = Settings();
    MainWindow& w = dlg_.w;
    s.sending = 1;
    s.idle = 0;
    s.sendNow = 0;
    std::string queued = Format("File <%s> in TRANSMIT Queue.", name.c_str());
    w.queueLine.SetText(queued);
    dlg_.log.LogEvent(queued);
    w.statusLine.SetText("");

    bool sent = false;
    if (s.cancelRequested == 0) {
        if (std::FILE* f = FileSender::OpenForReading("data/" + name); f && IsDataFileName(name)) {
            std::fclose(f);
            dlg_.transmitter->CmTX();
            if (s.mode == kCw) MorseLeadIn();
            else dlg_.sender->SendIdle(5);
            if (s.cancelRequested == 0 && s.headerEnabled == 1) dlg_.files->TXFile("header.txt", s.mode);
            if (s.cancelRequested == 0) sent = dlg_.files->TXFile(name, s.mode);
            if (s.cancelRequested == 0 && s.headerEnabled == 1) dlg_.files->TXFile("footer.txt", s.mode);
            if (s.mode == kCw) OnTimer(kStopFastTimer);
            else if (s.cancelRequested == 0) dlg_.sender->SendIdle(5);
        } else {
            if (f) std::fclose(f);
            std::string abort = Format("SendAbort : File <%s> could not be opened.", name.c_str());
            dlg_.log.LogEvent(abort);
            w.statusLine.SetText(abort);
        }
    }

    ReleaseUnlessNextIsDue();
    std::string result;
    if (s.cancelRequested == 1) {
        result = Format("ABORTED sending <%s>.", name.c_str());
        dlg_.controls->CmDisable();
    } else if (!sent) {
        // Not sent, and not the operator's doing: the queue goes on.
        result = Format("ABORTED sending <%s>.", name.c_str());
    } else {
        result = Format("Completed sending <%s>.", name.c_str());
    }
    w.queueLine.SetText(result);
    dlg_.log.LogEvent(result);
    s.idle = 1;
    s.sending = 0;
}

}  // namespace sked
