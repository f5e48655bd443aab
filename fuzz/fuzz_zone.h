// Where the fuzz targets that read times stand, pinned from LLVMFuzzerInitialize for the whole run: a zone
// with daylight saving, written out so that neither a zone database nor the host's zone matters; the start in it.
#pragma once

#include <cstdlib>
#include <ctime>

#include "platform/clock.h"

namespace sked {

inline std::time_t PinFuzzZoneAndStart() {
    setenv("TZ", "EST5EDT,M3.2.0,M11.1.0", 1);
    tzset();
    return MakeLocalTime(2026, 1, 1, 12, 0, 0);
}

}  // namespace sked
