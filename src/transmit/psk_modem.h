// Our own PSK31 modem, standing in for the closed modem library: every
// caller uses the operations below, named by what they do. It keeps the
// queue, the varicode encoder and the symbol timing (31.25 baud) on the
// loop's clock, and hands every symbol, as its time comes, to the sound
// (the BPSK31 waveform on the sound card, see audio/psk31_sound.h) and to an
// optional observer. A sound that plays on a thread of its own is handed
// its symbols a set lead ahead of their time, a batch at once, so that
// neither the loop nor that thread wakes for every symbol. The
// identification goes out as Morse keyed on the carrier, in whole symbols:
// a dot is two symbols (64 ms, 18.75 words per minute).
#pragma once

#include <cstdint>
#include <deque>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <system_error>
#include <vector>

#include "audio/psk_sound.h"
#include "platform/clock.h"

namespace sked {

class PskModem {
public:
    // Observer of every symbol as it goes out (tests, the on-air record).
    using SymbolSink = std::function<void(TimePoint when, PskSymbol symbol)>;

    static constexpr double kBaud = 31.25;
    static constexpr int kPreambleSymbols = 32;   // reversals before the text
    static constexpr int kPostambleSymbols = 32;  // steady carrier after it
    static constexpr Duration kSymbol = std::chrono::milliseconds(32);
    // Morse of the identification: symbols per unit (a dot), and the
    // carrier-off gap (a word space) before and after the callsign.
    static constexpr int kSymbolsPerMorseUnit = 2;
    static constexpr int kMorseGapUnits = 7;
    // Codes still queued that make the sender wait (it queues a code only
    // while at most this many wait).
    static constexpr int kMostQueued = 2;
    // Symbols of one idle item: reversals, as long as a short character.
    static constexpr int kIdleSymbols = 8;

    explicit PskModem(const Clock& clock);

    // The sound the symbols go to; none (tests without audio): the modem
    // starts on any card and its symbols reach only the observer.
    void SetSound(PskSound* sound) { sound_ = sound; }
    // Called as each transmission begins and whenever symbols were handed
    // on: whoever drives Poll() calls it again at NextHandOn().
    void SetWakeUp(std::function<void()> wakeUp) { wakeUp_ = std::move(wakeUp); }
    // Symbols are handed on up to `symbols` symbol periods before they
    // start (0, the default: as each starts), then again when half of that
    // lead is left. A text cut short (StopAtOnce) still plays out what was
    // handed on before the carrier fades.
    void SetLead(int symbols);

    // Starts the modem on a sound card: none, or why the card cannot be had.
    std::error_code StartOnCard(int soundCard);
    // Stops the modem and gives the card back; harmless when not running.
    void Stop();
    void SetTone(int hertz);             // the tone of the next transmission
    void StartTransmitting();            // the preamble, then idle reversals
    void QueueCharacter(int code);       // one ASCII code (bit 7 ignored)
    void QueueIdentification();          // the identification text in Morse
    void QueueIdle();                    // idle reversals for a while: idle fill and pause
    int CodesQueued();                   // falls as codes go out
    void SetIdentificationText(const std::string& text);
    void EndAfterQueue();                // the queued codes, the postamble, the fade
    void StopAtOnce();                   // carrier off now, the queue dropped

    // Brings the modem up to the clock: hands every symbol that has started
    // (and those within the lead) to the sound. The loop calls it at
    // NextHandOn() while on the air.
    void Poll() { Advance(); }
    // When Poll() next has symbols to hand on, or the carrier goes off;
    // TimePoint::max() when not transmitting.
    TimePoint NextHandOn() const;
    // When CodesQueued() may next fall (the start of the next queued item).
    TimePoint NextChange();

    bool Running() const { return running_; }
    // Why the sound card could not be had; "" when it could.
    std::string Problem() const { return sound_ ? sound_->Problem() : std::string(); }
    bool Transmitting();
    int Frequency() const { return frequency_; }
    void SetSymbolSink(SymbolSink sink);

    // The characters that have completely gone out, in order, over the modem's life.
    std::string SentText();
    // When the carrier goes off: the end of the postamble once EndAfterQueue
    // has been given, TimePoint::max() while the transmission has no end yet,
    // the time now when not transmitting.
    TimePoint TransmitEnd() const;

    // The identification's key pattern in Morse units (true: carrier on),
    // without the gaps around it; characters without Morse are skipped.
    static std::vector<bool> MorseKeying(const std::string& text);

private:
    using Index = std::int64_t;  // symbol number counted from the transmission's start
    static constexpr int kIdentification = -1;
    static constexpr int kIdle = -2;

    // One queued item: a character, or the identification.
    struct Item {
        int code;     // ASCII code, kIdentification or kIdle
        Index start;  // first symbol
        Index end;    // one past the last symbol
        std::shared_ptr<const std::vector<bool>> keying;  // the identification's units, gaps included
    };

    void Queue(Item item, Index length);
    void Advance();
    void Retire(Index lastStarted);
    void Halt();
    void Begin();
    PskSymbol SymbolAt(Index index) const;
    // One past the last symbol that may be handed on now.
    Index HandOnLimit() const;
    Index LastStarted() const;
    Index NextBoundary() const;
    TimePoint TimeOf(Index index) const { return origin_ + index * kSymbol; }
    // Adds a symbol to the batch for the sound and tells the observer.
    void Emit(TimePoint when, PskSymbol symbol);
    // Hands the batch to the sound.
    void HandOn();

    const Clock& clock_;
    PskSound* sound_ = nullptr;
    TimePoint now_;  // latest time seen; never moves back
    bool running_ = false;
    bool transmitting_ = false;
    int frequency_ = 1000;
    int airFrequency_ = 1000;  // the tone of the transmission on the air
    std::string idText_;
    SymbolSink sink_;
    std::function<void()> wakeUp_;
    bool advancing_ = false;  // guards against re-entry from the sink
    Index lead_ = 0;
    std::vector<PskSymbol> batch_;  // the symbols being handed on, kept to save allocations

    TimePoint origin_{};       // start of the preamble
    Index delivered_ = 0;      // symbols handed on (or skipped)
    Index scheduleEnd_ = 0;    // one past the last scheduled item's symbols
    std::optional<Index> end_; // one past the postamble, once EndAfterQueue was given
    std::deque<Item> items_;   // scheduled items not yet finished
    std::string sentText_;
};

}  // namespace sked
