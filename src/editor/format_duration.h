// Sending times as the editor shows them beside a file: "%4d:%02d" minutes
// and seconds, nothing for a file that takes no whole second.
#pragma once

#include <string>

namespace sked {

std::string FormatDuration(long seconds);

}  // namespace sked
