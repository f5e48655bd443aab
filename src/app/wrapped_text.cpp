#include "app/wrapped_text.h"

#include <algorithm>

namespace sked {

int WrapColumns(const EditControl& pane) {
    const int pixels = kPaneColumns * kPaneCharPixels - pane.LeftMargin() - pane.RightMargin();
    return std::max(1, pixels / kPaneCharPixels);
}

std::string WithLineBreaks(const std::string& text, int columns) {
    const std::size_t width = static_cast<std::size_t>(std::max(1, columns));
    std::string out;
    std::size_t at = 0;
    while (true) {
        std::size_t end = text.find('\n', at);
        std::string line = text.substr(at, end == std::string::npos ? std::string::npos : end - at);
        // Breaks of an earlier save come back as plain line ends.
        while (!line.empty() && line.back() == '\r') line.pop_back();
        while (line.size() > width) {
            // After the last blank that fits (the blank stays on the line), or
            // within a word longer than the line.
            std::size_t blank = line.rfind(' ', width);
            std::size_t cut = blank != std::string::npos && blank > 0 ? blank + 1 : width;
            out += line.substr(0, cut) + "\r\r\n";
            line.erase(0, cut);
        }
        out += line;
        if (end == std::string::npos) break;
        out += "\r\n";
        at = end + 1;
    }
    return out;
}

}  // namespace sked
