// The pseudo-random numbers behind the station's noise: 0 to 32767, as the C
// library's rand gives them, from the classic linear congruential generator
// of C libraries. The station never seeds it, so every run draws the same
// sequence from seed 1 and a run can be repeated sample for sample.
#pragma once

#include <cstdint>

namespace sked {

class RandomSource {
public:
    static constexpr int kMax = 32767;

    explicit RandomSource(std::uint32_t seed = 1) : state_(seed) {}

    int Next() {
        state_ = state_ * 214013u + 2531011u;
        return static_cast<int>(state_ >> 16 & 0x7FFFu);
    }

private:
    std::uint32_t state_;
};

}  // namespace sked
