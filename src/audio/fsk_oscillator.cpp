#include "audio/fsk_oscillator.h"

#include <algorithm>
#include <cmath>
#include <cstring>
#include <numbers>
#include <stdexcept>
#include <string>
#include <utility>

#include "audio/vector_copies.h"

namespace sked {

namespace {

constexpr double kTwoPi = 2.0 * std::numbers::pi;

// The phase modulo 2π. A step below 2π leaves the phase below 4π, where one
// subtraction is exact and equals the floating-point remainder.
// The rise of a raised cosine from 0 to 1 over `length` samples, by sample (the last 1).
std::vector<double> RaisedCosine(std::size_t length) {
    std::vector<double> ramp(length);
    for (std::size_t k = 0; k < length; ++k)
        ramp[k] = 0.5 - 0.5 * std::cos(std::numbers::pi * static_cast<double>(k + 1) / static_cast<double>(length));
    return ramp;
}

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
    : phase_(phase), bitSamples_(sampleRate * (1.0 / static_cast<double>(baud))), sampleRate_(sampleRate) {
    if (sampleRate <= 0) throw std::invalid_argument("FSK oscillator: sample rate " + std::to_string(sampleRate));
    if (!(baud > 0.0f) || !std::isfinite(bitSamples_))
        throw std::invalid_argument("FSK oscillator: speed " + std::to_string(baud) + " baud");
    SetTones(centreHz, halfShiftHz);
    stepNow_ = mark_.step;
    // One bit of ramp for shaped characters (within reason for absurdly slow
    // speeds), 5 ms for the Morse of the identification.
    bitRamp_ = RaisedCosine(static_cast<std::size_t>(std::clamp(std::round(bitSamples_), 1.0, 1.0 * sampleRate)));
    keyRamp_ = RaisedCosine(static_cast<std::size_t>(std::max(1L, std::lround(kKeyRampSeconds * sampleRate))));
}

namespace {

using DoubleQuad = double __attribute__((vector_size(32)));

}  // namespace

void FskOscillator::SetTones(double centreHz, double halfShiftHz) {
    const double space = (centreHz + halfShiftHz) * kTwoPi / sampleRate_;
    const double mark = (centreHz - halfShiftHz) * kTwoPi / sampleRate_;
    if (!std::isfinite(space) || !std::isfinite(mark)) return;
    for (auto [tone, step] : {std::pair{&mark_, mark}, std::pair{&space_, space}}) {
        tone->step = step;
        for (std::size_t k = 0; k < kChains; ++k) {
            tone->re[k] = std::cos(static_cast<double>(k + 1) * step);
            tone->im[k] = std::sin(static_cast<double>(k + 1) * step);
        }
    }
}

double FskOscillator::Next(bool space, bool glide) {
    HeadFor(space, glide ? &keyRamp_ : nullptr);
    const Tone& tone = space ? space_ : mark_;
    stepNow_ = Ramping() ? NextRampStep(tone) : tone.step;
    const double phase = WrapPhase(phase_.radians + stepNow_);
    phase_.radians = phase;
    return std::sin(phase) + std::cos(phase);
}

void FskOscillator::HeadFor(bool space, const std::vector<double>* ramp) {
    if (space == headingForSpace_) return;
    headingForSpace_ = space;
    // Without a ramp the tone jumps, and a ramp under way is given up.
    ramp_ = ramp;
    rampFrom_ = stepNow_;
    rampDone_ = 0;
}

FskOscillator::Phasor FskOscillator::PhasorNow() const {
    return {phase_.radians, std::cos(phase_.radians), std::sin(phase_.radians)};
}

SKEDCAST_WITH_AVX2_COPY void FskOscillator::Sound(Phasor& z, std::span<double> run, const Tone& tone) {
    // Four chains, each a sample apart, turned by four steps at a time: the
    // multiplications of one chain need not wait for another's.
    const std::size_t length = run.size();
    std::size_t i = 0;
    if (length >= kChains) {
        DoubleQuad turnRe, turnIm;
        std::memcpy(&turnRe, tone.re.data(), sizeof turnRe);
        std::memcpy(&turnIm, tone.im.data(), sizeof turnIm);
        DoubleQuad re = z.re * turnRe - z.im * turnIm;
        DoubleQuad im = z.re * turnIm + z.im * turnRe;
        const double fourRe = tone.re[kChains - 1], fourIm = tone.im[kChains - 1];
        for (; i + kChains <= length; i += kChains) {
            const DoubleQuad samples = re + im;
            std::memcpy(&run[i], &samples, sizeof samples);
            const DoubleQuad nextRe = re * fourRe - im * fourIm;
            im = re * fourIm + im * fourRe;
            re = nextRe;
        }
        // The first chain now stands at the sample after the last written:
        // one step back is the phasor of that last sample.
        z.re = re[0] * tone.re[0] + im[0] * tone.im[0];
        z.im = im[0] * tone.re[0] - re[0] * tone.im[0];
    }
    for (; i < length; ++i) {
        const double re = z.re * tone.re[0] - z.im * tone.im[0];
        z.im = z.re * tone.im[0] + z.im * tone.re[0];
        z.re = re;
        run[i] = re + z.im;
    }
    z.radians = WrapPhase(z.radians + static_cast<double>(length) * tone.step);
}

void FskOscillator::SoundShaped(Phasor& z, std::span<double> run, const Tone& tone) {
    std::size_t i = 0;
    for (; i < run.size() && Ramping(); ++i) {
        stepNow_ = NextRampStep(tone);
        z.radians = WrapPhase(z.radians + stepNow_);
        run[i] = std::sin(z.radians) + std::cos(z.radians);
    }
    z.re = std::cos(z.radians);
    z.im = std::sin(z.radians);
    if (i < run.size()) Sound(z, run.subspan(i), tone);
}

void FskOscillator::Run(Phasor& z, std::span<double> run, bool space, const std::vector<double>* ramp) {
    if (run.empty()) return;
    const Tone& tone = space ? space_ : mark_;
    HeadFor(space, ramp);
    if (Ramping()) {
        SoundShaped(z, run, tone);
    } else {
        Sound(z, run, tone);
    }
    if (!Ramping()) stepNow_ = tone.step;
}

void FskOscillator::GenerateCharacter(std::span<double> out, std::uint32_t code, int dataBits, double lateBy) {
    Phasor z = PhasorNow();
    if (code == 0) {
        Run(z, out, false, CharacterRamp());
        phase_.radians = z.radians;
        return;
    }
    // The first sample of bit `j` (0 the start bit): at or after its time. The
    // tolerance keeps a boundary that falls on a sample, give or take the
    // rounding of the arithmetic, on that sample.
    constexpr double kRounding = 1e-9;
    auto firstSampleOf = [&](int j) {
        const double at = std::ceil(j * bitSamples_ - lateBy - kRounding);
        return static_cast<std::size_t>(std::clamp(at, 0.0, static_cast<double>(out.size())));
    };
    std::size_t runStart = 0;
    bool space = true;  // the start bit
    for (int j = 1; j <= dataBits + 1; ++j) {
        const bool next = j <= dataBits && (code >> (j - 1) & 1u) == 0;  // after the data: the stop bits, mark
        if (next == space) continue;
        const std::size_t boundary = firstSampleOf(j);
        Run(z, out.subspan(runStart, boundary - runStart), space, CharacterRamp());
        runStart = boundary;
        space = next;
    }
    Run(z, out.subspan(runStart), space, CharacterRamp());
    phase_.radians = z.radians;
}

void FskOscillator::GenerateLine(std::span<double> out, std::span<const std::uint8_t> space) {
    Phasor z = PhasorNow();
    std::size_t runStart = 0;
    for (std::size_t i = 0; i < out.size(); ++i) {
        if (i + 1 < out.size() && (space[i + 1] != 0) == (space[i] != 0)) continue;
        Run(z, out.subspan(runStart, i + 1 - runStart), space[i] != 0, &keyRamp_);
        runStart = i + 1;
    }
    phase_.radians = z.radians;
}

}  // namespace sked
