// Listing a folder with sizes and last-write times (the file list, the
// schedule editor and the loader's size lookups), and opening a file so that
// it cannot lie outside its folder.
#pragma once

#include <sys/types.h>

#include <cstdint>
#include <ctime>
#include <optional>
#include <string>
#include <vector>

namespace sked {

struct DirectoryEntry {
    std::string name;
    std::uintmax_t size = 0;
    timespec modified{};  // the last write
};

// Regular files of `folder` (no sub-folders); empty when it cannot be read.
std::vector<DirectoryEntry> ListDirectory(const std::string& folder);

// The entries with the most recently written first (names in case-blind
// order among files written in the same second): the file lists show them so.
void SortNewestFirst(std::vector<DirectoryEntry>& entries);

// Size of a regular file, nothing when it does not exist.
std::optional<std::uintmax_t> FileSize(const std::string& path);

// open(2) of `name` inside `folder` with `flags`: the name and every link on
// the way are resolved beneath the folder (openat2 with RESOLVE_BENEATH), so
// a link that leads out of it, an absolute link or name among them, fails
// with EXDEV; a relative link to another file of the folder works. Where the
// kernel lacks openat2 the real path is checked instead. -1 and errno on
// failure.
int OpenBeneath(const std::string& folder, const std::string& name, int flags);
// The real-path check alone (the fallback, also for tests).
int OpenBeneathByRealPath(const std::string& folder, const std::string& name, int flags);
// The reason to show for OpenBeneath's errno: "it lies outside data/" for EXDEV.
std::string BeneathProblem(int error, const std::string& folder);

}  // namespace sked
