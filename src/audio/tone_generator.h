// What the transmitter switch and the code sender need of the audio tone
// generator that follows every teleprinter character with its AFSK tones.
#pragma once

namespace sked {

class ToneGenerator {
public:
    virtual ~ToneGenerator() = default;
    virtual void StartGenerator() = 0;
    virtual void QueueAudioChar(int code) = 0;
    virtual void EmptyQueue() = 0;
    virtual void RequestStop() = 0;
};

}  // namespace sked
