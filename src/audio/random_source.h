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
    static constexpr std::uint32_t kMultiplier = 214013u;
    static constexpr std::uint32_t kIncrement = 2531011u;

    // The state `steps` draws on is state × multiplier + increment (mod 2^32):
    // with it many draws of one run can be made side by side.
    struct Leap {
        std::uint32_t multiplier = 1, increment = 0;
    };
    static constexpr Leap LeapOf(unsigned steps) {
        Leap leap;
        for (unsigned i = 0; i < steps; ++i)
            leap = {leap.multiplier * kMultiplier, leap.increment * kMultiplier + kIncrement};
        return leap;
    }
    // The number a state gives.
    static constexpr int Output(std::uint32_t state) { return static_cast<int>(state >> 16 & 0x7FFFu); }

    explicit RandomSource(std::uint32_t seed = 1) : state_(seed) {}

    int Next() {
        state_ = state_ * kMultiplier + kIncrement;
        return Output(state_);
    }

    // For draws made side by side: the state after the last draw used.
    std::uint32_t state() const { return state_; }
    void Resume(std::uint32_t state) { state_ = state; }

private:
    std::uint32_t state_;
};

}  // namespace sked
