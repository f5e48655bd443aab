// Where the fuzz targets that read times stand: a zone with daylight saving, written out so that no
// zone database is needed and the host's zone does not matter, and one fixed local time in it.
#pragma once

#include <cstdlib>
#include <ctime>

#include "platform/clock.h"

namespace sked {

// Pins the zone for the whole run (call it from LLVMFuzzerInitialize) and gives the starting time.
inline std::time_t PinFuzzZoneAndStart() {
    setenv("TZ", "EST5EDT,M3.2.0,M11.1.0", 1);
    tzset();
    return MakeLocalTime(2026, 1, 1, 12, 0, 0);
}

}  // namespace sked
