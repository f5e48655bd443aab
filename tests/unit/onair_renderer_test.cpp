// The on-air rendering: what an FSK transmitter keyed by the emulated port radiates.
#include <algorithm>
#include <cmath>
#include <filesystem>
#include <numbers>
#include <optional>
#include <string>
#include <tuple>
#include <vector>

#include <sndfile.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include "platform/emulated_uart.h"
#include "platform/onair_renderer.h"
#include "platform/simulated_event_loop.h"

namespace sked {
namespace {

using namespace std::chrono;
using Stretch = std::pair<TimePoint, TimePoint>;

const TimePoint kStart = sys_days{2024y / March / 1} + 12h;

// Index of the first sample at or after `t`, at 8000 samples a second from kStart.
std::size_t SampleAt(TimePoint t) { return static_cast<std::size_t>(((t - kStart) / 1ns + 124'999) / 125'000); }

bool Within(const std::vector<Stretch>& list, std::size_t n) {
    return std::any_of(list.begin(), list.end(), 
                       [n](auto& s) { return SampleAt(s.first) <= n && n < SampleAt(s.second); });
}

// A continuous-phase FSK transmitter: silent unkeyed; from each key closure one oscillator
// from phase zero at -6 dBFS, 2295 Hz within `spaces` and 2125 Hz elsewhere.
std::vector<short> Radiated(std::size_t count, const std::vector<Stretch>& keyed, const std::vector<Stretch>& spaces) {
    std::vector<short> out(count);
    double phase = 0;
    for (std::size_t n = 0; n < count; ++n) {
        const bool on = Within(keyed, n);
        out[n] = on ? static_cast<short>(std::lround(16422 * std::sin(phase))) : 0;
        phase = on ? phase + 2 * std::numbers::pi * (Within(spaces, n) ? 2295 : 2125) / 8000 : 0;
    }
    return out;
}

// The start bit and the zero data bits of a frame are at space.
void AddSpaces(std::vector<Stretch>& spaces, const UartEvent& f) {
    for (int k = 0; k <= f.dataBits; ++k)
        if (k == 0 || !((f.value >> (k - 1)) & 1))
            spaces.push_back({f.time + k * f.bitTime, f.time + (k + 1) * f.bitTime});
}

class OnAirRendererTest : public ::testing::Test, public UartObserver {
public:
    void SetUp() override {
        renderer.emplace(path);
        renderer->Begin(kStart);
        port.AddObserver(&*renderer);
        port.AddObserver(this);
    }
    void TearDown() override { std::filesystem::remove(path); }
    void OnUartEvent(const UartEvent& e) override {
        if (e.kind == UartEventKind::kFrame) frames.push_back(e);
    }
    auto& At(Duration t) { return clock.AdvanceTo(kStart + t), *this; }
    auto& Program(std::uint16_t base, unsigned divisor, std::uint8_t lcr) {
        port.Out(base + uart::kLcr, static_cast<std::uint8_t>(uart::kLcrDlab | lcr));
        port.Out(base + uart::kThr, static_cast<std::uint8_t>(divisor & 0xFF));
        port.Out(base + uart::kIer, static_cast<std::uint8_t>(divisor >> 8));
        return port.Out(base + uart::kLcr, lcr), *this;
    }
    auto& Key(std::uint16_t base, bool on) { return port.Out(base + uart::kMcr, on ? uart::kMcrDtr : 0), *this; }
    auto& Break(std::uint16_t base, bool on) { return port.Out(base + uart::kLcr, on ? 0x44 : 0x04), *this; }
    auto& Send(std::uint16_t base, std::vector<std::uint8_t> codes) {
        for (std::uint8_t code : codes) {
            while (!(port.In(base + uart::kLsr) & uart::kLsrThre)) clock.AdvanceTo(port.NextChange(base + uart::kLsr));
            port.Out(base + uart::kThr, code);
        }
        return *this;
    }
    // Finishes at `end` (or, with none, by destroying the renderer) and reads the file.
    std::vector<short> Samples(std::optional<Duration> end = std::nullopt) {
        port.Sync();
        if (end) renderer->Finish(kStart + *end);
        renderer.reset();
        SNDFILE* file = sf_open(path.c_str(), SFM_READ, &info);
        std::vector<short> samples(static_cast<std::size_t>(info.frames));
        EXPECT_EQ(sf_read_short(file, samples.data(), info.frames), info.frames);
        sf_close(file);
        return samples;
    }

    const std::string path =
        (std::filesystem::temp_directory_path() / ("skedcast-onair-" + std::to_string(::getpid()) + ".wav")).string();
    SimulatedClock clock{kStart};
    EmulatedPortIo port{clock};
    std::vector<UartEvent> frames;
    std::optional<OnAirRenderer> renderer;
    SF_INFO info{};
};

void ExpectRadiated(const std::vector<short>& got, const std::vector<short>& expected) {
    ASSERT_EQ(got.size(), expected.size());
    for (std::size_t n = 0; n < got.size(); ++n)
        ASSERT_LE(std::abs(got[n] - expected[n]), 1) << "sample " << n << " at " << n / 8000.0 << " s";
}

TEST_F(OnAirRendererTest, OnlyTheKeyedPortIsHeardAndThePhaseRunsOnThroughEveryShift) {
    constexpr std::uint16_t kA = 0x3F8, kB = 0x2F8;
    Program(kA, 2534, 0x04).Program(kB, 2534, 0x04);
    At(100ms).Send(kB, {0x00});  // unkeyed: characters and break radiate nothing
    At(300ms).Break(kB, true).At(400ms).Break(kB, false);
    At(1s).Key(kA, true).At(1100ms).Send(kB, {0x00});  // B's character while A holds the air
    At(3s).Break(kA, true).At(5s).Break(kA, false);  // a Morse element by break
    At(5900ms).Key(kA, false).At(6500ms).Key(kB, true);
    At(6700ms).Send(kB, {0x00}).At(6900ms).Send(kA, {0x00});
    const auto samples = Samples(7500ms);
    EXPECT_EQ(std::tuple(info.samplerate, info.channels, info.format),
              std::tuple(8000, 1, SF_FORMAT_WAV | SF_FORMAT_PCM_16));
    std::vector<Stretch> spaces = {{kStart + 3s, kStart + 5s}};
    AddSpaces(spaces, frames.at(2));
    const std::vector<Stretch> keyed = {{kStart + 1s, kStart + 5900ms}, {kStart + 6500ms, kStart + 7500ms}};
    ExpectRadiated(samples, Radiated(60000, keyed, spaces));  // the second stretch starts at phase zero again
}

TEST_F(OnAirRendererTest, FramesGoOnAirWithTheirExactBitTiming) {
    Program(0x2F8, 2534, 0x04).At(500ms).Key(0x2F8, true);
    At(1s + 37us).Send(0x2F8, {0x00, 0x01, 0x1E, 0x1F});  // a null (6 x 22 ms at space) between two samples
    At(2s + 411us).Program(0x2F8, 384, 0x07).Send(0x2F8, {0x55, 0xC2});  // ASCII at 300 baud
    At(2500ms).Program(0x2F8, 1047, 0x07).Send(0x2F8, {0x0F});           // and at 110
    const auto samples = Samples(3s);
    ASSERT_EQ(frames.size(), 7u);
    std::vector<Stretch> spaces;
    for (const auto& f : frames) AddSpaces(spaces, f);
    ExpectRadiated(samples, Radiated(24000, {{kStart + 500ms, kStart + 3s}}, spaces));
}

TEST_F(OnAirRendererTest, WritesAsItGoesAndEndsWithTheLastCharacterByItself) {
    Program(0x2F8, 2534, 0x04).Key(0x2F8, true);
    for (int i = 1; i < 60; ++i) At(i * 1s).Break(0x2F8, i % 2 == 1);
    At(60s).Send(0x2F8, {0x1F});
    EXPECT_GE(std::filesystem::file_size(path), 44u + 2u * (60u * 8000u - 4096u));  // on disk, not in memory
    EXPECT_EQ(Samples().size(), SampleAt(frames[0].time + frames[0].frameTime));  // destroyed without Finish
}

}  // namespace
}  // namespace sked
