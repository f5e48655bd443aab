#include "transmit/code_sender.h"

#include <algorithm>
#include <cctype>
#include <string_view>

#include "transmit/baudot_table.h"
#include "transmit/morse_table.h"

namespace sked {

namespace {

constexpr std::uint8_t kLineFeedCode = 2;
constexpr std::uint8_t kSpaceCode = 4;
constexpr std::uint8_t kCarriageReturnCode = 8;
constexpr int kCarriageReturn = 13;
constexpr int kGraveAccent = 96;  // the last row of the table after folding

// Morse timing in fast-timer ticks: a dot lasts 83/30 ticks per element
// unit (2 for a dot, 5 for a dash), elements are 33/30 = 1 tick apart, and a
// character ends with 200/30 = 6 more; a character without Morse is a pause.
constexpr int ElementTicks(int units) { return units * 83 / 30; }
constexpr int kElementGapTicks = 33 / 30;
constexpr int kCharacterGapTicks = 200 / 30;
constexpr int kPauseTicks = 6;
// The Morse lead-in: the carrier for 50 ticks, then a word space of open key.
constexpr int kLeadInTicks = 50;
constexpr int kLeadInGapTicks = 7;

}  // namespace

CodeSender::CodeSender(StationState& state, Timing& timing, Uart& uart, PskModem& psk, Mirror& mirror,
                       RunningLine& line)
    : state_(state),
      timing_(timing),
      uart_(uart),
      psk_(psk),
      mirror_(mirror),
      line_(line),
      pskOutput_(psk),
      macros_(*this, timing.loop().clock()) {}

int CodeSender::SendCode(int code) {
    // The code goes out once the line (or the PSK31 modem) can take it; the
    // tone generator takes whatever the line takes.
    CodeOutput& output = state_.mode == kPsk31 ? static_cast<CodeOutput&>(pskOutput_) : uart_;
    EventLoop& loop = timing_.loop();
    for (;;) {
        const bool ready = output.Ready();
        const TimePoint next = ready ? EventLoop::Forever : output.ReadyAt();
        timing_.PumpMessages();
        if (ready) break;
        loop.WaitForEvent(next);
    }
    if (state_.mode != kPsk31 && !state_.noSound && generator_) generator_->Put(code);
    output.Put(code);
    return code;
}

void CodeSender::WaitForPskQueue(const std::function<bool()>& stop) {
    while (!pskOutput_.Ready() && !(stop && stop())) {
        timing_.PumpMessages();
        if (!pskOutput_.Ready()) timing_.loop().WaitForEvent(psk_.NextChange());
    }
}

void CodeSender::SendIdle(int seconds) {
    if (state_.mode == kAscii) {
        timing_.WaitSeconds(seconds);  // ASCII idles in silence
        return;
    }
    // The receiving teleprinter is in letters after the fill, whatever the
    // text before it ended with: so is the shift the next text starts from.
    if (state_.mode != kPsk31) shiftState_ = kLtrs;
    state_.secondTicks = 0;
    while (state_.secondTicks < seconds) {
        if (state_.mode == kPsk31) {
            // The PSK31 idle is reversals, not a character: they take air
            // time, so this wait paces itself like the text.
            WaitForPskQueue();
            psk_.QueueIdle();
        } else {
            SendCode(kLtrs);
        }
        timing_.PumpMessages();
        // A PSK31 modem that is not on the air takes codes without pacing
        // them: wait for the tick instead of spinning.
        if (state_.mode == kPsk31 && !psk_.Transmitting() && state_.secondTicks < seconds)
            timing_.loop().WaitForEvent(EventLoop::Forever);
    }
}

void CodeSender::SendBaudot(int character, int mode) {
    int c = macros_.ExpandMacro(character, mode);
    // Bytes above 127 have no teleprinter code: nothing is sent or mirrored.
    if (c < 0 || c > 127) return;
    // A tab separates words as a blank does; the alphabets have no tab.
    if (c == '\t') c = ' ';
    if (c > kGraveAccent) c -= 32;  // lower case to capitals; { | } ~ DEL to [ \ ] ^ _
    if (c == kGraveAccent) c = 0;  // the grave accent has no row of its own
    const BaudotRow& row = BaudotTable(c);
    std::uint8_t code = row.CodeFor(mode);

    switch (code) {
        case kNotSent:
            return;
        case kLineFeedCode:  // every line end goes out as CR CR LF LTRS
            SendCode(kCarriageReturnCode);
            SendCode(kCarriageReturnCode);
            SendCode(kLineFeedCode);
            SendCode(kLtrs);
            shiftState_ = kLtrs;
            MirrorCharacter(kCarriageReturn);
            Shown('\n');
            return;
        case kSpaceCode:
        case kLtrs:  // unshift on space
            SendCode(code);
            if (shiftState_ == kFigs) SendCode(kLtrs);
            shiftState_ = kLtrs;
            MirrorCharacter(c);
            // What the teleprinter prints: a blank, also for the signs its alphabet lacks.
            Shown(code == kSpaceCode ? ' ' : c);
            return;
        case kCarriageReturnCode:  // the carriage return is sent with the line feed
            return;
        case kFigs:
            SendCode(kFigs);
            shiftState_ = kFigs;
            return;
        default:
            if (shiftState_ != row.shift) {
                SendCode(row.shift);
                shiftState_ = row.shift;
            }
            SendCode(code);
            MirrorCharacter(c);
            Shown(c);
            return;
    }
}

int CodeSender::SendTextCharacter(int character, int mode) {
    int c = macros_.ExpandMacro(character, mode);
    // The caret only marks a macro: readers of the bulletin never see it,
    // as in the Baudot alphabets, which have no caret.
    if (c == MacroExpander::kCaret) return c;
    SendPlainCharacter(c);
    return c;
}

void CodeSender::SendPlainCharacter(int c) {
    SendCode(c & 0x7F);
    if (c == '\n') MirrorCharacter(kCarriageReturn);
    else if (c != '\r') MirrorCharacter(c);
    Shown(c & 0x7F);
}

void CodeSender::SendMorseText(int character) {
    int c = macros_.ExpandMacro(character, kCw);
    if (c != MacroExpander::kCaret) SendMorseKey(c);
}

void CodeSender::SendMorseKey(int character) { SendMorse(character, Keyer::KeyLine); }
void CodeSender::SendMorseBreak(int character) { SendMorse(character, Keyer::Break); }

void CodeSender::MorseLeadIn() {
    timing_.StartFastTimer();
    timing_.WaitTicks(kLeadInTicks);
    // The keying line is also the Morse key: it has been closed since the
    // transmitter came on. Open it for a word space, or the first element
    // would run on from the lead-in carrier and be lost.
    uart_.KeyLineOff();
    timing_.WaitTicks(kLeadInGapTicks);
}

void CodeSender::BreakTo(bool on) {
    if (on) uart_.BreakOn();
    else uart_.BreakOff();
    // The sound card carries the same Morse as the serial line.
    if (!state_.noSound && generator_) generator_->PutBreak(on);
}

void CodeSender::SendMorse(int character, Keyer keyer) {
    const std::uint8_t lcr = uart_.ReadLcr();
    if (character == '\n' || character == '\r') Shown(character);
    else if (character >= 0 && character < 128) Shown(std::toupper(character));

    // Characters beyond the table ({ | } ~ and bytes above 127) send the pause.
    int upper = (character >= 0 && character < 128) ? std::toupper(character) : 0x7F;
    int index = upper - kMorseFirst;
    if (index < 0) index = 0;
    std::string_view elements = MorseTable(index);

    // The key lines are read afresh at every element: a handler that ran
    // during the last wait may have released the transmitter or its power,
    // and an element must never bring either back.
    auto keyLineTo = [&](bool closed) {
        const std::uint8_t keyLine = static_cast<std::uint8_t>(state_.keyLine);
        const std::uint8_t mcr = uart_.ReadMcr();
        uart_.WriteMcr(static_cast<std::uint8_t>(closed ? mcr | keyLine : mcr & ~keyLine));
    };
    if (elements[0] == kMorsePause) {
        timing_.WaitTicks(kPauseTicks);
    } else {
        for (char symbol : elements) {
            if (symbol == ' ') continue;
            const int units = symbol == kMorseDash ? 2 : 1;
            const bool keyed = state_.transmitterOn;
            if (keyer == Keyer::Break) BreakTo(true);
            else if (keyed) keyLineTo(true);
            timing_.WaitTicks(ElementTicks(units));
            if (keyer == Keyer::Break) BreakTo(false);
            else if (keyed) keyLineTo(false);
            timing_.WaitTicks(kElementGapTicks);
        }
        timing_.WaitTicks(kCharacterGapTicks);
    }
    uart_.WriteLcr(lcr);
}

}  // namespace sked
