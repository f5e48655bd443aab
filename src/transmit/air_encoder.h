// What each character of a text puts on the air, mode by mode: the codes of
// the line or the PSK31 modem (Baudot with its shifts, a line end as CR CR LF
// LTRS, ASCII), the character mirrored to the TCP peer, the character shown
// in the running line, and Morse as key closings and openings timed in dot
// units. Macros are expanded here, with the clock read as they reach the
// air. The sender carries the steps out, each when its device can take it.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "platform/clock.h"
#include "transmit/macro_expander.h"
#include "transmit/station_settings.h"

namespace sked {

struct AirStep {
    enum class Kind : std::uint8_t {
        Code,    // a code for the line (and the tones) or the PSK31 modem
        Mirror,  // a character for the TCP peer
        Show,    // a character for the running line
        Close,   // the Morse key closes ...
        Open,    // ... and opens
        Pause,   // `value` dot units of Morse timing
    };
    Kind kind;
    int value;
    bool operator==(const AirStep&) const = default;
};
using AirSteps = std::vector<AirStep>;

// Morse at the ITU proportions: a dot is one unit, a dash three, one unit
// between the elements of a character, three between characters, seven
// between words. 60 ms units give 20 words per minute, the most an automatic
// identification may use.
inline constexpr std::chrono::milliseconds kMorseUnit{60};

class AirEncoder {
public:
    // `callsign` is what ^C sends: the station's setting, read as each macro goes out.
    explicit AirEncoder(const Clock& clock, const std::string& callsign = kNoCallsign)
        : clock_(clock), macros_(callsign) {}

    // One character of a text file in `mode`, its macros expanded, appended to `steps`.
    void EncodeText(int character, Mode mode, AirSteps& steps);
    // One character in Morse (no macros): the identification.
    static void EncodeMorse(int character, AirSteps& steps);

    // The teleprinter's shift as the station last left it: kept from one
    // transmission to the next. Idle fill leaves the receiver in letters.
    std::uint8_t shiftState() const { return shiftState_; }
    void setShiftState(std::uint8_t shift) { shiftState_ = shift; }

private:
    // One character without macros in the mode.
    void EncodePlain(int character, Mode mode, AirSteps& steps);
    void EncodeBaudot(int character, Mode mode, AirSteps& steps);
    void EncodeBells(int count, Mode mode, AirSteps& steps);

    static inline const std::string kNoCallsign;

    const Clock& clock_;
    MacroExpander macros_;
    std::uint8_t shiftState_ = 0;
};

}  // namespace sked
