#include "audio/paced_wave_device.h"

#include <algorithm>
#include <cerrno>
#include <cstring>

namespace sked {

namespace {
// Longest single sleep of WaitForChange; the caller asks again after it.
constexpr Duration kLongestSleep = std::chrono::hours(1);
// The recording goes to disk two seconds (at 8000 Hz) at a time: a simulated
// year of sound is billions of samples. A transmission's end is flushed.
constexpr std::size_t kWavChunkSamples = 16384;
}  // namespace

PacedWaveDevice::PacedWaveDevice(const Clock& clock, std::string wavPath)
    : clock_(clock), wavPath_(std::move(wavPath)) {}

PacedWaveDevice::~PacedWaveDevice() { Close(); }

Duration PacedWaveDevice::BlockDuration(std::size_t frames) const {
    return std::chrono::duration_cast<Duration>(std::chrono::nanoseconds(
        static_cast<std::int64_t>(frames) * 1'000'000'000 / rate_));
}

std::error_code PacedWaveDevice::Open(const WaveFormat& format, int /*framesPerBuffer*/, int deviceIndex) {
    std::lock_guard lock(mutex_);
    const std::string name = wavPath_.empty() ? "null sound device" : "sound file " + wavPath_;
    // It stands in for whichever card the list names: the default or one of four.
    if (deviceIndex < -1 || deviceIndex > 3) {
        problem_ = name + ": no sound card " + std::to_string(deviceIndex);
        return SoundError::NoSuchDevice;
    }
    if (open_) {
        problem_ = name + ": already open";
        return SoundError::HandleInUse;
    }
    if (!format.IsPcm16Mono()) {
        problem_ = name + ": only 16-bit mono PCM can be played";
        return SoundError::NotSupported;
    }
    if (!wavPath_.empty()) {
        if (wavError_) {
            problem_ = wav_->error();  // the recording is broken; nothing more goes into it
            return wavError_;
        }
        if (!wav_) {
            int err = 0;
            wav_ = WavFile::Create(wavPath_, format.samplesPerSecond, {"sound file", false, kWavChunkSamples}, err);
            if (!wav_) {
                problem_ = "cannot create sound file " + wavPath_ + ": " + std::strerror(err);
                return SoundErrorForErrno(err);
            }
        } else if (format.samplesPerSecond != rate_) {
            problem_ = name + ": already recording at " + std::to_string(rate_) + " samples per second";
            return SoundError::NotSupported;
        }
    }
    rate_ = format.samplesPerSecond;
    open_ = true;
    paused_ = true;
    error_.clear();
    problem_.clear();
    pending_.clear();
    starved_ = false;
    return {};
}

void PacedWaveDevice::CatchUp(TimePoint now) {
    if (!open_ || paused_) return;
    while (!pending_.empty() && headStart_ + pending_.front() <= now) {
        headStart_ += pending_.front();
        pending_.pop_front();
        ++done_;
        if (pending_.empty()) starved_ = true;
    }
}

void PacedWaveDevice::DiscardPending() {
    done_ += pending_.size();
    pending_.clear();
    if (starved_) ++underruns_;
    starved_ = false;
}

bool PacedWaveDevice::NoteWavFailure() {
    if (wav_->error().empty()) return false;
    if (!wavError_) {
        const int err = wav_->errorNumber();
        wavError_ = SoundErrorForErrno(err ? err : EIO);
        problem_ = wav_->error();
    }
    return true;
}

std::error_code PacedWaveDevice::Submit(std::span<const std::int16_t> block) {
    {
        std::lock_guard lock(mutex_);
        if (!open_) return SoundError::BadHandle;
        if (error_) return error_;
        if (wav_) {
            wav_->Write(block.data(), block.size());
            if (NoteWavFailure()) {
                error_ = wavError_;
                ++wakeups_;
                changed_.notify_all();
                return error_;
            }
        }
        const TimePoint now = clock_.Now();
        CatchUp(now);
        if (!paused_ && pending_.empty()) {
            // Nothing was playing: the pacing starts again now. A gap after
            // played blocks is an underrun.
            if (starved_) ++underruns_;
            starved_ = false;
            headStart_ = now;
        }
        pending_.push_back(BlockDuration(block.size()));
        ++wakeups_;
    }
    changed_.notify_all();
    return {};
}

std::error_code PacedWaveDevice::Restart() {
    std::lock_guard lock(mutex_);
    if (!open_) return SoundError::BadHandle;
    if (paused_) {
        paused_ = false;
        headStart_ = clock_.Now();  // blocks waiting start now; if none, the next Submit sets it
    }
    return {};
}

std::error_code PacedWaveDevice::Reset() {
    {
        std::lock_guard lock(mutex_);
        if (!open_) return SoundError::BadHandle;
        CatchUp(clock_.Now());
        DiscardPending();
        ++wakeups_;
    }
    changed_.notify_all();
    return {};
}

std::error_code PacedWaveDevice::Close() {
    {
        std::lock_guard lock(mutex_);
        if (!open_) return SoundError::BadHandle;
        CatchUp(clock_.Now());
        DiscardPending();
        open_ = false;
        paused_ = true;
        if (wav_) {
            wav_->Flush();  // the file is complete up to here should the station stop
            NoteWavFailure();
        }
        ++wakeups_;
    }
    changed_.notify_all();
    return {};
}

std::uint64_t PacedWaveDevice::BlocksDone() {
    std::lock_guard lock(mutex_);
    CatchUp(clock_.Now());
    return done_;
}

std::uint64_t PacedWaveDevice::Underruns() {
    std::lock_guard lock(mutex_);
    CatchUp(clock_.Now());
    return underruns_ + (starved_ ? 1 : 0);
}

TimePoint PacedWaveDevice::NextChange() {
    std::lock_guard lock(mutex_);
    CatchUp(clock_.Now());
    if (!open_ || paused_ || pending_.empty()) return TimePoint::max();
    return headStart_ + pending_.front();
}

std::error_code PacedWaveDevice::WaitForChange(TimePoint deadline) {
    std::unique_lock lock(mutex_);
    if (!open_) return SoundError::BadHandle;
    const TimePoint now = clock_.Now();
    CatchUp(now);
    TimePoint target = deadline;
    if (!paused_ && !pending_.empty()) target = std::min(target, headStart_ + pending_.front());
    if (error_ || target <= now) return error_;
    const std::uint64_t seen = wakeups_;
    const Duration left = target == TimePoint::max() ? kLongestSleep : std::min(target - now, kLongestSleep);
    changed_.wait_for(lock, left, [&] { return wakeups_ != seen; });
    if (!open_) return SoundError::BadHandle;
    return error_;
}

std::string PacedWaveDevice::Problem() const {
    std::lock_guard lock(mutex_);
    return problem_;
}

std::uint64_t PacedWaveDevice::FramesWritten() const {
    std::lock_guard lock(mutex_);
    return wav_ ? wav_->frames() : 0;
}

}  // namespace sked
