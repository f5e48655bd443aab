#include "platform/atomic_file.h"

#include <cerrno>
#include <cstring>
#include <vector>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace sked {

namespace {

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

}  // namespace

bool ReplaceFile(const std::string& path, std::string_view content, std::string& problem,
                 const std::function<void()>& beforeRename) {
    std::string folder, name;
    SplitPath(path, folder, name);
    if (name.empty()) {
        problem = Reason(EISDIR);
        return false;
    }
    struct stat old {};
    if (::stat(path.c_str(), &old) == 0 && S_ISDIR(old.st_mode)) {
        problem = Reason(EISDIR);
        return false;
    }
    // Hidden (a leading full stop), so that a copy left by a crash is not
    // offered in the editor's file list.
    std::string temporary = (folder == "/" ? "" : folder) + "/." + name + ".XXXXXX";
    std::vector<char> templ(temporary.begin(), temporary.end());
    templ.push_back('\0');
    int fd = ::mkostemp(templ.data(), O_CLOEXEC);
    if (fd < 0) {
        problem = Reason(errno);
        return false;
    }
    temporary = templ.data();
    // The new file gets the old one's permissions, or those a new file gets.
    mode_t mode;
    if (::stat(path.c_str(), &old) == 0) {
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
        if (::rename(temporary.c_str(), path.c_str()) != 0) {
            written = false;
            error = errno;
        }
    }
    if (!written) {
        ::unlink(temporary.c_str());
        problem = Reason(error);
        return false;
    }
    // The rename itself reaches the disk with the folder.
    int dir = ::open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (dir >= 0) {
        ::fsync(dir);
        ::close(dir);
    }
    return true;
}

}  // namespace sked
