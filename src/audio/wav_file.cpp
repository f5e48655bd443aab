#include "audio/wav_file.h"

#include <algorithm>
#include <array>
#include <bit>
#include <cerrno>
#include <cstring>

#include <fcntl.h>
#include <unistd.h>

namespace sked {

namespace {
constexpr std::size_t kHeaderBytes = 80;
// The most a 32-bit size counts; beyond it the file is RF64.
constexpr std::uint64_t kLargest32 = 0xFFFFFFFF;
// The 64-bit sizes: RIFF, data, sample count, an empty table.
constexpr std::uint32_t kDs64Bytes = 28;

void PutLittleEndian(unsigned char* at, std::uint64_t value, int bytes) {
    for (int i = 0; i < bytes; ++i) at[i] = static_cast<unsigned char>(value >> (8 * i));
}

// RIFF, a JUNK chunk holding the place of the 64-bit sizes, the PCM format,
// the data chunk's header. Once the data outgrows 32 bits: RF64, with the
// JUNK chunk turned into the ds64 chunk that holds them.
std::array<unsigned char, kHeaderBytes> Header(int sampleRate, std::uint64_t dataBytes) {
    std::array<unsigned char, kHeaderBytes> h{};
    const std::uint64_t riffBytes = kHeaderBytes - 8 + dataBytes;
    const bool rf64 = riffBytes > kLargest32;
    std::memcpy(&h[0], rf64 ? "RF64" : "RIFF", 4);
    PutLittleEndian(&h[4], rf64 ? kLargest32 : riffBytes, 4);
    std::memcpy(&h[8], "WAVE", 4);
    std::memcpy(&h[12], rf64 ? "ds64" : "JUNK", 4);
    PutLittleEndian(&h[16], kDs64Bytes, 4);
    if (rf64) {
        PutLittleEndian(&h[20], riffBytes, 8);
        PutLittleEndian(&h[28], dataBytes, 8);
        PutLittleEndian(&h[36], dataBytes / 2, 8);
    }
    std::memcpy(&h[48], "fmt ", 4);
    PutLittleEndian(&h[52], 16, 4);
    PutLittleEndian(&h[56], 1, 2);  // PCM
    PutLittleEndian(&h[58], 1, 2);  // mono
    PutLittleEndian(&h[60], static_cast<std::uint32_t>(sampleRate), 4);
    PutLittleEndian(&h[64], static_cast<std::uint32_t>(sampleRate) * 2, 4);
    PutLittleEndian(&h[68], 2, 2);   // bytes a frame
    PutLittleEndian(&h[70], 16, 2);  // bits a sample
    std::memcpy(&h[72], "data", 4);
    PutLittleEndian(&h[76], rf64 ? kLargest32 : dataBytes, 4);
    return h;
}

// All of `size` bytes at `offset`; false (errno set) when they cannot be written.
bool WriteAt(int fd, const unsigned char* bytes, std::size_t size, std::uint64_t offset) {
    while (size > 0) {
        const ssize_t n = ::pwrite(fd, bytes, size, static_cast<off_t>(offset));
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) {
            if (n == 0) errno = EIO;
            return false;
        }
        bytes += n;
        size -= static_cast<std::size_t>(n);
        offset += static_cast<std::uint64_t>(n);
    }
    return true;
}
}  // namespace

std::unique_ptr<WavFile> WavFile::Create(const std::string& path, int sampleRate, const Options& options,
                                         int& errorNumber) {
    const int flags = O_WRONLY | O_CREAT | O_CLOEXEC | (options.exclusive ? O_EXCL : O_TRUNC);
    const int fd = ::open(path.c_str(), flags, 0666);
    if (fd < 0) {
        errorNumber = errno;
        return nullptr;
    }
    std::unique_ptr<WavFile> file(new WavFile(path, fd, sampleRate, options));
    if (!file->WriteHeader()) {
        errorNumber = errno;
        ::close(fd);
        file->fd_ = -1;
        if (options.exclusive) ::unlink(path.c_str());  // ours alone: leave no empty name behind
        return nullptr;
    }
    return file;
}

WavFile::WavFile(std::string path, int fd, int sampleRate, const Options& options)
    : path_(std::move(path)), fd_(fd), sampleRate_(sampleRate), options_(options) {
    options_.chunkSamples = std::max<std::size_t>(options_.chunkSamples, 1);
    chunk_.reserve(options_.chunkSamples);
}

WavFile::~WavFile() { Close(); }

bool WavFile::WriteHeader() {
    const auto header = Header(sampleRate_, dataBytes_);
    return WriteAt(fd_, header.data(), header.size(), 0);
}

void WavFile::Append(const std::int16_t* samples, std::uint64_t count) {
    while (count > 0) {
        const auto room = options_.chunkSamples - chunk_.size();
        const auto take = static_cast<std::size_t>(std::min<std::uint64_t>(room, count));
        if (samples != nullptr) {
            chunk_.insert(chunk_.end(), samples, samples + take);
            samples += take;
        } else {
            chunk_.resize(chunk_.size() + take, 0);
        }
        frames_ += take;
        count -= take;
        if (chunk_.size() >= options_.chunkSamples) Flush();
    }
}

void WavFile::Write(const std::int16_t* samples, std::size_t count) { Append(samples, count); }

void WavFile::WriteSilence(std::uint64_t count) { Append(nullptr, count); }

void WavFile::Flush() {
    if (fd_ >= 0 && error_.empty() && !chunk_.empty()) {
        // Little-endian on disk, whatever the host: on a little-endian one the samples as they are.
        const auto* data = reinterpret_cast<const unsigned char*>(chunk_.data());
        const std::size_t size = 2 * chunk_.size();
        if constexpr (std::endian::native != std::endian::little) {
            bytes_.resize(size);
            for (std::size_t i = 0; i < chunk_.size(); ++i)
                PutLittleEndian(&bytes_[2 * i], static_cast<std::uint16_t>(chunk_[i]), 2);
            data = bytes_.data();
        }
        if (!WriteAt(fd_, data, size, kHeaderBytes + dataBytes_)) {
            Fail(errno);
        } else {
            dataBytes_ += size;
            if (!WriteHeader()) Fail(errno);
        }
    }
    chunk_.clear();
}

void WavFile::Close() {
    if (fd_ < 0) return;
    Flush();
    if (::close(fd_) != 0 && error_.empty()) Fail(errno);
    fd_ = -1;
}

void WavFile::Fail(int errorNumber) {
    errorNumber_ = errorNumber;
    error_ = "cannot write " + options_.what + " " + path_ + ": " + std::strerror(errorNumber);
}

}  // namespace sked
