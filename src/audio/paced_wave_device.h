// Wave output without a sound card: `null` plays nothing, `wav:FILE` writes
// every submitted block to a WAV file as it is submitted. Either way the
// blocks are "played" at the pace of the station's clock, so the stream and
// the generator behind it run as they would on a card; on the simulated clock
// a waiter jumps straight to NextChange(). No thread: the device works out
// from the clock which blocks have ended whenever it is asked.
//
// The file is created at the first Open and kept across transmissions (each
// Open appends), so a day of bulletins ends up in one recording rather than
// each transmission replacing the one before.
#pragma once

#include <condition_variable>
#include <cstdint>
#include <deque>
#include <memory>
#include <mutex>
#include <string>

#include "platform/clock.h"
#include "audio/wav_file.h"
#include "audio/wave_device.h"

namespace sked {

class PacedWaveDevice : public WaveDevice {
public:
    // Writes to `wavPath`, or nothing when it is empty (the null device).
    explicit PacedWaveDevice(const Clock& clock, std::string wavPath = "");
    ~PacedWaveDevice() override;
    PacedWaveDevice(const PacedWaveDevice&) = delete;
    PacedWaveDevice& operator=(const PacedWaveDevice&) = delete;

    // The one device there is stands for the default (-1) and cards 0..3;
    // any other index names no device (SoundError::NoSuchDevice).
    std::error_code Open(const WaveFormat& format, int framesPerBuffer, int deviceIndex) override;
    std::error_code Submit(std::span<const std::int16_t> block) override;
    std::error_code Restart() override;
    std::error_code Reset() override;
    std::error_code Close() override;

    std::uint64_t BlocksDone() override;
    std::uint64_t Underruns() override;
    TimePoint NextChange() override;
    // Sleeps on the real clock for as long as the device's clock says is left
    // until min(NextChange(), deadline); Submit, Reset and Close from another
    // thread wake it.
    std::error_code WaitForChange(TimePoint deadline) override;

    std::string Problem() const override;

    // Samples written to the file so far (0 for the null device).
    std::uint64_t FramesWritten() const;

private:
    // Moves the blocks that have ended by `now` from pending to done.
    void CatchUp(TimePoint now);
    // Ends the queue: pending blocks count as done, a running gap as an underrun.
    void DiscardPending();
    Duration BlockDuration(std::size_t frames) const;
    // After a write to the file: true when the file has failed, the failure
    // noted (its error and message) the first time.
    bool NoteWavFailure();

    const Clock& clock_;
    const std::string wavPath_;
    mutable std::mutex mutex_;
    std::condition_variable changed_;
    std::unique_ptr<WavFile> wav_;

    bool open_ = false;
    bool paused_ = true;
    int rate_ = 8000;
    std::error_code error_;     // ends the device until the next Open
    std::error_code wavError_;  // the file failed: every later Open fails too
    std::string problem_;
    std::deque<Duration> pending_;  // lengths of the blocks not yet done, oldest first
    TimePoint headStart_{};         // when the oldest pending block began (while playing)
    bool starved_ = false;          // playing, and every block has ended
    std::uint64_t done_ = 0;
    std::uint64_t underruns_ = 0;
    std::uint64_t wakeups_ = 0;     // counts Submit/Reset/Close, for the waiter
};

}  // namespace sked
