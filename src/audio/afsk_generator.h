// The AFSK tone generator of one transmission in the teleprinter modes: every
// code the sender puts on the UART is queued here too and goes to the sound
// card as one block of tones; with nothing queued a block of steady mark
// keeps the audio unbroken while the transmitter is on.
//
// The card is taken on the caller's thread as the generator starts. On the
// real clock a thread of its own then renders and writes the blocks (the
// sound card's writes block on the device's pace). On the simulated clock no
// thread runs: a timer of the station's loop renders the blocks the device
// can take by then, so a simulated run gives the same audio every time. Codes cross into the generator one way, under the queue's lock;
// everything else it reads is a snapshot taken when it was made.
//
// Asked to stop, the generator ends the sound with a fade-out after what it
// has written. On its own thread it then lets the device play it all out
// before closing (the key is long up: the tones run on for an afterglow);
// on the loop's clock the devices have taken it whole already. Destroyed,
// it stops at once.
//
// The Morse of the identification (the break condition holding the line at
// space) arrives as edges stamped with the clock. The sound plays some
// blocks behind the clock, so the first edge of a run is placed a fixed
// lead after the block being rendered, and every later edge at its own
// distance from that one: the elements keep their lengths to the sample.
#pragma once

#include <atomic>
#include <cstdint>
#include <deque>
#include <functional>
#include <mutex>
#include <optional>
#include <string>
#include <system_error>
#include <thread>
#include <vector>

#include "audio/afsk_modulator.h"
#include "audio/sound_card.h"
#include "platform/event_loop.h"
#include "audio/wave_device.h"
#include "audio/tone_generator.h"

namespace sked {

class AfskGenerator : public ToneGenerator {
public:
    // The queue holds 99 codes; a full queue keeps its first 98 and replaces the last.
    static constexpr int kQueueLength = 99;
    // Told on the loop's thread when the sound card fails in the middle of
    // the audio: the stream's failure and the device's own account of it.
    using StreamFailure = std::function<void(std::error_code error, const std::string& problem)>;

    // `deviceIndex`: -1 the default device, 0..3 the first to fourth card,
    // anything else no device (the open then fails with SoundError::NoSuchDevice).
    AfskGenerator(EventLoop& loop, WaveDevice& device, PhaseAccumulator& phase, const AfskSettings& settings,
                  int deviceIndex, bool ownThread, StreamFailure onFailure);
    ~AfskGenerator() override;
    AfskGenerator(const AfskGenerator&) = delete;
    AfskGenerator& operator=(const AfskGenerator&) = delete;

    // The queue never refuses a code: the line sets the pace.
    void Put(int code) override;

    std::error_code StartGenerator() override;
    std::string Problem() const override { return device_.Problem(); }
    // Drops the codes; the break edges stay, so the line never stays at space.
    void EmptyQueue() override;
    void RequestStop() override;
    void PutBreak(bool on) override;
    // On the simulated clock: renders and writes every block the device can take now.
    void Pump();
    // When Pump() has work next (TimePoint::max() when it has none).
    TimePoint NextBlockAt();

    // The codes waiting, oldest first.
    std::vector<std::uint32_t> Queued();
    int QueuedCodes();
    std::size_t BlockLength() const { return modulator_.BlockLength(); }

    // Blocks between the clock and the sound: the device's ring and the block being rendered.
    static constexpr int kBreakLeadBlocks = 4;

private:
    enum class Stage { NotStarted, Running, FadingOut, Flushing, Ended };
    struct BreakEdge {
        bool on;
        TimePoint at;
    };
    // Where a run of break edges begins: the clock at its first edge and the
    // sample that edge was given.
    struct BreakAnchor {
        TimePoint at;
        std::int64_t sample;
    };

    void ReportFailure(std::error_code error);
    // One block: false when the generator has ended (stopped, or the write failed).
    bool Pass();
    // The first `length` samples of block_ to the card: false when the write failed.
    bool Write(std::size_t length);
    // What the stream's end needs next: the fade-out, then the last slot.
    bool EndSound();
    void CloseAtOnce();
    void Run();
    // The next block into block_: a queued code, the Morse, or idle mark. Returns its length.
    std::size_t RenderNextBlock();
    // Fills the first `length` of line_ from the break edges due within the next block. Under the queue's lock.
    void FollowBreakEdges(std::size_t length);
    std::int64_t SampleOf(const BreakEdge& edge);

    EventLoop& loop_;
    WaveDevice& device_;
    const bool ownThread_;
    const int sampleRate_;
    const int deviceIndex_;
    StreamFailure onFailure_;
    AfskModulator modulator_;
    SoundCard card_;
    std::vector<std::int16_t> block_;

    std::mutex queueLock_;
    std::vector<std::uint32_t> queue_;  // guarded by queueLock_
    std::deque<BreakEdge> breakEdges_;  // guarded by queueLock_
    std::atomic<bool> stopRequested_{false};
    std::atomic<bool> abandoned_{false};  // stop at once, without the fade-out

    // The generator's own thread (or the loop's):
    Stage stage_ = Stage::NotStarted;
    std::int64_t samplesRendered_ = 0;
    bool lineAtSpace_ = false;
    std::optional<BreakAnchor> breakAnchor_;
    std::vector<std::uint8_t> line_;  // one block of the line, 1 at space
    std::thread thread_;
    Timer pump_;  // drives Pump() on the simulated clock
};

}  // namespace sked
