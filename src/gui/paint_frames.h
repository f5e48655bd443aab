// Copies into widgets that wait for the next frame. The display's selection
// and the count of characters left move with every character sent, and
// painting them costs the window far more than sending the character costs
// the station: copied once a frame, they show the same, painted at most that
// often. The frame is a timer of the station's loop, like everything else.
#pragma once

#include <functional>
#include <vector>

#include "platform/event_loop.h"

namespace sked {

class PaintFrames {
public:
    PaintFrames(EventLoop& loop, Duration frame);
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
    Duration frame_;
    Timer timer_;
};

}  // namespace sked
