// A mono 16-bit PCM WAV file written as it grows, with a header that is true
// after every chunk (a station that is killed still leaves a playable file).
// libsndfile writes it as RF64 with the downgrade to plain WAV, so a
// recording stays a WAV file every player reads until it outgrows the 4 GiB
// a WAV header can count (three days at 8000 Hz), and then becomes RF64.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include <sndfile.h>

namespace sked {

class WavFile {
public:
    struct Options {
        // What the file is, for the messages ("cannot write <what> <path>: <reason>").
        std::string what = "WAV file";
        // Fail with EEXIST instead of replacing a file of that name.
        bool exclusive = false;
    };

    // Creates `path`; nothing, with the errno in `errorNumber`, when the file
    // cannot be created.
    static std::unique_ptr<WavFile> Create(const std::string& path, int sampleRate, const Options& options,
                                           int& errorNumber);
    ~WavFile();
    WavFile(const WavFile&) = delete;
    WavFile& operator=(const WavFile&) = delete;

    // Samples go to disk in chunks of half a second at 8000 Hz.
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

private:
    WavFile(std::string path, SNDFILE* file, const Options& options);
    // `count` samples to the chunk (nullptr: silence), a chunk to disk as it fills.
    void Append(const std::int16_t* samples, std::uint64_t count);
    void Fail();

    std::string path_;
    SNDFILE* file_;
    Options options_;
    std::uint64_t frames_ = 0;
    std::vector<std::int16_t> chunk_;
    std::string error_;
};

}  // namespace sked
