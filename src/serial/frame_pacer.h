// The timing of a serial transmitter without its registers: a holding place
// for one character and the frame on the line, at a frame time. A back end
// whose device cannot say when its next character may go (a pty, a device
// that is gone, ports that may not be reached) keeps the station to line
// speed with this. Times are the line's (see LineClock).
#pragma once

#include <algorithm>

#include "platform/clock.h"

namespace sked {

class FramePacer {
public:
    void SetFrameTime(Duration frame) { frame_ = frame; }
    Duration frameTime() const { return frame_; }

    bool CanSend(TimePoint now) {
        AdvanceTo(now);
        return !holding_;
    }
    void Send(TimePoint now) {
        AdvanceTo(now);
        if (!shifting_) {
            shifting_ = true;
            frameEnd_ = now + frame_;
        } else {
            holding_ = true;  // a character sent while one is held takes its place, as on a chip
        }
    }
    bool Drained(TimePoint now) {
        AdvanceTo(now);
        return !shifting_;
    }
    // The end of the frame on the line (the holding place empties then, or
    // the line falls idle); `now` when idle.
    TimePoint NextChange(TimePoint now) {
        AdvanceTo(now);
        return shifting_ ? frameEnd_ : now;
    }
    // Forgets what is on the way (the device has gone).
    void Reset() { shifting_ = holding_ = false; }

private:
    void AdvanceTo(TimePoint now) {
        while (shifting_ && frameEnd_ <= now) {
            if (holding_) {
                holding_ = false;
                frameEnd_ += frame_;
            } else {
                shifting_ = false;
            }
        }
    }

    Duration frame_ = std::chrono::milliseconds(165);
    bool shifting_ = false;
    bool holding_ = false;
    TimePoint frameEnd_{};
};

}  // namespace sked
