// The Mode and Baud groups, the tone fields and the sound card list: what
// each button sets, and the UART and PSK31 modem kept in step with them.
#pragma once

#include <string>

#include "app/main_window.h"
#include "app/window_view.h"
#include "platform/message_box.h"
#include "transmit/psk_modem.h"
#include "transmit/station_state.h"
#include "transmit/station_view.h"
#include "transmit/uart.h"

namespace sked {

class ModeControls {
public:
    // The sound card choice that means "no device" to the PSK31 modem.
    static constexpr int kNoDevice = 99;
    static constexpr int kBaudButtons = 7;

    ModeControls(StationState& state, MainWindow& window, WindowView& view, MessageBoxService& boxes,
                 StationLog& log, Uart& uart, PskModem& psk)
        : state_(state), w_(window), view_(view), boxes_(boxes), log_(log), uart_(uart), psk_(psk) {}

    // A click on a mode button (mode numbers as in StationState).
    void ModeClicked(int mode);
    // A click on baud button `index` (0 = 45.45 .. 6 = 300.0).
    void BaudClicked(int index);
    void EntryStyleClicked(bool centreAndShift);
    // The sound card list's choice: "None", "-1 Auto" or "1".."4".
    void SoundCardChanged(const std::string& item);
    void NoSoundClicked(bool noSound);

    void ShowRttyDisplay();
    void ShowPskDisplay();
    // Device index of the sound card list: -1 default, 0..3, or kNoDevice.
    int SelectSoundDevice();

    static float BaudOfButton(int index);
    // PSK31 could not start (or lost its card): the station falls back to
    // Military, logs why, and sends no entry until a mode is chosen.
    void PskCannotStart(const std::string& reason);

private:
    void MarkMode(int mode);
    void ProgramLine();

    StationState& state_;
    MainWindow& w_;
    WindowView& view_;
    MessageBoxService& boxes_;
    StationLog& log_;
    Uart& uart_;
    PskModem& psk_;
};

}  // namespace sked
