// The AFSK audio of one transmission in the teleprinter modes: one block of
// 16-bit samples per character (start bit, data bits, stop bits as two
// tones), scaled to the station's signal level with band-limited noise mixed
// in at 60 dB below it. Speed, frame, tones and noise are taken once, when
// the transmission starts. It renders
// on request and owns no thread, clock or device; the phase belongs to the
// caller, who keeps it for the life of the station.
//
// A character lasts a fractional number of samples (1320.13 at 45.45 baud
// Baudot): each block is that long rounded up or down, the fraction carried
// on to the next, so the characters keep the exact pace of the line and every
// stop interval its full length. The sound rises from silence over the first
// 5 ms and falls to silence over the fade-out that ends it.
#pragma once

#include <cstddef>
#include <cstdint>
#include <span>
#include <vector>

#include "audio/character_frame.h"
#include "audio/fsk_oscillator.h"
#include "audio/key_envelope.h"
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
    bool shaping = false;  // raised-cosine frequency transitions
};

class AfskModulator {
public:
    // Throws std::invalid_argument naming the value when the speed or the
    // sample rate gives no block (see SamplesPerCharacter).
    AfskModulator(const AfskSettings& settings, PhaseAccumulator& phase);

    // Samples per character block, rounded down: the sound card's slot.
    std::size_t BlockLength() const { return blockLength_; }
    // The length of the next block (BlockLength() or one more).
    std::size_t NextBlockLength() const;
    // The longest a block can be.
    std::size_t MaxBlockLength() const { return blockLength_ + 2; }
    // Samples of the fade-out.
    std::size_t FadeOutLength() const { return static_cast<std::size_t>(envelope_.RampSamples()); }
    const CharacterFrame& frame() const { return frame_; }
    const NoiseLevel& level() const { return level_; }

    // One character (code 0: a block of idle mark) into `block`, which must
    // hold exactly NextBlockLength() samples (else std::invalid_argument).
    // Samples are truncated toward zero and held to the 16-bit range.
    void Render(std::uint32_t code, std::span<std::int16_t> block);
    // A block of the line held at space (non-zero) or mark, sample by sample
    // (the Morse of the identification); `space` as long as the block.
    void RenderLine(std::span<const std::uint8_t> space, std::span<std::int16_t> block);
    // The end of the sound: FadeOutLength() samples of idle mark falling to
    // silence, into `block`, which must be that long.
    void RenderFadeOut(std::span<std::int16_t> block);

private:
    void CheckLength(std::size_t length, std::size_t wanted) const;
    // The fraction of a sample carried on past a block of `length`.
    void Carry(std::size_t length);
    // Scales the tone in samples_, mixes the noise in, follows the key's
    // envelope and writes `block`.
    void Finish(std::span<std::int16_t> block, bool keyed = true);

    CharacterFrame frame_;
    double characterSamples_;  // exact, in samples
    std::size_t blockLength_;
    double lateBy_ = 0.0;  // the next block's first sample after its character's start, in samples
    bool noise_;
    NoiseLevel level_;
    FskOscillator oscillator_;
    NoiseSource noiseSource_;
    KeyEnvelope envelope_;
    std::vector<double> samples_;  // one block and the noise's spare sample
};

}  // namespace sked
