#include "audio/afsk_generator.h"

#include <algorithm>
#include <chrono>
#include <cmath>

namespace sked {

namespace {
constexpr std::chrono::milliseconds kShortestPump{5};
}  // namespace

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
      samples_(modulator_.BlockLength()),
      line_(modulator_.BlockLength()),
      pump_(loop, [this] { Pump(); }) {
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

void AfskGenerator::PutBreak(bool on) {
    const TimePoint now = loop_.clock().Now();
    std::lock_guard lock(queueLock_);
    breakEdges_.push_back({on, now});
}

void AfskGenerator::RenderNextBlock() {
    std::unique_lock lock(queueLock_);
    if (!queue_.empty()) {
        const std::uint32_t code = queue_.front();
        queue_.erase(queue_.begin());
        lock.unlock();
        // Text between two runs of Morse moves the later run in the sound.
        breakAnchor_.reset();
        modulator_.Render(code, block_);
    } else if (breakEdges_.empty() && !lineAtSpace_) {
        lock.unlock();
        modulator_.Render(0, block_);  // idle mark
    } else {
        FollowBreakEdges();
        lock.unlock();
        modulator_.RenderLine(line_, block_);
    }
    samplesRendered_ += static_cast<std::int64_t>(block_.size());
}

void AfskGenerator::FollowBreakEdges() {
    for (std::size_t i = 0; i < line_.size(); ++i) {
        const std::int64_t sample = samplesRendered_ + static_cast<std::int64_t>(i);
        while (!breakEdges_.empty() && SampleOf(breakEdges_.front()) <= sample) {
            lineAtSpace_ = breakEdges_.front().on;
            breakEdges_.pop_front();
        }
        line_[i] = lineAtSpace_ ? 1 : 0;
    }
}

std::int64_t AfskGenerator::SampleOf(const BreakEdge& edge) {
    if (!breakAnchor_) {
        const auto lead = static_cast<std::int64_t>(kBreakLeadBlocks) * static_cast<std::int64_t>(block_.size());
        breakAnchor_ = BreakAnchor{edge.at, samplesRendered_ + lead};
    }
    const std::chrono::duration<double> since = edge.at - breakAnchor_->at;
    return breakAnchor_->sample + std::llround(since.count() * sampleRate_);
}

void AfskGenerator::RequestStop() { stopRequested_ = true; }

std::error_code AfskGenerator::StartGenerator() {
    if (stage_ != Stage::NotStarted) return {};
    stopRequested_ = false;
    const std::error_code result = card_.OpenOutput(WaveFormat::Pcm16Mono(sampleRate_),
                                                    static_cast<int>(modulator_.BlockLength()), deviceIndex_);
    if (result) {
        stage_ = Stage::Ended;
        return result;
    }
    stage_ = Stage::Running;
    if (ownThread_) {
        thread_ = std::thread([this] { Run(); });
    } else {
        // Several rounds a block, so the device never runs dry between them.
        const auto block = std::chrono::milliseconds(1000 * static_cast<long long>(block_.size()) / sampleRate_);
        pump_.Every(std::max(block / 4, kShortestPump));
    }
    return {};
}

void AfskGenerator::ReportFailure(std::error_code error) {
    // Boxes and ending the transmission are the loop's business.
    loop_.Post([report = onFailure_, error, problem = device_.Problem()] {
        if (report) report(error, problem);
    });
}

void AfskGenerator::Run() {
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
    RenderNextBlock();
    std::copy(block_.begin(), block_.end(), samples_.begin());
    if (card_.WriteOutput(samples_.data(), static_cast<int>(samples_.size())) != static_cast<int>(samples_.size())) {
        // The transmission cannot go on without its tones: the loop ends it.
        ReportFailure(card_.GetErrorCode());
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
    if (NextBlockAt() == TimePoint::max()) pump_.Stop();
}

}  // namespace sked
