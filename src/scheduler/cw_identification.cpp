#include "scheduler/cw_identification.h"

#include "app/scheduler_dlg.h"
#include "scheduler/dispatcher.h"
#include "transmit/code_sender.h"
#include "transmit/file_sender.h"
#include "transmit/psk_modem.h"
#include "transmit/transmitter_switch.h"

namespace sked {

void CwIdentifier::Cwid(const std::string& text) {
    StationSettings& s = Settings();
    MainWindow& w = dlg_.w;
    // An identification does not release the queue early: Send now stays as it was.
    const int sendNowBefore = s.sendNow;
    s.sending = 1;
    s.idle = 0;
    s.sendNow = 0;
    s.cancelRequested = 0;
    dlg_.log.LogEvent("Cwid : Sending CW Identification.");
    w.queueLine.SetText("CW Pre-Identification Text");
    dlg_.transmitter->CmTX();
    dlg_.files->TXFile("cwid.txt", s.mode);
    w.queueLine.SetText("Sending CWID " + text);

    if (s.mode == kPsk31) {
        PskModem& psk = *dlg_.psk;
        psk.SetCwIdText(text);
        psk.QueueCode(2, 1);
        psk.EndTransmit();
        dlg_.dispatcher->WaitForSecondTicks(s.secondTicks + 15);
        psk.StartTransmit();
    } else {
        Dispatcher& timing = *dlg_.dispatcher;
        timing.OnTimer(kStartFastTimer);
        timing.WaitTicks(50);
        for (char c : text) {
            if (s.cancelRequested == 1) break;
            dlg_.sender->SendMorseBreak(static_cast<unsigned char>(c));
        }
        timing.WaitTicks(50);
        timing.OnTimer(kStopFastTimer);
    }
    // Send now as it was: an identification does not release the queue early.
    s.sendNow = sendNowBefore;
    dlg_.dispatcher->ReleaseUnlessNextIsDue();
    w.queueLine.SetText("Completed CWID");
    s.sending = 0;
    s.idle = 1;
}

void CwIdentifier::CwTimerClicked() {
    StationSettings& s = Settings();
    if (dlg_.w.cwTimerCheck.Check()) {
        s.cwTimerSeconds = 0;
        if (s.transmitterOn == 1 && s.sending == 0) Cwid(s.idText);
    } else {
        s.cwTimerSeconds = -1;
        dlg_.w.cwTimerField.SetText("OFF");
    }
}

void CwIdentifier::SendCwidClicked() {
    if (Settings().sending == 1) {
        deferred_ = true;
        dlg_.w.statusLine.SetText("Cwid : Identification follows the transmission under way.");
        return;
    }
    Cwid(Settings().idText);
}

void CwIdentifier::RunDeferred() {
    if (!deferred_ || Settings().sending == 1) return;
    deferred_ = false;
    Cwid(Settings().idText);
}

}  // namespace sked
