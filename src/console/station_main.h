// The program's start: options, help, version, the schedule check, the
// control client, and then the station under the console or a window.
#pragma once

#include "app/run_options.h"

namespace sked {

// How a build with windows runs the station under one. A build without them
// passes none, and hands a run that wants a window to skedcast-gui when it is
// installed beside it.
class WindowStarter {
public:
    virtual ~WindowStarter() = default;
    virtual int Run(const RunOptions& options, int& argc, char** argv) = 0;
};

int StationMain(int argc, char** argv, WindowStarter* windows);

}  // namespace sked
