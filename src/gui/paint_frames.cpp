#include "gui/paint_frames.h"

#include <algorithm>
#include <chrono>

namespace sked {

PaintFrames::PaintFrames(EventLoop& loop) : timer_(loop, [this] { Paint(); }) {}

int PaintFrames::Add(std::function<void()> copy) {
    copies_.push_back({std::move(copy), false});
    return static_cast<int>(copies_.size()) - 1;
}

void PaintFrames::Request(int number) {
    copies_.at(static_cast<std::size_t>(number)).requested = true;
    // A change is shown at the next second at most.
    if (!timer_.Running()) timer_.Every(std::chrono::seconds(1), EventLoop::Alignment::WallSecond);
}

void PaintFrames::Paint() {
    // A frame with nothing to copy ends the run of frames until the next change.
    if (std::none_of(copies_.begin(), copies_.end(), [](const Copy& copy) { return copy.requested; })) {
        timer_.Stop();
        return;
    }
    for (Copy& copy : copies_)
        if (copy.requested) {
            copy.requested = false;
            copy.run();
        }
}

}  // namespace sked
