// What the transmitter needs of the audio tone generator that follows every
// teleprinter character with its AFSK tones: it takes every code the line
// takes (its queue never makes the sender wait; the line sets the pace), is
// started when the transmitter is keyed and stopped after its tail.
#pragma once

#include <string>
#include <system_error>

namespace sked {

class ToneGenerator {
public:
    virtual ~ToneGenerator() = default;
    virtual void Put(int code) = 0;
    // Takes the sound card and starts the tones: none, or why the card
    // cannot be had (Problem() names the device and the reason).
    virtual std::error_code StartGenerator() = 0;
    virtual std::string Problem() const = 0;
    // Codes still queued are dropped (the key is already up).
    virtual void EmptyQueue() = 0;
    virtual void RequestStop() = 0;
    // The break condition went on or off just now (the Morse of the
    // identification holds the line at space): the tones follow it.
    virtual void PutBreak(bool on) = 0;
};

}  // namespace sked
