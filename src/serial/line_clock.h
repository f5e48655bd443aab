// The time a serial line runs on: the station's clock, except that it never
// goes back. A wall clock stepped back (by hand or by NTP) would otherwise
// leave a frame ending hours in the clock's future, and the station waiting
// for it; instead the line runs on from where it was, ahead of the clock by
// the step, so frames keep their length and order and the station waits at
// most a frame. One per serial back end, shared by all its ports, so that
// the ports keep one timeline between them.
#pragma once

#include <algorithm>

#include "platform/clock.h"

namespace sked {

class LineClock {
public:
    explicit LineClock(const Clock& clock) : clock_(clock) {}

    // The line's time now; takes up any step back of the clock since the last reading.
    TimePoint Now() {
        const TimePoint t = clock_.Now() + offset_;
        if (t < last_) offset_ += last_ - t;
        last_ = std::max(t, last_);
        return last_;
    }
    // What Now() would give, leaving the offset as it is.
    TimePoint Peek() const { return std::max(clock_.Now() + offset_, last_); }

    // A moment of the line's time on the station's clock (TimePoint::max() stays "never").
    TimePoint ToClock(TimePoint line) const { return line == TimePoint::max() ? line : line - offset_; }

private:
    const Clock& clock_;
    Duration offset_{};  // the clock steps back taken up so far
    TimePoint last_{};
};

}  // namespace sked
