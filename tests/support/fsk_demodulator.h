// A small FSK receiver for tests: the station's teleprinter audio back into character codes, without outside tools.
#pragma once

#include <cstdint>
#include <span>
#include <string>
#include <vector>

namespace sked::test {

struct FskReception {
    int sampleRate = 8000;
    double markHz = 2125.0, spaceHz = 2295.0, baud = 45.45;
    int dataBits = 5;
    double stopBits = 1.5;  // the frame sent; only the middle of the first stop bit must be mark
};

struct DecodedCharacter {
    std::uint32_t code = 0;     // data bits, the first one received in bit 0
    double startSample = 0;     // leading edge of the start bit, in samples
    bool framingError = false;  // the middle of the first stop bit was not mark
};

// Non-coherent detection: mark and space energy over about a bit, each data bit read at its middle.
std::vector<DecodedCharacter> DecodeFsk(std::span<const std::int16_t> samples, const FskReception& rx);

// Baudot codes as a teleprinter prints them, starting in letters; blank (0) nothing, '~' for no shared sign.
std::string BaudotText(std::span<const std::uint32_t> codes);

}  // namespace sked::test
