#include "audio/afsk_modulator.h"

#include <cmath>
#include <stdexcept>
#include <string>

namespace sked {

namespace {

std::int16_t ToSample(double value) {
    if (std::isnan(value)) return 0;
    if (value <= -32768.0) return -32768;
    if (value >= 32767.0) return 32767;
    return static_cast<std::int16_t>(value);
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
    for (std::size_t i = 0; i < blockLength_; ++i) block[i] = ToSample(samples_[i]);
}

}  // namespace sked
