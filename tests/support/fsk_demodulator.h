// A small FSK receiver for tests: it decodes the station's own teleprinter
// audio back into character codes, with the timing of each frame, so that
// tests can check the alphabets, speeds and frames without outside tools.
#pragma once

#include <cstdint>
#include <span>
#include <string>
#include <vector>

namespace sked::test {

// What the receiver listens for.
struct FskReception {
    int sampleRate = 8000;
    double markHz = 2125.0;
    double spaceHz = 2295.0;
    double baud = 45.45;
    int dataBits = 5;
    // The frame sent (1, 1.5 or 2). Only the middle of the first stop bit
    // must be mark; the stop actually sent is measured, not assumed.
    double stopBits = 1.5;
};

struct DecodedCharacter {
    std::uint32_t code = 0;   // data bits, the first one received in bit 0
    double startSample = 0;   // leading edge of the start bit, in samples
    double stopBits = 0;      // mark from the end of the last data bit to the next start edge (or end of mark)
    bool framingError = false;  // the middle of the first stop bit was not mark
};

// Non-coherent detection: mark and space energy over a window of about one
// bit, each data bit read at its middle. Silence and steady mark give none.
std::vector<DecodedCharacter> DecodeFsk(std::span<const std::int16_t> samples, const FskReception& rx);

// Baudot codes as a teleprinter prints them: letters and figures by the last
// LTRS (31) or FIGS (27), starting in letters; CR "\r", LF "\n", blank (0)
// nothing. A code with no shared sign in the current shift gives '~'.
std::string BaudotText(std::span<const std::uint32_t> codes);

}  // namespace sked::test
