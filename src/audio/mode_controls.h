// The Mode and Baud groups, the tone fields and the sound card list: what
// each button sets, and the UART and PSK31 modem kept in step with them.
#pragma once

#include <string>

namespace sked {

class CSchedulerDlg;

class ModeControls {
public:
    static constexpr int kNoDevice = 99;

    explicit ModeControls(CSchedulerDlg& dlg) : dlg_(dlg) {}

    // A click on a mode button (mode numbers as in StationSettings).
    void ModeClicked(int mode);
    // A click on baud button `index` (0 = 45.45 .. 6 = 300.0).
    void BaudClicked(int index);
    void EntryStyleClicked(bool centreAndShift);
    void SoundCardChanged();
    void NoSoundClicked();

    void ShowRttyDisplay();
    void ShowPskDisplay();
    // Device index of the sound card list: -1 default, 0..3, or kNoDevice.
    int SelectSoundDevice();

    static float BaudOfButton(int index);
    static std::string PskStartReport(int code);

private:
    void MarkMode(int mode);
    void ProgramLine();
    CSchedulerDlg& dlg_;
};

}  // namespace sked
