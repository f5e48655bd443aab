#include "audio/key_envelope.h"

#include <algorithm>
#include <cmath>
#include <numbers>

namespace sked {

KeyEnvelope::KeyEnvelope(int sampleRate)
    : ramp_(std::max(1, static_cast<int>(std::lround(kRampSeconds * sampleRate)))),
      gain_(static_cast<std::size_t>(ramp_) + 1) {
    for (int p = 0; p <= ramp_; ++p)
        gain_[static_cast<std::size_t>(p)] = 0.5 - 0.5 * std::cos(std::numbers::pi * p / ramp_);
}

}  // namespace sked
