// Normal deviates for the noise floor, by the polar method: a point (u1, u2)
// drawn uniformly in [-1, 1]² from the station's rand-like source is kept when
// it lies inside the unit circle (and not at its centre), and gives the pair
// u1·f, u2·f with f = √(-2 ln s / s), s = u1² + u2².
//
// The noise costs the modulator more than the tones, so the pairs are made a
// block at a time, four candidate points at once: each takes its own leap
// ahead in the random run (candidate k of a round takes draws 2k+1 and
// 2k+2), the four logarithms and roots are taken together, and the pairs of
// the points kept are packed together without a branch. The numbers are
// those of drawing one point after the other; the run goes on from block to
// block.
#pragma once

#include <cstddef>
#include <cstdint>
#include <span>

#include "audio/random_source.h"

namespace sked {

class GaussianPairs {
public:
    explicit GaussianPairs(RandomSource random = RandomSource()) : random_(random) {}

    // Fills `out` with out.size() / 2 pairs, each value times `scale`; an odd
    // last value is left alone.
    void Fill(std::span<float> out, float scale);

private:
    // Four candidates at a time while a whole round fits: returns the pairs made.
    std::size_t FillRounds(std::span<float> out, float scale);
    // One candidate after the other.
    void FillOneByOne(std::span<float> out, float scale);

    RandomSource random_;
};

}  // namespace sked
