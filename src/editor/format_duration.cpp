#include "editor/format_duration.h"

#include "platform/text_format.h"

namespace sked {

std::string FormatDuration(long seconds) {
    if (seconds <= 0) return "";
    return Format("%4ld:%02ld", seconds / 60, seconds % 60);
}

}  // namespace sked
