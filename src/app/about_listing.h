// The About box's list: the program's version, the station's settings as they are now, how the
// program is called, the port table, the schedule's "$" commands and the
// macros of text files, one line each, in the order the box shows them.
#pragma once

#include <string>
#include <vector>

#include "transmit/station_settings.h"

namespace sked {

std::vector<std::string> AboutListing(const StationSettings& settings);

// The program's version, as the build names it ("0.1.0").
const char* ProgramVersion();

}  // namespace sked
