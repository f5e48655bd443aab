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

double FskOscillator::Next(bool space) {
    const double phase = WrapPhase(phase_.radians + (space ? space_.step : mark_.step));
    phase_.radians = phase;
    return std::sin(phase) + std::cos(phase);
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

std::size_t FskOscillator::RunToBoundary(std::size_t samples) {
    // The first n ≥ 1 with clock + n × period ≥ bit time; the division may
    // round either way, so the neighbours are checked. Beyond `samples` the
    // count does not matter (and is kept within range).
    const double estimate = std::ceil((bitTime_ - bitClock_) / samplePeriod_);
    auto toBoundary = static_cast<std::size_t>(std::clamp(estimate, 1.0, static_cast<double>(samples) + 1.0));
    if (bitClock_ + static_cast<double>(toBoundary) * samplePeriod_ < bitTime_) ++toBoundary;
    if (toBoundary > 1 && bitClock_ + static_cast<double>(toBoundary - 1) * samplePeriod_ >= bitTime_) --toBoundary;
    if (toBoundary > samples) {
        bitClock_ += static_cast<double>(samples) * samplePeriod_;
        return 0;
    }
    bitClock_ = bitClock_ + static_cast<double>(toBoundary) * samplePeriod_ - bitTime_;
    return toBoundary;
}

void FskOscillator::GenerateCharacter(std::span<double> out, std::uint32_t code, int dataBits) {
    // Bits above the data bits are mark: 5-bit codes get bits 5 to 7 set.
    const std::uint32_t pattern = dataBits >= 8 ? code : code | (0xFFu << std::max(dataBits, 0) & 0xFFu);
    bool space = false;
    int bit = 0;  // the next bit of the frame: 0 start, 1..8 data, then stop
    Phasor z = PhasorNow();
    std::size_t runStart = 0, next = 0;  // `next`: samples of the block the bit clock has passed
    while (const std::size_t toBoundary = RunToBoundary(out.size() - next)) {
        next += toBoundary;
        if (code == 0) continue;
        bool bitIsSpace = false;
        if (bit == 0) {
            bitIsSpace = true;
        } else if (bit <= 8) {
            bitIsSpace = (pattern >> (bit - 1) & 1u) == 0;
        }
        ++bit;
        if (bitIsSpace == space) continue;
        // The new bit's tone starts with the sample at which the boundary falls.
        const std::size_t first = next - 1;
        Sound(z, out.subspan(runStart, first - runStart), space ? space_ : mark_);
        runStart = first;
        space = bitIsSpace;
    }
    Sound(z, out.subspan(runStart), space ? space_ : mark_);
    phase_.radians = z.radians;
}

void FskOscillator::GenerateLine(std::span<double> out, std::span<const std::uint8_t> space) {
    Phasor z = PhasorNow();
    std::size_t runStart = 0;
    for (std::size_t i = 0; i < out.size(); ++i) {
        if (i + 1 < out.size() && (space[i + 1] != 0) == (space[i] != 0)) continue;
        Sound(z, out.subspan(runStart, i + 1 - runStart), space[i] != 0 ? space_ : mark_);
        runStart = i + 1;
    }
    phase_.radians = z.radians;
    // The bit clock runs on as in an idle block.
    for (std::size_t left = out.size(); const std::size_t toBoundary = RunToBoundary(left);) left -= toBoundary;
}

}  // namespace sked
