#include "audio/afsk_modulator.h"

#include <algorithm>
#include <cmath>
#include <cstring>
#include <stdexcept>
#include <string>

#include "audio/vector_copies.h"

namespace sked {

namespace {

// A character that lasts a whole number of samples, give or take the
// rounding of the arithmetic, gives blocks of that number.
constexpr double kSampleRounding = 1e-9;

using DoubleQuad = double __attribute__((vector_size(32)));
using WordQuad = std::int32_t __attribute__((vector_size(16)));
using SampleQuad = std::int16_t __attribute__((vector_size(8)));

// Samples truncated toward zero and held to the 16-bit range; not-a-number
// gives silence.
SKEDCAST_WITH_AVX2_COPY void ToSamples(const double* values, std::span<std::int16_t> block) {
    const DoubleQuad lowest = DoubleQuad{} - 32768.0, highest = DoubleQuad{} + 32767.0, silence = {};
    constexpr std::size_t kWidth = sizeof(DoubleQuad) / sizeof(double);
    std::size_t i = 0;
    for (; i + kWidth <= block.size(); i += kWidth) {
        DoubleQuad value;
        std::memcpy(&value, values + i, sizeof value);
        value = value == value ? value : silence;
        value = value < lowest ? lowest : value;
        value = value > highest ? highest : value;
        const SampleQuad samples = __builtin_convertvector(__builtin_convertvector(value, WordQuad), SampleQuad);
        std::memcpy(&block[i], &samples, sizeof samples);
    }
    for (; i < block.size(); ++i) {
        const double value = values[i];
        if (std::isnan(value)) {
            block[i] = 0;
        } else {
            block[i] = static_cast<std::int16_t>(std::clamp(value, -32768.0, 32767.0));
        }
    }
}

}  // namespace

AfskModulator::AfskModulator(const AfskSettings& settings, PhaseAccumulator& phase)
    : frame_(FrameFor(settings.wordLength)),
      characterSamples_(CharacterSamples(settings.sampleRate, settings.baud, settings.wordLength)),
      blockLength_(static_cast<std::size_t>(
          SamplesPerCharacter(settings.sampleRate, settings.baud, settings.wordLength))),
      noise_(settings.noise),
      level_(SetNoiseLevel(settings.signalToNoiseDb)),
      oscillator_(phase, settings.sampleRate, settings.baud, settings.centreHz, settings.halfShiftHz),
      envelope_(settings.sampleRate),
      samples_(std::max(blockLength_ + 2, static_cast<std::size_t>(envelope_.RampSamples())) + 1, 0.0) {
    oscillator_.SetShaping(settings.shaping);
}

std::size_t AfskModulator::NextBlockLength() const {
    return static_cast<std::size_t>(std::ceil(characterSamples_ - lateBy_ - kSampleRounding));
}

void AfskModulator::Carry(std::size_t length) {
    lateBy_ = std::clamp(lateBy_ + static_cast<double>(length) - characterSamples_, 0.0, 1.0);
}

void AfskModulator::CheckLength(std::size_t length, std::size_t wanted) const {
    if (length != wanted) {
        throw std::invalid_argument("AFSK: the block holds " + std::to_string(wanted) + " samples, not " +
                                    std::to_string(length));
    }
}

void AfskModulator::Render(std::uint32_t code, std::span<std::int16_t> block) {
    CheckLength(block.size(), NextBlockLength());
    oscillator_.GenerateCharacter(std::span<double>(samples_.data(), block.size()), code, frame_.dataBits, lateBy_);
    Carry(block.size());
    Finish(block);
}

void AfskModulator::RenderLine(std::span<const std::uint8_t> space, std::span<std::int16_t> block) {
    CheckLength(block.size(), NextBlockLength());
    CheckLength(space.size(), block.size());
    oscillator_.GenerateLine(std::span<double>(samples_.data(), block.size()), space);
    Carry(block.size());
    Finish(block);
}

void AfskModulator::RenderFadeOut(std::span<std::int16_t> block) {
    CheckLength(block.size(), FadeOutLength());
    oscillator_.GenerateCharacter(std::span<double>(samples_.data(), block.size()), 0, frame_.dataBits);
    Finish(block, false);
}

void AfskModulator::Finish(std::span<std::int16_t> block, bool keyed) {
    const std::size_t length = block.size();
    const std::span<double> tone(samples_.data(), length);
    if (noise_) {
        samples_[length] = 0.0;  // the spare sample of an odd block, never played
        noiseSource_.AddNoise(std::span<double>(samples_.data(), length + 1), length, level_.signalGain,
                              level_.noiseGain);
    } else {
        for (double& sample : tone) sample *= level_.signalGain;
    }
    // The ramps: the first samples of the sound, and its fade-out.
    for (std::size_t i = 0; i < length && !(keyed && envelope_.Full()); ++i) tone[i] *= envelope_.Next(keyed);
    ToSamples(samples_.data(), block);
}

}  // namespace sked
