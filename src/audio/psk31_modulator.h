// The BPSK31 waveform: one block of 256 samples (8000 per second) for each
// symbol the PSK31 modem sends. A "1" is steady carrier; a "0" reverses the
// phase, the amplitude following a cosine from full through zero to full the
// other way, so that idle reversals are two tones 31.25 Hz apart and the
// spectrum stays narrow. After silence the carrier fades in over a symbol,
// and at the end of a transmission it fades out over one: no clicks. The
// identification keys the carrier on and off in whole symbols with edges
// shaped over 5 ms. It renders on request and owns no thread, clock or device.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <span>

#include "audio/psk_sound.h"

namespace sked {

class Psk31Modulator {
public:
    static constexpr int kSampleRate = 8000;
    static constexpr std::size_t kSymbolSamples = 256;  // 8000 / 31.25
    static constexpr std::size_t kEdgeSamples = 40;     // 5 ms Morse edges
    // Peak level on the 16-bit scale, as the AFSK tones.
    static constexpr double kDefaultPeak = 6700.0;

    explicit Psk31Modulator(double peak = kDefaultPeak) : peak_(peak) {}

    // One symbol at `frequency` hertz into `block`, which must hold
    // kSymbolSamples samples (else std::invalid_argument). The carrier's
    // phase runs on from block to block, also when the frequency changes.
    void Render(PskSymbol symbol, double frequency, std::span<std::int16_t> block);
    // A block of silence; the carrier's phase is kept.
    static void RenderSilence(std::span<std::int16_t> block);

    // The carrier is off (before the first symbol, after a fade or key-up).
    bool Silent() const { return level_ == 0.0; }

private:
    double peak_;
    double cycles_ = 0.0;  // carrier phase in cycles, 0..1
    double sign_ = 1.0;    // +1 or -1: the phase of the carrier, 0 or 180 degrees
    double level_ = 0.0;   // envelope at the end of the last block: 0 or 1
    // The carrier's turn over 1..4 samples at the frequency of turnStep_ (cycles a sample).
    double turnStep_ = -1.0;
    std::array<double, 4> turnCos_{}, turnSin_{};
};

}  // namespace sked
