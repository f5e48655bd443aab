#include "audio/onair_renderer.h"

#include <algorithm>
#include <chrono>
#include <cmath>
#include <numbers>

#include "audio/noise_source.h"

namespace sked {

namespace {

constexpr std::size_t kBlockSamples = 4096;  // half a second at most per hand-over
constexpr auto kSamplePeriod = std::chrono::microseconds(125);
// The bits are timed from the port's frames, so the oscillator's own bit clock is never used.
constexpr float kUnusedBaud = 45.45f;

}  // namespace

OnAirRenderer::OnAirRenderer(std::unique_ptr<OnAirRecording> recording, double markHz, double spaceHz)
    : recording_(std::move(recording)),
      oscillator_(phase_, kSampleRate, kUnusedBaud, (markHz + spaceHz) / 2.0, (spaceHz - markHz) / 2.0) {
    block_.reserve(kBlockSamples);
}

OnAirRenderer::OnAirRenderer(const std::string& path, double markHz, double spaceHz)
    : OnAirRenderer(std::make_unique<OnAirFile>(path, kSampleRate), markHz, spaceHz) {}

OnAirRenderer::~OnAirRenderer() {
    try {
        if (!finished_) Finish(std::max(lastEvent_, lastFrameEnd_));
    } catch (...) {
    }
    recording_->Close();
}

void OnAirRenderer::Begin(TimePoint start) {
    if (started_ || finished_) return;
    started_ = true;
    origin_ = start;
    lastEvent_ = std::max(lastEvent_, start);
    recording_->Begin(start);
}

TimePoint OnAirRenderer::SampleTime(std::int64_t n) const {
    return origin_ + std::chrono::duration_cast<Duration>(kSamplePeriod * n);
}

std::int64_t OnAirRenderer::FirstSampleAtOrAfter(TimePoint t) const {
    if (t <= origin_) return 0;
    const auto offset = std::chrono::duration_cast<std::chrono::nanoseconds>(t - origin_).count();
    const auto period = std::chrono::nanoseconds(kSamplePeriod).count();
    return (offset + period - 1) / period;
}

void OnAirRenderer::OnUartEvent(const UartEvent& event) {
    if (finished_) return;
    Begin(event.time);
    RenderUntil(event.time);
    lastEvent_ = std::max(lastEvent_, event.time);

    Line& line = lines_[event.base];
    switch (event.kind) {
    case UartEventKind::kMcr:
        if (event.keyOn && !line.keyed) line.keyedOrder = ++keyClosures_;
        line.keyed = event.keyOn;
        break;
    case UartEventKind::kBreak:
        line.breakOn = event.breakOn;
        break;
    case UartEventKind::kFrame:
        line.hasFrame = true;
        line.frame = event;
        lastFrameEnd_ = std::max(lastFrameEnd_, event.time + event.frameTime);
        break;
    default:
        break;
    }
    ChooseAudibleLine();
}

void OnAirRenderer::ChooseAudibleLine() {
    const Line* chosen = nullptr;
    for (const auto& [base, line] : lines_) {
        if (line.keyed && (!chosen || line.keyedOrder > chosen->keyedOrder)) chosen = &line;
    }
    audible_ = chosen;
}

bool OnAirRenderer::AtSpace(const Line& line, TimePoint t) const {
    if (line.breakOn) return true;
    if (!line.hasFrame) return false;
    const UartEvent& f = line.frame;
    if (t < f.time || t >= f.time + f.frameTime) return false;
    const long long bit = (t - f.time) / f.bitTime;
    return !FrameBitIsMark(f, bit);
}

void OnAirRenderer::RenderUntil(TimePoint t) {
    if (!started_ || finished_) return;
    const std::int64_t end = FirstSampleAtOrAfter(t);
    while (next_ < end) {
        // The line state holds until the next event: once the carrier has died away, silence to the end.
        if (!audible_ && envelope_.Silent()) {
            recording_->Silence(end - next_);
            next_ = end;
            return;
        }
        // Keyed, or dying away on the tone the key left it at.
        const bool keyed = audible_ != nullptr;
        // The break keys the Morse of the identification: its shifts glide over 5 ms, the bits' jump.
        bool glide = false;
        if (keyed) {
            lastSpace_ = AtSpace(*audible_, SampleTime(next_));
            glide = audible_->breakOn || lastBreak_;
            lastBreak_ = audible_->breakOn;
        }
        const double gain = envelope_.Next(keyed);
        const double tone = oscillator_.Next(lastSpace_, glide);
        block_.push_back(static_cast<std::int16_t>(std::lround(kSignalGain * gain * tone)));
        ++next_;
        if (block_.size() >= kBlockSamples || next_ == end || envelope_.Silent()) {
            recording_->Keyed(block_.data(), block_.size());
            block_.clear();
        }
    }
}

void OnAirRenderer::Finish(TimePoint end) {
    if (finished_) return;
    Begin(end);
    RenderUntil(end);
    finished_ = true;
    recording_->Close();
}

}  // namespace sked
