#include "audio/noise_source.h"

#include <algorithm>
#include <cmath>
#include <cstring>
#include <stdexcept>
#include <string>

#include "audio/vector_copies.h"

namespace sked {

namespace {

constexpr int kTaps = NoiseSource::kTaps;

// The first half of the impulse response and its centre tap; the filter is
// linear-phase, h[58 - k] = h[k].
constexpr std::array<double, 30> kHalfResponse = {
    0.0015461946,  0.00096844503, 0.003185104,    -0.00045313707, 0.0040178359,  -0.0010694961,
    0.0046038332,  -0.0012170725, 0.0022920463,   -3.5363822e-17, -0.0033438091, 0.0022776352,
    -0.012046394,  0.0039531812,  -0.021553635,   0.00201261,     -0.028298385,  -0.0070138471,
    -0.02851387,   -0.025490301,  -0.019959804,   -0.053128174,   -0.0032769397, -0.086207816,
    0.017691961,   -0.11813811,   0.036951781,    -0.14135815,    0.048464111,   0.85015276,
};

constexpr std::array<double, kTaps> MakeResponse() {
    std::array<double, kTaps> h{};
    for (int k = 0; k < 30; ++k) {
        h[k] = kHalfResponse[k];
        h[kTaps - 1 - k] = kHalfResponse[k];
    }
    return h;
}

constexpr std::array<double, kTaps> kResponse = MakeResponse();

// Makes up for the filter's power loss: 1.1² × Σh² = 0.9995.
constexpr double kFilterMakeUp = 1.1;

}  // namespace

NoiseLevel SetNoiseLevel(double requestedRatioDb) {
    // NaN counts as "more than the limit".
    const double ratio = requestedRatioDb <= kMaxSignalToNoiseDb ? requestedRatioDb : kMaxSignalToNoiseDb;
    if (ratio >= 0.0) return {ratio, kSignalGain, kSignalGain / std::pow(10.0, ratio / 20.0)};
    return {ratio, kSignalGain * std::pow(10.0, ratio / 20.0), kSignalGain};
}

const std::array<double, NoiseSource::kTaps>& NoiseSource::Coefficients() { return kResponse; }

NoiseSource::NoiseSource(RandomSource random) : inputs_(kTaps - 1, 0.0f), gaussian_(random) {}

namespace {

using FloatVector = float __attribute__((vector_size(32)));

// Vectors are loaded into variables in place, never passed or returned by
// value: how a call passes them would depend on the copy's instructions.
inline void Load(FloatVector& vector, const float* values) { std::memcpy(&vector, values, sizeof vector); }

}  // namespace

namespace {

// The half response in single precision, as the filter multiplies by it.
constexpr std::array<float, 30> MakeHalfResponseFloat() {
    std::array<float, 30> h{};
    for (std::size_t k = 0; k < h.size(); ++k) h[k] = static_cast<float>(kHalfResponse[k]);
    return h;
}

constexpr std::array<float, 30> kHalfResponseFloat = MakeHalfResponseFloat();

}  // namespace

namespace {

// x[i] := signalGain × x[i] + noise[i], four samples at a time where the processor can.
SKEDCAST_WITH_AVX2_COPY void Mix(double* x, const float* noise, std::size_t count, double signalGain) {
    for (std::size_t i = 0; i < count; ++i) x[i] = signalGain * x[i] + static_cast<double>(noise[i]);
}

}  // namespace

SKEDCAST_WITH_AVX2_COPY void NoiseSource::FilterBlock(std::size_t count) {
    // Output i meets the newest input with h[0] and the one 58 before it with
    // h[58]; as h is symmetric the two share a multiply. Thirty-two outputs
    // are summed at once in four registers, eight to a register, tap by tap,
    // so each is summed in the same order as the outputs after the last
    // group; four independent sums keep the adder busy rather than waiting on
    // one. The noise sits 60 dB under the tones: single precision is ample.
    constexpr std::size_t kHistory = kTaps - 1;
    constexpr std::size_t kCentre = kTaps / 2;
    constexpr std::size_t kWidth = sizeof(FloatVector) / sizeof(float);
    constexpr std::size_t kSums = 4;
    filtered_.resize(count);
    float* out = filtered_.data();
    const float* in = inputs_.data();
    std::size_t i = 0;
    constexpr std::size_t kGroup = kSums * kWidth;
    while (count >= kGroup && i < count) {
        // The outputs past the last whole group are summed again as the group
        // that ends with the block: each depends on the inputs alone, and that
        // costs less than summing them one at a time.
        if (i + kGroup > count) i = count - kGroup;
        // Four named sums, not an array: the compiler keeps them in registers.
        FloatVector sum0 = {}, sum1 = {}, sum2 = {}, sum3 = {}, a, b, c, d, e, f, g, h;
        for (std::size_t k = 0; k < kCentre; ++k) {
            const float tap = kHalfResponseFloat[k];
            const float* newer = in + kHistory - k + i;
            const float* older = in + k + i;
            Load(a, newer);
            Load(b, older);
            Load(c, newer + kWidth);
            Load(d, older + kWidth);
            Load(e, newer + 2 * kWidth);
            Load(f, older + 2 * kWidth);
            Load(g, newer + 3 * kWidth);
            Load(h, older + 3 * kWidth);
            sum0 += tap * (a + b);
            sum1 += tap * (c + d);
            sum2 += tap * (e + f);
            sum3 += tap * (g + h);
        }
        const float centre = kHalfResponseFloat[kCentre];
        const float* middle = in + kCentre + i;
        Load(a, middle);
        Load(c, middle + kWidth);
        Load(e, middle + 2 * kWidth);
        Load(g, middle + 3 * kWidth);
        sum0 += centre * a;
        sum1 += centre * c;
        sum2 += centre * e;
        sum3 += centre * g;
        std::memcpy(out + i, &sum0, sizeof sum0);
        std::memcpy(out + i + kWidth, &sum1, sizeof sum1);
        std::memcpy(out + i + 2 * kWidth, &sum2, sizeof sum2);
        std::memcpy(out + i + 3 * kWidth, &sum3, sizeof sum3);
        i += kGroup;
    }
    for (; i < count; ++i) {
        float sum = 0.0f;
        for (std::size_t k = 0; k < kCentre; ++k) sum += kHalfResponseFloat[k] * (in[kHistory - k + i] + in[k + i]);
        out[i] = sum + kHalfResponseFloat[kCentre] * in[kCentre + i];
    }
    std::copy(inputs_.end() - kHistory, inputs_.end(), inputs_.begin());
}

void NoiseSource::AddNoise(std::span<double> x, std::size_t count, double signalGain, double noiseGain) {
    if (x.size() < count + count % 2) {
        throw std::invalid_argument("noise: a block of " + std::to_string(count) + " samples needs room for " +
                                    std::to_string(count + 1) + ", the buffer has " + std::to_string(x.size()));
    }
    const auto scale = static_cast<float>(kFilterMakeUp * noiseGain);
    const std::size_t pairs = count + count % 2;  // with the spare sample of an odd block
    constexpr std::size_t kHistory = kTaps - 1;
    inputs_.resize(kHistory + pairs);
    gaussian_.Fill(std::span<float>(inputs_).subspan(kHistory), scale);
    FilterBlock(pairs);
    Mix(x.data(), filtered_.data(), pairs, signalGain);
}

}  // namespace sked
