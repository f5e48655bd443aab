// The transmitter's amplitude as the key closes and opens: a raised-cosine
// ramp of 5 ms each way instead of a step, so that keying puts no clicks
// (splatter far from the signal) on the air. Stepped once per sample with the
// key's state; a key that changes in the middle of a ramp turns back from
// where the ramp stands.
#pragma once

#include <vector>

namespace sked {

class KeyEnvelope {
public:
    static constexpr double kRampSeconds = 0.005;

    explicit KeyEnvelope(int sampleRate);

    // The gain of the next sample, 0 to 1: rising while keyed, falling while not.
    double Next(bool keyed) {
        if (keyed && position_ < ramp_) ++position_;
        else if (!keyed && position_ > 0) --position_;
        return gain_[static_cast<std::size_t>(position_)];
    }
    bool Silent() const { return position_ == 0; }
    bool Full() const { return position_ == ramp_; }
    // Samples from silence to full (and back).
    int RampSamples() const { return ramp_; }

private:
    int ramp_;
    std::vector<double> gain_;  // by position, 0 (silent) to ramp_ (full)
    int position_ = 0;
};

}  // namespace sked
