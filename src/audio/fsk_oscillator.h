// The two-tone oscillator behind the station's frequency-shift keying: mark
// is the lower tone (centre - half shift), space the upper (centre + half
// shift). The phase lives outside the oscillator in a PhaseAccumulator that
// its owner keeps for the whole life of the station, so the tone runs on
// without a jump across shifts, blocks, tone changes and transmissions; it is
// never reset. Each sample is sin(phase) + cos(phase): peak √2, RMS 1.
//
// GenerateCharacter fills one character's block: the block starts at mark,
// the start bit begins at the first bit boundary inside it (the bit clock
// runs on from block to block), then the data bits, least significant first,
// then mark to the end. Code 0 is a block of pure mark (idle).
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <span>

namespace sked {

struct PhaseAccumulator {
    double radians = 0.0;  // kept in [0, 2π)
};

class FskOscillator {
public:
    // Tones as the station starts: centre 2210 Hz, half shift 85 Hz (mark
    // 2125 Hz, space 2295 Hz). Throws std::invalid_argument naming the value
    // when the sample rate or the speed is not above zero.
    FskOscillator(PhaseAccumulator& phase, int sampleRate, float baud, double centreHz = 2210.0,
                  double halfShiftHz = 85.0);

    // Takes effect from the next sample, without a phase jump. Tones that are
    // not finite numbers are ignored (the last good tones stay).
    void SetTones(double centreHz, double halfShiftHz);

    // Advances the phase by one sample of the mark or the space tone and
    // returns the new sample. Any renderer of the FSK line may drive it.
    double Next(bool space);

    // One character's block of `out.size()` samples. `dataBits` is 5 (bits
    // 5 to 7 are then sent as mark: the stop bits) or 8.
    void GenerateCharacter(std::span<double> out, std::uint32_t code, int dataBits);

    // The line held at space (non-zero) or mark, sample by sample, as the
    // break condition holds it; the bit clock runs on as in an idle block.
    // `out` and `space` are of one length.
    void GenerateLine(std::span<double> out, std::span<const std::uint8_t> space);

private:
    // A block turns the tone by a fixed rotation per sample: the phasor
    // (cos, sin of the phase) stands in for the library's sine and cosine,
    // taken afresh from the exact phase at each block so no error builds up.
    // The phase is carried beside it and stored back after the block.
    struct Phasor {
        double radians = 0.0;
        double re = 1.0, im = 0.0;
    };
    // One tone: its phase step per sample and the rotations by one to four
    // steps, so that four samples can be turned side by side.
    static constexpr std::size_t kChains = 4;
    struct Tone {
        double step = 0.0;  // radians per sample
        std::array<double, kChains> re{}, im{};  // cos and sin of 1..4 steps
    };
    Phasor PhasorNow() const;
    // Runs the bit clock on to the next bit boundary if it falls within
    // `samples` samples, and returns how many that took (counting the sample
    // at which it falls); else runs it on by all of them and returns 0.
    std::size_t RunToBoundary(std::size_t samples);
    // A run of samples at one tone, the phasor turned on to its last sample.
    static void Sound(Phasor& z, std::span<double> run, const Tone& tone);

    PhaseAccumulator& phase_;
    double samplePeriod_;  // seconds
    double bitTime_;       // seconds, from the single-precision speed
    double bitClock_ = 0.0;  // seconds since the last bit boundary
    Tone mark_, space_;
    int sampleRate_;
};

}  // namespace sked
