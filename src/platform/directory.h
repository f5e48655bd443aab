// Listing a folder with sizes and last-write times (the file list, the
// schedule editor and the loader's size lookups).
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace sked {

struct DirectoryEntry {
    std::string name;
    std::uintmax_t size = 0;
    // Last write as 100-nanosecond units since 1601-01-01 (the count the file
    // list sorts by).
    std::uint64_t lastWrite = 0;
};

// Regular files of `folder` (no sub-folders); empty when it cannot be read.
std::vector<DirectoryEntry> ListDirectory(const std::string& folder);

// Size of a regular file, nothing when it does not exist.
std::optional<std::uintmax_t> FileSize(const std::string& path);

}  // namespace sked
