// The status line of a file being sent grows a character at a time. A
// watcher wants each line once, when it is finished, and every other status
// text as it comes: this turns the field's changes into those.
#pragma once

#include <string>
#include <vector>

namespace sked {

class RunningLines {
public:
    struct Change {
        enum class Kind { Line, Status };
        Kind kind;
        std::string text;
    };

    // The status line's new text; what a watcher is to be shown of it.
    std::vector<Change> Update(const std::string& text);

private:
    std::string runningLine_;  // the line being sent, shown when finished
    std::string last_;
};

}  // namespace sked
