#include "audio/gaussian_pairs.h"

#include <algorithm>
#include <array>
#include <cmath>
#include <cstring>

namespace sked {

namespace {

constexpr std::size_t kLanes = 4;  // candidate points drawn side by side

using Words = std::uint32_t __attribute__((vector_size(16)));
using Ints = std::int32_t __attribute__((vector_size(16)));
using Floats = float __attribute__((vector_size(16)));

}  // namespace

#if defined(SKEDCAST_HAVE_LIBMVEC)
// glibc's vector maths library: four single-precision logarithms at once.
extern "C" Floats _ZGVbN4v_logf(Floats x);
#endif

namespace {

// The polar method's factor √(-2 ln s / s) of one point.
float PolarFactor(float s) { return std::sqrt(-2.0f * std::log(s) / s); }

// The factors of four points at once.
Floats PolarFactors(Floats s) {
#if defined(SKEDCAST_HAVE_LIBMVEC) && defined(__SSE__)
    return __builtin_ia32_sqrtps(-2.0f * _ZGVbN4v_logf(s) / s);
#else
    return Floats{PolarFactor(s[0]), PolarFactor(s[1]), PolarFactor(s[2]), PolarFactor(s[3])};
#endif
}

template <typename Vector, typename Value>
Vector Load(const Value* values) {
    Vector vector;
    std::memcpy(&vector, values, sizeof vector);
    return vector;
}

// From the state before a round of candidates to the state of each lane's
// draws: lane j takes draw 2j+1 of the round for u1 and draw 2j+2 for u2.
struct RoundLeaps {
    std::array<std::uint32_t, kLanes> firstMultiplier, firstIncrement, secondMultiplier, secondIncrement;
};

constexpr RoundLeaps MakeRoundLeaps() {
    RoundLeaps leaps{};
    for (unsigned j = 0; j < kLanes; ++j) {
        const RandomSource::Leap first = RandomSource::LeapOf(2 * j + 1);
        const RandomSource::Leap second = RandomSource::LeapOf(2 * j + 2);
        leaps.firstMultiplier[j] = first.multiplier;
        leaps.firstIncrement[j] = first.increment;
        leaps.secondMultiplier[j] = second.multiplier;
        leaps.secondIncrement[j] = second.increment;
    }
    return leaps;
}

constexpr RoundLeaps kRoundLeaps = MakeRoundLeaps();
constexpr RandomSource::Leap kRoundLeap = RandomSource::LeapOf(2 * kLanes);
constexpr float kSpreadStep = 2.0f / RandomSource::kMax;  // the draws spread over [-1, 1]

// Draws (0 to 32767) spread over [-1, 1], from their states.
Floats Spread(Words states) {
    const Ints draws = __builtin_convertvector(states >> 16 & 0x7FFFu, Ints);
    return 1.0f - kSpreadStep * __builtin_convertvector(draws, Floats);
}

}  // namespace

std::size_t GaussianPairs::FillRounds(std::span<float> out, float scale) {
    const Words firstMultiplier = Load<Words>(kRoundLeaps.firstMultiplier.data());
    const Words firstIncrement = Load<Words>(kRoundLeaps.firstIncrement.data());
    const Words secondMultiplier = Load<Words>(kRoundLeaps.secondMultiplier.data());
    const Words secondIncrement = Load<Words>(kRoundLeaps.secondIncrement.data());
    const std::size_t pairs = out.size() / 2;
    std::uint32_t state = random_.state();
    std::size_t made = 0;
    // A round runs while four more pairs fit, and a round makes four at
    // most: so the rounds that fit now all run, whatever they keep. Those
    // are taken a batch at a time, each step over the whole batch before the
    // next, so that no step waits on the one before it for the same round.
    constexpr std::size_t kBatch = 64;
    std::array<Floats, kBatch> u1s, u2s, factors;
    std::array<Ints, kBatch> keeps;
    for (std::size_t rounds; (rounds = std::min(kBatch, (pairs - made) / kLanes)) > 0;) {
        for (std::size_t r = 0; r < rounds; ++r) {
            const Words base = Words{} + state;
            const Floats u1 = Spread(base * firstMultiplier + firstIncrement);
            const Floats u2 = Spread(base * secondMultiplier + secondIncrement);
            const Floats s = u1 * u1 + u2 * u2;
            const Ints keep = (s < 1.0f) & (s != 0.0f);  // -1 for a point inside the circle
            // Candidates left out get s = 1 (f = 0), so no lane divides by zero.
            factors[r] = keep ? s : Floats{} + 1.0f;
            u1s[r] = u1;
            u2s[r] = u2;
            keeps[r] = keep;
            state = state * kRoundLeap.multiplier + kRoundLeap.increment;
        }
        for (std::size_t r = 0; r < rounds; ++r) factors[r] = scale * PolarFactors(factors[r]);
        for (std::size_t r = 0; r < rounds; ++r) {
            const Floats first = u1s[r] * factors[r], second = u2s[r] * factors[r];
            const std::array<Floats, 2> interleaved = {__builtin_shufflevector(first, second, 0, 4, 1, 5),
                                                       __builtin_shufflevector(first, second, 2, 6, 3, 7)};
            std::array<float, 2 * kLanes> values;
            std::memcpy(values.data(), interleaved.data(), sizeof values);
            std::array<std::int32_t, kLanes> kept;
            std::memcpy(kept.data(), &keeps[r], sizeof kept);
            // Every candidate's pair is written at the next free place; only
            // a kept one moves the place on.
            for (std::size_t j = 0; j < kLanes; ++j) {
                std::memcpy(&out[2 * made], &values[2 * j], 2 * sizeof(float));
                made += static_cast<std::size_t>(kept[j] & 1);
            }
        }
    }
    random_.Resume(state);
    return made;
}

void GaussianPairs::FillOneByOne(std::span<float> out, float scale) {
    for (std::size_t i = 0; i < out.size() / 2; ++i) {
        float u1, u2, s;
        do {
            u1 = 1.0f - kSpreadStep * static_cast<float>(random_.Next());
            u2 = 1.0f - kSpreadStep * static_cast<float>(random_.Next());
            s = u1 * u1 + u2 * u2;
        } while (s >= 1.0f || s == 0.0f);
        const float f = scale * PolarFactor(s);
        out[2 * i] = u1 * f;
        out[2 * i + 1] = u2 * f;
    }
}

void GaussianPairs::Fill(std::span<float> out, float scale) {
    const std::size_t made = FillRounds(out, scale);
    FillOneByOne(out.subspan(2 * made), scale);
}

}  // namespace sked
