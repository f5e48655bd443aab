// The line of text going out, shown in the status line as it goes on the
// air: macros as their expansions, in capitals in the Baudot alphabets.
#pragma once

#include <string>

#include "transmit/station_view.h"

namespace sked {

class RunningLine {
public:
    static constexpr std::size_t kLongest = 79;

    explicit RunningLine(StationView& view) : view_(view) {}

    // A character that went on the air, as the receiver prints it: a line
    // end clears the line; a full line starts again from empty.
    void Append(char sent) {
        if (sent == '\0' || sent == '\n' || sent == '\r') return Clear();
        if (text_.size() >= kLongest) text_.clear();
        Show(text_ + sent);
    }
    void Clear() { Show(""); }

private:
    void Show(std::string text) {
        text_ = std::move(text);
        view_.ShowStatus(text_);
    }
    StationView& view_;
    std::string text_;
};

}  // namespace sked
