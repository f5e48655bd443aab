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

using FloatOctet = float __attribute__((vector_size(32)));

// Octets are loaded into variables in place, never passed or returned by
// value: how a call passes them would depend on the copy's instructions.
inline void Load(FloatOctet& octet, const float* values) { std::memcpy(&octet, values, sizeof octet); }

}  // namespace

SKEDCAST_WITH_AVX2_COPY void NoiseSource::FilterBlock(std::size_t count) {
    // Output i meets the newest input with h[0] and the one 58 before it with
    // h[58]; as h is symmetric the two share a multiply. Sixteen outputs are
    // summed at once in registers, eight to a register, tap by tap, so each
    // is summed in the same order as the outputs after the last group. The
    // noise sits 60 dB under the tones: single precision is ample for it.
    constexpr std::size_t kHistory = kTaps - 1;
    constexpr std::size_t kCentre = kTaps / 2;
    constexpr std::size_t kWidth = sizeof(FloatOctet) / sizeof(float);
    filtered_.resize(count);
    float* out = filtered_.data();
    const float* in = inputs_.data();
    std::size_t i = 0;
    for (; i + 2 * kWidth <= count; i += 2 * kWidth) {
        FloatOctet low = {}, high = {}, newerLow, newerHigh, olderLow, olderHigh;
        for (std::size_t k = 0; k < kCentre; ++k) {
            const float h = static_cast<float>(kHalfResponse[k]);
            const float* newer = in + kHistory - k + i;
            const float* older = in + k + i;
            Load(newerLow, newer);
            Load(newerHigh, newer + kWidth);
            Load(olderLow, older);
            Load(olderHigh, older + kWidth);
            low += h * (newerLow + olderLow);
            high += h * (newerHigh + olderHigh);
        }
        const float centre = static_cast<float>(kHalfResponse[kCentre]);
        Load(newerLow, in + kCentre + i);
        Load(newerHigh, in + kCentre + i + kWidth);
        low += centre * newerLow;
        high += centre * newerHigh;
        std::memcpy(out + i, &low, sizeof low);
        std::memcpy(out + i + kWidth, &high, sizeof high);
    }
    for (; i < count; ++i) {
        float sum = 0.0f;
        for (std::size_t k = 0; k < kCentre; ++k)
            sum += static_cast<float>(kHalfResponse[k]) * (in[kHistory - k + i] + in[k + i]);
        out[i] = sum + static_cast<float>(kHalfResponse[kCentre]) * in[kCentre + i];
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
    for (std::size_t i = 0; i < pairs; ++i) x[i] = signalGain * x[i] + filtered_[i];
}

}  // namespace sked
