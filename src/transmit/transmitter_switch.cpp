#include "transmit/transmitter_switch.h"

#include <cerrno>
#include <cmath>
#include <cstdlib>

#include "app/scheduler_dlg.h"
#include "audio/tone_generator.h"
#include "net/telnet.h"
#include "platform/text_format.h"
#include "scheduler/cw_identification.h"
#include "scheduler/dispatcher.h"
#include "transmit/psk_modem.h"
#include "transmit/uart.h"

namespace sked {

namespace {
constexpr std::size_t kFieldChars = 29;

double FieldValue(const EditControl& field) { return std::atof(field.Text(kFieldChars).c_str()); }
}  // namespace

TransmitterSwitch::TransmitterSwitch(CSchedulerDlg& dlg) : dlg_(dlg) {}
TransmitterSwitch::~TransmitterSwitch() = default;

void TransmitterSwitch::CmTX() {
    StationSettings& s = Settings();
    MainWindow& w = dlg_.w;
    if (s.transmitterOn == 1) return;
    w.noSoundCheck.SetEnabled(false);
    w.soundCardCombo.SetEnabled(false);

    std::string address = w.addressField.Text(kFieldChars);
    int linkPort = std::atoi(w.netPortCombo.EditText(kFieldChars).c_str());
    if (linkPort != 0) {
        int tcpPort = linkPort + 5999;
        if (dlg_.telnet->OpenLink(address, tcpPort)) {
            dlg_.boxes.Show("TCP/IP Connect Failure",
                            Format("Failed to connect to %s on port %i\nPlease correct IP address and try again.\n"
                                   "Socket error reported as %i",
                                   address.c_str(), tcpPort, dlg_.telnet->LastError()),
                            BoxIcon::Stop);
            linkFailed_ = true;
            return;
        }
    }

    s.transmitterOn = 1;
    w.transmitField.SetText("  ON  ");
    dlg_.log.LogEvent("CmTX : Transmitter ON");
    dlg_.uart->KeyLineOn();

    if (s.mode == kPsk31) {
        s.pskFrequency = static_cast<float>(FieldValue(w.centreField));
        dlg_.psk->SetFrequency(static_cast<int>(s.pskFrequency));
        dlg_.psk->StartTransmit();
        w.centreField.SetReadOnly(true);
        w.shiftField.SetReadOnly(true);
        return;
    }
    if (s.mode == kCw) return;  // the keying line is the Morse key
    if (w.noSoundCheck.Check()) return;

    SetTonePair();
    generator_.reset();  // nothing is queued while the new one is made
    if (makeGenerator_) {
        s.sampleRate = 8000;
        s.noiseFilter = 1;
        generator_ = makeGenerator_();
        if (generator_) generator_->StartGenerator();
    }
    w.centreField.SetReadOnly(true);
    w.shiftField.SetReadOnly(true);
}

void TransmitterSwitch::SetTonePair() {
    StationSettings& s = Settings();
    MainWindow& w = dlg_.w;
    if (w.centreShiftRadio.Checked()) {
        double c = FieldValue(w.centreField);
        double shift = FieldValue(w.shiftField);
        w.markField.SetText(Format("%8.2f", c - shift / 2));
        w.spaceField.SetText(Format("%8.2f", c + shift / 2));
        s.toneCentre = static_cast<int>(c);
        s.halfShift = shift / 2;
    } else {
        double m = FieldValue(w.markField);
        double p = FieldValue(w.spaceField);
        double shift = std::fabs(m - p);
        double c = std::max(m, p) - shift / 2;
        w.centreField.SetText(Format("%8.2f", c));
        w.shiftField.SetText(Format("%6.1f", shift));
        s.halfShift = shift / 2;
        s.toneCentre = static_cast<int>(c);
    }
}

void TransmitterSwitch::SetToneFieldsWritable() {
    MainWindow& w = dlg_.w;
    bool centreStyle = w.centreShiftRadio.Checked();
    w.centreField.SetReadOnly(!centreStyle);
    w.shiftField.SetReadOnly(!centreStyle);
    w.markField.SetReadOnly(centreStyle);
    w.spaceField.SetReadOnly(centreStyle);
}

void TransmitterSwitch::CmRX() {
    StationSettings& s = Settings();
    MainWindow& w = dlg_.w;
    if (s.transmitterOn == 0) {
        if (linkFailed_) {
            // The sender that found the link down is done: back to idle.
            linkFailed_ = false;
            w.noSoundCheck.SetEnabled(true);
            w.soundCardCombo.SetEnabled(true);
            s.idle = 1;
        }
        return;
    }
    // The last teleprinter character goes out whole before the key drops,
    // and the station shows OFF only once the key is really up.
    if (s.mode != kPsk31 && s.mode != kCw) {
        dlg_.uart->WaitUntilSent();
        if (s.transmitterOn == 0) return;  // switched off meanwhile
    }
    linkFailed_ = false;
    s.keyedOnRequest = false;
    s.keyHeldForNext = false;
    w.noSoundCheck.SetEnabled(true);
    w.soundCardCombo.SetEnabled(true);
    if (dlg_.telnet->IsOpen()) dlg_.telnet->CloseLink();
    s.transmitterOn = 0;
    w.cwTimerCheck.SetCheck(0);
    dlg_.cwid->CwTimerClicked();
    w.transmitField.SetText("  OFF  ");
    s.idle = 1;
    dlg_.uart->KeyLineOff();
    dlg_.log.LogEvent("CmRX : Transmitter OFF");
    SetToneFieldsWritable();

    if (s.mode == kPsk31) {
        dlg_.psk->PrepareEnd();
        dlg_.psk->EndTransmit();
        dlg_.dispatcher->WaitSeconds(2);
        dlg_.psk->PrepareEnd();
        dlg_.psk->EndTransmit();
    } else if (s.mode != kCw) {
        // The key drops first; the tones run on for the two-second tail.
        if (generator_) generator_->EmptyQueue();
        dlg_.dispatcher->WaitSeconds(2);
        if (generator_) generator_->RequestStop();
    }
}

}  // namespace sked
