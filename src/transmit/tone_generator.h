// What the transmitter switch and the code sender need of the audio tone
// generator that follows every teleprinter character with its AFSK tones:
// a code output (it says when its queue can take the next code) that is
// started when the transmitter is keyed and stopped after its tail.
#pragma once

#include "transmit/code_output.h"

namespace sked {

class ToneGenerator : public CodeOutput {
public:
    virtual void StartGenerator() = 0;
    // Codes still queued are dropped (the key is already up).
    virtual void EmptyQueue() = 0;
    virtual void RequestStop() = 0;
    // The break condition went on or off just now (the Morse of the
    // identification holds the line at space): the tones follow it.
    virtual void PutBreak(bool on) = 0;
    // A generator driven by the station's loop (on the simulated clock)
    // renders what is due; one with a thread of its own does nothing here.
    virtual void Pump() {}
};

}  // namespace sked
