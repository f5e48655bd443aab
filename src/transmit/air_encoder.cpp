#include "transmit/air_encoder.h"

#include <cctype>

#include "transmit/baudot_table.h"
#include "transmit/morse_table.h"

namespace sked {

namespace {

constexpr std::uint8_t kLineFeedCode = 2;
constexpr std::uint8_t kSpaceCode = 4;
constexpr std::uint8_t kCarriageReturnCode = 8;
constexpr int kCarriageReturn = 13;
constexpr int kBell = 7;
constexpr int kGraveAccent = 96;  // the last row of the table after folding

// Morse spacing beyond the one unit after every element.
constexpr int kDotUnits = 1;
constexpr int kDashUnits = 3;
constexpr int kElementGapUnits = 1;
constexpr int kCharacterGapUnits = 3 - kElementGapUnits;
constexpr int kWordGapUnits = 7 - 3;

void Add(AirSteps& steps, AirStep::Kind kind, int value) { steps.push_back(AirStep{kind, value}); }

}  // namespace

void AirEncoder::EncodeText(int character, Mode mode, AirSteps& steps) {
    // The Baudot alphabets have capitals only: the macro selectors arrive as such too.
    const int c = IsBaudot(mode) ? std::toupper(character) : character;
    const MacroExpander::Expansion expansion = macros_.Expand(c, clock_.Time());
    for (char ch : expansion.text) EncodePlain(static_cast<unsigned char>(ch), mode, steps);
    if (expansion.bells > 0) EncodeBells(expansion.bells, mode, steps);
    if (expansion.character != MacroExpander::kNothing) EncodePlain(expansion.character, mode, steps);
}

void AirEncoder::EncodePlain(int c, Mode mode, AirSteps& steps) {
    if (mode == Mode::Cw) return EncodeMorse(c, steps);
    if (IsBaudot(mode)) return EncodeBaudot(c, mode, steps);
    // ASCII and PSK31: the code with its top bit cleared; a line end reaches the peer as CR.
    Add(steps, AirStep::Kind::Code, c & 0x7F);
    if (c == '\n') Add(steps, AirStep::Kind::Mirror, kCarriageReturn);
    else if (c != '\r') Add(steps, AirStep::Kind::Mirror, c);
    Add(steps, AirStep::Kind::Show, c & 0x7F);
}

void AirEncoder::EncodeBells(int count, Mode mode, AirSteps& steps) {
    if (mode == Mode::Cw) return;  // Morse has no bell
    if (!IsBaudot(mode)) {
        for (int i = 0; i < count; ++i) Add(steps, AirStep::Kind::Code, kBell);
        return;
    }
    // The alphabet's own bell, in figures shift, as a bell in the text goes out.
    const BaudotRow& bell = BaudotTable(kBell);
    Add(steps, AirStep::Kind::Code, bell.shift);
    for (int i = 0; i < count; ++i) Add(steps, AirStep::Kind::Code, bell.CodeFor(mode));
    Add(steps, AirStep::Kind::Code, kLtrs);
    shiftState_ = kLtrs;
}

void AirEncoder::EncodeBaudot(int character, Mode mode, AirSteps& steps) {
    int c = character;
    // Bytes above 127 have no teleprinter code: nothing is sent or mirrored.
    if (c < 0 || c > 127) return;
    // A tab separates words as a blank does; the alphabets have no tab.
    if (c == '\t') c = ' ';
    if (c > kGraveAccent) c -= 32;  // lower case to capitals; { | } ~ DEL to [ \ ] ^ _
    if (c == kGraveAccent) c = 0;  // the grave accent has no row of its own
    const BaudotRow& row = BaudotTable(c);
    const std::uint8_t code = row.CodeFor(mode);
    auto send = [&steps](int value) { Add(steps, AirStep::Kind::Code, value); };

    switch (code) {
        case kNotSent:
        case kCarriageReturnCode:  // the carriage return goes out with the line feed
            return;
        case kLineFeedCode:  // every line end goes out as CR CR LF LTRS
            send(kCarriageReturnCode);
            send(kCarriageReturnCode);
            send(kLineFeedCode);
            send(kLtrs);
            shiftState_ = kLtrs;
            Add(steps, AirStep::Kind::Mirror, kCarriageReturn);
            Add(steps, AirStep::Kind::Show, '\n');
            return;
        case kSpaceCode:
        case kLtrs:  // unshift on space
            send(code);
            if (shiftState_ == kFigs) send(kLtrs);
            shiftState_ = kLtrs;
            Add(steps, AirStep::Kind::Mirror, c);
            // What the teleprinter prints: a blank, also for the signs its alphabet lacks.
            Add(steps, AirStep::Kind::Show, code == kSpaceCode ? ' ' : c);
            return;
        case kFigs:
            send(kFigs);
            shiftState_ = kFigs;
            return;
        default:
            if (shiftState_ != row.shift) {
                send(row.shift);
                shiftState_ = row.shift;
            }
            send(code);
            Add(steps, AirStep::Kind::Mirror, c);
            Add(steps, AirStep::Kind::Show, c);
            return;
    }
}

void AirEncoder::EncodeMorse(int character, AirSteps& steps) {
    if (character == '\n' || character == '\r') Add(steps, AirStep::Kind::Show, character);
    else if (character >= 0 && character < 128) Add(steps, AirStep::Kind::Show, std::toupper(character));

    // Characters beyond the table ({ | } ~ and bytes above 127) send a word space.
    const std::string_view elements = MorseOf(character >= 0 && character < 128 ? character : 0x7F);
    if (elements[0] == kMorsePause) {
        Add(steps, AirStep::Kind::Pause, kWordGapUnits);
        return;
    }
    for (char symbol : elements) {
        if (symbol == ' ') continue;
        Add(steps, AirStep::Kind::Close, 0);
        Add(steps, AirStep::Kind::Pause, symbol == kMorseDash ? kDashUnits : kDotUnits);
        Add(steps, AirStep::Kind::Open, 0);
        Add(steps, AirStep::Kind::Pause, kElementGapUnits);
    }
    Add(steps, AirStep::Kind::Pause, kCharacterGapUnits);
}

}  // namespace sked
