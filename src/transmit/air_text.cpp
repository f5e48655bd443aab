#include "transmit/air_text.h"

#include <algorithm>
#include <iterator>
#include <optional>

namespace sked {

namespace {

// Nearest ASCII of U+00A0..U+017F (Latin-1 Supplement, Latin Extended-A);
// empty: not sent.
constexpr std::string_view kLatin[] = {
    // U+00A0  NBSP ¡ ¢ £ ¤ ¥ ¦ § ¨ © ª « ¬ SHY ® ¯
    " ", "!", "c", "GBP", "", "JPY", "|", "", "", "(C)", "a", "\"", "", "", "(R)", "",
    // U+00B0  ° ± ² ³ ´ µ ¶ · ¸ ¹ º » ¼ ½ ¾ ¿
    "", "+/-", "2", "3", "'", "u", "", ".", "", "1", "o", "\"", "1/4", "1/2", "3/4", "?",
    // U+00C0  À Á Â Ã Ä Å Æ Ç È É Ê Ë Ì Í Î Ï
    "A", "A", "A", "A", "A", "A", "AE", "C", "E", "E", "E", "E", "I", "I", "I", "I",
    // U+00D0  Ð Ñ Ò Ó Ô Õ Ö × Ø Ù Ú Û Ü Ý Þ ß
    "D", "N", "O", "O", "O", "O", "O", "x", "O", "U", "U", "U", "U", "Y", "TH", "ss",
    // U+00E0  à á â ã ä å æ ç è é ê ë ì í î ï
    "a", "a", "a", "a", "a", "a", "ae", "c", "e", "e", "e", "e", "i", "i", "i", "i",
    // U+00F0  ð ñ ò ó ô õ ö ÷ ø ù ú û ü ý þ ÿ
    "d", "n", "o", "o", "o", "o", "o", "/", "o", "u", "u", "u", "u", "y", "th", "y",
    // U+0100  Ā ā Ă ă Ą ą Ć ć Ĉ ĉ Ċ ċ Č č Ď ď
    "A", "a", "A", "a", "A", "a", "C", "c", "C", "c", "C", "c", "C", "c", "D", "d",
    // U+0110  Đ đ Ē ē Ĕ ĕ Ė ė Ę ę Ě ě Ĝ ĝ Ğ ğ
    "D", "d", "E", "e", "E", "e", "E", "e", "E", "e", "E", "e", "G", "g", "G", "g",
    // U+0120  Ġ ġ Ģ ģ Ĥ ĥ Ħ ħ Ĩ ĩ Ī ī Ĭ ĭ Į į
    "G", "g", "G", "g", "H", "h", "H", "h", "I", "i", "I", "i", "I", "i", "I", "i",
    // U+0130  İ ı Ĳ ĳ Ĵ ĵ Ķ ķ ĸ Ĺ ĺ Ļ ļ Ľ ľ Ŀ
    "I", "i", "IJ", "ij", "J", "j", "K", "k", "k", "L", "l", "L", "l", "L", "l", "L",
    // U+0140  ŀ Ł ł Ń ń Ņ ņ Ň ň ŉ Ŋ ŋ Ō ō Ŏ ŏ
    "l", "L", "l", "N", "n", "N", "n", "N", "n", "'n", "NG", "ng", "O", "o", "O", "o",
    // U+0150  Ő ő Œ œ Ŕ ŕ Ŗ ŗ Ř ř Ś ś Ŝ ŝ Ş ş
    "O", "o", "OE", "oe", "R", "r", "R", "r", "R", "r", "S", "s", "S", "s", "S", "s",
    // U+0160  Š š Ţ ţ Ť ť Ŧ ŧ Ũ ũ Ū ū Ŭ ŭ Ů ů
    "S", "s", "T", "t", "T", "t", "T", "t", "U", "u", "U", "u", "U", "u", "U", "u",
    // U+0170  Ű ű Ų ų Ŵ ŵ Ŷ ŷ Ÿ Ź ź Ż ż Ž ž ſ
    "U", "u", "U", "u", "W", "w", "Y", "y", "Y", "Z", "z", "Z", "z", "Z", "z", "s",
};
constexpr char32_t kLatinFirst = 0xA0;
static_assert(std::size(kLatin) == 0x180 - kLatinFirst);

// Nearest ASCII of the other characters that have one, by ranges of code
// points in order. Everything not listed is not sent.
struct Nearest {
    char32_t first, last;
    std::string_view ascii;
};
constexpr Nearest kOthers[] = {
    {0x0192, 0x0192, "f"},    // ƒ
    {0x0218, 0x0218, "S"},    // Ș (Romanian)
    {0x0219, 0x0219, "s"},    // ș
    {0x021A, 0x021A, "T"},    // Ț
    {0x021B, 0x021B, "t"},    // ț
    {0x02BC, 0x02BC, "'"},    // ʼ modifier apostrophe
    {0x02DC, 0x02DC, "~"},    // ˜ small tilde
    {0x1680, 0x1680, " "},    // Ogham space
    {0x2000, 0x200A, " "},    // en quad .. hair space
    {0x2010, 0x2015, "-"},    // hyphens, figure dash, en and em dash, horizontal bar
    {0x2018, 0x201B, "'"},    // ‘ ’ ‚ ‛
    {0x201C, 0x201F, "\""},   // “ ” „ ‟
    {0x2022, 0x2022, "*"},    // • bullet
    {0x2024, 0x2024, "."},    // one-dot leader
    {0x2025, 0x2025, ".."},   // two-dot leader
    {0x2026, 0x2026, "..."},  // … ellipsis
    {0x202F, 0x202F, " "},    // narrow no-break space
    {0x2032, 0x2032, "'"},    // ′ prime
    {0x2033, 0x2033, "\""},   // ″ double prime
    {0x2039, 0x203A, "'"},    // ‹ ›
    {0x2044, 0x2044, "/"},    // ⁄ fraction slash
    {0x205F, 0x205F, " "},    // medium mathematical space
    {0x20AC, 0x20AC, "EUR"},  // €
    {0x2122, 0x2122, "TM"},   // ™
    {0x2212, 0x2212, "-"},    // − minus sign
    {0x2215, 0x2215, "/"},    // ∕ division slash
    {0x3000, 0x3000, " "},    // ideographic space
};

// Windows-1252 bytes 0x80..0x9F; the five it leaves undefined stay C1
// controls (nothing on the air). Every other byte is its own code point.
constexpr char32_t kWindows1252[32] = {
    0x20AC, 0x0081, 0x201A, 0x0192, 0x201E, 0x2026, 0x2020, 0x2021,  // 80
    0x02C6, 0x2030, 0x0160, 0x2039, 0x0152, 0x008D, 0x017D, 0x008F,  // 88
    0x0090, 0x2018, 0x2019, 0x201C, 0x201D, 0x2022, 0x2013, 0x2014,  // 90
    0x02DC, 0x2122, 0x0161, 0x203A, 0x0153, 0x009D, 0x017E, 0x0178,  // 98
};

// Every replacement is printable ASCII without the caret, which would start a
// macro the file never held, and at most three characters long, so that the
// text sent stays within three times the bytes read.
constexpr bool Sendable(std::string_view ascii) {
    return ascii.size() <= 3 && std::all_of(ascii.begin(), ascii.end(), [](char c) {
               return c >= ' ' && c <= '~' && c != '^';
           });
}
static_assert(std::all_of(std::begin(kLatin), std::end(kLatin), Sendable));
static_assert(std::all_of(std::begin(kOthers), std::end(kOthers), [](const Nearest& n) {
    return n.first <= n.last && n.first >= 0x180 && Sendable(n.ascii);
}));
static_assert(std::is_sorted(std::begin(kOthers), std::end(kOthers),
                             [](const Nearest& a, const Nearest& b) { return a.last < b.first; }));

void Append(std::string& text, char32_t code) {
    if (code < 0x80) {
        text += static_cast<char>(code);
    } else if (code >= kLatinFirst && code - kLatinFirst < std::size(kLatin)) {
        text += kLatin[code - kLatinFirst];
    } else {
        auto it = std::upper_bound(std::begin(kOthers), std::end(kOthers), code,
                                   [](char32_t c, const Nearest& n) { return c < n.first; });
        if (it != std::begin(kOthers) && code <= std::prev(it)->last) text += std::prev(it)->ascii;
    }
}

// The character of the UTF-8 sequence at `at` (moving `at` past it); nothing
// when the bytes there are not the shortest encoding of a Unicode character
// (a stray or missing continuation byte, an overlong form, a surrogate, a
// code beyond U+10FFFF).
std::optional<char32_t> NextUtf8(std::string_view text, std::size_t& at) {
    const auto lead = static_cast<unsigned char>(text[at]);
    if (lead < 0x80) {
        ++at;
        return lead;
    }
    const std::size_t length = lead >= 0xF0 ? 4 : lead >= 0xE0 ? 3 : lead >= 0xC0 ? 2 : 0;
    if (length == 0 || lead > 0xF4 || text.size() - at < length) return std::nullopt;
    char32_t code = lead & (0x7F >> length);
    for (std::size_t i = 1; i < length; ++i) {
        const auto next = static_cast<unsigned char>(text[at + i]);
        if ((next & 0xC0) != 0x80) return std::nullopt;
        code = code << 6 | (next & 0x3F);
    }
    constexpr char32_t kShortest[] = {0, 0, 0x80, 0x800, 0x10000};
    if (code < kShortest[length] || code > 0x10FFFF || (code >= 0xD800 && code <= 0xDFFF)) return std::nullopt;
    at += length;
    return code;
}

}  // namespace

std::string AirText(std::string_view fileBytes) {
    std::string_view bytes = fileBytes.substr(0, fileBytes.find('\0'));
    // Dropped before the text is judged, so that a UTF-8 file with a bad byte
    // further on does not send its mark as three odd characters either.
    if (bytes.starts_with("\xEF\xBB\xBF")) bytes.remove_prefix(3);
    std::string text;
    text.reserve(bytes.size());
    for (std::size_t at = 0; at < bytes.size();) {
        const auto code = NextUtf8(bytes, at);
        if (!code) {
            // Not UTF-8 throughout: written by an older station.
            text.clear();
            for (char c : bytes) {
                const auto byte = static_cast<unsigned char>(c);
                Append(text, byte >= 0x80 && byte < 0xA0 ? kWindows1252[byte - 0x80] : byte);
            }
            return text;
        }
        Append(text, *code);
    }
    return text;
}

}  // namespace sked
