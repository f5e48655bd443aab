// A bulletin's bytes as the ASCII sent: UTF-8 and Windows-1252 transliterated, broken UTF-8 never decoded.
#include <string>

#include <gtest/gtest.h>

#include "transmit/air_text.h"

namespace sked {
namespace {

using namespace std::string_literals;

TEST(AirText, FileBytesBecomeTheAsciiTextSent) {
    const struct { std::string bytes, sent; } cases[] = {
        // UTF-8 bulletins.
        {"Café Zürich 25°C", "Cafe Zurich 25C"},
        {"Œuvre «élève» à l’hôtel — déjà vu…", "OEuvre \"eleve\" a l'hotel - deja vu..."},
        {"“QSL” ‘via’ „bureau“ ‹x› 3–5 −2 ‐ ― 3×4 8÷2 € 5 ™ ½",
         "\"QSL\" 'via' \"bureau\" 'x' 3-5 -2 - - 3x4 8/2 EUR 5 TM 1/2"},
        {"a\u00A0b\u2009c\u202Fd\u3000e\u2002f", "a b c d e f"},
        // Every character of U+00C0..U+017F, in order.
        {"ÀÁÂÃÄÅÆÇÈÉÊËÌÍÎÏÐÑÒÓÔÕÖ×ØÙÚÛÜÝÞß", "AAAAAAAECEEEEIIIIDNOOOOOxOUUUUYTHss"},
        {"àáâãäåæçèéêëìíîïðñòóôõö÷øùúûüýþÿ", "aaaaaaaeceeeeiiiidnooooo/ouuuuythy"},
        {"ĀāĂăĄąĆćĈĉĊċČčĎďĐđĒēĔĕĖėĘęĚěĜĝĞğ", "AaAaAaCcCcCcCcDdDdEeEeEeEeEeGgGg"},
        {"ĠġĢģĤĥĦħĨĩĪīĬĭĮįİıĲĳĴĵĶķĸĹĺĻļĽľĿ", "GgGgHhHhIiIiIiIiIiIJijJjKkkLlLlLlL"},
        {"ŀŁłŃńŅņŇňŉŊŋŌōŎŏŐőŒœŔŕŖŗŘřŚśŜŝŞş", "lLlNnNnNn'nNGngOoOoOoOEoeRrRrRrSsSsSs"},
        {"ŠšŢţŤťŦŧŨũŪūŬŭŮůŰűŲųŴŵŶŷŸŹźŻżŽžſ", "SsTtTtTtUuUuUuUuUuUuWwYyYZzZzZzs"},
        // Plain ASCII as it is, control characters too.
        {"RYRY\r\n\tQST\a^1\x7F ~", "RYRY\r\n\tQST\a^1\x7F ~"},
        // No ASCII form: not sent; nor combining accents, nor a caret from the modifier letter.
        {"QTH: Москва/東京 ☺😀 ok", "QTH: /  ok"}, {"e\u0301te\u0301 \u00A7\u00B6\u00A4 a\u200Bb \u02C6", "ete  ab "},
        {"a\xC2\x85z", "az"},  // a C1 control (NEL)
        // The byte-order mark: nothing on the air; at the start, also before bytes that are not UTF-8.
        {"\xEF\xBB\xBF" "Hello", "Hello"}, {"a\xEF\xBB\xBF" "b", "ab"}, {"\xEF\xBB\xBF" "Caf\xE9", "Cafe"},
        // Windows-1252 (the whole text, once one sequence is not UTF-8).
        {"Caf\xE9 Z\xFCrich 25\xB0" "C", "Cafe Zurich 25C"},
        {"\x93Quote\x94 \x96 \x97 \x85 \x80" "5 \x99 \x8C\x9C \x8A\x9A \x8E\x9E \x9F \x83 \x91x\x92",
         "\"Quote\" - - ... EUR5 TM OEoe Ss Zz Y f 'x'"},
        {"a\x81\x8D\x8F\x90\x9D" "b\xE9", "abe"},  // undefined in Windows-1252
        {"x\x88y\xE9", "xye"},                     // its modifier circumflex: no caret
        {"Ca\xC3\xA9 \xE9", "CaA(C) e"},           // one stray byte: all of it Windows-1252
        // Invalid and overlong UTF-8, surrogates, beyond U+10FFFF: read byte by byte, never as what they encode.
        {"..\xC0\xAF", "..A"},                      // overlong "/"
        {"a\xC0\x80" "b", "aAEURb"},                // overlong zero: no zero, no end
        {"\xE0\x80\xAF", "aEUR"},                   // overlong "/" in three bytes
        {"\xED\xA0\x80", "i EUR"},                  // a surrogate
        {"\xF4\x90\x80\x80", "oEUREUR"},            // beyond U+10FFFF
        {"Caf\xC3", "CafA"}, {"\xC3" "a", "Aa"},    // cut short at the end, and by ASCII
        {"\x80", "EUR"},                            // a lone continuation byte
        // Valid UTF-8 of every length.
        {"\x7F\xC2\x80\xDF\xBF\xE0\xA0\x80\xEF\xBF\xBD\xF0\x90\x80\x80\xF4\x8F\xBF\xBF", "\x7F"},
        // The zero byte ends the text, before it is judged.
        {"abc\0def"s, "abc"}, {"Caf\xC3\xA9\0\xFF"s, "Cafe"}, {"\0Caf\xC3\xA9"s, ""},
    };
    for (const auto& c : cases) EXPECT_EQ(AirText(c.bytes), c.sent) << c.bytes;
}

// A lone byte above 0x9F is Latin-1 (never UTF-8): it goes out as its character does in UTF-8.
TEST(AirText, ALoneLatin1ByteGoesOutAsItsCharacterInUtf8) {
    for (unsigned code = 0xA0; code < 0x100; ++code) {
        const std::string utf8 = {static_cast<char>(0xC0 | code >> 6), static_cast<char>(0x80 | (code & 0x3F))};
        EXPECT_EQ(AirText(std::string(1, static_cast<char>(code))), AirText(utf8)) << "U+" << std::hex << code;
    }
}

}  // namespace
}  // namespace sked
