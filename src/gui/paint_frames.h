// Copies into widgets that wait for the next frame. The display's selection
// and the count of characters left move with every character sent, and
// painting them costs the window far more than sending the character costs
// the station: copied once a frame, they show the same, painted at most that
// often. A frame falls on the wall clock's second, with the station's own
// tick that moves the clock and the countdown, so the window paints all of
// it in one pass a second. The frame is a timer of the station's loop, like
// everything else, and runs only while something waits for it.
#pragma once

#include <functional>
#include <vector>

#include "platform/event_loop.h"

namespace sked {

class PaintFrames {
public:
    explicit PaintFrames(EventLoop& loop);
    PaintFrames(const PaintFrames&) = delete;
    PaintFrames& operator=(const PaintFrames&) = delete;

    // A copy to run at a frame; returns its number for Request.
    int Add(std::function<void()> copy);
    // Runs copy `number` at the next frame, once however often asked meanwhile.
    void Request(int number);

private:
    void Paint();

    struct Copy {
        std::function<void()> run;
        bool requested = false;
    };
    std::vector<Copy> copies_;
    Timer timer_;
};

}  // namespace sked
