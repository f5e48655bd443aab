// What the sound card stream needs of the platform's wave output: a device
// opened paused, fed whole blocks of 16-bit samples, that says how many of
// them it has finished with. Back ends: ALSA (a real card), a WAV file and
// null (both paced by the station's clock), and the tests' fakes.
//
// Results are sound errors (audio/sound_error.h), empty on success: a back end
// maps its own errors onto them and keeps the full story (device and reason)
// in Problem().
#pragma once

#include <cstdint>
#include <span>
#include <string>
#include <system_error>

#include "audio/sound_error.h"
#include "platform/clock.h"

namespace sked {

// The stream's audio format, laid out as the wave-output format record.
struct WaveFormat {
    int formatTag = 1;  // PCM
    int channels = 1;
    int samplesPerSecond = 8000;
    int averageBytesPerSecond = 16000;
    int blockAlign = 2;
    int bitsPerSample = 16;
    int extraSize = 0;

    // 16-bit mono PCM at `rate` samples per second.
    static WaveFormat Pcm16Mono(int rate) {
        return WaveFormat{1, 1, rate, 2 * rate, 2, 16, 0};
    }
    // The only format the station plays: 16-bit mono PCM at a positive rate.
    bool IsPcm16Mono() const {
        return formatTag == 1 && channels == 1 && bitsPerSample == 16 && blockAlign == 2 && samplesPerSecond > 0;
    }
};

class WaveDevice {
public:
    virtual ~WaveDevice() = default;

    // Opens device `deviceIndex` (-1 the default device, 0..3 the first to
    // fourth) for `format`, paused: nothing plays until Restart. Blocks are
    // normally `framesPerBuffer` samples long.
    virtual std::error_code Open(const WaveFormat& format, int framesPerBuffer, int deviceIndex) = 0;
    // Queues a copy of `block` behind those already submitted; never blocks.
    // The caller keeps at most three blocks outstanding (submitted, not done).
    virtual std::error_code Submit(std::span<const std::int16_t> block) = 0;
    // Ends the pause: queued blocks play back to back from now on.
    virtual std::error_code Restart() = 0;
    // Discards every queued block at once; they count as done.
    virtual std::error_code Reset() = 0;
    // Closes the device; what is still queued is discarded (counted as done).
    virtual std::error_code Close() = 0;

    // Submitted blocks the device has finished with, so that their slot can
    // be used again; counts up for the life of the device, never back.
    virtual std::uint64_t BlocksDone() = 0;
    // Times the device ran out of blocks while playing (the current gap
    // included); counts up for the life of the device.
    virtual std::uint64_t Underruns() = 0;
    // When BlocksDone() will next grow without any other call (the end of
    // the oldest block playing), on the clock the device was given;
    // TimePoint::max() when the device cannot say or nothing plays.
    virtual TimePoint NextChange() = 0;
    // Blocks the calling thread until BlocksDone() may have grown, the device
    // failed, or `deadline` (device's clock) has passed: none, or the failure
    // that ended the device.
    virtual std::error_code WaitForChange(TimePoint deadline) = 0;

    // The last failure, naming the device and the reason; "" while all is well.
    virtual std::string Problem() const = 0;
};

}  // namespace sked
