// The AFSK tones: block lengths, character framing decoded back from the
// waveform, phase continuity, and the level the modulator puts out.
#include <algorithm>
#include <cmath>
#include <cstdint>
#include <numbers>
#include <stdexcept>
#include <vector>

#include <gtest/gtest.h>

#include "audio/afsk_modulator.h"
#include "audio/character_frame.h"
#include "audio/fsk_oscillator.h"

namespace sked {
namespace {

constexpr double kTwoPi = 2.0 * std::numbers::pi;
constexpr int kRate = 8000;

double Step(double hertz) { return hertz * kTwoPi / kRate; }

// Follows an FSK waveform sample by sample from a known phase: every sample
// must be the next sample of either the mark or the space tone, so a phase
// jump, a wrong tone or a wrong waveform stops it.
struct ToneTracker {
    double phase;
    double markStep = Step(2125);
    double spaceStep = Step(2295);
    bool space = false;

    static double Wrap(double p) { return p >= kTwoPi ? p - kTwoPi : p; }
    static bool Fits(double phase, double sample) {
        return std::abs(std::sin(phase) + std::cos(phase) - sample) < 1e-9;
    }

    // The tone of each sample (true = space); fails the test at the first
    // sample that fits neither tone.
    std::vector<bool> Follow(const std::vector<double>& samples, std::size_t offset = 0) {
        std::vector<bool> tones;
        for (double sample : samples) {
            const double mark = Wrap(phase + markStep), spaced = Wrap(phase + spaceStep);
            const bool fitsMark = Fits(mark, sample), fitsSpace = Fits(spaced, sample);
            if (!fitsMark && !fitsSpace) {
                ADD_FAILURE() << "sample " << offset + tones.size() << " is neither tone: a phase jump";
                return tones;
            }
            if (fitsMark != fitsSpace) space = fitsSpace;  // both fit: the tone goes on
            phase = space ? spaced : mark;
            tones.push_back(space);
        }
        return tones;
    }
};

struct Speed {
    float baud;
    int wordLength;
    int blockLength;
};

// Every speed button in both frames; at 110 baud ASCII the double product
// falls just short of 800.
const Speed kSpeeds[] = {
    {45.45f, 0, 1320}, {45.45f, 3, 1936}, {50.0f, 0, 1200}, {50.0f, 3, 1760}, {56.9f, 0, 1054},
    {56.9f, 3, 1546},  {74.2f, 0, 808},   {74.2f, 3, 1185}, {100.0f, 0, 600}, {100.0f, 3, 880},
    {110.0f, 0, 545},  {110.0f, 3, 799},  {300.0f, 0, 200}, {300.0f, 3, 293},
};

TEST(AfskBlockLengthTest, EverySpeedAndFrame) {
    PhaseAccumulator phase;
    for (const Speed& s : kSpeeds) {
        SCOPED_TRACE(testing::Message() << s.baud << " baud, word length " << s.wordLength);
        EXPECT_EQ(SamplesPerCharacter(kRate, s.baud, s.wordLength), s.blockLength);
        EXPECT_EQ(AfskModulator({.baud = s.baud, .wordLength = s.wordLength}, phase).BlockLength(),
                  static_cast<std::size_t>(s.blockLength));
    }
    for (float bad : {0.0f, -45.45f, NAN, 1e-6f})
        EXPECT_THROW(SamplesPerCharacter(kRate, bad, 0), std::invalid_argument) << bad;
    EXPECT_THROW(FskOscillator(phase, kRate, 0.0f), std::invalid_argument);
}

// Characters and idle blocks through one oscillator, decoded back from the
// tones: idle is mark throughout; each character's start bit begins within a
// bit time of its block start, its bits are of full length and carry the
// code least significant bit first; the stop interval alternates between 1
// and 2 bit times in the 5-bit frame and is 2 in the 8-bit frame.
TEST(FskOscillatorTest, CharactersDecodeBackAtEverySpeed) {
    const std::vector<std::uint32_t> baudot = {0, 0, 0x15, 0x01, 0x1E, 0x10, 0x0A, 0x1F, 0, 0x04, 0};
    const std::vector<std::uint32_t> ascii = {0, 0, 'R', 0x01, 0xFE, 0x80, 'U', 0xFF, 0, '\r', 0};
    for (const Speed& s : kSpeeds) {
        SCOPED_TRACE(testing::Message() << s.baud << " baud, word length " << s.wordLength);
        const CharacterFrame frame = FrameFor(s.wordLength);
        const auto& codes = frame.dataBits == 5 ? baudot : ascii;
        const double bit = kRate / static_cast<double>(s.baud);  // samples per bit

        PhaseAccumulator phase{1.0};
        FskOscillator oscillator(phase, kRate, s.baud);
        ToneTracker tracker{1.0};
        std::vector<bool> tones;
        std::vector<double> block(static_cast<std::size_t>(s.blockLength));
        for (std::uint32_t code : codes) {
            oscillator.GenerateCharacter(block, code, frame.dataBits);
            const std::vector<bool> t = tracker.Follow(block, tones.size());
            ASSERT_EQ(t.size(), block.size());
            tones.insert(tones.end(), t.begin(), t.end());
        }

        double lastStart = -1;  // start of the previous character in a run, -1 after idle
        int lastGap = 0;
        for (std::size_t b = 0; b < codes.size(); ++b) {
            const std::size_t begin = b * block.size(), end = begin + block.size();
            std::size_t start = begin;
            while (start < end && !tones[start]) ++start;
            if (codes[b] == 0) {
                EXPECT_EQ(start, end) << "idle block " << b << " has space";
                lastStart = -1;
                continue;
            }
            EXPECT_LE(start - begin, bit + 1) << "block " << b;
            for (std::size_t i = start; i < end; ++i) {
                const double at = (i - start) / bit;
                const double n = std::round(at);
                if (std::abs(at - n) * bit < 1.5) continue;  // at a bit boundary
                const int j = static_cast<int>(std::floor(at));
                const bool space = j == 0 || (j <= frame.dataBits && !(codes[b] >> (j - 1) & 1u));
                ASSERT_EQ(tones[i], space) << "block " << b << ", bit " << j << ", sample " << i - begin;
            }
            if (lastStart >= 0) {
                const double gap = (start - lastStart) / bit - 1 - frame.dataBits;
                EXPECT_NEAR(gap, std::round(gap), 0.05) << "block " << b;
                const int stop = static_cast<int>(std::round(gap));
                if (frame.dataBits == 8) {
                    EXPECT_EQ(stop, 2) << "block " << b;
                } else {
                    EXPECT_TRUE(stop == 1 || stop == 2) << "block " << b << ": " << stop;
                    if (lastGap != 0) {
                        EXPECT_EQ(stop + lastGap, 3) << "block " << b;
                    }
                }
                lastGap = stop;
            }
            lastStart = static_cast<double>(start);
        }
    }
}

// The phase runs on across blocks, a change of tones between blocks and a
// new oscillator (the next transmission) on the same accumulator.
TEST(FskOscillatorTest, PhaseRunsOnAcrossBlocksToneChangesAndTransmissions) {
    PhaseAccumulator phase{6.2};
    ToneTracker tracker{6.2};
    std::vector<double> block(1320);
    FskOscillator first(phase, kRate, 45.45f);
    first.GenerateCharacter(block, 0x15, 5);
    tracker.Follow(block);
    first.GenerateCharacter(block, 0, 5);
    tracker.Follow(block);

    first.SetTones(1700, 425);  // mark 1275 Hz, space 2125 Hz
    tracker.markStep = Step(1275);
    tracker.spaceStep = Step(2125);
    first.GenerateCharacter(block, 0x0A, 5);
    const std::vector<bool> tones = tracker.Follow(block);
    // 0x0A: the start bit and data bits 1, 3 and 5 at space.
    EXPECT_NEAR(std::count(tones.begin(), tones.end(), true), 4 * 176.02, 2);

    FskOscillator second(phase, kRate, 110.0f, 1500, 100);
    tracker.markStep = Step(1400);
    tracker.spaceStep = Step(1600);
    block.resize(799);
    second.GenerateCharacter(block, 'Y', 8);
    tracker.Follow(block);
    EXPECT_GE(phase.radians, 0.0);
    EXPECT_LT(phase.radians, kTwoPi);
    EXPECT_NEAR(phase.radians, tracker.phase, 1e-9);
}

// A speed so slow that no bit boundary falls in a lifetime: every block is
// steady mark and the bit clock's count of samples stays within range.
TEST(FskOscillatorTest, AnAbsurdlySlowSpeedGivesSteadyMark) {
    PhaseAccumulator phase{0.5};
    ToneTracker tracker{0.5};
    FskOscillator oscillator(phase, kRate, 1e-30f);
    std::vector<double> block(1320);
    for (int n = 0; n < 3; ++n) {
        oscillator.GenerateCharacter(block, 'Y', 8);
        const std::vector<bool> tones = tracker.Follow(block);
        EXPECT_EQ(std::count(tones.begin(), tones.end(), true), 0) << "block " << n;
    }
}

// Power of `samples` at `hertz` (Goertzel).
double PowerAt(const std::vector<std::int16_t>& samples, double hertz) {
    const double c = 2 * std::cos(Step(hertz));
    double s1 = 0, s2 = 0;
    for (std::int16_t x : samples) {
        const double s0 = x + c * s1 - s2;
        s2 = s1;
        s1 = s0;
    }
    return s1 * s1 + s2 * s2 - c * s1 * s2;
}

double Rms(const std::vector<double>& v) {
    double sum = 0;
    for (double x : v) sum += x * x;
    return std::sqrt(sum / v.size());
}

// The rendered block: idle is the mark tone at the station's level (RMS
// 4739, peak 6,702), and the noise floor lies 60 dB below it.
TEST(AfskModulatorTest, IdleIsMarkAtTheStationLevelWithTheNoiseFloor) {
    PhaseAccumulator clean{0.3}, noisy{0.3};
    AfskModulator quiet({.noise = false}, clean);
    AfskModulator modulator({}, noisy);
    std::vector<std::int16_t> a(quiet.BlockLength()), b(modulator.BlockLength());
    std::vector<double> tone, noise;
    for (int n = 0; n < 60; ++n) {
        quiet.Render(0, a);
        modulator.Render(0, b);
        EXPECT_GT(PowerAt(b, 2125), 1000 * PowerAt(b, 2295)) << "block " << n;
        for (std::size_t i = 0; i < a.size(); ++i) {
            tone.push_back(a[i]);
            noise.push_back(b[i] - a[i]);
        }
    }
    EXPECT_NEAR(Rms(tone), 4739, 5);
    EXPECT_NEAR(*std::max_element(tone.begin(), tone.end()), 6702, 3);
    EXPECT_NEAR(Rms(noise), 4.76, 0.2);  // 4.739 and the truncation

    // A character block carries both tones; a block of the wrong length is refused.
    quiet.Render(0x15, a);
    EXPECT_GT(PowerAt(a, 2295), 0.1 * PowerAt(a, 2125));
    std::vector<std::int16_t> wrong(quiet.BlockLength() + 1);
    EXPECT_THROW(quiet.Render(0, wrong), std::invalid_argument);
}

}  // namespace
}  // namespace sked
