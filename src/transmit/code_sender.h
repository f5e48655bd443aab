// The single road of every code to the air: SendCode for the UART modes and
// PSK31, the Baudot shift logic, the idle fill and the two Morse keyers.
#pragma once

#include <cstdint>
#include <functional>

namespace sked {

class CSchedulerDlg;

class CodeSender {
public:
    explicit CodeSender(CSchedulerDlg& dlg) : dlg_(dlg) {}

    // Puts one code on the air in the current mode; returns it.
    int SendCode(int code);
    void PumpMessages();
    // Pumps messages while more than two codes wait in the PSK31 modem, or
    // until `stop` says otherwise.
    void WaitForPskQueue(const std::function<bool()>& stop = {});
    // LTRS for `seconds` (a silent wait in ASCII).
    void SendIdle(int seconds);
    // One text character in a Baudot mode (1 ITA2, 2 TELEX, 3 Military).
    void SendBaudot(int character, int mode);
    // One text character of an ASCII or PSK31 file: macros, the code with its
    // top bit cleared, the echo. Returns what ExpandMacro handed back.
    int SendTextCharacter(int character, int mode);
    void SendMorseKey(int character);
    void SendMorseBreak(int character);
    void CmDiddle();

    std::uint8_t shiftState() const { return shiftState_; }
    void setShiftState(std::uint8_t shift) { shiftState_ = shift; }

private:
    enum class Keyer { KeyLine, Break };
    void SendMorse(int character, Keyer keyer);
    void Echo(int character);

    CSchedulerDlg& dlg_;
    std::uint8_t shiftState_ = 0;
};

}  // namespace sked
