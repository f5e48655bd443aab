// The text files of the data folder as the station reads them to send or
// show them: only names inside data/, never a folder, the whole text up to
// its first zero byte, turned into the ASCII that goes on the air.
#pragma once

#include <cstdio>
#include <string>

namespace sked {

// The file opened for reading bytes unchanged; null when it cannot be opened
// or is a folder.
std::FILE* OpenForReading(const std::string& path);

// Text of a file as the station sends it (see AirText). False when it cannot
// be opened or read.
bool ReadText(const std::string& path, std::string& text);

}  // namespace sked
