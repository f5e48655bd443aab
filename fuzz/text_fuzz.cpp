// Any bytes as a bulletin file through AirText: what goes on the air is 7-bit
// ASCII without zero bytes, at most three characters for each byte read,
// unchanged when converted again, and every byte of it is explained by the
// file: its ASCII characters, in order and all of them up to the first zero
// byte, and between them only characters that some non-ASCII character is
// sent as (never a control character or a caret the file did not hold).
#include <bitset>
#include <cstdint>
#include <string>
#include <string_view>

#include "transmit/air_text.h"

namespace {

using namespace sked;

void Check(bool ok) {
    if (!ok) __builtin_trap();
}

std::string Utf8(char32_t code) {
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

// The ASCII characters any one non-ASCII character can be sent as, from
// every Unicode character in UTF-8 and every byte above 0x7F alone.
std::bitset<256> transliterated;

}  // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) {
    auto add = [](const std::string& sent) {
        for (unsigned char c : sent) transliterated.set(c);
    };
    for (char32_t code = 0x80; code <= 0x10FFFF; ++code)
        if (code < 0xD800 || code > 0xDFFF) add(AirText(Utf8(code)));
    for (int byte = 0x80; byte <= 0xFF; ++byte) add(AirText(std::string(1, static_cast<char>(byte))));
    for (int c = 0; c < 256; ++c)
        if (c < ' ' || c > '~' || c == '^') Check(!transliterated.test(c));
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::string_view bytes(reinterpret_cast<const char*>(data), size);
    const std::string sent = AirText(bytes);

    const std::string_view text = bytes.substr(0, bytes.find('\0'));
    std::size_t ascii = 0, others = 0;
    for (unsigned char c : text) ++(c < 0x80 ? ascii : others);
    Check(sent.size() <= ascii + 3 * others);
    Check(sent.size() <= 4 * size);
    if (others == 0) Check(sent == text);

    std::size_t next = 0;  // the file's next ASCII character still to be found
    auto nextAscii = [&] {
        while (next < text.size() && static_cast<unsigned char>(text[next]) >= 0x80) ++next;
    };
    nextAscii();
    for (unsigned char c : sent) {
        Check(c != 0 && c < 0x80);
        if (next < text.size() && c == static_cast<unsigned char>(text[next])) {
            ++next;
            nextAscii();
        } else {
            Check(transliterated.test(c));
        }
    }
    Check(next == text.size());

    Check(AirText(sent) == sent);
    return 0;
}
