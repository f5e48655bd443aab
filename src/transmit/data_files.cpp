#include "transmit/data_files.h"

#include <cerrno>
#include <cstring>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include "platform/directory.h"
#include "transmit/air_text.h"

namespace sked {

namespace {

// Opened without waiting: a FIFO with no writer opens at once (and is then
// refused), and no device becomes the station's terminal.
constexpr int kReadFlags = O_RDONLY | O_NONBLOCK | O_NOCTTY;

// The file descriptor of `path`, or -1 with `problem` set.
int OpenFile(const std::string& path, std::string& problem) {
    const std::string prefix = std::string(kDataFolderName) + "/";
    int fd;
    if (path.starts_with(prefix)) {
        fd = OpenBeneath(kDataFolderName, path.substr(prefix.size()), kReadFlags);
        if (fd < 0) problem = BeneathProblem(errno, kDataFolderName);
    } else {
        fd = ::open(path.c_str(), kReadFlags | O_CLOEXEC);
        if (fd < 0) problem = std::strerror(errno);
    }
    return fd;
}

void Tell(std::string* problem, const std::string& reason) {
    if (problem) *problem = reason;
}

}  // namespace

std::FILE* OpenForReading(const std::string& path, std::string* problem) {
    std::string reason;
    const int fd = OpenFile(path, reason);
    if (fd < 0) {
        Tell(problem, reason);
        return nullptr;
    }
    struct stat st {};
    if (::fstat(fd, &st) != 0) reason = std::strerror(errno);
    else if (!S_ISREG(st.st_mode)) reason = "not a regular file";
    else if (std::FILE* file = ::fdopen(fd, "rb")) return file;
    else reason = std::strerror(errno);
    ::close(fd);
    Tell(problem, reason);
    return nullptr;
}

bool ReadText(const std::string& path, std::string& text, std::string* problem) {
    text.clear();
    std::FILE* file = OpenForReading(path, problem);
    if (!file) return false;
    std::string bytes;
    char chunk[8192];
    std::size_t n;
    while (bytes.size() <= kMaxTextBytes && (n = std::fread(chunk, 1, sizeof chunk, file)) > 0) bytes.append(chunk, n);
    const int error = std::ferror(file) ? errno : 0;
    std::fclose(file);
    if (bytes.size() > kMaxTextBytes) {
        Tell(problem, "larger than 10 MB");
        return false;
    }
    // UTF-8 or Windows-1252 in, the ASCII that goes on the air out (up to a
    // zero byte): the display, the count and the running line follow it.
    text = AirText(bytes);
    if (error) Tell(problem, std::strerror(error));
    return error == 0;
}

}  // namespace sked
