#include "audio/noise_source.h"

#include <algorithm>
#include <cmath>
#include <cstring>
#include <stdexcept>
#include <string>

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

NoiseSource::NoiseSource(RandomSource random) : inputs_(kTaps - 1, 0.0f), random_(random) {}

NoiseSource::Candidate NoiseSource::DrawPoint() {
    constexpr float kStep = 2.0f / RandomSource::kMax;  // the draws spread over [-1, 1]
    for (;;) {
        const float u1 = 1.0f - kStep * static_cast<float>(random_.Next());
        const float u2 = 1.0f - kStep * static_cast<float>(random_.Next());
        const float s = u1 * u1 + u2 * u2;
        if (s < 1.0f && s != 0.0f) return {u1, u2, s};
    }
}

namespace {

// Four floats side by side: one SSE register, for the filter's inner loop.
using FloatQuad = float __attribute__((vector_size(16)));

FloatQuad LoadQuad(const float* p) {
    FloatQuad v;
    std::memcpy(&v, p, sizeof v);
    return v;
}

FloatQuad Spread(double value) {
    const float f = static_cast<float>(value);
    return FloatQuad{f, f, f, f};
}

}  // namespace

void NoiseSource::FilterBlock(std::size_t count) {
    // Output i meets the newest input with h[0] and the one 58 before it with
    // h[58]; as h is symmetric the two share a multiply. Sixteen outputs are
    // summed at once in registers, four to a register, tap by tap, so each is
    // summed in the same order as the outputs after the last group. The noise
    // sits 60 dB under the tones: single precision is ample for it.
    constexpr std::size_t kHistory = kTaps - 1;
    constexpr std::size_t kCentre = kTaps / 2;
    constexpr std::size_t kGroup = 16;
    filtered_.resize(count);
    float* out = filtered_.data();
    const float* in = inputs_.data();
    std::size_t i = 0;
    for (; i + kGroup <= count; i += kGroup) {
        FloatQuad s0 = {}, s1 = {}, s2 = {}, s3 = {};
        for (std::size_t k = 0; k < kCentre; ++k) {
            const FloatQuad h = Spread(kHalfResponse[k]);
            const float* newer = in + kHistory - k + i;
            const float* older = in + k + i;
            s0 += h * (LoadQuad(newer) + LoadQuad(older));
            s1 += h * (LoadQuad(newer + 4) + LoadQuad(older + 4));
            s2 += h * (LoadQuad(newer + 8) + LoadQuad(older + 8));
            s3 += h * (LoadQuad(newer + 12) + LoadQuad(older + 12));
        }
        const FloatQuad centre = Spread(kHalfResponse[kCentre]);
        const float* middle = in + kCentre + i;
        s0 += centre * LoadQuad(middle);
        s1 += centre * LoadQuad(middle + 4);
        s2 += centre * LoadQuad(middle + 8);
        s3 += centre * LoadQuad(middle + 12);
        float* group = out + i;
        for (FloatQuad sum : {s0, s1, s2, s3}) {
            std::memcpy(group, &sum, sizeof sum);
            group += 4;
        }
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
    // The points first, then their logarithms and roots: apart, the slow
    // arithmetic of one pair need not wait for the next pair's draws.
    points_.resize(pairs / 2);
    for (Candidate& point : points_) point = DrawPoint();
    float* noise = inputs_.data() + kHistory;
    for (const Candidate& c : points_) {
        const float f = scale * std::sqrt(-2.0f * std::log(c.s) / c.s);
        *noise++ = c.u1 * f;
        *noise++ = c.u2 * f;
    }
    FilterBlock(pairs);
    for (std::size_t i = 0; i < pairs; ++i) x[i] = signalGain * x[i] + filtered_[i];
}

}  // namespace sked
