#include "console/line_reader.h"

namespace sked {

void LineReader::Push(std::string_view chunk) {
    while (!chunk.empty()) {
        std::size_t end = chunk.find('\n');
        Take(chunk.substr(0, end));
        if (end == std::string_view::npos) return;
        EndLine();
        chunk.remove_prefix(end + 1);
    }
}

void LineReader::Take(std::string_view piece) {
    if (discarding_) return;
    // One byte more than a line may hold: it may be the CR of a CR LF.
    if (current_.size() + piece.size() > maxLine_ + 1) return Discard();
    current_.append(piece);
}

void LineReader::EndLine() {
    if (!current_.empty() && current_.back() == '\r') current_.pop_back();
    if (!discarding_ && current_.size() > maxLine_) Discard();
    if (!discarding_) ready_.push_back({std::move(current_), false});
    current_.clear();
    discarding_ = false;
}

void LineReader::Discard() {
    current_.clear();
    discarding_ = true;
    ready_.push_back({"", true});
}

std::optional<LineReader::Line> LineReader::Next() {
    if (ready_.empty()) return std::nullopt;
    Line line = std::move(ready_.front());
    ready_.pop_front();
    return line;
}

void LineReader::Finish() {
    if (!discarding_ && !current_.empty()) EndLine();
    current_.clear();
    discarding_ = false;
}

}  // namespace sked
