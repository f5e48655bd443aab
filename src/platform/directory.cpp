#include "platform/directory.h"

#include <algorithm>
#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <strings.h>
#include <system_error>

#include <dirent.h>
#include <fcntl.h>
#include <linux/openat2.h>
#include <sys/stat.h>
#include <sys/syscall.h>
#include <unistd.h>

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

namespace {

// The real path of `path`, or nothing (errno set).
std::optional<std::string> RealPath(const std::string& path) {
    std::unique_ptr<char, decltype(&std::free)> real(::realpath(path.c_str(), nullptr), &std::free);
    if (!real) return std::nullopt;
    return std::string(real.get());
}

}  // namespace

int OpenBeneathByRealPath(const std::string& folder, const std::string& name, int flags) {
    const std::optional<std::string> root = RealPath(folder);
    if (!root) return -1;
    const std::optional<std::string> real = RealPath(folder + "/" + name);
    if (!real) return -1;
    const bool inside = *real == *root || (real->starts_with(*root) && (*root == "/" || (*real)[root->size()] == '/'));
    if (!inside) {
        errno = EXDEV;
        return -1;
    }
    return ::open(real->c_str(), flags | O_CLOEXEC);
}

int OpenBeneath(const std::string& folder, const std::string& name, int flags) {
    const int root = ::open(folder.c_str(), O_PATH | O_DIRECTORY | O_CLOEXEC);
    if (root < 0) return -1;
    open_how how{};
    how.flags = static_cast<std::uint64_t>(flags | O_CLOEXEC);
    how.resolve = RESOLVE_BENEATH | RESOLVE_NO_MAGICLINKS;
    const int fd = static_cast<int>(::syscall(SYS_openat2, root, name.c_str(), &how, sizeof how));
    const int error = errno;
    ::close(root);
    if (fd >= 0) return fd;
    // No openat2 before Linux 5.6; a system call filter may refuse it too.
    if (error == ENOSYS || error == EPERM) return OpenBeneathByRealPath(folder, name, flags);
    errno = error;
    return -1;
}

std::string BeneathProblem(int error, const std::string& folder) {
    return error == EXDEV ? "it lies outside " + folder + "/" : std::strerror(error);
}

}  // namespace sked
