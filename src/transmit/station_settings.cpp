#include "transmit/station_settings.h"

namespace sked {

std::string StationSettings::SpacedCallsign() const {
    std::string spaced;
    for (char c : callsign) {
        spaced += c;
        spaced += ' ';
    }
    return spaced;
}

}  // namespace sked
