#include "console/station_add_on.h"

namespace sked {

AddOnStarter& StationAddOns() {
    static AddOnStarter starter;
    return starter;
}

}  // namespace sked
