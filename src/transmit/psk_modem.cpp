#include "transmit/psk_modem.h"

#include <algorithm>
#include <cctype>
#include <cstring>

#include "transmit/morse_table.h"
#include "transmit/varicode.h"

namespace sked {

namespace {

// Length of `text` in Morse units: dot 1, dash 3, 1 between elements,
// 3 between letters, 7 between words; characters without Morse are skipped.
long long MorseUnits(const std::string& text) {
    long long units = 0;
    bool any = false;
    bool wordGap = false;
    for (char c : text) {
        if (c == ' ') {
            wordGap = any;
            continue;
        }
        const std::string_view elements = MorseOf(static_cast<unsigned char>(c));
        if (elements[0] == kMorsePause) continue;
        if (any) units += wordGap ? 7 : 3;
        wordGap = false;
        bool first = true;
        for (char e : elements) {
            if (e == ' ') continue;
            if (!first) units += 1;
            units += e == kMorseDash ? 3 : 1;
            first = false;
        }
        any = true;
    }
    return units;
}

}  // namespace

PskModem::PskModem(const Clock& clock) : clock_(clock), now_(clock.Now()) {}

int PskModem::Start(int soundCard) {
    Advance();
    soundCard_ = soundCard;
    running_ = true;
    return 0;
}

void PskModem::Stop() {
    Advance();
    Halt();
    running_ = false;
}

void PskModem::SetFrequency(int hertz) {
    Advance();
    frequency_ = hertz;
}

void PskModem::SetCwIdText(const std::string& text) {
    Advance();
    cwIdText_ = text;
}

void PskModem::StartTransmit() {
    Advance();
    if (!running_) return;
    // Already on the air: carries on. Ending: the rest of it is cut and a
    // new transmission starts.
    if (transmitting_ && !end_) return;
    Begin();
    Advance();
}

void PskModem::Begin() {
    transmitting_ = true;
    origin_ = now_;
    delivered_ = 0;
    scheduleEnd_ = kPreambleSymbols;
    end_.reset();
    items_.clear();
}

void PskModem::Halt() {
    transmitting_ = false;
    end_.reset();
    items_.clear();
}

void PskModem::QueueCode(int code, int flag) {
    Advance();
    if (!running_ || !transmitting_ || end_) return;
    Item item{};
    Index length = 0;
    if (flag == 0) {
        item.code = code & 0x7F;
        length = static_cast<Index>(std::strlen(VaricodeOf(code))) + 2;  // code + "00"
    } else if (flag == 1 && code == 2) {
        item.code = kCwIdentification;
        length = CwIdSymbols();
    } else {
        return;
    }
    // Straight after the item before it, or at the next symbol boundary
    // when the line is idling on reversals.
    item.start = std::max(scheduleEnd_, NextBoundary());
    item.end = item.start + length;
    scheduleEnd_ = item.end;
    items_.push_back(item);
}

int PskModem::Pending() {
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

void PskModem::PrepareEnd() {
    // Nothing to get ready here: the end proper comes with EndTransmit.
    Advance();
}

void PskModem::EndTransmit() {
    Advance();
    if (!transmitting_ || end_) return;
    const Index postamble = std::max(scheduleEnd_, NextBoundary());
    end_ = postamble + kPostambleSymbols;
}

void PskModem::Abort() {
    Advance();
    Halt();
}

bool PskModem::Running() const { return running_; }

bool PskModem::Transmitting() {
    Advance();
    return transmitting_;
}

int PskModem::Frequency() const { return frequency_; }

void PskModem::SetSymbolSink(SymbolSink sink) {
    Advance();
    sink_ = std::move(sink);
    // A new sink hears from now on, not the symbols already gone.
    if (transmitting_) delivered_ = std::max(delivered_, LastStarted() + 1);
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
    // A symbol already handed to the sink (the one starting right now) is on
    // the air: what is queued now starts after it.
    return std::max(index, delivered_);
}

PskModem::Index PskModem::CwIdSymbols() const {
    const Duration length = MorseUnits(cwIdText_) * kCwDot;
    return static_cast<Index>((length + kSymbol - Duration{1}) / kSymbol);
}

std::optional<bool> PskModem::SymbolAt(Index index) const {
    if (index < kPreambleSymbols) return false;
    if (!items_.empty()) {
        const Item& item = items_.front();
        if (item.start <= index && index < item.end) {
            if (item.code == kCwIdentification) return std::nullopt;
            const char* bits = VaricodeOf(item.code);
            const auto offset = static_cast<std::size_t>(index - item.start);
            return offset < std::strlen(bits) && bits[offset] == '1';
        }
    }
    if (end_ && index >= *end_ - kPostambleSymbols) return true;
    return false;  // idle reversals
}

void PskModem::Retire(Index lastStarted) {
    while (!items_.empty() && items_.front().end <= lastStarted) {
        if (items_.front().code != kCwIdentification) sentText_ += static_cast<char>(items_.front().code);
        items_.pop_front();
    }
}

void PskModem::Advance() {
    now_ = std::max(now_, clock_.Now());
    if (!transmitting_ || advancing_) return;
    advancing_ = true;
    // The sink may call back in (even Abort or StartTransmit): every step
    // reads the state afresh.
    while (transmitting_) {
        Index limit = LastStarted() + 1;
        if (end_) limit = std::min(limit, *end_);
        if (delivered_ >= limit) break;
        if (!sink_) {
            delivered_ = limit;
            break;
        }
        const Index index = delivered_++;
        Retire(index);
        if (std::optional<bool> bit = SymbolAt(index)) {
            SymbolSink sink = sink_;
            sink(TimeOf(index), *bit);
        }
    }
    if (transmitting_) {
        Retire(LastStarted());
        if (end_ && *end_ <= LastStarted()) Halt();
    }
    advancing_ = false;
}

}  // namespace sked
