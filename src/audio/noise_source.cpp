#include "audio/noise_source.h"

#include <algorithm>
#include <cmath>
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

NoiseSource::NoiseSource(RandomSource random) : random_(random) {}

std::pair<double, double> NoiseSource::GaussianPair() {
    for (;;) {
        const double u1 = 1.0 - 2.0 * random_.Next() / RandomSource::kMax;
        const double u2 = 1.0 - 2.0 * random_.Next() / RandomSource::kMax;
        const double s = u1 * u1 + u2 * u2;
        if (s >= 1.0 || s == 0.0) continue;
        const double f = std::sqrt(-2.0 * std::log(s) / s);
        return {u1 * f, u2 * f};
    }
}

double NoiseSource::Filter(double input) {
    // The newest input meets h[0], the one before it h[1], and so on: with the
    // delay line stored twice over, the last 59 inputs lie in a row from the
    // write index and the sum needs no wrap. Four partial sums let the
    // multiply-adds run side by side.
    delay_[writeIndex_] = input;
    delay_[writeIndex_ + kTaps] = input;
    const double* x = &delay_[writeIndex_];
    double sums[4] = {};
    int k = 0;
    for (; k + 4 <= kTaps; k += 4)
        for (int j = 0; j < 4; ++j) sums[j] += x[k + j] * kResponse[k + j];
    for (; k < kTaps; ++k) sums[0] += x[k] * kResponse[k];
    writeIndex_ = writeIndex_ == 0 ? kTaps - 1 : writeIndex_ - 1;
    return (sums[0] + sums[1]) + (sums[2] + sums[3]);
}

void NoiseSource::AddNoise(std::span<double> x, std::size_t count, double signalGain, double noiseGain) {
    if (x.size() < count + count % 2) {
        throw std::invalid_argument("noise: a block of " + std::to_string(count) + " samples needs room for " +
                                    std::to_string(count + 1) + ", the buffer has " + std::to_string(x.size()));
    }
    const double scale = kFilterMakeUp * noiseGain;
    for (std::size_t i = 0; i < count; i += 2) {
        const auto [g1, g2] = GaussianPair();
        x[i] = signalGain * x[i] + Filter(scale * g1);
        x[i + 1] = signalGain * x[i + 1] + Filter(scale * g2);
    }
}

}  // namespace sked
