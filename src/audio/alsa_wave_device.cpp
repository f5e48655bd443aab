#include "audio/alsa_wave_device.h"

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <cstdlib>
#include <cstring>
#include <mutex>
#include <system_error>

#include <alsa/asoundlib.h>
#include <poll.h>
#include <sys/eventfd.h>
#include <unistd.h>

namespace sked {

namespace {

constexpr int kPeriodsInRing = 3;
constexpr int kPeriodsBeforeStart = 2;
constexpr int kCards = 4;
// Longest single sleep of WaitForChange; the caller asks again after it.
constexpr Duration kLongestSleep = std::chrono::hours(1);
// How long the writer waits for the device thread to carry out a reset.
constexpr auto kResetLimit = std::chrono::seconds(2);

// alsa-lib prints its own complaints on stderr; the station reports failures itself.
void Silent(const char*, int, const char*, int, const char*, ...) {}

void SilenceAlsa() {
    static std::once_flag once;
    std::call_once(once, [] { snd_lib_error_set_handler(Silent); });
}

std::string AlsaReason(int alsaError) { return snd_strerror(alsaError); }

}  // namespace

std::vector<AlsaCard> ListAlsaCards() {
    SilenceAlsa();
    std::vector<AlsaCard> cards;
    for (int index = 0; index < kCards; ++index) {
        char* name = nullptr;
        if (snd_card_get_name(index, &name) == 0 && name) cards.push_back({index, name});
        std::free(name);
    }
    return cards;
}

AlsaWaveDevice::AlsaWaveDevice(const Clock& clock, Options options) : clock_(clock), options_(std::move(options)) {
    SilenceAlsa();
}

AlsaWaveDevice::~AlsaWaveDevice() { Close(); }

std::string AlsaWaveDevice::PcmName(int deviceIndex) const {
    if (deviceIndex == -1) return options_.defaultPcm;
    if (deviceIndex >= 0 && deviceIndex < kCards) return "plughw:" + std::to_string(deviceIndex);
    return "";
}

std::error_code AlsaWaveDevice::Open(const WaveFormat& format, int framesPerBuffer, int deviceIndex) {
    std::unique_lock lock(mutex_);
    if (open_) {
        problem_ = "sound device " + pcmName_ + " is already open";
        return SoundError::HandleInUse;
    }
    const std::string name = PcmName(deviceIndex);
    if (name.empty()) {
        problem_ = "no sound device " + std::to_string(deviceIndex) + " (the station has -1 and 0 to 3)";
        return SoundError::NoSuchDevice;
    }
    if (!format.IsPcm16Mono()) {
        problem_ = "sound device " + name + ": only 16-bit mono PCM can be played";
        return SoundError::NotSupported;
    }
    if (framesPerBuffer <= 0) {
        problem_ = "sound device " + name + ": blocks of " + std::to_string(framesPerBuffer) + " samples";
        return SoundError::BadParameter;
    }

    int r = 0;
    if (!options_.configFile.empty()) {
        snd_input_t* input = nullptr;
        r = snd_config_top(&config_);
        if (r >= 0) r = snd_input_stdio_open(&input, options_.configFile.c_str(), "r");
        if (r >= 0) {
            r = snd_config_load(config_, input);
            snd_input_close(input);
        }
        if (r < 0) {
            problem_ = "cannot read ALSA configuration " + options_.configFile + ": " + AlsaReason(r);
            ReleasePcm();
            return SoundErrorForErrno(-r);
        }
        r = snd_pcm_open_lconf(&pcm_, name.c_str(), SND_PCM_STREAM_PLAYBACK, SND_PCM_NONBLOCK, config_);
    } else {
        r = snd_pcm_open(&pcm_, name.c_str(), SND_PCM_STREAM_PLAYBACK, SND_PCM_NONBLOCK);
    }
    if (r < 0) {
        pcm_ = nullptr;
        problem_ = "cannot open sound device " + name + ": " + AlsaReason(r);
        ReleasePcm();
        return SoundErrorForErrno(-r);
    }
    if (std::error_code result = Configure(name, format, framesPerBuffer)) {
        ReleasePcm();
        return result;
    }
    wakeFd_ = ::eventfd(0, EFD_CLOEXEC | EFD_NONBLOCK);
    if (wakeFd_ < 0) {
        const int err = errno;
        problem_ = "sound device " + name + ": no event descriptor: " + std::strerror(err);
        ReleasePcm();
        return SoundErrorForErrno(err);
    }

    pcmName_ = name;
    rate_ = format.samplesPerSecond;
    open_ = true;
    paused_ = true;
    resetRequested_ = stopRequested_ = false;
    offset_ = 0;
    error_.clear();
    problem_.clear();
    try {
        thread_ = std::thread([this] { Run(); });
    } catch (const std::system_error& e) {
        open_ = false;
        problem_ = "sound device " + name + ": no device thread: " + e.what();
        ReleasePcm();
        return SoundErrorForErrno(e.code().value());
    }
    return {};
}

std::error_code AlsaWaveDevice::Configure(const std::string& name, const WaveFormat& format, int framesPerBuffer) {
    const unsigned rate = static_cast<unsigned>(format.samplesPerSecond);
    const std::string refused =
        "sound device " + name + " cannot play 16-bit mono at " + std::to_string(rate) + " samples per second: ";
    snd_pcm_hw_params_t* hw = nullptr;
    snd_pcm_hw_params_alloca(&hw);
    snd_pcm_uframes_t period = static_cast<snd_pcm_uframes_t>(framesPerBuffer);
    snd_pcm_uframes_t buffer = period * kPeriodsInRing;
    int dir = 0;
    int r = snd_pcm_hw_params_any(pcm_, hw);
    if (r >= 0) r = snd_pcm_hw_params_set_access(pcm_, hw, SND_PCM_ACCESS_RW_INTERLEAVED);
    if (r >= 0) r = snd_pcm_hw_params_set_format(pcm_, hw, SND_PCM_FORMAT_S16_LE);
    if (r >= 0) r = snd_pcm_hw_params_set_channels(pcm_, hw, 1);
    if (r >= 0) r = snd_pcm_hw_params_set_rate(pcm_, hw, rate, 0);
    if (r < 0) {
        problem_ = refused + AlsaReason(r);
        return SoundError::NotSupported;
    }
    r = snd_pcm_hw_params_set_period_size_near(pcm_, hw, &period, &dir);
    if (r >= 0) r = snd_pcm_hw_params_set_buffer_size_near(pcm_, hw, &buffer);
    if (r >= 0) r = snd_pcm_hw_params(pcm_, hw);
    if (r < 0) {
        problem_ = "sound device " + name + " cannot take blocks of " + std::to_string(framesPerBuffer) +
                   " samples: " + AlsaReason(r);
        return SoundError::NotSupported;
    }
    bufferFrames_ = buffer;

    snd_pcm_sw_params_t* sw = nullptr;
    snd_pcm_sw_params_alloca(&sw);
    const snd_pcm_uframes_t start =
        std::min<snd_pcm_uframes_t>(static_cast<snd_pcm_uframes_t>(framesPerBuffer) * kPeriodsBeforeStart, buffer);
    r = snd_pcm_sw_params_current(pcm_, sw);
    if (r >= 0) r = snd_pcm_sw_params_set_start_threshold(pcm_, sw, start);
    if (r >= 0) r = snd_pcm_sw_params_set_avail_min(pcm_, sw, period);
    if (r >= 0) r = snd_pcm_sw_params(pcm_, sw);
    if (r < 0) {
        problem_ = "sound device " + name + " refuses its start settings: " + AlsaReason(r);
        return SoundErrorForErrno(-r);
    }
    return {};
}

void AlsaWaveDevice::ReleasePcm() {
    if (pcm_) snd_pcm_close(pcm_);
    pcm_ = nullptr;
    if (config_) snd_config_delete(config_);
    config_ = nullptr;
    if (wakeFd_ >= 0) ::close(wakeFd_);
    wakeFd_ = -1;
}

void AlsaWaveDevice::Wake() {
    const std::uint64_t one = 1;
    [[maybe_unused]] ssize_t n = ::write(wakeFd_, &one, sizeof one);  // a full counter wakes the thread as well
}

std::error_code AlsaWaveDevice::Submit(std::span<const std::int16_t> block) {
    std::lock_guard lock(mutex_);
    if (!open_) return SoundError::BadHandle;
    if (error_) return error_;
    if (spare_.empty()) {
        queue_.emplace_back(block.begin(), block.end());
    } else {
        queue_.push_back(std::move(spare_.back()));
        spare_.pop_back();
        queue_.back().assign(block.begin(), block.end());
    }
    Wake();
    return {};
}

std::error_code AlsaWaveDevice::Restart() {
    std::lock_guard lock(mutex_);
    if (!open_) return SoundError::BadHandle;
    if (error_) return error_;
    paused_ = false;
    Wake();
    return {};
}

std::error_code AlsaWaveDevice::Reset() {
    std::unique_lock lock(mutex_);
    if (!open_) return SoundError::BadHandle;
    const std::uint64_t served = resetsServed_;
    resetRequested_ = true;
    Wake();
    // The thread never blocks but in poll(), which the wake ends; the bound is for a thread gone astray.
    if (!changed_.wait_for(lock, kResetLimit, [&] { return resetsServed_ != served; })) {
        problem_ = "sound device " + pcmName_ + ": reset not carried out";
        return SoundError::HandleInUse;
    }
    return error_;
}

std::error_code AlsaWaveDevice::Close() {
    {
        std::lock_guard lock(mutex_);
        if (!open_) return SoundError::BadHandle;
        stopRequested_ = true;
        Wake();
    }
    if (thread_.joinable()) thread_.join();
    std::lock_guard lock(mutex_);
    done_ += queue_.size();
    for (auto& block : queue_) spare_.push_back(std::move(block));
    queue_.clear();
    offset_ = 0;
    open_ = false;
    ReleasePcm();
    changed_.notify_all();
    return {};
}

std::uint64_t AlsaWaveDevice::BlocksDone() {
    std::lock_guard lock(mutex_);
    return done_;
}

std::uint64_t AlsaWaveDevice::Underruns() {
    std::lock_guard lock(mutex_);
    return underruns_;
}

TimePoint AlsaWaveDevice::NextChange() { return TimePoint::max(); }

std::error_code AlsaWaveDevice::WaitForChange(TimePoint deadline) {
    std::unique_lock lock(mutex_);
    if (!open_) return SoundError::BadHandle;
    const TimePoint now = clock_.Now();
    if (error_ || deadline <= now) return error_;
    const std::uint64_t seen = done_;
    const Duration left = deadline == TimePoint::max() ? kLongestSleep : std::min(deadline - now, kLongestSleep);
    changed_.wait_for(lock, left, [&] { return done_ != seen || error_ || !open_; });
    if (!open_) return SoundError::BadHandle;
    return error_;
}

std::string AlsaWaveDevice::Problem() const {
    std::lock_guard lock(mutex_);
    return problem_;
}

void AlsaWaveDevice::Fail(int alsaError, const std::string& what) {
    std::lock_guard lock(mutex_);
    if (error_) return;
    error_ = SoundErrorForErrno(-alsaError);
    if (!error_) error_ = SoundError::DeviceFailed;
    problem_ = "sound device " + pcmName_ + " " + what + ": " + AlsaReason(alsaError);
    changed_.notify_all();
}

bool AlsaWaveDevice::WriteFront() {
    const std::int16_t* data = nullptr;
    std::size_t left = 0;
    {
        std::lock_guard lock(mutex_);
        // The front block stays where it is while this thread writes it:
        // Submit only appends, and only this thread removes blocks.
        data = queue_.front().data() + offset_;
        left = queue_.front().size() - offset_;
    }
    snd_pcm_sframes_t n = left ? snd_pcm_writei(pcm_, data, left) : 0;
    if (n == -EAGAIN) return false;
    if (n == -EPIPE || n == -ESTRPIPE || n == -EINTR) {
        // An underrun (or a suspend): start again from a prepared stream,
        // which waits for two periods before it plays.
        if (n == -EPIPE) {
            std::lock_guard lock(mutex_);
            ++underruns_;
        }
        const int r = snd_pcm_recover(pcm_, static_cast<int>(n), 1);
        if (r < 0) Fail(r, "cannot recover from an underrun");
        return true;
    }
    if (n < 0) {
        Fail(static_cast<int>(n), "failed");
        return true;
    }
    paceEnd_ += std::chrono::duration_cast<std::chrono::steady_clock::duration>(
        std::chrono::duration<double>(static_cast<double>(n) / rate_));
    std::lock_guard lock(mutex_);
    offset_ += static_cast<std::size_t>(n);
    if (offset_ >= queue_.front().size()) {
        spare_.push_back(std::move(queue_.front()));
        queue_.pop_front();
        offset_ = 0;
        ++done_;
        changed_.notify_all();
    }
    return true;
}

void AlsaWaveDevice::Run() {
    const int count = std::max(0, snd_pcm_poll_descriptors_count(pcm_));
    std::vector<pollfd> fds(1 + static_cast<std::size_t>(count));
    fds[0] = {wakeFd_, POLLIN, 0};
    if (count > 0) snd_pcm_poll_descriptors(pcm_, fds.data() + 1, static_cast<unsigned>(count));
    const int periodMs = std::max<int>(1, static_cast<int>(bufferFrames_ * 1000 / kPeriodsInRing / rate_));
    bool pcmSaidReady = false;
    const auto ringDuration = std::chrono::duration_cast<std::chrono::steady_clock::duration>(
        std::chrono::duration<double>(static_cast<double>(bufferFrames_) / rate_));
    paceEnd_ = {};

    for (;;) {
        bool work = false;
        {
            std::unique_lock lock(mutex_);
            if (resetRequested_) {
                lock.unlock();
                snd_pcm_drop(pcm_);
                const int r = snd_pcm_prepare(pcm_);
                if (r < 0) Fail(r, "cannot be made ready again");
                lock.lock();
                done_ += queue_.size();
                for (auto& block : queue_) spare_.push_back(std::move(block));
                queue_.clear();
                offset_ = 0;
                resetRequested_ = false;
                ++resetsServed_;
                changed_.notify_all();
                continue;
            }
            if (stopRequested_) break;
            work = !paused_ && !error_ && !queue_.empty();
        }
        if (work) {
            // ALSA's null PCM and some plugins take samples faster than they
            // play them: without this the writer would render as fast as it
            // can. A ring ahead of the nominal pace at most.
            const auto now = std::chrono::steady_clock::now();
            paceEnd_ = std::max(paceEnd_, now);
            if (paceEnd_ - now > ringDuration) {
                const auto early = std::chrono::ceil<std::chrono::milliseconds>(paceEnd_ - now - ringDuration);
                if (::poll(fds.data(), 1, static_cast<int>(early.count())) > 0 && (fds[0].revents & POLLIN)) {
                    std::uint64_t counter = 0;
                    [[maybe_unused]] ssize_t n = ::read(wakeFd_, &counter, sizeof counter);
                }
                continue;
            }
            if (WriteFront()) {
                pcmSaidReady = false;
                continue;
            }
            // The ring is full. Should the card claim room it then refuses,
            // sleep a period rather than spin.
        }
        const bool waitForCard = work && !pcmSaidReady;
        const int timeout = work && pcmSaidReady ? periodMs : -1;
        const int ready = ::poll(fds.data(), waitForCard ? fds.size() : 1, timeout);
        pcmSaidReady = false;
        if (ready > 0 && (fds[0].revents & POLLIN)) {
            std::uint64_t counter = 0;
            [[maybe_unused]] ssize_t n = ::read(wakeFd_, &counter, sizeof counter);
        }
        if (ready > 0 && waitForCard && count > 0) {
            unsigned short revents = 0;
            snd_pcm_poll_descriptors_revents(pcm_, fds.data() + 1, static_cast<unsigned>(count), &revents);
            pcmSaidReady = revents != 0;  // writable, or an error the next write reports
        }
    }

    bool failed;
    {
        std::lock_guard lock(mutex_);
        failed = static_cast<bool>(error_);
    }
    if (!failed) Drain();
}

void AlsaWaveDevice::Drain() {
    // Plays out what is in the ring. Non-blocking, watched, so that a card
    // that stops taking samples cannot hold the station.
    const auto limit = std::chrono::steady_clock::now() + std::chrono::seconds(1) +
                       std::chrono::milliseconds(bufferFrames_ * 1000 / static_cast<unsigned long>(rate_));
    if (snd_pcm_drain(pcm_) == -EAGAIN) {
        while (snd_pcm_state(pcm_) == SND_PCM_STATE_DRAINING) {
            if (std::chrono::steady_clock::now() >= limit) {
                snd_pcm_drop(pcm_);
                break;
            }
            ::poll(nullptr, 0, 10);
        }
    }
}

}  // namespace sked
