// What the PSK31 modem hands to the sound card, symbol by symbol: the modem
// keeps the text and its timing, the sound renders each symbol period.
#pragma once

#include <cstdint>
#include <span>
#include <string>
#include <system_error>

#include "audio/sound_error.h"

namespace sked {

// What one symbol period of the carrier carries.
enum class PskSymbol : std::uint8_t {
    Reversal,    // a "0": the phase reverses through zero amplitude
    Steady,      // a "1": no phase change
    KeyDown,     // Morse: carrier on
    KeyUp,       // Morse: carrier off
    CarrierOff,  // the transmission has ended: the carrier fades out
};

// Where the modem's symbols become sound: the sound card while PSK31 is the
// mode. Calls come from the loop's thread.
class PskSound {
public:
    virtual ~PskSound() = default;
    // Takes the card (-1 the default device, 0..3 the first to fourth):
    // none, or why it cannot be had (SoundError::NoSuchDevice, Busy, ...).
    virtual std::error_code OpenCard(int soundCard) = 0;
    // Gives the card back; harmless when not open.
    virtual void CloseCard() = 0;
    // The next symbol periods at `frequency` hertz, handed on together.
    virtual void Play(std::span<const PskSymbol> symbols, int frequency) = 0;
    void Play(PskSymbol symbol, int frequency) { Play(std::span(&symbol, 1), frequency); }
    // The device and the reason of the last failure; "" when there is none.
    virtual std::string Problem() const = 0;
};

}  // namespace sked
