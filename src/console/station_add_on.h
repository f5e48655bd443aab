// Front ends beside the console or the window that live in folders above
// this one (the web page): the program's main() hands their starter in, and
// the run starts them once the station is attached, ends them before it goes.
#pragma once

#include <functional>
#include <memory>
#include <string>

#include "app/run_options.h"
#include "app/station.h"

namespace sked {

class StationAddOn {
public:
    virtual ~StationAddOn() = default;
};

// Starts what the options ask for (nothing: nullptr and "" in `problem`); a
// configuration error is nullptr with the reason in `problem`.
using AddOnStarter =
    std::function<std::unique_ptr<StationAddOn>(Station& station, const RunOptions& options, std::string& problem)>;

// The program's starter, set by main() before StationMain.
AddOnStarter& StationAddOns();

}  // namespace sked
