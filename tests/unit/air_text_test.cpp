// The text a bulletin file puts on the air: UTF-8 and Windows-1252 files in
// several languages become ASCII, broken UTF-8 is never decoded into
// characters it does not hold, and nothing without an ASCII form is sent.
#include <string>

#include <gtest/gtest.h>

#include "transmit/air_text.h"

namespace sked {
namespace {

using namespace std::string_literals;

std::string Utf8(char32_t code) {
    if (code < 0x80) return std::string(1, static_cast<char>(code));
    std::string bytes;
    if (code < 0x800) {
        bytes += static_cast<char>(0xC0 | code >> 6);
    } else {
        if (code < 0x10000) {
            bytes += static_cast<char>(0xE0 | code >> 12);
        } else {
            bytes += static_cast<char>(0xF0 | code >> 18);
            bytes += static_cast<char>(0x80 | (code >> 12 & 0x3F));
        }
        bytes += static_cast<char>(0x80 | (code >> 6 & 0x3F));
    }
    bytes += static_cast<char>(0x80 | (code & 0x3F));
    return bytes;
}

TEST(AirText, FileBytesBecomeTheAsciiTextSent) {
    const struct {
        std::string bytes, sent;
    } cases[] = {
        // UTF-8 bulletins.
        {"Café Zürich 25°C", "Cafe Zurich 25C"},
        {"Straße, Größe: ÄÖÜ äöü", "Strasse, Grosse: AOU aou"},
        {"Œuvre «élève» à l’hôtel — déjà vu…", "OEuvre \"eleve\" a l'hotel - deja vu..."},
        {"Zażółć gęślą jaźń, Łódź", "Zazolc gesla jazn, Lodz"},
        {"Árvíztűrő tükörfúrógép ŐŰ", "Arvizturo tukorfurogep OU"},
        {"Příliš žluťoučký kůň", "Prilis zlutoucky kun"},
        {"¿Mañana? ¡Sí! Ç ç", "?Manana? !Si! C c"},
        {"Ærø, Øresund, smørrebrød, Åland", "AEro, Oresund, smorrebrod, Aland"},
        {"Þórður Guðmundsson", "THordur Gudmundsson"},
        {"Știință și țară", "Stiinta si tara"},
        {"İstanbul ışık Ğğ Şş", "Istanbul isik Gg Ss"},
        {"“QSL” ‘via’ „bureau“ ‹x› 3–5 −2 ‐ ― 3×4 8÷2 € 5 ™ ½",
         "\"QSL\" 'via' \"bureau\" 'x' 3-5 -2 - - 3x4 8/2 EUR 5 TM 1/2"},
        {"a\u00A0b\u2009c\u202Fd\u3000e\u2002f", "a b c d e f"},
        // Plain ASCII as it is, control characters too.
        {"RYRY\r\n\tQST\a^1\x7F ~", "RYRY\r\n\tQST\a^1\x7F ~"},
        // No ASCII form: not sent. Nor combining accents, nor a caret made
        // up from the modifier letter.
        {"QTH: Москва/東京 ☺😀 ok", "QTH: /  ok"},
        {"e\u0301te\u0301 \u00A7\u00B6\u00A4 a\u200Bb \u02C6", "ete  ab "},
        {"a\xC2\x85z", "az"},  // a C1 control (NEL)
        // The byte-order mark: dropped at the start, also before bytes that
        // are not UTF-8; nothing elsewhere.
        {"\xEF\xBB\xBF" "Hello", "Hello"},
        {"a\xEF\xBB\xBF" "b", "ab"},
        {"\xEF\xBB\xBF" "Caf\xE9", "Cafe"},
        // Windows-1252 (the whole text, once one sequence is not UTF-8).
        {"Caf\xE9 Z\xFCrich 25\xB0" "C", "Cafe Zurich 25C"},
        {"\x93Quote\x94 \x96 \x97 \x85 \x80" "5 \x99 \x8C\x9C \x8A\x9A \x8E\x9E \x9F \x83 \x91x\x92",
         "\"Quote\" - - ... EUR5 TM OEoe Ss Zz Y f 'x'"},
        {"a\x81\x8D\x8F\x90\x9D" "b\xE9", "abe"},  // undefined in Windows-1252
        {"x\x88y\xE9", "xye"},                     // its modifier circumflex: no caret
        {"Ca\xC3\xA9 \xE9", "CaA(C) e"},           // one stray byte: all of it Windows-1252
        // Invalid and overlong UTF-8, surrogates, beyond U+10FFFF: read
        // byte by byte, never as the character they would encode.
        {"..\xC0\xAF", "..A"},                      // overlong "/"
        {"a\xC0\x80" "b", "aAEURb"},                // overlong zero: no zero, no end
        {"\xE0\x80\xAF", "aEUR"},                   // overlong "/" in three bytes
        {"\xF0\x80\x80\xAF", "dEUREUR"},            // and in four
        {"\xED\xA0\x80", "i EUR"},                  // a surrogate
        {"\xF4\x90\x80\x80", "oEUREUR"},            // beyond U+10FFFF
        {"\xF8\x88\x80\x80\x80", "oEUREUREUR"},     // five bytes
        {"Caf\xC3", "CafA"},                        // cut short at the end
        {"\xC3" "a", "Aa"},                         // cut short by ASCII
        {"\x80", "EUR"},                            // a lone continuation byte
        // Valid UTF-8 of every length.
        {"\x7F\xC2\x80\xDF\xBF\xE0\xA0\x80\xEF\xBF\xBD\xF0\x90\x80\x80\xF4\x8F\xBF\xBF", "\x7F"},
        // The zero byte ends the text, before it is judged.
        {"abc\0def"s, "abc"},
        {"Caf\xC3\xA9\0\xFF"s, "Cafe"},
        {"\0Caf\xC3\xA9"s, ""},
        {"", ""},
    };
    for (const auto& c : cases) EXPECT_EQ(AirText(c.bytes), c.sent) << c.bytes;
}

TEST(AirText, EveryLetterOfTheLatinBlocksGoesOutAsAsciiLettersTheSameFromEitherEncoding) {
    for (char32_t code = 0xC0; code < 0x180; ++code) {
        SCOPED_TRACE(testing::Message() << "U+" << std::hex << static_cast<unsigned>(code));
        std::string sent = AirText(Utf8(code));
        if (code == 0xD7 || code == 0xF7 || code == 0x149) continue;  // × ÷ ŉ
        ASSERT_FALSE(sent.empty());
        for (char c : sent) EXPECT_TRUE((c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z')) << sent;
    }
    // A lone byte above 0x9F is never UTF-8: read as Windows-1252, which is
    // Latin-1 there, it gives what its character gives in UTF-8.
    for (char32_t code = 0xA0; code < 0x100; ++code)
        EXPECT_EQ(AirText(std::string(1, static_cast<char>(code))), AirText(Utf8(code)))
            << "U+" << std::hex << static_cast<unsigned>(code);
}

}  // namespace
}  // namespace sked
