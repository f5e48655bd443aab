#include "audio/sound_card.h"

#include <algorithm>
#include <limits>
#include <new>
#include <utility>

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

namespace sked {

namespace {

// Truncated toward zero to a 32-bit integer as the PC's conversion does
// (what it cannot hold, NaN included, becomes 0x80000000), then the low 16
// bits: the generator keeps its peak near 6,700, far from either limit.
std::int16_t ToSample(double x) {
    const std::int32_t whole = x > -2147483649.0 && x < 2147483648.0 ? static_cast<std::int32_t>(x)
                                                                       : std::numeric_limits<std::int32_t>::min();
    return static_cast<std::int16_t>(static_cast<std::uint16_t>(static_cast<std::uint32_t>(whole) & 0xFFFFu));
}

// ToSample eight samples at a time where the processor's own conversion is
// the one ToSample describes (x86-64: SSE2 gives 0x80000000 for whatever an
// int32 cannot hold, NaN included); a second of audio is 8000 samples, a
// simulated year billions. Elsewhere one at a time.
void ToSamples(const double* from, std::int16_t* to, int count) {
    int i = 0;
#if defined(__SSE2__)
    constexpr int kLanes = 8;
    // The low 16 bits of each 32-bit lane, sign-extended, then packed: nothing saturates.
    auto low16 = [](__m128i lanes) { return _mm_srai_epi32(_mm_slli_epi32(lanes, 16), 16); };
    for (; i + kLanes <= count; i += kLanes) {
        const __m128i a = _mm_unpacklo_epi64(_mm_cvttpd_epi32(_mm_loadu_pd(from + i)),
                                             _mm_cvttpd_epi32(_mm_loadu_pd(from + i + 2)));
        const __m128i b = _mm_unpacklo_epi64(_mm_cvttpd_epi32(_mm_loadu_pd(from + i + 4)),
                                             _mm_cvttpd_epi32(_mm_loadu_pd(from + i + 6)));
        _mm_storeu_si128(reinterpret_cast<__m128i*>(to + i), _mm_packs_epi32(low16(a), low16(b)));
    }
#endif
    for (; i < count; ++i) to[i] = ToSample(from[i]);
}

void ToSamples(const std::int16_t* from, std::int16_t* to, int count) {
    std::copy_n(from, count, to);
}

}  // namespace

SoundCard::SoundCard(WaveDevice& device, const Clock& clock) : device_(device), clock_(clock) {}

SoundCard::~SoundCard() {
    if (!deviceOpen_) return;
    ResetOutputCounters();
    CloseOutput();
}

std::error_code SoundCard::OpenOutput(const WaveFormat& format, int framesPerBuffer, int deviceIndex) {
    if (deviceOpen_) CloseOutput();
    auto keep = [this](std::error_code error) {
        std::lock_guard lock(mutex_);
        errorCode_ = error;
        return error;
    };
    {
        std::lock_guard lock(mutex_);
        // A fresh stream starts clean: an old failure must not be reported again, nor stop its last block being played.
        errorCode_ = {};
        underflow_ = false;
        discard_ = false;
        restartPending_ = false;
        submitted_ = done_ = 0;
    }
    writePosition_ = 0;
    // Each sample becomes one 16-bit word of the slot: other layouts cannot be written.
    if (!format.IsPcm16Mono()) return keep(SoundError::NotSupported);
    if (framesPerBuffer <= 0) return keep(SoundError::BadParameter);
    fill_.reset(new (std::nothrow) std::int16_t[static_cast<std::size_t>(framesPerBuffer)]);
    if (!fill_) return keep(SoundError::StreamMemory);
    framesPerBuffer_ = framesPerBuffer;

    if (std::error_code result = device_.Open(format, framesPerBuffer, deviceIndex)) {
        fill_.reset();
        return keep(result);
    }
    deviceOpen_ = true;
    doneBase_ = device_.BlocksDone();
    underrunBase_ = device_.Underruns();
    std::lock_guard lock(mutex_);
    open_ = true;
    restartPending_ = true;
    return {};
}

void SoundCard::TakeDeviceNews() {
    if (!deviceOpen_) return;
    // Asked outside the lock: the device may be busy with its own thread.
    const std::uint64_t blocksDone = device_.BlocksDone() - doneBase_;
    const bool underran = device_.Underruns() > underrunBase_;
    std::lock_guard lock(mutex_);
    if (blocksDone > done_) done_ = std::min(blocksDone, submitted_);
    if (underran) underflow_ = true;
}

std::uint64_t SoundCard::Outstanding() const {
    std::lock_guard lock(mutex_);
    return submitted_ - done_;
}

int SoundCard::WriteOutput(const double* samples, int count) { return Write(samples, count); }

int SoundCard::WriteOutput(const std::int16_t* samples, int count) { return Write(samples, count); }

template <typename Sample>
int SoundCard::Write(const Sample* samples, int count) {
    {
        std::lock_guard lock(mutex_);
        if (!open_) {
            errorCode_ = SoundError::NotOpen;
            return -1;
        }
        if (count < 0 || (count > 0 && !samples)) {
            errorCode_ = SoundError::BadParameter;
            return -1;
        }
    }
    TakeDeviceNews();
    {
        // The device ran dry since the last write: noted, but the write goes on.
        std::lock_guard lock(mutex_);
        if (underflow_) errorCode_ = SoundError::Underflow;
    }
    // A caller handing over more than the slot has room for gets it spread
    // over as many slots as it fills, each queued in turn.
    for (int i = 0; i < count;) {
        const int take = std::min(count - i, framesPerBuffer_ - writePosition_);
        ToSamples(samples + i, fill_.get() + writePosition_, take);
        writePosition_ += take;
        i += take;
        if (writePosition_ == framesPerBuffer_ && !QueueFillSlot()) return -1;
    }
    return count;
}

bool SoundCard::FlushOutput() {
    {
        std::lock_guard lock(mutex_);
        if (!open_) return false;
    }
    if (writePosition_ == 0) return true;
    if (!QueueFillSlot()) return false;
    // A stream shorter than two slots starts playing now too.
    bool restart = false;
    {
        std::lock_guard lock(mutex_);
        restart = std::exchange(restartPending_, false);
    }
    if (restart) {
        if (std::error_code r = device_.Restart()) return FailWrite(r);
    }
    return true;
}

bool SoundCard::QueueFillSlot() {
    const std::error_code result = device_.Submit({fill_.get(), static_cast<std::size_t>(writePosition_)});
    writePosition_ = 0;
    if (result) return FailWrite(result);
    bool restart = false;
    {
        std::lock_guard lock(mutex_);
        ++submitted_;
        // Playback starts with two slots queued.
        restart = restartPending_ && submitted_ >= 2;
        if (restart) restartPending_ = false;
    }
    if (restart) {
        if (std::error_code r = device_.Restart()) return FailWrite(r);
    }
    TakeDeviceNews();
    if (Outstanding() < kSlots) return true;
    if (std::error_code r = WaitForSlots(kSlots - 1)) return FailWrite(r);
    return true;
}

std::error_code SoundCard::WaitForSlots(std::uint64_t most) {
    // Bounded on the clock in use, and on the real clock too should that
    // clock stand still (a simulated clock nobody moves) or be set back.
    auto deadline = clock_.Now() + kWaitLimit;
    auto realDeadline = std::chrono::steady_clock::now() + kWaitLimit;
    std::uint64_t seen;
    {
        std::lock_guard lock(mutex_);
        seen = done_;
    }
    for (;;) {
        TakeDeviceNews();
        std::uint64_t outstanding, done;
        {
            std::lock_guard lock(mutex_);
            outstanding = submitted_ - done_;
            done = done_;
        }
        if (outstanding <= most) return {};
        if (done != seen) {  // a slot came back: the 2000 ms run from here, for the next one
            seen = done;
            deadline = clock_.Now() + kWaitLimit;
            realDeadline = std::chrono::steady_clock::now() + kWaitLimit;
        }
        if (clock_.Now() >= deadline || std::chrono::steady_clock::now() >= realDeadline) return SoundError::TimedOut;
        if (std::error_code r = device_.WaitForChange(deadline)) return r;
    }
}

bool SoundCard::FailWrite(std::error_code error) {
    {
        std::lock_guard lock(mutex_);
        errorCode_ = error;
        // The device has let the stream down: waiting on it again at close
        // would only hold the generator up for another two seconds.
        discard_ = true;
    }
    CloseOutput();
    return false;
}

std::error_code SoundCard::WaitOutputDone() {
    bool restart = false;
    {
        std::lock_guard lock(mutex_);
        // A stream still paused would never finish: a single slot queued starts it.
        restart = restartPending_ && submitted_ > done_;
        if (restart) restartPending_ = false;
    }
    std::error_code result = restart ? device_.Restart() : std::error_code();
    if (!result) result = WaitForSlots(0);
    std::lock_guard lock(mutex_);
    if (result) errorCode_ = result;
    return errorCode_;
}

void SoundCard::ResetOutputCounters() {
    std::lock_guard lock(mutex_);
    underflow_ = false;
    discard_ = true;
    writePosition_ = 0;
}

void SoundCard::CloseOutput() {
    bool discard;
    std::error_code code;
    {
        std::lock_guard lock(mutex_);
        open_ = false;
        discard = discard_;
        code = errorCode_;
    }
    if (!deviceOpen_) return;
    if (!discard) {
        if (!code && writePosition_ > 0) {
            // The partly filled slot goes out too, whether or not playback has started.
            std::error_code result = device_.Restart();
            if (!result) result = device_.Submit({fill_.get(), static_cast<std::size_t>(writePosition_)});
            std::lock_guard lock(mutex_);
            if (result) {
                errorCode_ = result;
            } else {
                ++submitted_;
                restartPending_ = false;
            }
        }
        writePosition_ = 0;
        WaitOutputDone();
    }
    // A reset after everything has been played would, on a card whose slots
    // come back once they are in its ring, throw away the last of the audio.
    TakeDeviceNews();
    if (discard || Outstanding() > 0) device_.Reset();
    device_.Close();
    deviceOpen_ = false;
    fill_.reset();
    std::lock_guard lock(mutex_);
    done_ = submitted_;
}

bool SoundCard::IsOpen() const {
    std::lock_guard lock(mutex_);
    return open_;
}

std::error_code SoundCard::GetErrorCode() const {
    std::lock_guard lock(mutex_);
    return errorCode_;
}

TimePoint SoundCard::WriteReadyAt() {
    TakeDeviceNews();
    {
        std::lock_guard lock(mutex_);
        if (!open_ || submitted_ - done_ < kSlots - 1) return TimePoint::min();
    }
    return device_.NextChange();
}

}  // namespace sked
