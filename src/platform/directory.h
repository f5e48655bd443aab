// Listing a folder with sizes and last-write times (the file list, the
// schedule editor and the loader's size lookups).
#pragma once

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

}  // namespace sked
