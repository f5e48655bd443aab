#include "platform/atomic_file.h"

#include <cerrno>
#include <climits>
#include <cstring>

#include <fcntl.h>
#include <sys/random.h>
#include <sys/stat.h>
#include <unistd.h>

#include "platform/directory.h"

namespace sked {

namespace {

constexpr int kMostLinks = 40;  // as the kernel follows them

std::string Reason(int error) { return std::strerror(error); }

// The folder of `path` ("." for a bare name) and the name within it.
void SplitPath(const std::string& path, std::string& folder, std::string& name) {
    std::size_t slash = path.rfind('/');
    folder = slash == std::string::npos ? "." : slash == 0 ? "/" : path.substr(0, slash);
    name = slash == std::string::npos ? path : path.substr(slash + 1);
}

bool WriteAll(int fd, std::string_view content) {
    while (!content.empty()) {
        ssize_t n = ::write(fd, content.data(), content.size());
        if (n < 0) {
            if (errno == EINTR) continue;
            return false;
        }
        content.remove_prefix(static_cast<std::size_t>(n));
    }
    return true;
}

// A new, empty file ".<name>.XXXXXX" in `folder`, hidden (a leading full
// stop) so that a copy left by a crash is not offered in the editor's file
// list. -1 and errno when none can be made.
int CreateTemporary(int folder, const std::string& name, std::string& temporary) {
    static constexpr char kLetters[] = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789";
    for (int attempt = 0; attempt < 100; ++attempt) {
        unsigned char random[6];
        if (::getrandom(random, sizeof random, 0) != static_cast<ssize_t>(sizeof random)) return -1;
        temporary = "." + name + ".";
        for (unsigned char r : random) temporary += kLetters[r % (sizeof kLetters - 1)];
        const int fd = ::openat(folder, temporary.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0600);
        if (fd >= 0 || errno != EEXIST) return fd;
    }
    return -1;
}

// Replaces `name` in the open `folder`: a hidden copy, on the disk, renamed over it.
bool ReplaceIn(int folder, const std::string& name, std::string_view content, std::string& problem,
               const std::function<void()>& beforeRename) {
    struct stat old {};
    const bool exists = ::fstatat(folder, name.c_str(), &old, 0) == 0;
    if (name.empty() || name == "." || name == ".." || (exists && S_ISDIR(old.st_mode))) {
        problem = Reason(EISDIR);
        return false;
    }
    std::string temporary;
    int fd = CreateTemporary(folder, name, temporary);
    if (fd < 0) {
        problem = Reason(errno);
        return false;
    }
    // The new file gets the old one's permissions, or those a new file gets.
    mode_t mode;
    if (exists) {
        mode = old.st_mode & 07777;
    } else {
        mode_t mask = ::umask(0);
        ::umask(mask);
        mode = 0666 & ~mask;
    }
    bool written = ::fchmod(fd, mode) == 0 && WriteAll(fd, content) && ::fsync(fd) == 0;
    int error = errno;
    if (::close(fd) != 0 && written) {
        written = false;
        error = errno;
    }
    if (written) {
        if (beforeRename) beforeRename();
        if (::renameat(folder, temporary.c_str(), folder, name.c_str()) != 0) {
            written = false;
            error = errno;
        }
    }
    if (!written) {
        ::unlinkat(folder, temporary.c_str(), 0);
        problem = Reason(error);
        return false;
    }
    // The rename itself reaches the disk with the folder.
    ::fsync(folder);
    return true;
}

}  // namespace

bool ReplaceFile(const std::string& path, std::string_view content, std::string& problem,
                 const std::function<void()>& beforeRename) {
    std::string folder, name;
    SplitPath(path, folder, name);
    if (name.empty()) {
        problem = Reason(EISDIR);
        return false;
    }
    const int dir = ::open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (dir < 0) {
        problem = Reason(errno);
        return false;
    }
    const bool replaced = ReplaceIn(dir, name, content, problem, beforeRename);
    ::close(dir);
    return replaced;
}

bool ReplaceFileBeneath(const std::string& folder, const std::string& name, std::string_view content,
                        std::string& problem, const std::function<void()>& beforeRename) {
    std::string path = name;
    for (int links = 0; links <= kMostLinks; ++links) {
        std::string inner, last;
        SplitPath(path, inner, last);
        const int dir = OpenBeneath(folder, inner, O_RDONLY | O_DIRECTORY);
        if (dir < 0) {
            problem = BeneathProblem(errno, folder);
            return false;
        }
        char target[PATH_MAX];
        const ssize_t n = ::readlinkat(dir, last.c_str(), target, sizeof target - 1);
        if (n < 0) {
            // No link (or nothing yet): the file itself is replaced.
            const bool replaced = ReplaceIn(dir, last, content, problem, beforeRename);
            ::close(dir);
            return replaced;
        }
        ::close(dir);
        // A link is followed to what it names, seen from its own folder, and
        // that must lie inside `folder` too.
        target[n] = '\0';
        path = target[0] == '/' || inner == "." ? std::string(target) : inner + "/" + target;
    }
    problem = Reason(ELOOP);
    return false;
}

}  // namespace sked
