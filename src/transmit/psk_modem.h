// Our own PSK31 modem, standing in for the closed modem library. The station
// calls it through the library's operations (numbers in brackets are the
// library's ordinals); it keeps the queue, the varicode encoder and the
// symbol timing (31.25 baud) on the loop's clock. Sound comes from an audio
// back end attached later; without one, symbols go only to the sink.
#pragma once

#include <cstdint>
#include <deque>
#include <functional>
#include <optional>
#include <string>

#include "platform/clock.h"

namespace sked {

class PskModem {
public:
    // One transmitted symbol: true = no phase change ("1"), false = reversal ("0").
    // `carrierOn` false marks the end of a transmission.
    using SymbolSink = std::function<void(TimePoint when, bool bit)>;

    static constexpr double kBaud = 31.25;

    explicit PskModem(const Clock& clock);

    int Start(int soundCard);          // [1] 0: modem running on that card
    void Stop();                       // [2] modem stopped; harmless when not running
    void SetFrequency(int hertz);      // [18] transmit tone of the next transmission
    void StartTransmit();              // [15] with 0: transmission starts
    void QueueCode(int code, int flag);  // [20] flag 0: a character; code 2 flag 1: CW identification
    int Pending();                     // [22] codes still queued
    void SetCwIdText(const std::string& text);  // [19]
    void PrepareEnd();                 // [23]
    void EndTransmit();                // [16] ends after the queued codes
    void Abort();                      // [17] stops at once, queue dropped

    // When Pending() may next fall (the end of the code now going out).
    TimePoint NextChange();

    bool Running() const;
    bool Transmitting();
    int Frequency() const;
    void SetSymbolSink(SymbolSink sink);

    // Read-only observers.
    // The characters that have completely gone out, in order, over the modem's life.
    std::string SentText();
    // When the carrier goes off: the end of the postamble once EndTransmit
    // has been given, TimePoint::max() while the transmission has no end yet,
    // the time now when not transmitting.
    TimePoint TransmitEnd() const;

    static constexpr int kPreambleSymbols = 32;   // reversals before the text
    static constexpr int kPostambleSymbols = 32;  // steady carrier after it
    static constexpr Duration kSymbol = std::chrono::milliseconds(32);
    static constexpr Duration kCwDot = std::chrono::milliseconds(60);  // 20 WPM

private:
    using Index = std::int64_t;  // symbol number counted from the transmission's start
    static constexpr int kCwIdentification = -1;

    // One queued item: a character, or the CW identification.
    struct Item {
        int code;     // ASCII code, or kCwIdentification
        Index start;  // first symbol
        Index end;    // one past the last symbol
    };

    // Brings the state up to the clock: hands every symbol that has started
    // to the sink, retires finished items, ends a finished transmission.
    void Advance();
    void Retire(Index lastStarted);
    void Halt();
    void Begin();
    // The symbol `index` as it goes out; nothing while the carrier is keyed for CW.
    std::optional<bool> SymbolAt(Index index) const;
    // Number of the last symbol started by now_ (-1 before the first).
    Index LastStarted() const;
    // Number of the first symbol starting at or after now_.
    Index NextBoundary() const;
    TimePoint TimeOf(Index index) const { return origin_ + index * kSymbol; }
    Index CwIdSymbols() const;

    const Clock& clock_;
    TimePoint now_;  // latest time seen; never moves back
    bool running_ = false;
    bool transmitting_ = false;
    int soundCard_ = 0;
    int frequency_ = 1000;
    std::string cwIdText_;
    SymbolSink sink_;
    bool advancing_ = false;  // guards against re-entry from the sink

    TimePoint origin_{};       // start of the preamble
    Index delivered_ = 0;      // symbols handed to the sink (or skipped)
    Index scheduleEnd_ = 0;    // one past the last scheduled item's symbols
    std::optional<Index> end_; // one past the postamble, once EndTransmit was given
    std::deque<Item> items_;   // scheduled items not yet finished
    std::string sentText_;
};

}  // namespace sked
