// A mono 16-bit PCM WAV file written as it grows, with a header that is true
// after every chunk (a station that is killed still leaves a playable file).
// The header is plain PCM (format 1), which every reader takes, with room
// kept for the 64-bit sizes: a recording stays a WAV file until it outgrows
// the 4 GiB a WAV header can count (three days at 8000 Hz), and then becomes
// RF64 in place.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

namespace sked {

class WavFile {
public:
    struct Options {
        // What the file is, for the messages ("cannot write <what> <path>: <reason>").
        std::string what = "WAV file";
        // Fail with EEXIST instead of replacing a file of that name.
        bool exclusive = false;
        // Samples gathered before they go to disk: half a second at 8000 Hz,
        // or more for a long recording, whose every chunk costs two writes.
        std::size_t chunkSamples = 4096;
    };

    // Creates `path`; nothing, with the errno in `errorNumber`, when the file
    // cannot be created.
    static std::unique_ptr<WavFile> Create(const std::string& path, int sampleRate, const Options& options,
                                           int& errorNumber);
    ~WavFile();
    WavFile(const WavFile&) = delete;
    WavFile& operator=(const WavFile&) = delete;

    // Samples go to disk in chunks (Options::chunkSamples).
    void Write(const std::int16_t* samples, std::size_t count);
    void WriteSilence(std::uint64_t count);
    // Writes what is buffered; Close does that and closes.
    void Flush();
    void Close();

    const std::string& path() const { return path_; }
    // Samples written or buffered.
    std::uint64_t frames() const { return frames_; }
    // The first failure, naming the file and the reason ("" while all is
    // well); nothing is written after it.
    const std::string& error() const { return error_; }
    // The system's error number of that failure (0 while all is well).
    int errorNumber() const { return errorNumber_; }

private:
    WavFile(std::string path, int fd, int sampleRate, const Options& options);
    // `count` samples to the chunk (nullptr: silence), a chunk to disk as it fills.
    void Append(const std::int16_t* samples, std::uint64_t count);
    // The header for the samples on disk so far; false (errno set) when it cannot be written.
    bool WriteHeader();
    void Fail(int errorNumber);

    std::string path_;
    int fd_;
    int sampleRate_;
    Options options_;
    std::uint64_t frames_ = 0;
    std::uint64_t dataBytes_ = 0;  // on disk after the header
    std::vector<std::int16_t> chunk_;
    std::vector<unsigned char> bytes_;  // the chunk byte-swapped, on a big-endian host
    std::string error_;
    int errorNumber_ = 0;
};

}  // namespace sked
