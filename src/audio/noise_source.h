// Band-limited Gaussian noise mixed into the AFSK audio at a fixed
// signal-to-noise ratio, so that the tones leave the station with a floor of
// hiss like a received signal. Gaussian pairs (polar method) from the
// station's rand-like source go through a 59-tap linear-phase band-pass
// filter (-3 dB near 255 Hz and 3555 Hz at 8000 samples per second). The
// filter's delay line and the random sequence run on from block to block.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <span>
#include <utility>
#include <vector>

#include "audio/gaussian_pairs.h"
#include "audio/random_source.h"

namespace sked {

// Signal and noise gains for one transmission.
struct NoiseLevel {
    double ratioDb;     // signal-to-noise ratio in effect
    double signalGain;  // the tone (RMS 1) comes out at this RMS
    double noiseGain;   // RMS of the filtered noise
};

// The ratio the generator asks for; it is limited to kMaxSignalToNoiseDb.
inline constexpr double kRequestedSignalToNoiseDb = 200.0;
inline constexpr double kMaxSignalToNoiseDb = 60.0;
inline constexpr double kSignalGain = 4739.0;  // peak about 6,702: -13.8 dB of 16-bit full scale

// Ratio R limited to 60 dB: signal gain 4739 and noise gain 4739 / 10^(R/20)
// (4.739 at 60 dB). Below 0 dB the noise keeps gain 4739 and the signal is
// lowered instead, so the level never rises above that of the tone alone.
NoiseLevel SetNoiseLevel(double requestedRatioDb = kRequestedSignalToNoiseDb);

class NoiseSource {
public:
    static constexpr int kTaps = 59;

    // The filter's impulse response h[0..58].
    static const std::array<double, kTaps>& Coefficients();

    explicit NoiseSource(RandomSource random = RandomSource());

    // x[i] := signalGain × x[i] + filtered noise of RMS noiseGain, for i <
    // count. Samples go in pairs (one Gaussian pair each); for an odd count
    // the last pair's second sample lands in x[count], the spare sample after
    // the block, which the caller does not play. Throws std::invalid_argument
    // when `x` has no room for that spare sample.
    void AddNoise(std::span<double> x, std::size_t count, double signalGain, double noiseGain);

private:
    // Filters inputs_[kTaps - 1 ...] (the block's noise) into filtered_ and
    // keeps the block's last inputs as the next block's history.
    void FilterBlock(std::size_t count);

    // The last 58 inputs of the block before (oldest first), then this block's.
    std::vector<float> inputs_;
    std::vector<float> filtered_;
    GaussianPairs gaussian_;
};

}  // namespace sked
