#include "audio/character_frame.h"

#include <cmath>
#include <stdexcept>
#include <string>

namespace sked {

CharacterFrame FrameFor(int wordLength) {
    if (wordLength == 3) return {8, 11.0};
    return {5, 7.5};
}

double CharacterSamples(int sampleRate, float baud, int wordLength) {
    return static_cast<double>(sampleRate) * (1.0 / static_cast<double>(baud)) * FrameFor(wordLength).bitsPerCharacter;
}

int SamplesPerCharacter(int sampleRate, float baud, int wordLength) {
    const double samples = CharacterSamples(sampleRate, baud, wordLength);
    // Also false for NaN; the upper bound keeps the truncation below defined.
    if (!(samples >= 1.0 && samples <= 60.0 * sampleRate)) {
        throw std::invalid_argument("AFSK: no character block at " + std::to_string(baud) + " baud and " +
                                    std::to_string(sampleRate) + " samples per second");
    }
    return static_cast<int>(samples);
}

}  // namespace sked
