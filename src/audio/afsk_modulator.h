// The AFSK audio of one transmission in the teleprinter modes: one block of
// 16-bit samples per character (start bit, data bits, stop bits as two
// tones), scaled to the station's signal level with band-limited noise mixed
// in at 60 dB below it. Speed, frame and noise are taken once, when the
// transmission starts; the tones are re-read before every block. It renders
// on request and owns no thread, clock or device; the phase belongs to the
// caller, who keeps it for the life of the station.
#pragma once

#include <cstddef>
#include <cstdint>
#include <span>
#include <vector>

#include "audio/character_frame.h"
#include "audio/fsk_oscillator.h"
#include "audio/noise_source.h"

namespace sked {

// The station's settings as a transmission starts.
struct AfskSettings {
    int sampleRate = 8000;
    float baud = 45.45f;
    int wordLength = 0;  // 0: 5 data bits + 1.5 stop; 3: 8 data bits + 2 stop
    bool noise = true;   // the band-limited noise floor
    double signalToNoiseDb = kRequestedSignalToNoiseDb;  // limited to 60 dB
    double centreHz = 2210.0;
    double halfShiftHz = 85.0;
};

class AfskModulator {
public:
    // Throws std::invalid_argument naming the value when the speed or the
    // sample rate gives no block (see SamplesPerCharacter).
    AfskModulator(const AfskSettings& settings, PhaseAccumulator& phase);

    // Samples per character block.
    std::size_t BlockLength() const { return blockLength_; }
    const CharacterFrame& frame() const { return frame_; }
    const NoiseLevel& level() const { return level_; }

    // One character (code 0: a block of idle mark) into `block`, which must
    // hold exactly BlockLength() samples (else std::invalid_argument).
    // Samples are truncated toward zero and held to the 16-bit range.
    void Render(std::uint32_t code, std::span<std::int16_t> block);
    // A block of the line held at space (non-zero) or mark, sample by sample
    // (the Morse of the identification); `space` as long as the block.
    void RenderLine(std::span<const std::uint8_t> space, std::span<std::int16_t> block);

private:
    void CheckLength(std::size_t length) const;
    // Scales the tone in samples_, mixes the noise in and writes `block`.
    void Finish(std::span<std::int16_t> block);

    CharacterFrame frame_;
    std::size_t blockLength_;
    bool noise_;
    NoiseLevel level_;
    FskOscillator oscillator_;
    NoiseSource noiseSource_;
    std::vector<double> samples_;  // one block and the noise's spare sample
};

}  // namespace sked
