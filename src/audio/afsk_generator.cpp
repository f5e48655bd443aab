#include "audio/afsk_generator.h"

#include <algorithm>

namespace sked {

AfskGenerator::AfskGenerator(EventLoop& loop, WaveDevice& device, PhaseAccumulator& phase,
                             const AfskSettings& settings, int deviceIndex, bool ownThread, StreamFailure onFailure)
    : loop_(loop),
      device_(device),
      ownThread_(ownThread),
      sampleRate_(settings.sampleRate),
      deviceIndex_(deviceIndex),
      onFailure_(std::move(onFailure)),
      modulator_(settings, phase),
      card_(device, loop.clock()),
      block_(modulator_.BlockLength()),
      samples_(modulator_.BlockLength()) {
    queue_.reserve(kQueueLength);
}

AfskGenerator::~AfskGenerator() {
    RequestStop();
    if (thread_.joinable()) thread_.join();
    card_.ResetOutputCounters();
    card_.CloseOutput();
}

void AfskGenerator::Put(int code) {
    std::lock_guard lock(queueLock_);
    if (static_cast<int>(queue_.size()) < kQueueLength) {
        queue_.push_back(static_cast<std::uint32_t>(code));
    } else {
        queue_.back() = static_cast<std::uint32_t>(code);
    }
}

void AfskGenerator::EmptyQueue() {
    std::lock_guard lock(queueLock_);
    queue_.clear();
}

int AfskGenerator::QueuedCodes() {
    std::lock_guard lock(queueLock_);
    return static_cast<int>(queue_.size());
}

std::vector<std::uint32_t> AfskGenerator::Queued() {
    std::lock_guard lock(queueLock_);
    return queue_;
}

std::uint32_t AfskGenerator::NextCode() {
    std::lock_guard lock(queueLock_);
    if (queue_.empty()) return 0;  // the idle block
    const std::uint32_t code = queue_.front();
    queue_.erase(queue_.begin());
    return code;
}

void AfskGenerator::RequestStop() { stopRequested_ = true; }

void AfskGenerator::StartGenerator() {
    if (stage_ != Stage::NotStarted) return;
    stage_ = Stage::Running;
    stopRequested_ = false;
    if (ownThread_) {
        thread_ = std::thread([this] { Run(); });
    } else if (!OpenStream()) {
        stage_ = Stage::Ended;
    }
}

bool AfskGenerator::OpenStream() {
    const int result = card_.OpenOutput(WaveFormat::Pcm16Mono(sampleRate_),
                                        static_cast<int>(modulator_.BlockLength()), deviceIndex_);
    if (result == 0) return true;
    ReportFailure(result, true);
    return false;
}

void AfskGenerator::ReportFailure(int code, bool opening) {
    // Boxes and switching the transmitter off are the loop's business.
    loop_.Post([report = onFailure_, code, problem = device_.Problem(), opening] {
        if (report) report(code, problem, opening);
    });
}

void AfskGenerator::Run() {
    if (!OpenStream()) return;
    while (Pass()) {
    }
}

bool AfskGenerator::Pass() {
    if (stopRequested_) {
        // Queued audio is discarded; nothing waits.
        card_.ResetOutputCounters();
        card_.CloseOutput();
        stage_ = Stage::Ended;
        return false;
    }
    modulator_.Render(NextCode(), block_);
    std::copy(block_.begin(), block_.end(), samples_.begin());
    if (card_.WriteOutput(samples_.data(), static_cast<int>(samples_.size())) != static_cast<int>(samples_.size())) {
        // The text goes on through the UART without audio.
        ReportFailure(card_.GetErrorCode(), false);
        card_.CloseOutput();
        stage_ = Stage::Ended;
        return false;
    }
    return true;
}

TimePoint AfskGenerator::NextBlockAt() {
    if (ownThread_ || stage_ != Stage::Running) return TimePoint::max();
    if (stopRequested_) return TimePoint::min();
    return card_.WriteReadyAt();
}

void AfskGenerator::Pump() {
    if (ownThread_) return;
    while (stage_ == Stage::Running && NextBlockAt() <= loop_.clock().Now()) Pass();
}

}  // namespace sked
