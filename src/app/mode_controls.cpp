#include "app/mode_controls.h"

#include <cstdlib>

#include "audio/stream_errors.h"
#include "platform/text_format.h"

namespace sked {

namespace {
constexpr float kBauds[ModeControls::kBaudButtons] = {45.45f, 50.0f, 56.9f, 74.2f, 100.0f, 110.0f, 300.0f};
constexpr const char* kRttyCaptions[ModeControls::kBaudButtons] = {" 45.45", " 50.0", " 56.9", " 74.2",
                                                                   "100.0",  "110.0", "300.0"};
constexpr const char* kPskCaptions[ModeControls::kBaudButtons] = {"1500", "1600", "1700", "1800",
                                                                  "1900", "2000", "2100"};
// The speed buttons of PSK31 mode choose the frequency in 100 Hz steps.
constexpr float kLowestPskFrequency = 1500.0f;
constexpr float kPskFrequencyStep = 100.0f;
// Line control: no parity, 1.5 (5 bits) or 2 (8 bits) stop bits.
constexpr int kNoParity = 0;
constexpr int kLongStop = uart::kLcrStopBits;
constexpr int kFiveBits = 0;
constexpr int kEightBits = 3;
}  // namespace

float ModeControls::BaudOfButton(int index) { return kBauds[index]; }

void ModeControls::MarkMode(int mode) {
    MainWindow& w = w_;
    w.milButton.SetChecked(mode == kMilitary);
    w.ita2Button.SetChecked(mode == kIta2);
    w.telexButton.SetChecked(mode == kTelex);
    w.asciiButton.SetChecked(mode == kAscii);
    w.pskButton.SetChecked(mode == kPsk31);
    w.fecButton.SetChecked(false);
    w.cwButton.SetChecked(mode == kCw);
}

void ModeControls::ProgramLine() { uart_.ProgramUart(state_.portBase, state_.baud, kNoParity, state_.wordLength, kLongStop); }

void ModeControls::ModeClicked(int mode) {
    StationState& s = state_;
    MarkMode(mode);
    switch (mode) {
        case kMilitary:
        case kIta2:
        case kTelex:
        case kAscii:
            s.mode = mode;
            s.pskUnavailable.clear();
            s.wordLength = mode == kAscii ? kEightBits : kFiveBits;
            ProgramLine();
            psk_.Stop();
            ShowRttyDisplay();
            return;
        case kCw:
            s.mode = kCw;
            s.pskUnavailable.clear();
            psk_.Stop();
            return;
        case kPsk31: {
            s.mode = kPsk31;
            const int device = SelectSoundDevice();
            if (device > 10) {
                boxes_.Show("Skedcast", "Please Select a Sound Card");
                PskCannotStart("no sound card chosen");
                return;
            }
            // The modem takes the card: the AFSK generator is not used in PSK31.
            psk_.Stop();
            const int result = psk_.StartOnCard(device);
            if (result != 0) {
                boxes_.Show("FATAL - Sound Card", PskStartErrorMessage(result), BoxIcon::Stop);
                PskCannotStart(PskStartErrorMessage(result) +
                               (psk_.Problem().empty() ? "" : " (" + psk_.Problem() + ")"));
                return;
            }
            s.pskUnavailable.clear();
            w_.statusLine.SetText(PskStartErrorText(0));
            ShowPskDisplay();
            return;
        }
        default:
            return;
    }
}

void ModeControls::PskCannotStart(const std::string& reason) {
    // Back to Military for real: a PSK31 mode without a modem would pass
    // text through without sending it. Entries are not sent in Military
    // instead: their readers listen for PSK31.
    ModeClicked(kMilitary);
    state_.pskUnavailable = reason;
    log_.LogEvent("CmPSK31 : PSK31 cannot start: " + reason + ". Entries are not sent until a mode is chosen.");
}

void ModeControls::BaudClicked(int index) {
    StationState& s = state_;
    MainWindow& w = w_;
    for (int i = 0; i < kBaudButtons; ++i) w.baudButtons[i].SetChecked(i == index);
    if (s.mode == kPsk31) {
        s.pskFrequency = kLowestPskFrequency + kPskFrequencyStep * static_cast<float>(index);
        ShowPskDisplay();
        return;
    }
    s.baud = kBauds[index];
    ProgramLine();
}

void ModeControls::ShowRttyDisplay() {
    StationState& s = state_;
    w_.baudGroup.SetCaption("Baud");
    for (int i = 0; i < kBaudButtons; ++i) w_.baudButtons[i].SetCaption(kRttyCaptions[i]);
    s.tones.centre = Format("%10.3f", static_cast<double>(s.fskCentre));
    s.tones.shift = Format("%8.2f", static_cast<double>(s.fskShift));
    s.tones.mark = Format("%8.1f", static_cast<double>(s.fskCentre - s.fskShift / 2));
    s.tones.space = Format("%8.1f", static_cast<double>(s.fskCentre + s.fskShift / 2));
    view_.ShowTones();
    w_.shiftField.SetReadOnly(false);
}

void ModeControls::ShowPskDisplay() {
    StationState& s = state_;
    w_.baudGroup.SetCaption("TX Freq");
    for (int i = 0; i < kBaudButtons; ++i) w_.baudButtons[i].SetCaption(kPskCaptions[i]);
    s.tones.centre = Format("%10.3f", static_cast<double>(s.pskFrequency));
    s.tones.shift = Format("%6.2f", static_cast<double>(s.pskShift));
    psk_.SetTone(static_cast<int>(s.pskFrequency));
    s.tones.mark = Format("%8.1f", static_cast<double>(s.pskFrequency - s.pskShift / 2));
    s.tones.space = Format("%8.1f", static_cast<double>(s.pskFrequency + s.pskShift / 2));
    view_.ShowTones();
    w_.shiftField.SetReadOnly(true);
}

int ModeControls::SelectSoundDevice() {
    if (state_.soundCard == kDefaultSoundCard) return -1;
    if (state_.soundCard >= 1 && state_.soundCard <= 4) return state_.soundCard - 1;
    // No device named: no sound, as the list's own handler decides.
    state_.noSound = true;
    w_.noSoundCheck.SetCheck(1);
    return kNoDevice;
}

void ModeControls::SoundCardChanged(const std::string& item) {
    state_.soundCard = std::atoi(item.c_str());
    NoSoundClicked(state_.soundCard == kNoSoundCard);
}

void ModeControls::NoSoundClicked(bool noSound) {
    state_.noSound = noSound;
    w_.noSoundCheck.SetCheck(noSound ? 1 : 0);
    w_.centreField.SetEnabled(!noSound);
    w_.shiftField.SetEnabled(!noSound);
}

void ModeControls::EntryStyleClicked(bool centreAndShift) {
    state_.tones.centreAndShift = centreAndShift;
    w_.centreShiftRadio.SetChecked(centreAndShift);
    w_.markSpaceRadio.SetChecked(!centreAndShift);
    w_.centreField.SetReadOnly(!centreAndShift);
    w_.shiftField.SetReadOnly(!centreAndShift);
    w_.markField.SetReadOnly(centreAndShift);
    w_.spaceField.SetReadOnly(centreAndShift);
}

}  // namespace sked
