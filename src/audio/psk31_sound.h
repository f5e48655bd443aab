// The PSK31 modem's sound card: while PSK31 is the mode the modem owns the
// card (the AFSK generator is not used), and every symbol the modem sends
// becomes one block of the BPSK31 waveform on it. Each transmission starts
// with two blocks of silence, so that the card always has a symbol in hand
// while the loop hands it the next.
//
// On the real clock a thread of its own renders and writes the blocks (the
// card's writes block on the device's pace). The modem hands it its symbols
// kSymbolsAhead before their time, in batches, and the card takes them
// kSymbolsPerSlot at a time: the thread and the card wake a few times a
// second, not at every symbol. The end of a transmission goes to the card at
// once. On the simulated clock no thread runs: a timer of the loop renders
// the blocks the device can take by then, a symbol a slot, so a simulated
// run gives the same audio every time. Symbols cross into the thread one
// way, under a lock; failures are posted to the loop.
#pragma once

#include <condition_variable>
#include <cstdint>
#include <deque>
#include <functional>
#include <mutex>
#include <string>
#include <system_error>
#include <thread>
#include <vector>

#include "audio/psk31_modulator.h"
#include "audio/sound_card.h"
#include "platform/event_loop.h"
#include "audio/wave_device.h"
#include "audio/psk_sound.h"

namespace sked {

class Psk31Sound : public PskSound {
public:
    // Told on the loop's thread when the card fails in the middle of the
    // audio: the stream's failure and the device's account of it.
    using StreamFailure = std::function<void(std::error_code error, const std::string& problem)>;
    static constexpr int kLeadInBlocks = 2;
    // On a thread of its own: symbols in one slot of the card (the thread
    // is woken when a slot's worth waits, or the end), and how far ahead of
    // their time the modem is to hand them on. The modem tops up when half
    // of that is left: by then at least two slots wait ahead of the one
    // playing, whatever part of a slot the thread holds back.
    static constexpr int kSymbolsPerSlot = 8;
    static constexpr int kSymbolsAhead = 5 * kSymbolsPerSlot;

    Psk31Sound(EventLoop& loop, WaveDevice& device, bool ownThread, StreamFailure onFailure);
    ~Psk31Sound() override;
    Psk31Sound(const Psk31Sound&) = delete;
    Psk31Sound& operator=(const Psk31Sound&) = delete;

    std::error_code OpenCard(int soundCard) override;
    void CloseCard() override;
    using PskSound::Play;
    void Play(std::span<const PskSymbol> symbols, int frequency) override;
    std::string Problem() const override;

    // On the simulated clock: renders and writes every block the device can
    // take now (its timer calls it when the device can take one).
    void Pump();
    // Blocks waiting to be rendered (lead-in and symbols).
    std::size_t Waiting();

private:
    struct Block {
        PskSymbol symbol;
        int frequency;
        bool silent;
    };
    // One block to the card: false when the card failed (reported).
    bool Write(const Block& block);
    void Run();
    void StopThread();

    EventLoop& loop_;
    WaveDevice& device_;
    const bool ownThread_;
    StreamFailure onFailure_;
    SoundCard card_;
    Psk31Modulator modulator_;
    std::vector<std::int16_t> block_;
    std::vector<double> samples_;
    std::string problem_;
    bool open_ = false;
    bool carrierOn_ = false;  // the loop's view: a transmission's symbols are coming

    std::mutex lock_;
    std::condition_variable wake_;
    std::deque<Block> waiting_;  // guarded by lock_
    bool stop_ = false;          // guarded by lock_
    bool failed_ = false;        // guarded by lock_
    std::thread thread_;
    Timer pump_;  // drives Pump() on the simulated clock
};

}  // namespace sked
