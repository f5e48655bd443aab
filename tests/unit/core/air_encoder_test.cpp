// What each character puts on the air: Baudot codes and shifts, macros and bells, ASCII, the peer's copy, Morse.
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "platform/simulated_event_loop.h"
#include "transmit/air_encoder.h"
#include "transmit/baudot_table.h"

namespace sked {
namespace {

using Codes = std::vector<int>;
using Kind = AirStep::Kind;

class AirEncoding : public ::testing::Test {
protected:
    // The steps of `kind` for `text` in `mode`, starting in `shift`.
    std::vector<int> Of(Kind kind, const std::string& text, Mode mode, int shift = 0) {
        encoder.setShiftState(static_cast<std::uint8_t>(shift));
        AirSteps steps;
        for (char c : text) encoder.EncodeText(static_cast<unsigned char>(c), mode, steps);
        std::vector<int> values;
        for (const AirStep& step : steps) if (step.kind == kind) values.push_back(step.value);
        return values;
    }
    std::string Text(Kind kind, const std::string& text, Mode mode) {
        std::string shown;
        for (int c : Of(kind, text, mode, kLtrs)) shown += static_cast<char>(c);
        return shown;
    }
    SimulatedClock clock{std::chrono::system_clock::from_time_t(1767276453)};  // 2026-01-01 14:07:33 UTC
    std::string callsign = "QZ0XB";
    AirEncoder encoder{clock, callsign};
};

TEST_F(AirEncoding, EachAlphabetGivesItsCodesAndShifts) {
    const struct { const char* text; Mode mode; int shift; Codes codes; } cases[] = {
        {"12 34", Mode::Ita2, 0, {27, 23, 19, 4, 31, 27, 1, 10}},  // unshift on space
        {"A\r\nB", Mode::Ita2, 0, {31, 3, 8, 8, 2, 31, 25}},       // the line feed alone ends the line
        {"5\n5", Mode::Ita2, kLtrs, {27, 16, 8, 8, 2, 31, 27, 16}},  // a figure after a line end shifts again
        {"!", Mode::Ita2, 0, {4}}, {"!", Mode::Telex, kFigs, {4, 31}},  // ITA2 has no "!": a blank
        {"!", Mode::Military, kLtrs, {27, 13}}, {"'", Mode::Ita2, kFigs, {11}}, {"'", Mode::Telex, kFigs, {5}},
        {"\a", Mode::Ita2, kFigs, {11}}, {"\a", Mode::Military, kFigs, {5}},
        {"<>^~", Mode::Ita2, kLtrs, {}}, {"{", Mode::Ita2, kLtrs, {27, 15}},  // never sent; "{" like "["
        {"abc", Mode::Ita2, kLtrs, {3, 25, 14}}, {"\xE9\xC3\xA9", Mode::Ita2, kLtrs, {}},  // bytes above 127
        {"`A", Mode::Ita2, kLtrs, {0, 0, 31, 3}},  // NUL has no shift: LTRS follows
        {"A\tB", Mode::Ita2, kLtrs, {3, 4, 25}},   // a tab is a blank
        {"^5", Mode::Military, kLtrs, {27, 5, 5, 5, 5, 5, 31}},  // bells in the alphabet's own code
        {"^3", Mode::Telex, kLtrs, {27, 11, 11, 11, 31}}, {"^x", Mode::Ita2, kLtrs, {29}},  // ^x: the letter alone
        {"A^xB\r\n^", Mode::Ascii, 0, {'A', 'x', 'B', '\r', '\n'}},  // ASCII: no carets, line ends kept
        {"^5", Mode::Psk31, 0, {7, 7, 7, 7, 7}},
        {"^U", Mode::Ita2, kLtrs, {27, 23, 10, 14, 22, 7, 15, 31, 7, 16, 14, 27, 18}},  // 14:07(UTC), whatever the zone
    };
    for (const auto& c : cases)
        EXPECT_EQ(Of(Kind::Code, c.text, c.mode, c.shift), c.codes) << c.text << " mode " << static_cast<int>(c.mode);
    // A caret at the end of one text stays pending for the next.
    Of(Kind::Code, "A^", Mode::Ita2, kLtrs);
    EXPECT_EQ(Of(Kind::Code, "5", Mode::Ita2, kLtrs), (Codes{27, 11, 11, 11, 11, 11, 31}));
}

TEST_F(AirEncoding, ThePeerAndTheRunningLineGetWhatWentOut) {
    EXPECT_EQ(Text(Kind::Show, "Bulletin for ^W ^L", Mode::Ita2), "BULLETIN FOR THURSDAY JANUARY 01, 2026");
    EXPECT_EQ(Text(Kind::Show, "Bell^5 end^x", Mode::Ascii), "Bell endx");
    EXPECT_EQ(Text(Kind::Show, "Hi! ok", Mode::Ita2), "HI  OK");  // ITA2 has no "!": its printer prints a blank
    // The peer gets each character once, a line end as a carriage return, nothing for what is not sent.
    EXPECT_EQ(Text(Kind::Mirror, "a\r\nb<", Mode::Ita2), "A\rB");
    EXPECT_EQ(Text(Kind::Mirror, "a\r\nb", Mode::Ascii), "a\rb");
    EXPECT_EQ(Text(Kind::Mirror, "cq", Mode::Cw), "");
    // ^C is the station's callsign as it stands when the macro goes out, in every mode.
    callsign = "DL0ABC";
    for (Mode mode : {Mode::Ascii, Mode::Ita2, Mode::Cw})
        EXPECT_EQ(Text(Kind::Show, "DE ^C ^c", mode), "DE DL0ABC DL0ABC") << static_cast<int>(mode);
}

// Morse at the ITU proportions: dot 1, dash 3, gaps 1, 3 and 7 units.
TEST_F(AirEncoding, MorseIsTimedInDotUnits) {
    auto units = [](const std::string& text) {
        AirSteps steps;
        for (char c : text) AirEncoder::EncodeMorse(static_cast<unsigned char>(c), steps);
        std::string keyed;  // a letter per unit: '=' key closed, '_' open
        bool closed = false;
        for (const AirStep& step : steps) {
            if (step.kind == Kind::Close || step.kind == Kind::Open) closed = step.kind == Kind::Close;
            if (step.kind == Kind::Pause) keyed += std::string(static_cast<std::size_t>(step.value), closed ? '=' : '_');
        }
        return keyed;
    };
    EXPECT_EQ(units("ET"), "=___===___");
    EXPECT_EQ(units("E E"), "=___" "____" "=___");  // a word space: seven units in all
    EXPECT_EQ(units("~E"), "____=___");             // no Morse: a word space too
    EXPECT_EQ(units(".").size(), 3u * 1 + 3 * 3 + 6 + 2);  // .-.-.-: the elements, their gaps, the letter space
    EXPECT_EQ(units("PARIS ").size(), 50u);  // the standard word
}

}  // namespace
}  // namespace sked
