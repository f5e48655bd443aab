#include "platform/onair_renderer.h"

#include <algorithm>
#include <chrono>
#include <cmath>
#include <numbers>
#include <stdexcept>

namespace sked {

namespace {

constexpr std::size_t kChunkSamples = 4096;  // half a second per write
constexpr auto kSamplePeriod = std::chrono::microseconds(125);
constexpr double kTwoPi = 2.0 * std::numbers::pi;

}  // namespace

OnAirRenderer::OnAirRenderer(const std::string& path, double markHz, double spaceHz)
    : path_(path), markStep_(kTwoPi * markHz / kSampleRate), spaceStep_(kTwoPi * spaceHz / kSampleRate) {
    SF_INFO info{};
    info.samplerate = kSampleRate;
    info.channels = 1;
    info.format = SF_FORMAT_WAV | SF_FORMAT_PCM_16;
    file_ = sf_open(path.c_str(), SFM_WRITE, &info);
    if (!file_) {
        throw std::runtime_error("cannot create on-air audio file " + path + ": " + sf_strerror(nullptr));
    }
    // Keep the header true after every chunk: a station that is killed still
    // leaves a playable file.
    sf_command(file_, SFC_SET_UPDATE_HEADER_AUTO, nullptr, SF_TRUE);
    chunk_.reserve(kChunkSamples);
}

OnAirRenderer::~OnAirRenderer() {
    try {
        if (!finished_) Finish(std::max(lastEvent_, lastFrameEnd_));
    } catch (...) {
    }
    Close();
}

void OnAirRenderer::Begin(TimePoint start) {
    if (started_ || finished_) return;
    started_ = true;
    origin_ = start;
    lastEvent_ = std::max(lastEvent_, start);
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
        if (!audible_) {
            phase_ = 0.0;
            Put(0);
            ++next_;
            continue;
        }
        const bool space = AtSpace(*audible_, SampleTime(next_));
        Put(static_cast<std::int16_t>(std::lround(kAmplitude * std::sin(phase_))));
        phase_ += space ? spaceStep_ : markStep_;
        if (phase_ >= kTwoPi) phase_ -= kTwoPi;
        ++next_;
    }
}

void OnAirRenderer::Put(std::int16_t sample) {
    chunk_.push_back(sample);
    if (chunk_.size() >= kChunkSamples) WriteChunk();
}

void OnAirRenderer::WriteChunk() {
    if (chunk_.empty()) return;
    if (file_ && error_.empty()) {
        const auto count = static_cast<sf_count_t>(chunk_.size());
        if (sf_write_short(file_, chunk_.data(), count) != count) {
            error_ = "cannot write on-air audio file " + path_ + ": " + sf_strerror(file_);
        }
    }
    chunk_.clear();
}

void OnAirRenderer::Finish(TimePoint end) {
    if (finished_) return;
    Begin(end);
    RenderUntil(end);
    WriteChunk();
    finished_ = true;
    Close();
}

void OnAirRenderer::Close() {
    if (file_) {
        sf_close(file_);
        file_ = nullptr;
    }
}

}  // namespace sked
