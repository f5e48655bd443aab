#include "console/running_lines.h"

namespace sked {

std::vector<RunningLines::Change> RunningLines::Update(const std::string& text) {
    std::vector<Change> changes;
    const bool grows = text.size() == last_.size() + 1 && text.compare(0, last_.size(), last_) == 0;
    if (grows) {
        runningLine_ = text;
    } else {
        if (!runningLine_.empty()) changes.push_back({Change::Kind::Line, runningLine_});
        runningLine_.clear();
        if (!text.empty()) {
            // One character: a new running line has begun.
            if (text.size() == 1) runningLine_ = text;
            else changes.push_back({Change::Kind::Status, text});
        }
    }
    last_ = text;
    return changes;
}

}  // namespace sked
