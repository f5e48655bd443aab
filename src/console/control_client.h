// skedcast ctl: an operator's one command to a running station, over its
// control socket, with the reply printed for a person (or as JSON).
#pragma once

#include <string>

namespace sked {

// Where a service station listens: its runtime folder's socket, the named
// station's under a template unit.
std::string DefaultControlPath(const std::string& station = "");

// `arguments` follow "ctl" on the command line. Exit status: 0 done, 1
// refused by the station, 2 a usage error, 3 no station answered.
int RunControlClient(int argc, char** arguments);

}  // namespace sked
