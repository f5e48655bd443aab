#include "audio/psk31_modulator.h"

#include <cmath>
#include <numbers>
#include <stdexcept>
#include <string>

namespace sked {

namespace {

constexpr double kPi = std::numbers::pi;

// Raised cosine from 0 to 1 over `length` samples, at sample `i` (centred).
double Rise(std::size_t i, std::size_t length) {
    return 0.5 * (1.0 - std::cos(kPi * (static_cast<double>(i) + 0.5) / static_cast<double>(length)));
}

}  // namespace

void Psk31Modulator::RenderSilence(std::span<std::int16_t> block) {
    for (std::int16_t& sample : block) sample = 0;
}

void Psk31Modulator::Render(PskSymbol symbol, double frequency, std::span<std::int16_t> block) {
    constexpr std::size_t n = kSymbolSamples;
    if (block.size() != n) {
        throw std::invalid_argument("PSK31: a block holds " + std::to_string(n) + " samples, not " +
                                    std::to_string(block.size()));
    }
    const bool on = level_ != 0.0;
    // The envelope (signed: the carrier's phase) at sample i of this block.
    auto envelope = [&](std::size_t i) -> double {
        switch (symbol) {
            case PskSymbol::Reversal:
                // From silence the reversal is the fade-in itself, in the new phase.
                if (!on) return -sign_ * Rise(i, n);
                return sign_ * std::cos(kPi * (static_cast<double>(i) + 0.5) / static_cast<double>(n));
            case PskSymbol::Steady:
                return sign_ * (on ? 1.0 : Rise(i, n));
            case PskSymbol::KeyDown:
                return sign_ * (on || i >= kEdgeSamples ? 1.0 : Rise(i, kEdgeSamples));
            case PskSymbol::KeyUp:
                return on && i < kEdgeSamples ? sign_ * (1.0 - Rise(i, kEdgeSamples)) : 0.0;
            case PskSymbol::CarrierOff:
                return on ? sign_ * (1.0 - Rise(i, n)) : 0.0;
        }
        return 0.0;
    };
    const double step = frequency / kSampleRate;
    for (std::size_t i = 0; i < n; ++i) {
        const double value = peak_ * envelope(i) * std::sin(2.0 * kPi * cycles_);
        block[i] = static_cast<std::int16_t>(std::lround(value));
        cycles_ += step;
        cycles_ -= std::floor(cycles_);
    }
    switch (symbol) {
        case PskSymbol::Reversal:
            sign_ = -sign_;
            level_ = 1.0;
            break;
        case PskSymbol::Steady:
        case PskSymbol::KeyDown:
            level_ = 1.0;
            break;
        case PskSymbol::KeyUp:
        case PskSymbol::CarrierOff:
            level_ = 0.0;
            break;
    }
}

}  // namespace sked
