// Any bytes as a bulletin file through AirText: 7-bit ASCII without zero bytes, at most three characters a byte,
// unchanged when converted again; the file's ASCII characters up to its first zero byte all go out in order, and
// between them only what some non-ASCII character is sent as (never a control character or a caret).
#include <bitset>
#include <cstdint>
#include <string>
#include <string_view>

#include "transmit/air_text.h"

namespace {
using namespace sked;
void Check(bool ok) { if (!ok) __builtin_trap(); }

std::string Utf8(char32_t code) {  // 110xxxxx, 1110xxxx or 11110xxx, then a 10xxxxxx for each further 6 bits
    std::string bytes(code < 0x800 ? 2 : code < 0x10000 ? 3 : 4, '\0');
    for (std::size_t i = bytes.size() - 1; i > 0; --i, code >>= 6) bytes[i] = static_cast<char>(0x80 | (code & 0x3F));
    bytes[0] = static_cast<char>((0xFF00 >> bytes.size()) | code);
    return bytes;
}

// The ASCII characters any one non-ASCII character (UTF-8, or a byte above 0x7F alone) can be sent as.
std::bitset<256> transliterated;
}  // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) {
    auto add = [](const std::string& sent) { for (unsigned char c : sent) transliterated.set(c); };
    for (char32_t code = 0x80; code <= 0x10FFFF; ++code) if (code < 0xD800 || code > 0xDFFF) add(AirText(Utf8(code)));
    for (int byte = 0x80; byte <= 0xFF; ++byte) add(AirText(std::string(1, static_cast<char>(byte))));
    for (int c = 0; c < 256; ++c) if (c < ' ' || c > '~' || c == '^') Check(!transliterated.test(c));
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::string_view bytes(reinterpret_cast<const char*>(data), size);
    const std::string sent = AirText(bytes);
    const std::string_view text = bytes.substr(0, bytes.find('\0'));
    std::string ascii;  // the file's ASCII characters, all of which go out in order
    for (char c : text) if (static_cast<unsigned char>(c) < 0x80) ascii += c;
    const std::size_t others = text.size() - ascii.size();
    Check(sent.size() <= ascii.size() + 3 * others && sent.size() <= 4 * size);
    if (others == 0) Check(sent == text);
    Check(AirText(sent) == sent);

    std::size_t next = 0;  // the next of them still to be found
    for (unsigned char c : sent) {
        const bool fromFile = next < ascii.size() && c == static_cast<unsigned char>(ascii[next]);
        Check(c != 0 && c < 0x80 && (fromFile || transliterated.test(c)));
        next += fromFile;
    }
    Check(next == ascii.size());
    return 0;
}
