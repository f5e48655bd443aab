#include "app/mode_controls.h"

#include <cmath>
#include <cstdlib>

#include "audio/stream_errors.h"
#include "platform/text_format.h"
#include "scheduler/schedule_commands.h"

namespace sked {

namespace {
constexpr const char* kRttyCaptions[kBaudButtons] = {" 45.45", " 50.0", " 56.9", " 74.2", "100.0", "110.0", "300.0"};
constexpr const char* kPskCaptions[kBaudButtons] = {"1500", "1600", "1700", "1800", "1900", "2000", "2100"};
// The speed buttons of PSK31 mode choose the frequency in 100 Hz steps.
constexpr float kLowestPskFrequency = 1500.0f;
constexpr float kPskFrequencyStep = 100.0f;
// Device numbers above this are no card at all.
constexpr int kHighestDevice = 10;
}  // namespace

void ModeControls::MarkMode(Mode mode) {
    w_.milButton.SetChecked(mode == Mode::Military);
    w_.ita2Button.SetChecked(mode == Mode::Ita2);
    w_.telexButton.SetChecked(mode == Mode::Telex);
    w_.asciiButton.SetChecked(mode == Mode::Ascii);
    w_.pskButton.SetChecked(mode == Mode::Psk31);
    w_.fecButton.SetChecked(false);
    w_.cwButton.SetChecked(mode == Mode::Cw);
}

void ModeControls::ModeClicked(Mode mode) {
    MarkMode(mode);
    switch (mode) {
        case Mode::Military:
        case Mode::Ita2:
        case Mode::Telex:
        case Mode::Ascii:
            s_.mode = mode;
            s_.pskUnavailable.clear();
            ProgramLine();
            psk_.Stop();
            ShowRttyDisplay();
            return;
        case Mode::Cw:
            s_.mode = mode;
            s_.pskUnavailable.clear();
            psk_.Stop();
            return;
        case Mode::Psk31: {
            s_.mode = mode;
            const int device = SelectSoundDevice();
            if (device > kHighestDevice) {
                boxes_.Show("Skedcast", "Please Select a Sound Card");
                PskCannotStart("no sound card chosen");
                return;
            }
            // The modem takes the card: the AFSK generator is not used in
            // PSK31, and tones still running (the key held, the afterglow) end.
            transmitter_.EndTones();
            psk_.Stop();
            const std::error_code result = psk_.StartOnCard(device);
            if (result) {
                boxes_.Show("FATAL - Sound Card", PskStartErrorMessage(result), BoxIcon::Stop);
                PskCannotStart(PskStartErrorMessage(result) +
                               (psk_.Problem().empty() ? "" : " (" + psk_.Problem() + ")"));
                return;
            }
            s_.pskUnavailable.clear();
            w_.statusLine.SetText(PskStartErrorMessage(result));  // "No error in starting sound card process"
            ShowPskDisplay();
            return;
        }
    }
}

void ModeControls::PskCannotStart(const std::string& reason) {
    // Back to Military for real: a PSK31 mode without a modem would pass
    // text through without sending it. Entries are not sent in Military
    // instead: their readers listen for PSK31.
    ModeClicked(Mode::Military);
    s_.pskUnavailable = reason;
    log_.LogEvent("CmPSK31 : PSK31 cannot start: " + reason + ". Entries are not sent until a mode is chosen.");
}

void ModeControls::BaudClicked(int index) {
    for (int i = 0; i < kBaudButtons; ++i) w_.baudButtons[i].SetChecked(i == index);
    if (s_.mode == Mode::Psk31) {
        s_.pskFrequency = kLowestPskFrequency + kPskFrequencyStep * static_cast<float>(index);
        ShowPskDisplay();
        return;
    }
    s_.baud = BaudOfButton(index);
    ProgramLine();
}

void ModeControls::PskPresetChosen(float hertz) {
    s_.pskFrequency = hertz;
    if (s_.mode != Mode::Psk31) return;
    const int index = static_cast<int>(std::lround((hertz - kLowestPskFrequency) / kPskFrequencyStep));
    if (index >= 0 && index < kBaudButtons) return BaudClicked(index);
    ShowPskDisplay();
}

void ModeControls::ShowRttyDisplay() {
    w_.baudGroup.SetCaption("Baud");
    for (int i = 0; i < kBaudButtons; ++i) w_.baudButtons[i].SetCaption(kRttyCaptions[i]);
    ToneSettings& tones = s_.tones;
    tones.centre = s_.fskCentre;
    tones.shift = kFskShift;
    tones.mark = tones.centre - tones.shift / 2;
    tones.space = tones.centre + tones.shift / 2;
    view_.ShowTones(s_, ToneDisplay::Rtty);
    w_.shiftField.SetReadOnly(false);
}

void ModeControls::ShowPskDisplay() {
    w_.baudGroup.SetCaption("TX Freq");
    for (int i = 0; i < kBaudButtons; ++i) w_.baudButtons[i].SetCaption(kPskCaptions[i]);
    ToneSettings& tones = s_.tones;
    tones.centre = s_.pskFrequency;
    tones.shift = kPskShift;
    tones.mark = tones.centre - tones.shift / 2;
    tones.space = tones.centre + tones.shift / 2;
    psk_.SetTone(static_cast<int>(s_.pskFrequency));
    view_.ShowTones(s_, ToneDisplay::Psk);
    w_.shiftField.SetReadOnly(true);
}

int ModeControls::SelectSoundDevice() {
    if (s_.soundCard == kDefaultSoundCard) return -1;
    if (s_.soundCard >= 1 && s_.soundCard <= kSoundCards) return s_.soundCard - 1;
    // No device named: no sound, as the list's own handler decides.
    s_.noSound = true;
    w_.noSoundCheck.SetCheck(1);
    return kNoDevice;
}

void ModeControls::SoundCardChanged(const std::string& item) {
    s_.soundCard = std::atoi(item.c_str());
    NoSoundClicked(s_.soundCard == kNoSoundCard);
}

void ModeControls::NoSoundClicked(bool noSound) {
    s_.noSound = noSound;
    w_.noSoundCheck.SetCheck(noSound ? 1 : 0);
    w_.centreField.SetEnabled(!noSound);
    w_.shiftField.SetEnabled(!noSound);
}

void ModeControls::EntryStyleClicked(bool centreAndShift) {
    s_.tones.centreAndShift = centreAndShift;
    w_.centreShiftRadio.SetChecked(centreAndShift);
    w_.markSpaceRadio.SetChecked(!centreAndShift);
    w_.centreField.SetReadOnly(!centreAndShift);
    w_.shiftField.SetReadOnly(!centreAndShift);
    w_.markField.SetReadOnly(centreAndShift);
    w_.spaceField.SetReadOnly(centreAndShift);
}

}  // namespace sked
