// The Mode and Baud groups, the tone fields' entry style and the sound card
// list: what each button sets, with the serial line and the PSK31 modem kept
// in step with them.
#pragma once

#include <string>

#include "app/main_window.h"
#include "app/window_view.h"
#include "platform/message_box.h"
#include "transmit/psk_modem.h"
#include "transmit/station_settings.h"
#include "transmit/station_view.h"
#include "transmit/transmitter.h"

namespace sked {

class ModeControls {
public:
    // The sound card choice that means "no device" to the PSK31 modem.
    static constexpr int kNoDevice = 99;

    ModeControls(StationSettings& settings, MainWindow& window, WindowView& view, MessageBoxService& boxes,
                 StationLog& log, Transmitter& transmitter, PskModem& psk)
        : s_(settings), w_(window), view_(view), boxes_(boxes), log_(log), transmitter_(transmitter), psk_(psk) {}

    void ModeClicked(Mode mode);
    // A click on baud button `index` (0 = 45.45 .. 6 = 300.0).
    void BaudClicked(int index);
    // A PSK31 frequency preset ($F1500..$F2100): kept for PSK31, and in PSK31
    // mode taken at once, as its speed button would be.
    void PskPresetChosen(float hertz);
    void EntryStyleClicked(bool centreAndShift);
    // The sound card list's choice: "None", "-1 Auto" or "1".."4".
    void SoundCardChanged(const std::string& item);
    void NoSoundClicked(bool noSound);

    void ShowRttyDisplay();
    void ShowPskDisplay();
    // Device index of the sound card list: -1 default, 0..3, or kNoDevice.
    int SelectSoundDevice();

    // PSK31 could not start (or lost its card): the station falls back to
    // Military, logs why, and sends no entry until a mode is chosen.
    void PskCannotStart(const std::string& reason);

private:
    void MarkMode(Mode mode);
    // The serial line takes the frame and speed of the mode.
    void ProgramLine() { transmitter_.Line().SetFormat(s_.Format()); }

    StationSettings& s_;
    MainWindow& w_;
    WindowView& view_;
    MessageBoxService& boxes_;
    StationLog& log_;
    Transmitter& transmitter_;
    PskModem& psk_;
};

}  // namespace sked
