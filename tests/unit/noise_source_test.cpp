// The noise floor: its gains, its level and spectrum, and that the noise runs
// on from block to block whatever the block lengths.
#include <algorithm>
#include <cmath>
#include <numbers>
#include <stdexcept>
#include <vector>

#include <gtest/gtest.h>

#include "audio/noise_source.h"

namespace sked {
namespace {

TEST(NoiseLevelTest, RatioIsLimitedTo60Decibels) {
    struct Case {
        double requested, ratio, signal, noise;
    };
    const Case cases[] = {
        {200, 60, 4739, 4.739}, {60, 60, 4739, 4.739}, {NAN, 60, 4739, 4.739},
        {20, 20, 4739, 473.9},  {0, 0, 4739, 4739},    {-20, -20, 473.9, 4739},
    };
    for (const Case& c : cases) {
        const NoiseLevel level = SetNoiseLevel(c.requested);
        EXPECT_DOUBLE_EQ(level.ratioDb, c.ratio) << c.requested;
        EXPECT_NEAR(level.signalGain, c.signal, 1e-9) << c.requested;
        EXPECT_NEAR(level.noiseGain, c.noise, 1e-9) << c.requested;
    }
    EXPECT_EQ(SetNoiseLevel().ratioDb, 60);
}

// Noise alone (a silent signal), `count` samples in blocks of `block`.
std::vector<double> Noise(std::size_t count, std::size_t block = 1320, double gain = 4.739) {
    NoiseSource source;
    std::vector<double> out;
    std::vector<double> x(block + 1);
    while (out.size() < count) {
        std::fill(x.begin(), x.end(), 0.0);
        source.AddNoise(x, block, 4739, gain);
        out.insert(out.end(), x.begin(), x.begin() + block);
    }
    out.resize(count);
    return out;
}

TEST(NoiseSourceTest, NoiseAloneHasTheNoiseGainAsItsRms) {
    for (double gain : {4.739, 1000.0}) {
        const std::vector<double> noise = Noise(400'000, 1320, gain);
        double sum = 0, mean = 0;
        for (double x : noise) {
            sum += x * x;
            mean += x;
        }
        EXPECT_NEAR(std::sqrt(sum / noise.size()), gain, 0.015 * gain);
        EXPECT_NEAR(mean / noise.size(), 0.0, 0.01 * gain) << "the band-pass lets no DC through";
    }
}

// Flat within about a decibel from 400 to 3400 Hz, well down at 100 Hz and
// 3900 Hz: averaged Hann-windowed periodograms of 256 samples. (Odd blocks
// drop the spare sample's noise, a step in the noise that spreads a little of
// it across the band: even blocks here.)
TEST(NoiseSourceTest, SpectrumIsFlatInTheVoiceBandAndFallsOffOutside) {
    constexpr int kLength = 256, kSegments = 1000;
    const std::vector<double> noise = Noise(kLength * kSegments, 1320);
    const double frequencies[] = {100, 400, 800, 1500, 2125, 2800, 3400, 3900};
    std::vector<double> power(std::size(frequencies));
    std::vector<std::vector<double>> cosines(std::size(frequencies)), sines(std::size(frequencies));
    for (std::size_t f = 0; f < std::size(frequencies); ++f) {
        for (int i = 0; i < kLength; ++i) {
            const double w = 0.5 - 0.5 * std::cos(2 * std::numbers::pi * i / kLength);
            const double a = 2 * std::numbers::pi * frequencies[f] / 8000 * i;
            cosines[f].push_back(w * std::cos(a));
            sines[f].push_back(w * std::sin(a));
        }
    }
    for (int s = 0; s < kSegments; ++s) {
        for (std::size_t f = 0; f < std::size(frequencies); ++f) {
            double re = 0, im = 0;
            for (int i = 0; i < kLength; ++i) {
                re += noise[s * kLength + i] * cosines[f][i];
                im += noise[s * kLength + i] * sines[f][i];
            }
            power[f] += re * re + im * im;
        }
    }
    double band = 0;
    for (std::size_t f = 1; f + 1 < std::size(frequencies); ++f) band += power[f];
    band /= std::size(frequencies) - 2;
    const auto db = [&](std::size_t f) { return 10 * std::log10(power[f] / band); };
    for (std::size_t f = 1; f + 1 < std::size(frequencies); ++f)
        EXPECT_NEAR(db(f), 0.0, 1.0) << frequencies[f] << " Hz";
    EXPECT_LT(db(0), -10.0) << "100 Hz";
    EXPECT_LT(db(std::size(frequencies) - 1), -30.0) << "3900 Hz";
}

// The noise as the station's rand-like source and the 59-tap filter give it,
// one sample at a time: the delay line written at a falling index, each
// output summed over the slots in order.
std::vector<double> ReferenceNoise(std::size_t count, double gain) {
    const auto& h = NoiseSource::Coefficients();
    RandomSource random;
    double delay[59] = {};
    int w = 58;
    std::vector<double> out;
    while (out.size() < count) {
        double u1, u2, s;
        do {
            u1 = 1.0 - 2.0 * random.Next() / 32767;
            u2 = 1.0 - 2.0 * random.Next() / 32767;
            s = u1 * u1 + u2 * u2;
        } while (s >= 1.0 || s == 0.0);
        const double f = std::sqrt(-2.0 * std::log(s) / s);
        for (double g : {u1 * f, u2 * f}) {
            delay[w] = 1.1 * gain * g;
            double y = 0;
            for (int k = 0; k < 59; ++k) y += delay[k] * h[(k - w + 59) % 59];
            out.push_back(y);
            w = w == 0 ? 58 : w - 1;
        }
    }
    return out;
}

// Blocks of any length, odd ones included, continue one run of noise: an odd
// block's last pair ends in the spare sample after the block. The samples
// are those of the plain filter in double precision (to the rounding of the
// station's single-precision noise: a ten-thousandth of a sample step).
TEST(NoiseSourceTest, BlocksOfAnyLengthContinueOneRun) {
    const std::vector<double> reference = ReferenceNoise(40'000, 4.739);
    for (std::size_t block : {1u, 7u, 293u, 1320u, 799u}) {
        NoiseSource source;
        std::vector<double> x(block + 1);
        std::size_t at = 0;
        while (at + block + 1 < reference.size()) {
            std::fill(x.begin(), x.end(), 0.25);
            source.AddNoise(x, block, 2.0, 4.739);
            const std::size_t used = block + block % 2;
            for (std::size_t i = 0; i < used; ++i)
                ASSERT_NEAR(x[i], 0.5 + reference[at + i], 1e-4) << "blocks of " << block << ", sample " << at + i;
            if (used == block) {
                EXPECT_EQ(x[block], 0.25) << "an even block leaves the spare sample alone";
            }
            at += used;
        }
    }
    NoiseSource source;
    std::vector<double> tight(7);
    EXPECT_THROW(source.AddNoise(tight, 7, 1.0, 1.0), std::invalid_argument);
    EXPECT_NO_THROW(source.AddNoise(tight, 6, 1.0, 1.0));
}

// The pairs made four candidates at a time are those of the polar method run
// one point after the other, whatever the lengths asked for: a wrong leap,
// a kept point lost or a rejected one let through shifts the whole run.
TEST(GaussianPairsTest, AnyLengthsGiveThePairsOfOnePointAfterTheOther) {
    RandomSource random;
    std::vector<float> expected;
    while (expected.size() < 20'000) {
        float u1, u2, s;
        do {
            u1 = 1.0f - 2.0f / 32767 * static_cast<float>(random.Next());
            u2 = 1.0f - 2.0f / 32767 * static_cast<float>(random.Next());
            s = u1 * u1 + u2 * u2;
        } while (s >= 1.0f || s == 0.0f);
        const float f = 3.0f * std::sqrt(-2.0f * std::log(s) / s);
        expected.push_back(u1 * f);
        expected.push_back(u2 * f);
    }
    for (std::size_t length : {2u, 7u, 8u, 9u, 16u, 1320u, 800u}) {
        GaussianPairs pairs;
        std::vector<float> got(length, -99.0f);
        for (std::size_t at = 0; at + length <= expected.size(); at += length - length % 2) {
            pairs.Fill(got, 3.0f);
            for (std::size_t i = 0; i < length - length % 2; ++i)
                ASSERT_NEAR(got[i], expected[at + i], 1e-5f * (1.0f + std::abs(expected[at + i])))
                    << "lengths of " << length << ", value " << at + i;
            if (length % 2 != 0) {
                ASSERT_EQ(got[length - 1], -99.0f) << "an odd last value is left alone";
            }
        }
    }
}

}  // namespace
}  // namespace sked
