#include "app/event_log.h"

#include <algorithm>
#include <cerrno>
#include <cstring>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include "platform/text_format.h"

namespace sked {

namespace {
std::string BlanksToZeros(std::string text) {
    std::replace(text.begin(), text.end(), ' ', '0');
    return text;
}
}  // namespace

std::string EventLog::FileName(const std::tm& local) {
    return BlanksToZeros(Format("log/%4d%2d%2d.log", local.tm_year + 1900, local.tm_mon + 1, local.tm_mday));
}

int EventLog::AddListener(std::function<void(const std::string& message)> listener) {
    listeners_.emplace(nextListener_, std::move(listener));
    return nextListener_++;
}

std::string EventLog::TodaysFileName() const { return FileName(LocalTime(clock_.Time())); }

int EventLog::Append(const std::string& path, const std::string& text) {
    int fd = ::open(path.c_str(), O_WRONLY | O_APPEND | O_CREAT | O_CLOEXEC, 0666);
    if (fd < 0) return errno;
    // Remember where the file ended, so that a torn line can be taken back.
    struct stat before {};
    bool regular = ::fstat(fd, &before) == 0 && S_ISREG(before.st_mode);
    int error = 0;
    std::size_t done = 0;
    while (done < text.size()) {
        ssize_t n = ::write(fd, text.data() + done, text.size() - done);
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) {
            error = n < 0 ? errno : EIO;
            break;
        }
        done += static_cast<std::size_t>(n);
    }
    if (error && done > 0 && regular) (void)::ftruncate(fd, before.st_size);
    // write() has handed the line to the kernel: it survives the station being
    // killed now. close() still reports errors of file systems that write late.
    if (::close(fd) != 0 && !error && errno != EINTR) error = errno;
    return error;
}

void EventLog::LogEvent(const std::string& message) {
    // A copy: a listener may add or remove one.
    const auto listeners = listeners_;
    for (const auto& [id, listener] : listeners) listener(message);
    // One reading of the clock gives both the file and the time stamp.
    std::tm local = LocalTime(clock_.Time());
    std::string name = FileName(local);
    std::string stamp = BlanksToZeros(Format("%2d:%2d:%2d", local.tm_hour, local.tm_min, local.tm_sec));
    std::string text;
    if (lostLines_ > 0)
        text = Format("%s > EventLog : LOG file writable again after %ld lost lines\n", stamp.c_str(), lostLines_);
    text += stamp + " > " + message.substr(0, kMaxMessage) + "\n";

    int error = Append(name, text);
    if (error == 0) {
        lostLines_ = 0;
        writeFailureShown_ = false;
        return;
    }
    ++lostLines_;
    if (error == ENOENT || error == ENOTDIR) {
        // No log folder: the operator is told at every line until there is one.
        statusLine_.SetText(kCannotOpen);
        return;
    }
    // Any other failure (a full disk above all) is shown once, not at every
    // line: the status line stays free for the station's own messages.
    if (!writeFailureShown_) {
        writeFailureShown_ = true;
        statusLine_.SetText(Format("Cannot write LOG file %s : %s", name.c_str(), std::strerror(error)));
    }
}

}  // namespace sked
