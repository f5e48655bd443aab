#include "audio/psk31_modulator.h"

#include <array>
#include <cmath>
#include <cstring>
#include <numbers>
#include <stdexcept>
#include <string>

namespace sked {

namespace {

constexpr double kPi = std::numbers::pi;
constexpr std::size_t kN = Psk31Modulator::kSymbolSamples;

// Raised cosine from 0 to 1 over `length` samples, at sample `i` (centred).
double Rise(std::size_t i, std::size_t length) {
    return 0.5 * (1.0 - std::cos(kPi * (static_cast<double>(i) + 0.5) / static_cast<double>(length)));
}

// The envelope of every kind of symbol period, from the carrier's state at
// its start (on or off), without the carrier's sign: worked out once.
using Shape = std::array<double, kN>;
enum ShapeIndex { kReverse, kFadeInReversed, kFull, kFadeIn, kKeyUpEdge, kFadeOut, kOff, kKeyDownEdge, kShapes };

const std::array<Shape, kShapes>& Shapes() {
    static const std::array<Shape, kShapes> shapes = [] {
        std::array<Shape, kShapes> s{};
        for (std::size_t i = 0; i < kN; ++i) {
            const std::size_t edge = Psk31Modulator::kEdgeSamples;
            s[kReverse][i] = std::cos(kPi * (static_cast<double>(i) + 0.5) / static_cast<double>(kN));
            s[kFadeInReversed][i] = -Rise(i, kN);
            s[kFull][i] = 1.0;
            s[kFadeIn][i] = Rise(i, kN);
            s[kKeyDownEdge][i] = i >= edge ? 1.0 : Rise(i, edge);
            s[kKeyUpEdge][i] = i < edge ? 1.0 - Rise(i, edge) : 0.0;
            s[kFadeOut][i] = 1.0 - Rise(i, kN);
            s[kOff][i] = 0.0;
        }
        return s;
    }();
    return shapes;
}

ShapeIndex ShapeOf(PskSymbol symbol, bool on) {
    switch (symbol) {
        case PskSymbol::Reversal:
            // From silence the reversal is the fade-in itself, in the new phase.
            return on ? kReverse : kFadeInReversed;
        case PskSymbol::Steady:
            return on ? kFull : kFadeIn;
        case PskSymbol::KeyDown:
            return on ? kFull : kKeyDownEdge;
        case PskSymbol::KeyUp:
            return on ? kKeyUpEdge : kOff;
        case PskSymbol::CarrierOff:
            return on ? kFadeOut : kOff;
    }
    return kOff;
}

// How far the turned carrier may stray from the sine of its phase, on the
// 16-bit scale: rounding errors of a hundred turns, far above the real ones
// (about 1e-10) and far below a sample's step. A value closer than this to a
// rounding boundary is worked out again as the sine of its phase, so that
// every sample is what the sine gives.
constexpr double kTurnError = 1e-6;

// Samples side by side in pairs of lanes, on vectors the compiler maps
// onto the processor's own (one register each on x86-64).
constexpr std::size_t kLanes = 4;
using Pair = double __attribute__((vector_size(16)));
using PairMask = std::int64_t __attribute__((vector_size(16)));
using WholePair = std::int32_t __attribute__((vector_size(8)));
using SampleQuad = std::int16_t __attribute__((vector_size(8)));
using WholeQuad = std::int32_t __attribute__((vector_size(16)));

// Loaded into a variable in place, never returned by value: how a call
// passes a vector would depend on the processor's instructions.
inline void Load(Pair& pair, const double* values) { std::memcpy(&pair, values, sizeof pair); }

// Two samples' values rounded half away from zero (as lround), as doubles;
// `near` gathers the lanes within kTurnError of a rounding boundary. All in
// the processor's own pair instructions: the masks of the comparisons are
// used as bits, never converted.
inline Pair RoundPair(Pair value, PairMask& near) {
    constexpr PairMask kMagnitude = {0x7FFF'FFFF'FFFF'FFFF, 0x7FFF'FFFF'FFFF'FFFF};
    const PairMask one = __builtin_bit_cast(PairMask, Pair{1.0, 1.0});
    // At most the peak: the whole part and the rest are exact.
    const Pair whole = __builtin_convertvector(__builtin_convertvector(value, WholePair), Pair);
    const Pair rest = value - whole;
    const Pair size = __builtin_bit_cast(Pair, __builtin_bit_cast(PairMask, rest) & kMagnitude);
    near |= (size >= 0.5 - kTurnError) & (size <= 0.5 + kTurnError);
    const Pair up = __builtin_bit_cast(Pair, (rest >= 0.5) & one);
    const Pair down = __builtin_bit_cast(Pair, (rest <= -0.5) & one);
    return whole + up - down;
}

}  // namespace

void Psk31Modulator::RenderSilence(std::span<std::int16_t> block) {
    for (std::int16_t& sample : block) sample = 0;
}

void Psk31Modulator::Render(PskSymbol symbol, double frequency, std::span<std::int16_t> block) {
    if (block.size() != kN) {
        throw std::invalid_argument("PSK31: a block holds " + std::to_string(kN) + " samples, not " +
                                    std::to_string(block.size()));
    }
    const Shape& shape = Shapes()[ShapeOf(symbol, level_ != 0.0)];
    const double step = frequency / kSampleRate;
    if (step != turnStep_) {
        // The carrier's turn over one to four samples, for this frequency.
        turnStep_ = step;
        for (std::size_t k = 0; k < kLanes; ++k) {
            turnCos_[k] = std::cos(2.0 * kPi * step * static_cast<double>(k + 1));
            turnSin_[k] = std::sin(2.0 * kPi * step * static_cast<double>(k + 1));
        }
    }
    // The carrier is a phasor from its phase at the start of the block, in
    // four lanes (samples 0..3, then each turned by four samples), not libm's
    // sine at every sample. Each sample is the envelope times its sine,
    // rounded half away from zero as lround does; the few too near a
    // rounding boundary are marked and made from the sine below.
    const double c0 = std::cos(2.0 * kPi * cycles_), s0 = std::sin(2.0 * kPi * cycles_);
    std::array<double, kLanes> c = {c0}, s = {s0};
    for (std::size_t k = 1; k < kLanes; ++k) {
        c[k] = c0 * turnCos_[k - 1] - s0 * turnSin_[k - 1];
        s[k] = s0 * turnCos_[k - 1] + c0 * turnSin_[k - 1];
    }
    const Pair fourCos = Pair{} + turnCos_[kLanes - 1], fourSin = Pair{} + turnSin_[kLanes - 1];
    Pair cLow = {c[0], c[1]}, sLow = {s[0], s[1]}, cHigh = {c[2], c[3]}, sHigh = {s[2], s[3]};
    const double peak = peak_ * sign_;  // ± the peak: times the shape, exactly peak × envelope
    PairMask near = {};
    for (std::size_t i = 0; i < kN; i += kLanes) {
        Pair low, high;
        Load(low, &shape[i]);
        Load(high, &shape[i + 2]);
        const Pair roundedLow = RoundPair((peak * low) * sLow, near);
        const Pair roundedHigh = RoundPair((peak * high) * sHigh, near);
        const WholeQuad whole = __builtin_shufflevector(__builtin_convertvector(roundedLow, WholePair),
                                                        __builtin_convertvector(roundedHigh, WholePair), 0, 1, 2, 3);
        const SampleQuad samples = __builtin_convertvector(whole, SampleQuad);
        std::memcpy(&block[i], &samples, sizeof samples);
        const Pair turnedLow = cLow * fourCos - sLow * fourSin, turnedHigh = cHigh * fourCos - sHigh * fourSin;
        sLow = sLow * fourCos + cLow * fourSin;
        sHigh = sHigh * fourCos + cHigh * fourSin;
        cLow = turnedLow;
        cHigh = turnedHigh;
    }
    const bool anyNear = (near[0] | near[1]) != 0;
    // The phase in cycles runs on sample by sample as it always has, kept in
    // 0..1 (taking off a whole cycle is what floor does for a step under one).
    const bool smallStep = step >= 0.0 && step < 1.0;
    double cycles = cycles_;  // in a register: the loop is one long chain of additions
    for (std::size_t i = 0; i < kN; ++i) {
        if (anyNear) {
            // Rare: every sample is checked again, and one near a boundary made from the sine.
            const double level = peak * shape[i];
            const double exact = level * std::sin(2.0 * kPi * cycles);
            if (std::abs(std::abs(exact - std::trunc(exact)) - 0.5) <= 2 * kTurnError)
                block[i] = static_cast<std::int16_t>(std::lround(exact));
        }
        cycles += step;
        if (!smallStep) cycles -= std::floor(cycles);
        else if (cycles >= 1.0) cycles -= 1.0;
    }
    cycles_ = cycles;
    switch (symbol) {
        case PskSymbol::Reversal:
            sign_ = -sign_;
            level_ = 1.0;
            break;
        case PskSymbol::Steady:
        case PskSymbol::KeyDown:
            level_ = 1.0;
            break;
        case PskSymbol::KeyUp:
        case PskSymbol::CarrierOff:
            level_ = 0.0;
            break;
    }
}

}  // namespace sked
