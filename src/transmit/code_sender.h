// The single road of every code to the air: SendCode for the UART modes and
// PSK31, the Baudot shift logic, the idle fill and the two Morse keyers.
#pragma once

#include <cstdint>
#include <functional>

#include "transmit/code_output.h"
#include "transmit/macro_expander.h"
#include "transmit/psk_modem.h"
#include "transmit/running_line.h"
#include "transmit/station_state.h"
#include "transmit/timing.h"
#include "audio/tone_generator.h"
#include "transmit/uart.h"

namespace sked {

// Where each character sent is mirrored (the TCP peer).
class Mirror {
public:
    virtual ~Mirror() = default;
    virtual void MirrorCharacter(int character) = 0;
};

class CodeSender {
public:
    CodeSender(StationState& state, Timing& timing, Uart& uart, PskModem& psk, Mirror& mirror, RunningLine& line);

    // Puts one code on the air in the current mode; returns it.
    int SendCode(int code);
    // The tone generator of the transmission under way; null for none.
    void SetToneGenerator(ToneGenerator* generator) { generator_ = generator; }
    // Handles events while more than two codes wait in the PSK31 modem, or
    // until `stop` says otherwise.
    void WaitForPskQueue(const std::function<bool()>& stop = {});
    // LTRS for `seconds` (a silent wait in ASCII).
    void SendIdle(int seconds);
    // One text character in a Baudot mode (1 ITA2, 2 TELEX, 3 Military).
    void SendBaudot(int character, int mode);
    // One text character of an ASCII or PSK31 file: macros, the code with its
    // top bit cleared, the mirror. Returns what the macro expander handed back.
    int SendTextCharacter(int character, int mode);
    // One text character of a CW file: macros, then Morse on the keying line.
    void SendMorseText(int character);
    // One plain character in ASCII or PSK31 (no macros): the code, the mirror.
    void SendPlainCharacter(int character);
    // One character in Morse on the keying line.
    void SendMorseKey(int character);
    // One character in Morse by the break condition (the identification).
    void SendMorseBreak(int character);
    // Starts the fast timer and sends the lead-in of a Morse transmission.
    void MorseLeadIn();
    void MirrorCharacter(int character) { mirror_.MirrorCharacter(character); }

    MacroExpander& macros() { return macros_; }
    std::uint8_t shiftState() const { return shiftState_; }
    void setShiftState(std::uint8_t shift) { shiftState_ = shift; }

private:
    enum class Keyer { KeyLine, Break };
    // The PSK31 modem as a code output: at most three codes ahead of the
    // modulator, so that pause and cancel act within a few characters.
    class PskOutput : public CodeOutput {
    public:
        explicit PskOutput(PskModem& psk) : psk_(psk) {}
        bool Ready() override { return psk_.CodesQueued() <= PskModem::kMostQueued; }
        TimePoint ReadyAt() override { return psk_.NextChange(); }
        void Put(int code) override { psk_.QueueCharacter(code); }

    private:
        PskModem& psk_;
    };

    void SendMorse(int character, Keyer keyer);
    // The break condition on the UART and in the tones alike.
    void BreakTo(bool on);
    // A character has gone on the air: the running line shows it.
    void Shown(int character) { line_.Append(static_cast<char>(character)); }

    StationState& state_;
    Timing& timing_;
    Uart& uart_;
    PskModem& psk_;
    Mirror& mirror_;
    RunningLine& line_;
    PskOutput pskOutput_;
    ToneGenerator* generator_ = nullptr;
    MacroExpander macros_;
    std::uint8_t shiftState_ = 0;
};

}  // namespace sked
