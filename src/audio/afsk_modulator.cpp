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

void AfskModulator::Render(std::uint32_t code, std::span<std::int16_t> block) {
    if (block.size() != blockLength_) {
        throw std::invalid_argument("AFSK: a block holds " + std::to_string(blockLength_) + " samples, not " +
                                    std::to_string(block.size()));
    }
    const std::span<double> tone(samples_.data(), blockLength_);
    oscillator_.GenerateCharacter(tone, code, frame_.dataBits);
    if (noise_) {
        samples_[blockLength_] = 0.0;  // the spare sample of an odd block, never played
        noiseSource_.AddNoise(samples_, blockLength_, level_.signalGain, level_.noiseGain);
    } else {
        for (double& sample : tone) sample *= level_.signalGain;
    }
    for (std::size_t i = 0; i < blockLength_; ++i) block[i] = ToSample(samples_[i]);
}

}  // namespace sked
