#include "platform/directory.h"

#include <system_error>

#include <dirent.h>
#include <sys/stat.h>

namespace sked {

namespace {
// Seconds between 1601-01-01 and 1970-01-01.
constexpr std::uint64_t kEpochOffset = 11644473600ULL;

std::uint64_t ToFileTime(const struct timespec& t) {
    return (static_cast<std::uint64_t>(t.tv_sec) + kEpochOffset) * 10000000ULL +
           static_cast<std::uint64_t>(t.tv_nsec) / 100;
}
}  // namespace

std::vector<DirectoryEntry> ListDirectory(const std::string& folder) {
    std::vector<DirectoryEntry> entries;
    DIR* dir = ::opendir(folder.c_str());
    if (!dir) return entries;
    while (const dirent* d = ::readdir(dir)) {
        std::string name = d->d_name;
        struct stat st {};
        if (::stat((folder + "/" + name).c_str(), &st) != 0 || !S_ISREG(st.st_mode)) continue;
        entries.push_back(DirectoryEntry{name, static_cast<std::uintmax_t>(st.st_size), ToFileTime(st.st_mtim)});
    }
    ::closedir(dir);
    return entries;
}

std::optional<std::uintmax_t> FileSize(const std::string& path) {
    struct stat st {};
    if (::stat(path.c_str(), &st) != 0 || !S_ISREG(st.st_mode)) return std::nullopt;
    return static_cast<std::uintmax_t>(st.st_size);
}

}  // namespace sked
