#include "audio/psk31_sound.h"

#include <algorithm>

namespace sked {

Psk31Sound::Psk31Sound(EventLoop& loop, WaveDevice& device, bool ownThread, StreamFailure onFailure)
    : loop_(loop),
      device_(device),
      ownThread_(ownThread),
      onFailure_(std::move(onFailure)),
      card_(device, loop.clock()),
      block_(Psk31Modulator::kSymbolSamples),
      samples_(Psk31Modulator::kSymbolSamples),
      pump_(loop, [this] { Pump(); }) {}

Psk31Sound::~Psk31Sound() { CloseCard(); }

std::error_code Psk31Sound::OpenCard(int soundCard) {
    CloseCard();
    const int slot = static_cast<int>(Psk31Modulator::kSymbolSamples) * (ownThread_ ? kSymbolsPerSlot : 1);
    const std::error_code result =
        card_.OpenOutput(WaveFormat::Pcm16Mono(Psk31Modulator::kSampleRate), slot, soundCard);
    if (result) {
        problem_ = device_.Problem();
        if (problem_.empty()) problem_ = "sound card " + std::to_string(soundCard) + ": " + result.message();
        card_.CloseOutput();
        return result;
    }
    problem_.clear();
    open_ = true;
    carrierOn_ = false;
    modulator_ = Psk31Modulator();
    {
        std::lock_guard guard(lock_);
        waiting_.clear();
        stop_ = false;
        failed_ = false;
    }
    if (ownThread_) thread_ = std::thread([this] { Run(); });
    return {};
}

void Psk31Sound::StopThread() {
    {
        std::lock_guard guard(lock_);
        stop_ = true;
    }
    wake_.notify_all();
    if (thread_.joinable()) thread_.join();
}

void Psk31Sound::CloseCard() {
    if (!open_) return;
    StopThread();
    pump_.Stop();
    // What is still queued is discarded: the mode has changed.
    card_.ResetOutputCounters();
    card_.CloseOutput();
    open_ = false;
    carrierOn_ = false;
    std::lock_guard guard(lock_);
    waiting_.clear();
}

void Psk31Sound::Play(std::span<const PskSymbol> symbols, int frequency) {
    if (!open_) return;
    bool wake = false;
    {
        std::lock_guard guard(lock_);
        if (failed_) return;
        for (const PskSymbol symbol : symbols) {
            if (symbol == PskSymbol::CarrierOff) {
                if (!carrierOn_) continue;
                carrierOn_ = false;
            } else if (!carrierOn_) {
                carrierOn_ = true;
                for (int i = 0; i < kLeadInBlocks; ++i) waiting_.push_back(Block{symbol, frequency, true});
            }
            waiting_.push_back(Block{symbol, frequency, false});
            wake = wake || symbol == PskSymbol::CarrierOff;
        }
        wake = wake || waiting_.size() >= static_cast<std::size_t>(kSymbolsPerSlot);
    }
    // The thread is woken for a slot's worth or the end, not for every batch.
    if (ownThread_ && wake) wake_.notify_all();
    else if (!ownThread_ && !pump_.Running()) pump_.At(loop_.clock().Now());
}

std::string Psk31Sound::Problem() const { return problem_; }

std::size_t Psk31Sound::Waiting() {
    std::lock_guard guard(lock_);
    return waiting_.size();
}

bool Psk31Sound::Write(const Block& block) {
    if (block.silent) Psk31Modulator::RenderSilence(block_);
    else modulator_.Render(block.symbol, block.frequency, block_);
    std::copy(block_.begin(), block_.end(), samples_.begin());
    const int count = static_cast<int>(samples_.size());
    // The end of the carrier is not held back for a slot that would fill only with the next transmission.
    const bool end = !block.silent && block.symbol == PskSymbol::CarrierOff;
    if (card_.WriteOutput(samples_.data(), count) == count && (!end || card_.FlushOutput())) return true;
    {
        std::lock_guard guard(lock_);
        failed_ = true;
        waiting_.clear();
    }
    // The loop decides what the station does without its sound.
    loop_.Post([report = onFailure_, error = card_.GetErrorCode(), problem = device_.Problem()] {
        if (report) report(error, problem);
    });
    return false;
}

void Psk31Sound::Run() {
    for (;;) {
        Block block{};
        {
            std::unique_lock guard(lock_);
            wake_.wait(guard, [this] { return stop_ || !waiting_.empty(); });
            if (stop_ || failed_) return;
            block = waiting_.front();
            waiting_.pop_front();
        }
        if (!Write(block)) return;
    }
}

void Psk31Sound::Pump() {
    if (ownThread_ || !open_) return;
    for (;;) {
        Block block{};
        {
            std::lock_guard guard(lock_);
            if (failed_ || waiting_.empty()) return;
            block = waiting_.front();
        }
        // Blocks wait for the device: the timer comes back when it can take one (or at the next Play).
        if (const TimePoint ready = card_.WriteReadyAt(); ready > loop_.clock().Now()) {
            if (ready != TimePoint::max()) pump_.At(ready);
            return;
        }
        {
            std::lock_guard guard(lock_);
            waiting_.pop_front();
        }
        if (!Write(block)) return;
    }
}

}  // namespace sked
