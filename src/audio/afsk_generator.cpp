#include "audio/afsk_generator.h"

#include <algorithm>
#include <chrono>
#include <cmath>
#include <optional>

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
      block_(std::max(modulator_.MaxBlockLength(), modulator_.FadeOutLength())),
      line_(block_.size()),
      pump_(loop, [this] { Pump(); }) {
    queue_.reserve(kQueueLength);
}

AfskGenerator::~AfskGenerator() {
    abandoned_ = true;
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

std::size_t AfskGenerator::RenderNextBlock() {
    const std::size_t length = modulator_.NextBlockLength();
    const std::span<std::int16_t> block(block_.data(), length);
    std::unique_lock lock(queueLock_);
    if (!queue_.empty()) {
        const std::uint32_t code = queue_.front();
        queue_.erase(queue_.begin());
        lock.unlock();
        // Text between two runs of Morse moves the later run in the sound.
        breakAnchor_.reset();
        modulator_.Render(code, block);
    } else if (breakEdges_.empty() && !lineAtSpace_) {
        lock.unlock();
        modulator_.Render(0, block);  // idle mark
    } else {
        FollowBreakEdges(length);
        lock.unlock();
        modulator_.RenderLine(std::span<const std::uint8_t>(line_.data(), length), block);
    }
    samplesRendered_ += static_cast<std::int64_t>(length);
    return length;
}

void AfskGenerator::FollowBreakEdges(std::size_t length) {
    // The sample of the edge in front, worked out once per edge rather than per sample.
    std::optional<std::int64_t> due;
    for (std::size_t i = 0; i < length; ++i) {
        const std::int64_t sample = samplesRendered_ + static_cast<std::int64_t>(i);
        while (!breakEdges_.empty()) {
            if (!due) due = SampleOf(breakEdges_.front());
            if (*due > sample) break;
            lineAtSpace_ = breakEdges_.front().on;
            breakEdges_.pop_front();
            due.reset();
        }
        line_[i] = lineAtSpace_ ? 1 : 0;
    }
}

std::int64_t AfskGenerator::SampleOf(const BreakEdge& edge) {
    if (!breakAnchor_) {
        const auto lead =
            static_cast<std::int64_t>(kBreakLeadBlocks) * static_cast<std::int64_t>(modulator_.BlockLength());
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
        const auto block =
            std::chrono::milliseconds(1000 * static_cast<long long>(modulator_.BlockLength()) / sampleRate_);
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
    if (abandoned_) {
        CloseAtOnce();
        return false;
    }
    if (stage_ == Stage::Running && stopRequested_) stage_ = Stage::FadingOut;
    if (stage_ != Stage::Running) return EndSound();
    return Write(RenderNextBlock());
}

bool AfskGenerator::Write(std::size_t length) {
    if (card_.WriteOutput(block_.data(), static_cast<int>(length)) == static_cast<int>(length)) return true;
    // The transmission cannot go on without its tones: the loop ends it.
    ReportFailure(card_.GetErrorCode());
    card_.CloseOutput();
    stage_ = Stage::Ended;
    return false;
}

bool AfskGenerator::EndSound() {
    if (stage_ == Stage::FadingOut) {
        const std::size_t length = modulator_.FadeOutLength();
        modulator_.RenderFadeOut(std::span(block_.data(), length));
        if (!Write(length)) return false;
        stage_ = Stage::Flushing;
        return true;
    }
    if (ownThread_) {
        card_.CloseOutput();  // plays the last slot out; this thread waits, nobody else
    } else {
        // One slot queued per pass, as the loop's pump expects; the device has it from here.
        card_.FlushOutput();
        card_.ResetOutputCounters();
        card_.CloseOutput();
    }
    stage_ = Stage::Ended;
    return false;
}

void AfskGenerator::CloseAtOnce() {
    // Queued audio is discarded; nothing waits.
    card_.ResetOutputCounters();
    card_.CloseOutput();
    stage_ = Stage::Ended;
}

TimePoint AfskGenerator::NextBlockAt() {
    if (ownThread_ || stage_ == Stage::NotStarted || stage_ == Stage::Ended) return TimePoint::max();
    if (abandoned_) return TimePoint::min();
    return card_.WriteReadyAt();
}

void AfskGenerator::Pump() {
    if (ownThread_) return;
    while (NextBlockAt() <= loop_.clock().Now()) Pass();
    if (NextBlockAt() == TimePoint::max()) pump_.Stop();
}

}  // namespace sked
