// The text files of the data folder as the station reads them to send or
// show them: only names inside data/ (a link that leads out of it is
// refused), only regular files (a FIFO or a device would hold the station
// up), opened without waiting, at most 10 MB, the whole text up to its first
// zero byte, turned into the ASCII that goes on the air.
#pragma once

#include <cstddef>
#include <cstdio>
#include <string>

namespace sked {

inline constexpr const char* kDataFolderName = "data";
// The most the station reads of a text to send or show.
inline constexpr std::size_t kMaxTextBytes = std::size_t{10} << 20;

// The file opened for reading bytes unchanged. A path in the data folder
// ("data/wx/today.txt") is resolved inside it. Null, with the reason in
// `problem` if given ("not a regular file"), when it cannot be opened, lies
// outside data/ or is no regular file.
std::FILE* OpenForReading(const std::string& path, std::string* problem = nullptr);

// Text of a file as the station sends it (see AirText). False, with the
// reason in `problem` if given, when it cannot be opened or read whole, or
// is larger than kMaxTextBytes.
bool ReadText(const std::string& path, std::string& text, std::string* problem = nullptr);

}  // namespace sked
