#include "gui/paint_frames.h"

namespace sked {

PaintFrames::PaintFrames(EventLoop& loop, Duration frame) : frame_(frame), timer_(loop, [this] { Paint(); }) {}

int PaintFrames::Add(std::function<void()> copy) {
    copies_.push_back({std::move(copy), false});
    return static_cast<int>(copies_.size()) - 1;
}

void PaintFrames::Request(int number) {
    copies_.at(static_cast<std::size_t>(number)).requested = true;
    // The frame starts with the first change after a quiet spell, so a
    // single change is shown a frame later at most.
    if (!timer_.Running()) timer_.After(frame_);
}

void PaintFrames::Paint() {
    for (Copy& copy : copies_)
        if (copy.requested) {
            copy.requested = false;
            copy.run();
        }
}

}  // namespace sked
