#include "audio/wav_file.h"

#include <algorithm>
#include <cerrno>
#include <cstring>

#include <fcntl.h>
#include <unistd.h>

namespace sked {

namespace {
constexpr std::size_t kChunkSamples = 4096;
}  // namespace

std::unique_ptr<WavFile> WavFile::Create(const std::string& path, int sampleRate, const Options& options,
                                         int& errorNumber) {
    // Opened here, so that the reason of a failure is the system's own.
    const int flags = O_RDWR | O_CREAT | O_CLOEXEC | (options.exclusive ? O_EXCL : O_TRUNC);
    const int fd = ::open(path.c_str(), flags, 0666);
    if (fd < 0) {
        errorNumber = errno;
        return nullptr;
    }
    SF_INFO info{};
    info.samplerate = sampleRate;
    info.channels = 1;
    info.format = SF_FORMAT_RF64 | SF_FORMAT_PCM_16;
    errno = 0;
    SNDFILE* file = sf_open_fd(fd, SFM_WRITE, &info, SF_TRUE);
    if (!file) {
        errorNumber = errno ? errno : EIO;  // the header could not be written
        if (options.exclusive) ::unlink(path.c_str());  // ours alone: leave no empty name behind
        return nullptr;
    }
    sf_command(file, SFC_RF64_AUTO_DOWNGRADE, nullptr, SF_TRUE);
    sf_command(file, SFC_SET_UPDATE_HEADER_AUTO, nullptr, SF_TRUE);
    return std::unique_ptr<WavFile>(new WavFile(path, file, options));
}

WavFile::WavFile(std::string path, SNDFILE* file, const Options& options)
    : path_(std::move(path)), file_(file), options_(options) {
    chunk_.reserve(kChunkSamples);
}

WavFile::~WavFile() { Close(); }

void WavFile::Append(const std::int16_t* samples, std::uint64_t count) {
    while (count > 0) {
        const auto take = static_cast<std::size_t>(std::min<std::uint64_t>(kChunkSamples - chunk_.size(), count));
        if (samples != nullptr) {
            chunk_.insert(chunk_.end(), samples, samples + take);
            samples += take;
        } else {
            chunk_.resize(chunk_.size() + take, 0);
        }
        frames_ += take;
        count -= take;
        if (chunk_.size() == kChunkSamples) Flush();
    }
}

void WavFile::Write(const std::int16_t* samples, std::size_t count) { Append(samples, count); }

void WavFile::WriteSilence(std::uint64_t count) { Append(nullptr, count); }

void WavFile::Flush() {
    if (!file_ || !error_.empty() || chunk_.empty()) {
        chunk_.clear();
        return;
    }
    const auto count = static_cast<sf_count_t>(chunk_.size());
    errno = 0;
    if (sf_write_short(file_, chunk_.data(), count) != count) Fail();
    chunk_.clear();
}

void WavFile::Close() {
    if (!file_) return;
    Flush();
    errno = 0;
    if (sf_close(file_) != 0 && error_.empty()) Fail();
    file_ = nullptr;
}

void WavFile::Fail() {
    // The system's reason when there is one ("No space left on device").
    const std::string reason = errno ? std::strerror(errno) : sf_strerror(file_);
    error_ = "cannot write " + options_.what + " " + path_ + ": " + reason;
}

}  // namespace sked
