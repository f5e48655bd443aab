#include "transmit/psk_modem.h"

#include <algorithm>
#include <cstring>

#include "transmit/morse_table.h"
#include "transmit/varicode.h"

namespace sked {

std::vector<bool> PskModem::MorseKeying(const std::string& text) {
    // Dot 1 unit, dash 3, 1 between elements, 3 between letters, 7 between words.
    std::vector<bool> units;
    bool wordGap = false;
    for (char c : text) {
        if (c == ' ') {
            wordGap = !units.empty();
            continue;
        }
        const std::string_view elements = MorseOf(static_cast<unsigned char>(c));
        if (elements[0] == kMorsePause) continue;
        if (!units.empty()) units.insert(units.end(), wordGap ? 7 : 3, false);
        wordGap = false;
        bool first = true;
        for (char e : elements) {
            if (e == ' ') continue;
            if (!first) units.push_back(false);
            units.insert(units.end(), e == kMorseDash ? 3 : 1, true);
            first = false;
        }
    }
    return units;
}

PskModem::PskModem(const Clock& clock) : clock_(clock), now_(clock.Now()) {}

void PskModem::SetLead(int symbols) {
    Advance();
    lead_ = std::max(symbols, 0);
}

std::error_code PskModem::StartOnCard(int soundCard) {
    Advance();
    if (running_) Stop();
    if (sound_) {
        if (const std::error_code result = sound_->OpenCard(soundCard)) return result;
    }
    running_ = true;
    return {};
}

void PskModem::Stop() {
    Advance();
    Halt();
    if (running_ && sound_) sound_->CloseCard();
    running_ = false;
}

void PskModem::SetTone(int hertz) {
    Advance();
    frequency_ = hertz;
}

void PskModem::SetIdentificationText(const std::string& text) {
    Advance();
    idText_ = text;
}

void PskModem::StartTransmitting() {
    Advance();
    if (!running_) return;
    // Already on the air: carries on. Ending: the rest of it is cut and a
    // new transmission starts.
    if (transmitting_ && !end_) return;
    if (transmitting_) Halt();
    Begin();
    Advance();
}

void PskModem::Begin() {
    transmitting_ = true;
    airFrequency_ = frequency_;
    origin_ = now_;
    delivered_ = 0;
    scheduleEnd_ = kPreambleSymbols;
    end_.reset();
    items_.clear();
    if (wakeUp_) wakeUp_();
}

void PskModem::Halt() {
    // The state first: whoever hears the carrier go off may call back in.
    const bool wasOn = transmitting_;
    transmitting_ = false;
    end_.reset();
    items_.clear();
    if (wasOn) Emit(now_, PskSymbol::CarrierOff);
    HandOn();
}

void PskModem::Queue(Item item, Index length) {
    // Straight after the item before it, or at the next symbol boundary
    // when the line is idling on reversals.
    item.start = std::max(scheduleEnd_, NextBoundary());
    item.end = item.start + length;
    scheduleEnd_ = item.end;
    items_.push_back(std::move(item));
}

void PskModem::QueueCharacter(int code) {
    Advance();
    if (!running_ || !transmitting_ || end_) return;
    const int c = code & 0x7F;
    Queue(Item{c, 0, 0, nullptr}, static_cast<Index>(std::strlen(VaricodeOf(c))) + 2);  // code + "00"
}

void PskModem::QueueIdentification() {
    Advance();
    if (!running_ || !transmitting_ || end_) return;
    std::vector<bool> units(kMorseGapUnits, false);
    const std::vector<bool> morse = MorseKeying(idText_);
    units.insert(units.end(), morse.begin(), morse.end());
    units.insert(units.end(), kMorseGapUnits, false);
    const Index length = static_cast<Index>(units.size()) * kSymbolsPerMorseUnit;
    Queue(Item{kIdentification, 0, 0, std::make_shared<const std::vector<bool>>(std::move(units))}, length);
}

void PskModem::QueueIdle() {
    Advance();
    if (!running_ || !transmitting_ || end_) return;
    Queue(Item{kIdle, 0, 0, nullptr}, kIdleSymbols);
}

int PskModem::CodesQueued() {
    Advance();
    if (!transmitting_) return 0;
    const Index last = LastStarted();
    int count = 0;
    for (auto it = items_.rbegin(); it != items_.rend() && it->start > last; ++it) ++count;
    return count;
}

TimePoint PskModem::NextChange() {
    Advance();
    if (!transmitting_) return now_;
    const Index last = LastStarted();
    for (const Item& item : items_) {
        if (item.start > last) return TimeOf(item.start);
    }
    return now_;
}

void PskModem::EndAfterQueue() {
    Advance();
    if (!transmitting_ || end_) return;
    const Index postamble = std::max(scheduleEnd_, NextBoundary());
    end_ = postamble + kPostambleSymbols;
}

void PskModem::StopAtOnce() {
    Advance();
    Halt();
}

bool PskModem::Transmitting() {
    Advance();
    return transmitting_;
}

void PskModem::SetSymbolSink(SymbolSink sink) {
    Advance();
    sink_ = std::move(sink);
}

std::string PskModem::SentText() {
    Advance();
    return sentText_;
}

TimePoint PskModem::TransmitEnd() const {
    if (!transmitting_) return clock_.Now();
    if (!end_) return TimePoint::max();
    return TimeOf(*end_);
}

PskModem::Index PskModem::LastStarted() const {
    if (now_ < origin_) return -1;
    return static_cast<Index>((now_ - origin_) / kSymbol);
}

PskModem::Index PskModem::NextBoundary() const {
    if (now_ <= origin_) return std::max<Index>(0, delivered_);
    const Duration elapsed = now_ - origin_;
    Index index = static_cast<Index>(elapsed / kSymbol);
    if (elapsed % kSymbol != Duration::zero()) ++index;
    // A symbol already handed on (the one starting right now) is on the
    // air: what is queued now starts after it.
    return std::max(index, delivered_);
}

PskModem::Index PskModem::HandOnLimit() const {
    const Index limit = LastStarted() + 1 + lead_;
    return end_ ? std::min(limit, *end_) : limit;
}

TimePoint PskModem::NextHandOn() const {
    if (!transmitting_) return TimePoint::max();
    // Everything is handed on: next comes the end of the carrier.
    if (end_ && delivered_ >= *end_) return TimeOf(*end_);
    // The symbol at whose start half of the lead (at least one symbol) is left to hand on.
    const Index batch = std::max<Index>(1, lead_ / 2);
    return TimeOf(delivered_ - lead_ - 1 + batch);
}

PskSymbol PskModem::SymbolAt(Index index) const {
    if (index < kPreambleSymbols) return PskSymbol::Reversal;
    // Handed on ahead of the clock, the symbol may lie in any item still queued.
    for (const Item& item : items_) {
        if (index < item.start) break;
        if (index < item.end) {
            const auto offset = static_cast<std::size_t>(index - item.start);
            if (item.code == kIdentification) {
                return (*item.keying)[offset / kSymbolsPerMorseUnit] ? PskSymbol::KeyDown : PskSymbol::KeyUp;
            }
            if (item.code == kIdle) return PskSymbol::Reversal;
            const char* bits = VaricodeOf(item.code);
            return offset < std::strlen(bits) && bits[offset] == '1' ? PskSymbol::Steady : PskSymbol::Reversal;
        }
    }
    if (end_ && index >= *end_ - kPostambleSymbols) return PskSymbol::Steady;
    return PskSymbol::Reversal;  // idle
}

void PskModem::Emit(TimePoint when, PskSymbol symbol) {
    batch_.push_back(symbol);
    if (sink_) {
        // The observer may call back in: the sound hears everything before it.
        HandOn();
        SymbolSink sink = sink_;
        sink(when, symbol);
    }
}

void PskModem::HandOn() {
    if (batch_.empty()) return;
    if (sound_) sound_->Play(batch_, airFrequency_);
    batch_.clear();
    if (wakeUp_) wakeUp_();  // NextHandOn() has moved
}

void PskModem::Retire(Index lastStarted) {
    while (!items_.empty() && items_.front().end <= lastStarted) {
        if (items_.front().code >= 0) sentText_ += static_cast<char>(items_.front().code);
        items_.pop_front();
    }
}

void PskModem::Advance() {
    now_ = std::max(now_, clock_.Now());
    if (!transmitting_ || advancing_) return;
    advancing_ = true;
    // The observer may call back in (even StopAtOnce or StartTransmitting):
    // every step reads the state afresh.
    while (transmitting_ && delivered_ < HandOnLimit()) {
        const Index index = delivered_++;
        // Only what both the clock and the sound have passed is done with.
        Retire(std::min(index, LastStarted()));
        Emit(TimeOf(index), SymbolAt(index));
    }
    HandOn();
    if (transmitting_) {
        Retire(LastStarted());
        if (end_ && *end_ <= LastStarted()) {
            const TimePoint off = TimeOf(*end_);
            transmitting_ = false;
            end_.reset();
            items_.clear();
            Emit(off, PskSymbol::CarrierOff);
            HandOn();
        }
    }
    advancing_ = false;
}

}  // namespace sked
