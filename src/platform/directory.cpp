#include "platform/directory.h"

#include <algorithm>
#include <strings.h>
#include <system_error>

#include <dirent.h>
#include <sys/stat.h>

namespace sked {

std::vector<DirectoryEntry> ListDirectory(const std::string& folder) {
    std::vector<DirectoryEntry> entries;
    DIR* dir = ::opendir(folder.c_str());
    if (!dir) return entries;
    while (const dirent* d = ::readdir(dir)) {
        std::string name = d->d_name;
        struct stat st {};
        if (::stat((folder + "/" + name).c_str(), &st) != 0 || !S_ISREG(st.st_mode)) continue;
        entries.push_back(DirectoryEntry{name, static_cast<std::uintmax_t>(st.st_size), st.st_mtim});
    }
    ::closedir(dir);
    return entries;
}

void SortNewestFirst(std::vector<DirectoryEntry>& entries) {
    std::sort(entries.begin(), entries.end(), [](const DirectoryEntry& a, const DirectoryEntry& b) {
        if (a.modified.tv_sec != b.modified.tv_sec) return a.modified.tv_sec > b.modified.tv_sec;
        return ::strcasecmp(a.name.c_str(), b.name.c_str()) < 0;
    });
}

std::optional<std::uintmax_t> FileSize(const std::string& path) {
    struct stat st {};
    if (::stat(path.c_str(), &st) != 0 || !S_ISREG(st.st_mode)) return std::nullopt;
    return static_cast<std::uintmax_t>(st.st_size);
}

}  // namespace sked
