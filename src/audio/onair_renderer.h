// What an FSK transmitter keyed by the serial port would radiate, at 8000 Hz
// mono 16-bit: silence while the key line is off; while it is on, the mark
// tone when the data line is at mark (idle, stop bits, ones) and the space
// tone at space (start bits, zeros, break). The tones come from the AFSK
// generator's oscillator at the generator's level (kSignalGain), so the
// recording carries the waveform the sound card plays. One oscillator for the
// whole run, so the phase runs on across every shift; the shifts of the break
// (the Morse of the identification) glide over 5 ms; the carrier rises over
// 5 ms as the key closes and dies away over 5 ms after it opens (no clicks).
// Samples are produced as the port's events arrive and handed on in small
// blocks to the recording (one WAV file, or one per transmission), so runs of
// many days need no memory.
#pragma once

#include <cstdint>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include "audio/fsk_oscillator.h"
#include "audio/key_envelope.h"
#include "platform/clock.h"
#include "audio/onair_recording.h"
#include "serial/uart_timeline.h"

namespace sked {

class OnAirRenderer : public UartObserver {
public:
    static constexpr int kSampleRate = 8000;

    // Renders into `recording` (OpenOnAirRecording makes the one --onair names).
    explicit OnAirRenderer(std::unique_ptr<OnAirRecording> recording, double markHz = 2125.0,
                           double spaceHz = 2295.0);
    // Renders into one WAV file; throws std::runtime_error naming the file and
    // the reason when it cannot be created.
    explicit OnAirRenderer(const std::string& path, double markHz = 2125.0, double spaceHz = 2295.0);
    // Finishes at the last event, or at the end of the last frame if later.
    ~OnAirRenderer() override;
    OnAirRenderer(const OnAirRenderer&) = delete;
    OnAirRenderer& operator=(const OnAirRenderer&) = delete;

    // The time of the first sample (else the first event's time). Ignored
    // once rendering has begun.
    void Begin(TimePoint start);
    void OnUartEvent(const UartEvent& event) override;
    // Renders up to (not including) `end` and closes the recording; later events are ignored.
    void Finish(TimePoint end);

    // Samples rendered so far, silence included.
    std::int64_t samples() const { return next_; }
    // The first write failure ("" while all is well).
    const std::string& error() const { return recording_->error(); }
    // Told of each failure of the recording as it happens.
    void SetProblemReporter(OnAirRecording::ProblemReporter reporter) {
        recording_->SetProblemReporter(std::move(reporter));
    }

private:
    // One port's lines as the transmitter sees them.
    struct Line {
        bool keyed = false;
        bool breakOn = false;
        bool hasFrame = false;
        UartEvent frame;
        std::uint64_t keyedOrder = 0;  // later key closures win when several ports are keyed
    };

    TimePoint SampleTime(std::int64_t n) const;
    // Index of the first sample at or after `t`.
    std::int64_t FirstSampleAtOrAfter(TimePoint t) const;
    void RenderUntil(TimePoint t);
    bool AtSpace(const Line& line, TimePoint t) const;
    void ChooseAudibleLine();

    std::unique_ptr<OnAirRecording> recording_;
    PhaseAccumulator phase_;
    FskOscillator oscillator_;  // drives phase_
    KeyEnvelope envelope_{kSampleRate};
    bool lastSpace_ = false;  // the tone of the last keyed sample
    bool lastBreak_ = false;  // and whether the break held it

    bool started_ = false;
    bool finished_ = false;
    TimePoint origin_{};
    std::int64_t next_ = 0;  // index of the next sample to render
    TimePoint lastEvent_{};
    TimePoint lastFrameEnd_{};

    std::map<std::uint16_t, Line> lines_;
    const Line* audible_ = nullptr;
    std::uint64_t keyClosures_ = 0;

    std::vector<std::int16_t> block_;  // keyed samples on their way to the recording
};

}  // namespace sked
