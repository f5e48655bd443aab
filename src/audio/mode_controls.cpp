#include "audio/mode_controls.h"

#include <cstdlib>

#include "app/scheduler_dlg.h"
#include "platform/text_format.h"
#include "transmit/psk_modem.h"
#include "transmit/uart.h"

namespace sked {

namespace {
constexpr float kBauds[7] = {45.45f, 50.0f, 56.9f, 74.2f, 100.0f, 110.0f, 300.0f};
constexpr const char* kRttyCaptions[7] = {" 45.45", " 50.0", " 56.9", " 74.2", "100.0", "110.0", "300.0"};
constexpr const char* kPskCaptions[7] = {"1500", "1600", "1700", "1800", "1900", "2000", "2100"};
}  // namespace

float ModeControls::BaudOfButton(int index) { return kBauds[index]; }

void ModeControls::MarkMode(int mode) {
    MainWindow& w = dlg_.w;
    w.milButton.SetChecked(mode == kMilitary);
    w.ita2Button.SetChecked(mode == kIta2);
    w.telexButton.SetChecked(mode == kTelex);
    w.asciiButton.SetChecked(mode == kAscii);
    w.pskButton.SetChecked(mode == kPsk31);
    w.fecButton.SetChecked(false);
    w.cwButton.SetChecked(mode == kCw);
}

void ModeControls::ProgramLine() {
    StationSettings& s = Settings();
    dlg_.uart->ProgramUart(s.portBase, s.baud, 0, s.wordLength, 4);
}

void ModeControls::ModeClicked(int mode) {
    StationSettings& s = Settings();
    MarkMode(mode);
    switch (mode) {
        case kMilitary:
        case kIta2:
        case kTelex:
        case kAscii:
            s.mode = mode;
            s.wordLength = mode == kAscii ? 3 : 0;
            ProgramLine();
            dlg_.psk->Stop();
            ShowRttyDisplay();
            return;
        case kCw:
            s.mode = kCw;
            dlg_.psk->Stop();
            return;
        case kPsk31: {
            s.mode = kPsk31;
            int device = SelectSoundDevice();
            if (device > 10) {
                dlg_.boxes.Show("Skedcast", "Please Select a Sound Card");
                // Back to Military for real: a PSK31 mode without a modem
                // would pass text through without sending it.
                ModeClicked(kMilitary);
                return;
            }
            dlg_.psk->Stop();
            int result = dlg_.psk->Start(device);
            if (result == 0) dlg_.w.statusLine.SetText(PskStartReport(0));
            else dlg_.boxes.Show("FATAL - Sound Card", Format("(%3i) ", result) + PskStartReport(result), BoxIcon::Stop);
            if (result != 0) {
                ModeClicked(kMilitary);
                return;
            }
            ShowPskDisplay();
            return;
        }
        default:
            return;
    }
}

void ModeControls::BaudClicked(int index) {
    StationSettings& s = Settings();
    MainWindow& w = dlg_.w;
    for (int i = 0; i < 7; ++i) w.baudButtons[i].SetChecked(i == index);
    if (s.mode == kPsk31) {
        s.pskFrequency = 1500.0f + 100.0f * static_cast<float>(index);
        ShowPskDisplay();
        return;
    }
    s.baud = kBauds[index];
    ProgramLine();
}

void ModeControls::ShowRttyDisplay() {
    StationSettings& s = Settings();
    MainWindow& w = dlg_.w;
    w.baudGroup.SetCaption("Baud");
    for (int i = 0; i < 7; ++i) w.baudButtons[i].SetCaption(kRttyCaptions[i]);
    w.centreField.SetText(Format("%10.3f", static_cast<double>(s.fskCentre)));
    w.shiftField.SetText(Format("%8.2f", static_cast<double>(s.fskShift)));
    w.shiftField.SetReadOnly(false);
    w.markField.SetText(Format("%8.1f", static_cast<double>(s.fskCentre - s.fskShift / 2)));
    w.spaceField.SetText(Format("%8.1f", static_cast<double>(s.fskCentre + s.fskShift / 2)));
}

void ModeControls::ShowPskDisplay() {
    StationSettings& s = Settings();
    MainWindow& w = dlg_.w;
    w.baudGroup.SetCaption("TX Freq");
    for (int i = 0; i < 7; ++i) w.baudButtons[i].SetCaption(kPskCaptions[i]);
    w.centreField.SetText(Format("%10.3f", static_cast<double>(s.pskFrequency)));
    w.shiftField.SetText(Format("%6.2f", 31.25));
    w.shiftField.SetReadOnly(true);
    dlg_.psk->SetFrequency(static_cast<int>(s.pskFrequency));
    w.markField.SetText(Format("%8.1f", static_cast<double>(s.pskFrequency - s.pskShift / 2)));
    w.spaceField.SetText(Format("%8.1f", static_cast<double>(s.pskFrequency + s.pskShift / 2)));
}

int ModeControls::SelectSoundDevice() {
    MainWindow& w = dlg_.w;
    int number = std::atoi(w.soundCardCombo.EditText().c_str());
    if (number == -1) return -1;
    if (number >= 1 && number <= 4) return number - 1;
    // No device named: no sound, as the list's own handler decides.
    w.noSoundCheck.SetCheck(1);
    return kNoDevice;
}

void ModeControls::SoundCardChanged() {
    MainWindow& w = dlg_.w;
    int number = std::atoi(w.soundCardCombo.EditText().c_str());
    w.noSoundCheck.SetCheck(number != 0 ? 0 : 1);
    NoSoundClicked();
}

void ModeControls::NoSoundClicked() {
    MainWindow& w = dlg_.w;
    bool noSound = w.noSoundCheck.Check() != 0;
    w.centreField.SetEnabled(!noSound);
    w.shiftField.SetEnabled(!noSound);
}

void ModeControls::EntryStyleClicked(bool centreAndShift) {
    MainWindow& w = dlg_.w;
    w.centreShiftRadio.SetChecked(centreAndShift);
    w.markSpaceRadio.SetChecked(!centreAndShift);
    w.centreField.SetReadOnly(!centreAndShift);
    w.shiftField.SetReadOnly(!centreAndShift);
    w.markField.SetReadOnly(centreAndShift);
    w.spaceField.SetReadOnly(centreAndShift);
}

std::string ModeControls::PskStartReport(int code) {
    switch (code) {
        case 0: return "No error in starting sound card process";
        case 10: return "Tried to read and soundcard is not open";
        case 12: return "Input buffers over-flowed";
        case 13: return "Timed out waiting for input buffers";
        case 14: return "Tried to write and soundcard is not open";
        case 15: return "Output buffers under-flowed";
        case 16: return "Timed out waiting for output buffers";
        case 17: return "Card doesn't support 16bit, 8000Hz, Mono format";
        case 18: return "Still something playing on soundcard";
        case 19: return "Header not prepared";
        case 20: return "Device is synchronous";
        case 21: return "Bad Device ID, Soundcard Not Present";
        case 22: return "Driver failed to enable";
        case 23: return "Device already allocated";
        case 24: return "Device handle is invalid";
        case 25: return "No device driver present";
        case 26: return "Function isn't supported";
        case 27: return "Error value out of range";
        case 28: return "Invalid flag passed";
        case 29: return "Invalid parameter passed";
        case 30: return "Handle being used";
        case 31: return "Driver does not call DriverCallback";
        case 32: return "Registry error";
        case 33: return "Unknown Error";
        case 34: return "Can't open wave file for input";
        case 35: return "File is not a RIFF wave type";
        case 36: return "Invalid wave file";
        case 37: return "No data in file";
        case 38: return "Not a supported data type";
        case 39: return "Error reading data from file";
        case 40: return "Tried to read and file is not open";
        case 41: return "Can't open wave file for output";
        default: return "Really Bad Undefined Error";
    }
}

}  // namespace sked
