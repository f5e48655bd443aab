#include "audio/onair_recording.h"

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <filesystem>
#include <stdexcept>

#include <sys/stat.h>
#include <unistd.h>

namespace sked {

namespace {

constexpr const char* kWhat = "on-air audio file";
// Enough for every transmission that may start in one second.
constexpr int kMaxSuffix = 999;

WavFile::Options Described(WavFile::Options options) {
    options.what = kWhat;
    return options;
}

std::string CannotCreate(const std::string& path, int errorNumber) {
    return std::string("cannot create ") + kWhat + " " + path + ": " + std::strerror(errorNumber);
}

}  // namespace

void OnAirRecording::Problem(const std::string& message) {
    if (error_.empty()) error_ = message;
    Notice(message);
}

void OnAirRecording::Notice(const std::string& message) {
    if (reporter_) reporter_(message);
}

// --- one file ---------------------------------------------------------------

OnAirFile::OnAirFile(const std::string& path, int sampleRate, WavFile::Options options) {
    int errorNumber = 0;
    file_ = WavFile::Create(path, sampleRate, Described(std::move(options)), errorNumber);
    if (!file_) throw std::runtime_error(CannotCreate(path, errorNumber));
}

void OnAirFile::Check() {
    // The first failure is the last word: a file with a hole would lie about when things went out.
    if (error().empty() && !file_->error().empty()) Problem(file_->error());
}

void OnAirFile::Silence(std::int64_t count) {
    file_->WriteSilence(static_cast<std::uint64_t>(count));
    Check();
}

void OnAirFile::Keyed(const std::int16_t* samples, std::size_t count) {
    file_->Write(samples, count);
    Check();
}

void OnAirFile::Close() {
    file_->Close();
    Check();
}

// --- one file per transmission -------------------------------------------------

OnAirFolder::OnAirFolder(std::string folder, int sampleRate, WavFile::Options options)
    : folder_(std::move(folder)), sampleRate_(sampleRate), options_(Described(std::move(options))) {}

OnAirFolder::~OnAirFolder() { Close(); }

std::int64_t OnAirFolder::Samples(std::chrono::milliseconds d) const { return d.count() * sampleRate_ / 1000; }

TimePoint OnAirFolder::SampleTime(std::int64_t n) const {
    using namespace std::chrono;
    return origin_ + duration_cast<Duration>(seconds(n / sampleRate_)) +
           duration_cast<Duration>(nanoseconds((n % sampleRate_) * 1'000'000'000LL / sampleRate_));
}

void OnAirFolder::Silence(std::int64_t count) {
    if (closed_ || count <= 0) return;
    if (transmitting_) {
        const std::int64_t tail = std::clamp<std::int64_t>(Samples(kTail) - silentRun_, 0, count);
        if (file_ && tail > 0) {
            file_->WriteSilence(static_cast<std::uint64_t>(tail));
            if (!file_->error().empty()) Failed(file_->error());
        }
        if (silentRun_ + count >= Samples(kHangTime)) EndTransmission();
    }
    silentRun_ += count;
    next_ += count;
}

void OnAirFolder::Keyed(const std::int16_t* samples, std::size_t count) {
    if (closed_ || count == 0) return;
    if (!transmitting_) {
        StartTransmission();
    } else if (file_ && silentRun_ > Samples(kTail)) {
        file_->WriteSilence(static_cast<std::uint64_t>(silentRun_ - Samples(kTail)));  // a pause within it
    }
    if (file_) {
        file_->Write(samples, count);
        if (!file_->error().empty()) Failed(file_->error());
    }
    silentRun_ = 0;
    next_ += static_cast<std::int64_t>(count);
}

void OnAirFolder::StartTransmission() {
    transmitting_ = true;
    transmissionFailed_ = false;
    const std::time_t keyed = std::chrono::system_clock::to_time_t(SampleTime(next_));
    const std::string stamp = FormatTime("%Y%m%d-%H%M%S", LocalTime(keyed));
    std::string path;
    int errorNumber = EEXIST;
    WavFile::Options options = options_;
    options.exclusive = true;
    for (int suffix = 1; !file_ && errorNumber == EEXIST && suffix <= kMaxSuffix; ++suffix) {
        const std::string name = stamp + (suffix == 1 ? "" : "-" + std::to_string(suffix)) + ".wav";
        path = (std::filesystem::path(folder_) / name).string();
        file_ = WavFile::Create(path, sampleRate_, options, errorNumber);
    }
    if (!file_) {
        Failed(CannotCreate(path, errorNumber));
        return;
    }
    file_->WriteSilence(static_cast<std::uint64_t>(std::min(silentRun_, Samples(kLead))));
}

void OnAirFolder::EndTransmission() {
    transmitting_ = false;
    if (file_) {
        file_->Close();
        if (!file_->error().empty()) Failed(file_->error());
        file_.reset();
    }
    if (!transmissionFailed_ && failing_) {
        Notice("on-air audio: recording in " + folder_ + " again (" + std::to_string(lost_) +
               (lost_ == 1 ? " transmission" : " transmissions") + " not recorded)");
        failing_ = false;
        lost_ = 0;
    }
}

void OnAirFolder::Failed(std::string message) {
    if (file_) file_->Close();
    file_.reset();
    if (transmissionFailed_) return;
    transmissionFailed_ = true;
    ++lost_;
    if (failing_) return;
    failing_ = true;
    Problem(message);
}

void OnAirFolder::Close() {
    if (closed_) return;
    if (transmitting_) EndTransmission();
    closed_ = true;
}

// --- the command line's choice ---------------------------------------------------

std::unique_ptr<OnAirRecording> OpenOnAirRecording(const std::string& target, int sampleRate) {
    std::error_code ignored;
    if (!target.ends_with('/') && !std::filesystem::is_directory(target, ignored))
        return std::make_unique<OnAirFile>(target, sampleRate);

    const std::string folder = "on-air audio folder " + target;
    if (::mkdir(target.c_str(), 0777) != 0 && errno != EEXIST)
        throw std::runtime_error("cannot create " + folder + ": " + std::strerror(errno));
    struct stat st {};
    if (::stat(target.c_str(), &st) != 0)
        throw std::runtime_error("cannot use " + folder + ": " + std::strerror(errno));
    if (!S_ISDIR(st.st_mode)) throw std::runtime_error("cannot use " + folder + ": " + std::strerror(ENOTDIR));
    // Files are made as transmissions start, perhaps hours from now: say at once if none can be.
    if (::access(target.c_str(), W_OK | X_OK) != 0)
        throw std::runtime_error("cannot write in " + folder + ": " + std::strerror(errno));
    return std::make_unique<OnAirFolder>(target, sampleRate);
}

}  // namespace sked
