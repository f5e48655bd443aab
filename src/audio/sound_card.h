// The sound card stream (CSoundCard): one continuous stream of 16-bit mono
// samples to a wave device, written one block per teleprinter character by
// the tone generator. Three slots are kept in flight: the device is opened
// paused and started when the second slot is queued (so the first two blocks
// play back to back), and a writer that finds all three queued waits, at most
// 2000 ms of the clock in use, for the device to hand one back. Every failure
// leaves its sound error (sound_error.h) for the generator to report.
//
// Every call but GetErrorCode and IsOpen comes from the writer's thread (the
// open may come before that thread starts). The device copies each block as
// it is submitted, so only the slot being filled needs memory here; the
// other two are counted.
#pragma once

#include <chrono>
#include <cstdint>
#include <memory>
#include <mutex>
#include <system_error>

#include "platform/clock.h"
#include "audio/wave_device.h"

namespace sked {

class SoundCard {
public:
    static constexpr int kSlots = 3;
    // Longest wait for the device to hand a slot back.
    static constexpr std::chrono::milliseconds kWaitLimit{2000};

    // The device and the clock are not owned and must outlive the stream.
    SoundCard(WaveDevice& device, const Clock& clock);
    // Discards whatever is still queued and closes the device.
    ~SoundCard();
    SoundCard(const SoundCard&) = delete;
    SoundCard& operator=(const SoundCard&) = delete;

    // Opens device `deviceIndex` (-1 the default, 0..3) paused, for blocks of
    // `framesPerBuffer` samples: none, or the failure (also kept).
    std::error_code OpenOutput(const WaveFormat& format, int framesPerBuffer, int deviceIndex);
    // Appends `count` samples on the 16-bit scale, each truncated toward zero
    // and cut to its low 16 bits (no clipping); every slot filled is queued.
    // Returns `count`, or -1 with the failure kept: the stream is then
    // closed, unless it was not open (NotOpen) or the samples were refused
    // (BadParameter).
    int WriteOutput(const double* samples, int count);
    // The same for samples already on the 16-bit scale (each is its own
    // truncation): copied as they are.
    int WriteOutput(const std::int16_t* samples, int count);
    // Queues the partly filled slot now, shorter than the others, and starts
    // playback if it has not started: the end of a stream is not held back
    // for samples that may not come. True when done (or nothing was
    // waiting); false with the failure kept, as for WriteOutput.
    bool FlushOutput();
    // Plays a partly filled slot and waits for the queued ones (unless the
    // counters were reset or a write failed), then resets and closes the
    // device. Harmless when not open.
    void CloseOutput();
    // Waits until every queued slot has been played; returns the kept failure.
    std::error_code WaitOutputDone();
    // Stopping on request: the next CloseOutput neither flushes nor waits,
    // and what is still queued is discarded.
    void ResetOutputCounters();
    // The failure kept (an underflow too, though the stream goes on); none while all is well.
    std::error_code GetErrorCode() const;
    bool IsOpen() const;

    // For a writer that must not block (the generator on the simulated
    // clock): when a write of one slot will return without waiting. A time
    // not after now means at once; TimePoint::max() when the device cannot
    // say (wait for a change of the device, or block in WriteOutput).
    TimePoint WriteReadyAt();

private:
    // WriteOutput for either kind of sample.
    template <typename Sample>
    int Write(const Sample* samples, int count);
    // Queues the filled slot and, with all three queued, waits for one back.
    // False (the stream closed, the failure kept) on failure.
    bool QueueFillSlot();
    // Waits until no more than `most` slots are outstanding: none, TimedOut
    // when the device hands none back for 2000 ms, or the device's failure.
    std::error_code WaitForSlots(std::uint64_t most);
    // Takes up the device's done count and underruns.
    void TakeDeviceNews();
    std::uint64_t Outstanding() const;
    // A failed write: keeps `error` and closes without flushing or waiting.
    bool FailWrite(std::error_code error);

    WaveDevice& device_;
    const Clock& clock_;

    // Only the writer's thread touches these.
    bool deviceOpen_ = false;
    int framesPerBuffer_ = 0;
    std::unique_ptr<std::int16_t[]> fill_;
    int writePosition_ = 0;  // samples in the fill slot
    std::uint64_t doneBase_ = 0;      // the device's counts when the stream opened
    std::uint64_t underrunBase_ = 0;

    mutable std::mutex mutex_;  // guards what follows
    bool open_ = false;
    bool restartPending_ = false;
    bool underflow_ = false;
    bool discard_ = false;  // close without flushing or waiting
    std::uint64_t submitted_ = 0;  // slots queued since open
    std::uint64_t done_ = 0;       // of those, handed back by the device
    std::error_code errorCode_;
};

}  // namespace sked
