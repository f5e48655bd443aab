#include "audio/fsk_oscillator.h"

#include <algorithm>
#include <cmath>
#include <numbers>
#include <stdexcept>
#include <string>

namespace sked {

namespace {

constexpr double kTwoPi = 2.0 * std::numbers::pi;

// The phase modulo 2π. A step below 2π leaves the phase below 4π, where one
// subtraction is exact and equals the floating-point remainder.
inline double WrapPhase(double phase) {
    if (phase >= 0.0 && phase < kTwoPi) return phase;
    if (phase >= kTwoPi && phase < 2.0 * kTwoPi) return phase - kTwoPi;
    if (!std::isfinite(phase)) return 0.0;
    phase = std::fmod(phase, kTwoPi);
    if (phase < 0.0) phase += kTwoPi;
    return phase < kTwoPi ? phase : 0.0;
}

}  // namespace

FskOscillator::FskOscillator(PhaseAccumulator& phase, int sampleRate, float baud, double centreHz,
                             double halfShiftHz)
    : phase_(phase),
      samplePeriod_(1.0 / sampleRate),
      bitTime_(1.0 / static_cast<double>(baud)),
      sampleRate_(sampleRate) {
    if (sampleRate <= 0) throw std::invalid_argument("FSK oscillator: sample rate " + std::to_string(sampleRate));
    if (!(baud > 0.0f) || !std::isfinite(bitTime_))
        throw std::invalid_argument("FSK oscillator: speed " + std::to_string(baud) + " baud");
    SetTones(centreHz, halfShiftHz);
}

void FskOscillator::SetTones(double centreHz, double halfShiftHz) {
    const double space = (centreHz + halfShiftHz) * kTwoPi / sampleRate_;
    const double mark = (centreHz - halfShiftHz) * kTwoPi / sampleRate_;
    if (!std::isfinite(space) || !std::isfinite(mark)) return;
    spaceStep_ = space;
    markStep_ = mark;
    turns_ = {mark, space, {0.0, std::cos(mark), std::sin(mark)}, {0.0, std::cos(space), std::sin(space)}};
}

double FskOscillator::Next(bool space) {
    const double phase = WrapPhase(phase_.radians + (space ? spaceStep_ : markStep_));
    phase_.radians = phase;
    return std::sin(phase) + std::cos(phase);
}

FskOscillator::Phasor FskOscillator::PhasorNow() const {
    return {phase_.radians, std::cos(phase_.radians), std::sin(phase_.radians)};
}

inline double FskOscillator::Step(Phasor& z, const Turns& turns, bool space) {
    z.radians = WrapPhase(z.radians + (space ? turns.spaceStep : turns.markStep));
    const Phasor& turn = space ? turns.space : turns.mark;
    const double re = z.re * turn.re - z.im * turn.im;
    z.im = z.re * turn.im + z.im * turn.re;
    z.re = re;
    return re + z.im;
}

void FskOscillator::GenerateCharacter(std::span<double> out, std::uint32_t code, int dataBits) {
    // Bits above the data bits are mark: 5-bit codes get bits 5 to 7 set.
    const std::uint32_t pattern = dataBits >= 8 ? code : code | (0xFFu << std::max(dataBits, 0) & 0xFFu);
    bool space = false;
    int bit = 0;  // the next bit of the frame: 0 start, 1..8 data, then stop
    // Locals, so the compiler need not reload them after every sample written.
    Phasor z = PhasorNow();
    const Turns turns = turns_;
    double bitClock = bitClock_;
    for (double& sample : out) {
        bitClock += samplePeriod_;
        if (bitClock >= bitTime_) {
            if (code != 0) {
                if (bit == 0) {
                    space = true;
                } else if (bit <= 8) {
                    space = (pattern >> (bit - 1) & 1u) == 0;
                } else {
                    space = false;
                }
                ++bit;
            }
            bitClock -= bitTime_;
        }
        sample = Step(z, turns, space);
    }
    bitClock_ = bitClock;
    phase_.radians = z.radians;
}

void FskOscillator::GenerateLine(std::span<double> out, std::span<const std::uint8_t> space) {
    Phasor z = PhasorNow();
    const Turns turns = turns_;
    double bitClock = bitClock_;
    for (std::size_t i = 0; i < out.size(); ++i) {
        bitClock += samplePeriod_;
        if (bitClock >= bitTime_) bitClock -= bitTime_;
        out[i] = Step(z, turns, space[i] != 0);
    }
    bitClock_ = bitClock;
    phase_.radians = z.radians;
}

}  // namespace sked
