// Assembles the operator's command lines from whatever pieces standard input
// delivers. A line ends with LF (a CR before it is dropped). Each line is held
// to a fixed length: a longer one is thrown away up to its end, so a stream
// without line ends can neither grow the station's memory nor slow it down.
#pragma once

#include <cstddef>
#include <deque>
#include <optional>
#include <string>
#include <string_view>

namespace sked {

class LineReader {
public:
    static constexpr std::size_t kMaxLine = 4096;

    // A complete line, or only the mark of one that was too long (handed out
    // once, as soon as it passes the limit; the rest of it is skipped).
    struct Line {
        std::string text;
        bool tooLong = false;
    };

    explicit LineReader(std::size_t maxLine = kMaxLine) : maxLine_(maxLine) {}

    // Takes the next piece of input.
    void Push(std::string_view chunk);
    // End of input: a last line without its line end is complete all the same.
    void Finish();
    // The next line completed so far, in input order; nothing when none is.
    std::optional<Line> Next();

private:
    void Take(std::string_view piece);
    void EndLine();
    void Discard();

    std::size_t maxLine_;
    std::string current_;     // the line being assembled, at most maxLine_ + 1 bytes (a CR may follow)
    bool discarding_ = false;  // skipping the rest of a line that was too long
    std::deque<Line> ready_;
};

}  // namespace sked
