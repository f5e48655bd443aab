// The line of text going out, shown in the status line as it is sent.
#pragma once

#include <string>

#include "transmit/station_view.h"

namespace sked {

class RunningLine {
public:
    static constexpr std::size_t kLongest = 79;
    static constexpr std::size_t kStatusChars = 254;

    explicit RunningLine(StationView& view) : view_(view) {}

    // A character of the file: a line end clears the line; a full line
    // starts again from empty.
    void Append(char sent) {
        if (sent == '\0' || sent == '\n' || sent == '\r') return Clear();
        if (text_.size() >= kLongest) text_.clear();
        Show(text_ + sent);
    }
    // A character of a macro's expansion, added as it is.
    void AppendExpansion(char sent) { Show(text_.substr(0, kStatusChars) + sent); }
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
