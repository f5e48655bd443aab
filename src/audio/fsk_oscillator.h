// The two-tone oscillator behind the station's frequency-shift keying: mark
// is the lower tone (centre - half shift), space the upper (centre + half
// shift). The phase lives outside the oscillator in a PhaseAccumulator that
// its owner keeps for the whole life of the station, so the tone runs on
// without a jump across shifts, blocks, tone changes and transmissions; it is
// never reset. Each sample is sin(phase) + cos(phase): peak √2, RMS 1.
//
// GenerateCharacter fills one character's block: the start bit from the
// block's first sample, then the data bits, least significant first, then
// mark to the end (the stop bits). Each bit boundary falls on the sample at
// or after its exact time, counted from the character's own start, which
// the caller places to a fraction of a sample: so every start bit follows
// the stop bits before it at their full length. Code 0 is a block of pure
// mark (idle).
//
// With shaping on, the frequency moves from one tone to the other along a
// raised cosine one bit long, beginning at the bit boundary, instead of
// jumping: a narrower signal, every transition late by the same half bit.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <span>
#include <vector>

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
    FskOscillator(const FskOscillator&) = delete;  // a ramp under way points into the oscillator
    FskOscillator& operator=(const FskOscillator&) = delete;

    // Takes effect from the next sample, without a phase jump. Tones that are
    // not finite numbers are ignored (the last good tones stay).
    void SetTones(double centreHz, double halfShiftHz);

    // Advances the phase by one sample of the mark or the space tone and
    // returns the new sample. Any renderer of the FSK line may drive it.
    // `glide`: a change of tone moves along a 5 ms raised cosine (the Morse
    // of the identification) instead of jumping.
    double Next(bool space, bool glide = false);

    // Raised-cosine frequency transitions (off: the tone jumps at once).
    void SetShaping(bool on) { shaping_ = on; }

    // One character's block of `out.size()` samples with `dataBits` (5 or 8)
    // data bits. `lateBy` (0 to 1): how long after the character's start the
    // block's first sample falls, in samples.
    void GenerateCharacter(std::span<double> out, std::uint32_t code, int dataBits, double lateBy = 0.0);

    // The line held at space (non-zero) or mark, sample by sample, as the
    // break condition holds it, each change gliding over 5 ms (Morse keyed
    // by a shift, without the splatter of a jump). `out` and `space` are of
    // one length.
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
    static constexpr double kKeyRampSeconds = 0.005;
    // A run of samples heading for one tone: jumping to it, or along `ramp`.
    void Run(Phasor& z, std::span<double> run, bool space, const std::vector<double>* ramp);
    // Turns towards the tone, starting `ramp` (none: a jump) if it is a change.
    void HeadFor(bool space, const std::vector<double>* ramp);
    bool Ramping() const { return ramp_ && rampDone_ < ramp_->size(); }
    // The step of the next sample along the ramp under way towards `tone`.
    double NextRampStep(const Tone& tone) { return rampFrom_ + (tone.step - rampFrom_) * (*ramp_)[rampDone_++]; }
    const std::vector<double>* CharacterRamp() const { return shaping_ ? &bitRamp_ : nullptr; }
    // A run of samples at one tone, the phasor turned on to its last sample.
    static void Sound(Phasor& z, std::span<double> run, const Tone& tone);
    // A run of samples along the ramp under way towards `tone`, then at it.
    void SoundShaped(Phasor& z, std::span<double> run, const Tone& tone);

    PhaseAccumulator& phase_;
    double bitSamples_;  // samples per bit, from the single-precision speed
    Tone mark_, space_;
    int sampleRate_;
    bool shaping_ = false;
    // Raised cosines from 0 to 1, by sample: one bit long, and 5 ms.
    std::vector<double> bitRamp_, keyRamp_;
    // The tone the line heads for, the step of the last sample, and the ramp
    // under way (none: at the tone): its start step and the samples done of it.
    bool headingForSpace_ = false;
    double stepNow_ = 0.0;
    const std::vector<double>* ramp_ = nullptr;
    double rampFrom_ = 0.0;
    std::size_t rampDone_ = 0;
};

}  // namespace sked
