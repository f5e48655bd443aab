// Whether a name from the schedule or the operator stays inside data/: the
// station sends and shows files of that folder only.
#pragma once

#include <string>

namespace sked {

// True for a relative name with no ".." component, not empty ("news.txt",
// "wx/today.txt", "..notes"); false for "/etc/passwd", "../x", "wx/../../x".
bool IsDataFileName(const std::string& name);

}  // namespace sked
