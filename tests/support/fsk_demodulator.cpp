#include "support/fsk_demodulator.h"

#include <algorithm>
#include <cmath>
#include <complex>
#include <limits>
#include <numbers>

namespace sked::test {
namespace {

constexpr double kFloorPeak = 100.0;  // a weaker tone (about -50 dB of full scale) is no signal

enum Tone : signed char { kNone = 0, kMark = 1, kSpace = -1 };

// Running sums of the samples mixed down by one tone: the correlation over a window is a difference of two.
std::vector<std::complex<double>> MixedSums(std::span<const std::int16_t> samples, double hertz, int rate) {
    std::vector<std::complex<double>> sums(samples.size() + 1);
    for (std::size_t n = 0; n < samples.size(); ++n) {
        const double cycles = std::fmod(hertz * static_cast<double>(n) / rate, 1.0);
        sums[n + 1] = sums[n] + std::polar(static_cast<double>(samples[n]), -2.0 * std::numbers::pi * cycles);
    }
    return sums;
}

}  // namespace

std::vector<DecodedCharacter> DecodeFsk(std::span<const std::int16_t> samples, const FskReception& rx) {
    const double bit = rx.sampleRate / rx.baud;  // samples per bit
    const std::ptrdiff_t size = std::ssize(samples);
    const std::ptrdiff_t half = std::max<std::ptrdiff_t>(1, static_cast<std::ptrdiff_t>(bit / 2));
    const auto mark = MixedSums(samples, rx.markHz, rx.sampleRate);
    const auto space = MixedSums(samples, rx.spaceHz, rx.sampleRate);
    const double floor = std::pow(kFloorPeak * static_cast<double>(half), 2);  // a window of 2 half + 1 samples

    // The discriminator (mark energy - space energy) centred on each sample, and which tone it hears there.
    std::vector<double> level(samples.size());
    std::vector<Tone> tone(samples.size());
    for (std::ptrdiff_t n = 0; n < size; ++n) {
        const auto from = static_cast<std::size_t>(std::max<std::ptrdiff_t>(0, n - half));
        const auto to = static_cast<std::size_t>(std::min(size, n + half + 1));
        const double m = std::norm(mark[to] - mark[from]), s = std::norm(space[to] - space[from]);
        level[n] = m - s;
        tone[n] = std::max(m, s) < floor ? kNone : m > s ? kMark : kSpace;
    }
    // Where the discriminator crosses zero between samples n - 1 and n.
    auto crossing = [&](std::ptrdiff_t n) { return n - 1 + level[n - 1] / (level[n - 1] - level[n]); };
    auto at = [&](double position) { return static_cast<std::ptrdiff_t>(std::lround(position)); };

    std::vector<DecodedCharacter> out;
    const double idle = -std::numeric_limits<double>::infinity();
    double markFrom = idle;       // where the present run of mark began (the signal may open in it)
    std::ptrdiff_t busyUntil = 0;  // no start edge before the middle of the last stop bit read
    for (std::ptrdiff_t n = 0; n < size; ++n) {
        const Tone before = n == 0 ? kMark : tone[n - 1];  // before the signal: idle mark
        if (tone[n] == kMark) {
            if (before == kSpace) markFrom = crossing(n);
            else if (before == kNone) markFrom = static_cast<double>(n);
            continue;
        }
        const double edge = n > 0 && before == kMark ? crossing(n) : static_cast<double>(n);
        // A start edge: mark to space after at least half a bit of mark.
        const bool start = tone[n] == kSpace && before == kMark && n >= busyUntil && edge - markFrom >= bit / 2;
        markFrom = std::numeric_limits<double>::infinity();  // no run of mark now
        if (!start) continue;

        const std::ptrdiff_t stop = at(edge + (1.5 + rx.dataBits) * bit);  // the first stop bit's middle
        if (stop >= size) break;  // cut off by the end of the signal
        // The start bit's middle must be space too: else it was a blip.
        if (tone[at(edge + bit / 2)] != kSpace) continue;
        DecodedCharacter c;
        c.startSample = edge;
        for (int i = 0; i < rx.dataBits; ++i) c.code |= (level[at(edge + (1.5 + i) * bit)] > 0 ? 1u : 0u) << i;
        c.framingError = tone[stop] != kMark;
        out.push_back(c);
        busyUntil = stop;
        // On from the first stop bit's middle, whose mark counts as idle before the next start.
        n = std::max(n, stop - 1);
        if (!c.framingError) markFrom = idle;
    }
    return out;
}

std::string BaudotText(std::span<const std::uint32_t> codes) {
    // ITA2 by code; '~' where the shift has no shared sign, '_' for the codes handled below.
    static constexpr char kLetters[] = "_E\nA SIU\rDRJNFCKTZLWHYPQOBG_MXV_";
    static constexpr char kFigures[] = "_3\n- ~87\r~4~,~:(5~)2~6019?~_./~_";
    static_assert(sizeof kLetters == 33 && sizeof kFigures == 33);
    std::string text;
    bool figures = false;
    for (const std::uint32_t code : codes) {
        if (code == 27 || code == 31) figures = code == 27;  // FIGS, LTRS
        else if (code != 0) text += code < 32 ? (figures ? kFigures : kLetters)[code] : '~';
    }
    return text;
}

}  // namespace sked::test
