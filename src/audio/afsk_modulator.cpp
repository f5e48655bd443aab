#include "audio/afsk_modulator.h"

#include <algorithm>
#include <cmath>
#include <cstring>
#include <stdexcept>
#include <string>

#include "audio/vector_copies.h"

namespace sked {

namespace {

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
      blockLength_(static_cast<std::size_t>(
          SamplesPerCharacter(settings.sampleRate, settings.baud, settings.wordLength))),
      noise_(settings.noise),
      level_(SetNoiseLevel(settings.signalToNoiseDb)),
      oscillator_(phase, settings.sampleRate, settings.baud, settings.centreHz, settings.halfShiftHz),
      samples_(blockLength_ + 1, 0.0) {}

void AfskModulator::CheckLength(std::size_t length) const {
    if (length != blockLength_) {
        throw std::invalid_argument("AFSK: a block holds " + std::to_string(blockLength_) + " samples, not " +
                                    std::to_string(length));
    }
}

void AfskModulator::Render(std::uint32_t code, std::span<std::int16_t> block) {
    CheckLength(block.size());
    oscillator_.GenerateCharacter(std::span<double>(samples_.data(), blockLength_), code, frame_.dataBits);
    Finish(block);
}

void AfskModulator::RenderLine(std::span<const std::uint8_t> space, std::span<std::int16_t> block) {
    CheckLength(block.size());
    CheckLength(space.size());
    oscillator_.GenerateLine(std::span<double>(samples_.data(), blockLength_), space);
    Finish(block);
}

void AfskModulator::Finish(std::span<std::int16_t> block) {
    const std::span<double> tone(samples_.data(), blockLength_);
    if (noise_) {
        samples_[blockLength_] = 0.0;  // the spare sample of an odd block, never played
        noiseSource_.AddNoise(samples_, blockLength_, level_.signalGain, level_.noiseGain);
    } else {
        for (double& sample : tone) sample *= level_.signalGain;
    }
    ToSamples(samples_.data(), block);
}

}  // namespace sked
