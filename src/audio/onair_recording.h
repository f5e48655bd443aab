// Where the on-air rendering goes: the whole run in one WAV file, silence
// and all, or each transmission in a WAV file of its own in a folder, so that
// a station that runs for days keeps what it sent and not the hours of
// silence between.
#pragma once

#include <chrono>
#include <cstdint>
#include <functional>
#include <memory>
#include <string>

#include "platform/clock.h"
#include "audio/wav_file.h"

namespace sked {

class OnAirRecording {
public:
    using ProblemReporter = std::function<void(const std::string& message)>;

    virtual ~OnAirRecording() = default;

    // The time of the first sample; called once, before any sample.
    virtual void Begin(TimePoint origin) = 0;
    // The next `count` samples: the air unkeyed.
    virtual void Silence(std::int64_t count) = 0;
    // The next samples: the air keyed.
    virtual void Keyed(const std::int16_t* samples, std::size_t count) = 0;
    // Writes out and closes what is open; nothing is recorded after it.
    virtual void Close() = 0;

    // The first failure, naming the file and the reason ("" while all is well).
    const std::string& error() const { return error_; }
    // Told of each failure as it happens (and, for a folder, when recording
    // works again); nothing by default.
    void SetProblemReporter(ProblemReporter reporter) { reporter_ = std::move(reporter); }

protected:
    void Problem(const std::string& message);
    void Notice(const std::string& message);

private:
    std::string error_;
    ProblemReporter reporter_;
};

// One file for the whole run.
class OnAirFile : public OnAirRecording {
public:
    // Creates (or replaces) the file; throws std::runtime_error naming it and
    // the reason when it cannot.
    OnAirFile(const std::string& path, int sampleRate, WavFile::Options options = {});

    void Begin(TimePoint) override {}
    void Silence(std::int64_t count) override;
    void Keyed(const std::int16_t* samples, std::size_t count) override;
    void Close() override;

private:
    void Check();
    std::unique_ptr<WavFile> file_;
};

// One file per transmission, named by the local time its key closed
// (FOLDER/YYYYMMDD-HHMMSS.wav; a name already taken gets -2, -3, ...: an
// existing file is never replaced). A file holds a quarter second of
// silence before the key closes, the transmission, and a quarter second
// after the key opens. The key up for less than kHangTime (the elements of
// Morse in CW mode, a change of keying line) does not end a transmission:
// that silence stays in its file.
class OnAirFolder : public OnAirRecording {
public:
    static constexpr std::chrono::milliseconds kLead{250};
    static constexpr std::chrono::milliseconds kTail{250};
    static constexpr std::chrono::seconds kHangTime{5};

    // `folder` must exist.
    OnAirFolder(std::string folder, int sampleRate, WavFile::Options options = {});
    ~OnAirFolder() override;

    void Begin(TimePoint origin) override { origin_ = origin; }
    void Silence(std::int64_t count) override;
    void Keyed(const std::int16_t* samples, std::size_t count) override;
    void Close() override;

private:
    std::int64_t Samples(std::chrono::milliseconds d) const;
    TimePoint SampleTime(std::int64_t n) const;
    void StartTransmission();
    void EndTransmission();
    // A failure ends the transmission's file; reported when the recording
    // goes from working to failing, and told when it works again. The
    // message is kept by value: it is often the error of the file it ends.
    void Failed(std::string message);

    std::string folder_;
    int sampleRate_;
    WavFile::Options options_;
    TimePoint origin_{};
    std::int64_t next_ = 0;       // index of the next sample
    std::int64_t silentRun_ = 0;  // unkeyed samples since the last keyed one
    bool transmitting_ = false;
    bool transmissionFailed_ = false;
    std::unique_ptr<WavFile> file_;
    bool failing_ = false;
    int lost_ = 0;  // transmissions not recorded whole since recording failed
    bool closed_ = false;
};

// The --onair target: a folder when it ends in a slash or is an existing
// folder (created when missing; its parent must exist), one file per
// transmission in it; else the one file for the whole run. Throws
// std::runtime_error naming the file or folder and the reason when it
// cannot be used.
std::unique_ptr<OnAirRecording> OpenOnAirRecording(const std::string& target, int sampleRate);

}  // namespace sked
