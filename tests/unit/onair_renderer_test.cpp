// The on-air rendering: what an FSK transmitter keyed by the port radiates.
#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstdlib>
#include <filesystem>
#include <numbers>
#include <optional>
#include <random>
#include <set>
#include <stdexcept>
#include <string>
#include <vector>

#include <sndfile.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include "platform/emulated_uart.h"
#include "platform/onair_renderer.h"
#include "platform/simulated_event_loop.h"
#include "platform/uart_frame.h"

namespace sked {
namespace {

using namespace std::chrono;
using namespace std::chrono_literals;

constexpr double kRate = 8000.0;
constexpr auto kSample = 125us;
const TimePoint kStart = sys_days{2024y / March / 1} + 12h;

struct Wav {
    SF_INFO info{};
    std::vector<short> samples;
};

Wav ReadWav(const std::filesystem::path& path) {
    Wav wav;
    SNDFILE* file = sf_open(path.c_str(), SFM_READ, &wav.info);
    if (!file) throw std::runtime_error("cannot read " + path.string() + ": " + sf_strerror(nullptr));
    wav.samples.resize(static_cast<std::size_t>(wav.info.frames));
    const sf_count_t got = sf_read_short(file, wav.samples.data(), wav.info.frames);
    sf_close(file);
    wav.samples.resize(static_cast<std::size_t>(got));
    return wav;
}

// Index of the first sample at or after `t`, for a file starting at `origin`.
std::size_t SampleAt(TimePoint origin, TimePoint t) {
    const auto offset = duration_cast<nanoseconds>(t - origin).count();
    const auto period = duration_cast<nanoseconds>(kSample).count();
    return static_cast<std::size_t>((offset + period - 1) / period);
}

UartEvent Mcr(TimePoint t, bool keyOn, std::uint16_t base = 0x2F8) {
    UartEvent e;
    e.kind = UartEventKind::kMcr;
    e.time = t;
    e.base = base;
    e.value = keyOn ? 0x01 : 0x00;
    e.keyOn = keyOn;
    return e;
}

UartEvent Break(TimePoint t, bool on, std::uint16_t base = 0x2F8) {
    UartEvent e;
    e.kind = UartEventKind::kBreak;
    e.time = t;
    e.base = base;
    e.breakOn = on;
    return e;
}

UartEvent Frame(TimePoint t, std::uint8_t code, unsigned divisor, std::uint8_t lcr, std::uint16_t base = 0x2F8) {
    UartEvent e;
    e.kind = UartEventKind::kFrame;
    e.time = t;
    e.base = base;
    e.value = code;
    e.divisor = divisor;
    e.lcr = lcr;
    e.dataBits = 5 + (lcr & 3);
    e.stopHalfBits = (lcr & 4) ? (e.dataBits == 5 ? 3 : 4) : 2;
    e.bitTime = BitTime(divisor);
    e.frameTime = FrameTime(divisor, lcr);
    e.baud = BaudOf(divisor);
    return e;
}

// Follows the transmitter's oscillator from a key closure at sample `from`
// (phase zero there) to sample `to`, and returns for each sample offset m the
// number of samples from..from+m-1 that were at the space tone. Each step must
// match one of the two tones to within rounding: a phase jump or a wrong tone
// leaves no way through. A hypothesis is the space count so far, since the
// phase follows from it.
std::vector<int> SpaceCounts(const std::vector<short>& s, std::size_t from, std::size_t to, double markHz = 2125,
                             double spaceHz = 2295) {
    const double mark = 2 * std::numbers::pi * markHz / kRate;
    const double space = 2 * std::numbers::pi * spaceHz / kRate;
    const std::size_t steps = to - from;
    std::vector<std::set<int>> alive(steps + 1);
    std::set<int> candidates{0};
    for (std::size_t m = 0; m <= steps; ++m) {
        for (int ns : candidates) {
            const double phase = static_cast<double>(static_cast<long long>(m) - ns) * mark + ns * space;
            if (std::abs(OnAirRenderer::kAmplitude * std::sin(phase) - s[from + m]) <= 0.5 + 1e-6) alive[m].insert(ns);
        }
        if (alive[m].empty()) {
            ADD_FAILURE() << "no tone fits sample " << from + m << " (" << s[from + m] << ")";
            return {};
        }
        candidates.clear();
        for (int ns : alive[m]) {
            candidates.insert(ns);
            candidates.insert(ns + 1);
        }
    }
    std::vector<int> counts(steps + 1);
    counts[steps] = *alive[steps].begin();
    for (std::size_t m = steps; m > 0; --m) {
        const int here = counts[m];
        counts[m - 1] = alive[m - 1].count(here) ? here : here - 1;
        if (!alive[m - 1].count(counts[m - 1])) {
            ADD_FAILURE() << "broken path at sample " << from + m - 1;
            return {};
        }
    }
    return counts;
}

// Upward zero crossings per second over samples [from, to).
double CrossingRate(const std::vector<short>& s, std::size_t from, std::size_t to) {
    int crossings = 0;
    for (std::size_t i = from + 1; i < to; ++i)
        if (s[i - 1] < 0 && s[i] >= 0) ++crossings;
    return crossings * kRate / static_cast<double>(to - from);
}

bool AllSilent(const std::vector<short>& s, std::size_t from, std::size_t to) {
    return std::all_of(s.begin() + static_cast<long>(from), s.begin() + static_cast<long>(to),
                       [](short v) { return v == 0; });
}

class OnAirRendererTest : public ::testing::Test {
protected:
    void SetUp() override {
        const auto* info = ::testing::UnitTest::GetInstance()->current_test_info();
        dir_ = std::filesystem::temp_directory_path() /
               ("skedcast-" + std::string(info->name()) + "-" + std::to_string(::getpid()));
        std::filesystem::remove_all(dir_);
        std::filesystem::create_directories(dir_);
        wavPath = (dir_ / "onair.wav").string();
    }
    void TearDown() override { std::filesystem::remove_all(dir_); }

    // For a frame, checks bit by bit that exactly the samples falling in its
    // space bits (start bit, zero data bits) were at the space tone.
    void ExpectFrameOnAir(const std::vector<int>& counts, std::size_t keyedAt, const UartEvent& f) {
        const int bits = 1 + f.dataBits + 1;  // start, data, first stop bit
        for (int k = 0; k < bits; ++k) {
            const TimePoint from = f.time + k * f.bitTime;
            const TimePoint to = f.time + (k + 1) * f.bitTime;
            const bool space = k == 0 || (k <= f.dataBits && ((f.value >> (k - 1)) & 1) == 0);
            const std::size_t a = SampleAt(kStart, from), b = SampleAt(kStart, to);
            const int expected = space ? static_cast<int>(b - a) : 0;
            EXPECT_EQ(counts[b - keyedAt] - counts[a - keyedAt], expected)
                << "bit " << k << " of frame 0x" << std::hex << int(f.value);
        }
    }

    std::string wavPath;

private:
    std::filesystem::path dir_;
};

TEST_F(OnAirRendererTest, FileIs8kHzMono16BitAndSilentWhileUnkeyed) {
    {
        OnAirRenderer renderer(wavPath);
        renderer.Begin(kStart);
        // Characters and break with the transmitter unkeyed radiate nothing.
        renderer.OnUartEvent(Frame(kStart + 100ms, 0x00, 2534, 0x04));
        renderer.OnUartEvent(Break(kStart + 500ms, true));
        renderer.OnUartEvent(Break(kStart + 1s, false));
        renderer.OnUartEvent(Mcr(kStart + 1s, false));
        renderer.Finish(kStart + 2s);
    }
    const Wav wav = ReadWav(wavPath);
    EXPECT_EQ(wav.info.samplerate, 8000);
    EXPECT_EQ(wav.info.channels, 1);
    EXPECT_EQ(wav.info.format, SF_FORMAT_WAV | SF_FORMAT_PCM_16);
    ASSERT_EQ(wav.samples.size(), 16000u);
    EXPECT_TRUE(AllSilent(wav.samples, 0, wav.samples.size()));
}

TEST_F(OnAirRendererTest, MarkAndSpaceTonesAtAboutMinus6dBFS) {
    {
        OnAirRenderer renderer(wavPath);
        renderer.Begin(kStart);
        renderer.OnUartEvent(Mcr(kStart + 1s, true));      // 1..3 s: idle mark
        renderer.OnUartEvent(Break(kStart + 3s, true));    // 3..5 s: break, space
        renderer.OnUartEvent(Break(kStart + 5s, false));   // 5..6 s: mark
        renderer.OnUartEvent(Mcr(kStart + 6s, false));     // 6..7 s: silence
        renderer.Finish(kStart + 7s);
    }
    const Wav wav = ReadWav(wavPath);
    const auto& s = wav.samples;
    ASSERT_EQ(s.size(), 56000u);
    EXPECT_TRUE(AllSilent(s, 0, 8000));
    EXPECT_TRUE(AllSilent(s, 48000, 56000));
    EXPECT_NEAR(CrossingRate(s, 8000, 24000), 2125.0, 1.0);
    EXPECT_NEAR(CrossingRate(s, 24000, 40000), 2295.0, 1.0);
    EXPECT_NEAR(CrossingRate(s, 40000, 48000), 2125.0, 1.0);

    const short peak = *std::max_element(s.begin(), s.end());
    EXPECT_NEAR(20 * std::log10(peak / 32768.0), -6.0, 0.2);
    double power = 0;
    for (std::size_t i = 8000; i < 48000; ++i) power += double(s[i]) * s[i];
    EXPECT_NEAR(std::sqrt(power / 40000) * std::sqrt(2.0), peak, peak * 0.01);  // a steady sine

    // The oscillator runs on through the key-on and both shifts.
    const auto counts = SpaceCounts(s, 8000, 47999);
    ASSERT_FALSE(counts.empty());
    EXPECT_EQ(counts.back(), 16000);
}

TEST_F(OnAirRendererTest, TonesAreConfigurable) {
    {
        OnAirRenderer renderer(wavPath, 1275, 1445);
        renderer.Begin(kStart);
        renderer.OnUartEvent(Mcr(kStart, true));
        renderer.OnUartEvent(Break(kStart + 1s, true));
        renderer.Finish(kStart + 2s);
    }
    const Wav wav = ReadWav(wavPath);
    ASSERT_EQ(wav.samples.size(), 16000u);
    EXPECT_NEAR(CrossingRate(wav.samples, 0, 8000), 1275.0, 1.0);
    EXPECT_NEAR(CrossingRate(wav.samples, 8000, 16000), 1445.0, 1.0);
}

TEST_F(OnAirRendererTest, FramesFollowTheirExactBitTiming) {
    std::vector<UartEvent> frames;
    const TimePoint keyOn = kStart + 500ms;
    {
        OnAirRenderer renderer(wavPath);
        renderer.Begin(kStart);
        renderer.OnUartEvent(Mcr(keyOn, true));
        // A null at 45.45 baud that starts between two samples.
        frames.push_back(Frame(kStart + 1s + 37us, 0x00, 2534, 0x04));
        // Then a few more, back to back, including bit-order telling codes.
        frames.push_back(Frame(frames.back().time + frames.back().frameTime, 0x01, 2534, 0x04));
        frames.push_back(Frame(frames.back().time + frames.back().frameTime, 0x1E, 2534, 0x04));
        frames.push_back(Frame(frames.back().time + frames.back().frameTime, 0x1F, 2534, 0x04));
        // ASCII at 300 and 110 baud with two stop bits.
        frames.push_back(Frame(kStart + 2s + 411us, 0x55, 384, 0x07));
        frames.push_back(Frame(frames.back().time + frames.back().frameTime, 0xC2, 384, 0x07));
        frames.push_back(Frame(kStart + 2500ms, 0x0F, 1047, 0x07));
        for (const auto& f : frames) renderer.OnUartEvent(f);
        renderer.Finish(kStart + 3s);
    }
    const Wav wav = ReadWav(wavPath);
    ASSERT_EQ(wav.samples.size(), 24000u);
    const std::size_t keyed = SampleAt(kStart, keyOn);
    EXPECT_TRUE(AllSilent(wav.samples, 0, keyed));
    const auto counts = SpaceCounts(wav.samples, keyed, wav.samples.size() - 1);
    ASSERT_FALSE(counts.empty());

    // The null: exactly the samples within start bit and five data bits, 6 x 22 ms.
    const UartEvent& null = frames[0];
    const std::size_t a = SampleAt(kStart, null.time);
    const std::size_t b = SampleAt(kStart, null.time + 6 * null.bitTime);
    EXPECT_EQ(b - a, 1056u);
    EXPECT_EQ(counts[b - keyed] - counts[a - keyed], 1056);
    EXPECT_EQ(counts[a - keyed], 0);  // idle mark before it

    for (const auto& f : frames) ExpectFrameOnAir(counts, keyed, f);

    int expectedTotal = 0;
    for (const auto& f : frames) {
        for (int k = 0; k <= f.dataBits; ++k) {
            if (k == 0 || ((f.value >> (k - 1)) & 1) == 0)
                expectedTotal += static_cast<int>(SampleAt(kStart, f.time + (k + 1) * f.bitTime) -
                                                  SampleAt(kStart, f.time + k * f.bitTime));
        }
    }
    EXPECT_EQ(counts.back(), expectedTotal);
}

TEST_F(OnAirRendererTest, NoPhaseJumpsThroughBusyKeying) {
    std::mt19937 random(170);
    {
        OnAirRenderer renderer(wavPath);
        renderer.Begin(kStart);
        renderer.OnUartEvent(Mcr(kStart + 10ms, true));
        TimePoint t = kStart + 100ms;
        for (int i = 0; i < 300; ++i) {
            const int pick = static_cast<int>(random() % 10);
            if (pick < 6) {
                const UartEvent f = Frame(t, static_cast<std::uint8_t>(random()), 2534, 0x04);
                renderer.OnUartEvent(f);
                t += f.frameTime;
            } else if (pick < 9) {
                const UartEvent f = Frame(t, static_cast<std::uint8_t>(random()), 384, 0x07);
                renderer.OnUartEvent(f);
                t += f.frameTime;
            } else {
                // A Morse element by break, at an odd moment.
                const auto length = microseconds(20000 + random() % 100000);
                renderer.OnUartEvent(Break(t + 3us, true));
                renderer.OnUartEvent(Break(t + length, false));
                t += length + 7us;
            }
        }
        renderer.Finish(t + 100ms);
    }
    const Wav wav = ReadWav(wavPath);
    const auto& s = wav.samples;
    const double step = 2 * std::numbers::pi * 2295 / kRate;
    const double bound = 2 * OnAirRenderer::kAmplitude * std::sin(step / 2) + 2;
    double worst = 0;
    for (std::size_t i = SampleAt(kStart, kStart + 10ms) + 1; i < s.size(); ++i)
        worst = std::max(worst, std::abs(double(s[i]) - s[i - 1]));
    EXPECT_LE(worst, bound);
    EXPECT_GT(worst, 0.9 * bound);  // the bound is met, not merely a quiet file
    EXPECT_FALSE(SpaceCounts(s, SampleAt(kStart, kStart + 10ms), s.size() - 1).empty());
}

TEST_F(OnAirRendererTest, OnlyTheKeyedPortIsHeard) {
    constexpr std::uint16_t kA = 0x3F8, kB = 0x2F8;
    UartEvent fromB;
    {
        OnAirRenderer renderer(wavPath);
        renderer.Begin(kStart);
        renderer.OnUartEvent(Mcr(kStart, true, kA));
        // B is unkeyed: its characters and break are not on the air.
        renderer.OnUartEvent(Frame(kStart + 100ms, 0x00, 2534, 0x04, kB));
        renderer.OnUartEvent(Break(kStart + 300ms, true, kB));
        renderer.OnUartEvent(Break(kStart + 400ms, false, kB));
        renderer.OnUartEvent(Mcr(kStart + 500ms, false, kA));
        renderer.OnUartEvent(Mcr(kStart + 600ms, true, kB));
        fromB = Frame(kStart + 700ms, 0x00, 2534, 0x04, kB);
        renderer.OnUartEvent(fromB);
        // A's frame while B holds the air.
        renderer.OnUartEvent(Frame(kStart + 900ms, 0x00, 2534, 0x04, kA));
        renderer.Finish(kStart + 1200ms);
    }
    const Wav wav = ReadWav(wavPath);
    const auto& s = wav.samples;
    ASSERT_EQ(s.size(), 9600u);
    const auto onA = SpaceCounts(s, 0, 3999);
    ASSERT_FALSE(onA.empty());
    EXPECT_EQ(onA.back(), 0);
    EXPECT_TRUE(AllSilent(s, 4000, 4800));
    const auto onB = SpaceCounts(s, 4800, s.size() - 1);
    ASSERT_FALSE(onB.empty());
    EXPECT_EQ(onB.back(), static_cast<int>(SampleAt(kStart, fromB.time + 6 * fromB.bitTime) -
                                           SampleAt(kStart, fromB.time)));
}

TEST_F(OnAirRendererTest, WritesAsItGoesAndFinishesAtTheLastEventByItself) {
    const TimePoint lastFrame = kStart + 60s;
    const UartEvent last = Frame(lastFrame, 0x1F, 2534, 0x04);
    {
        OnAirRenderer renderer(wavPath);
        // No Begin: the file starts at the first event.
        renderer.OnUartEvent(Mcr(kStart, true));
        for (int i = 1; i < 60; ++i) renderer.OnUartEvent(Break(kStart + i * 1s, i % 2 == 1));
        renderer.OnUartEvent(last);
        EXPECT_EQ(renderer.samples(), 60 * 8000);
        // A minute of audio is on disk already, not held in memory.
        EXPECT_GE(std::filesystem::file_size(wavPath), 44u + 2u * (60u * 8000u - 4096u));
        EXPECT_TRUE(renderer.error().empty());
    }
    // Destroyed without Finish: ends with the last character complete.
    const Wav wav = ReadWav(wavPath);
    EXPECT_EQ(wav.samples.size(), SampleAt(kStart, last.time + last.frameTime));
}

TEST_F(OnAirRendererTest, RendersWhatTheEmulatedPortSends) {
    SimulatedClock clock(kStart);
    EmulatedPortIo port(clock);
    struct : UartObserver {
        std::vector<UartEvent> frames;
        void OnUartEvent(const UartEvent& e) override {
            if (e.kind == UartEventKind::kFrame) frames.push_back(e);
        }
    } recorder;
    const std::uint16_t base = 0x3E8;
    {
        OnAirRenderer renderer(wavPath);
        port.AddObserver(&renderer);
        port.AddObserver(&recorder);
        port.SetLineMasks([] { return LineMasks{uart::kMcrRts, uart::kMcrDtr}; });
        renderer.Begin(kStart);
        port.Out(base + uart::kLcr, 0x84);
        port.Out(base + uart::kIer, 0x09);
        port.Out(base + uart::kThr, 0xE6);
        port.Out(base + uart::kLcr, 0x04);
        port.Out(base + uart::kMcr, uart::kMcrDtr);  // power only: silent
        clock.AdvanceTo(kStart + 200ms);
        port.Out(base + uart::kMcr, uart::kMcrDtr | uart::kMcrRts);
        clock.AdvanceTo(kStart + 700ms);
        const std::uint8_t text[] = {0x1F, 0x14, 0x10, 0x03, 0x04, 0x00, 0x1B, 0x17, 0x13};
        for (std::uint8_t code : text) {
            while (!(port.In(base + uart::kLsr) & uart::kLsrThre)) clock.AdvanceTo(port.NextChange(base + uart::kLsr));
            port.Out(base + uart::kThr, code);
        }
        clock.AdvanceTo(port.IdleAt() + 300ms);
        port.Sync();
        port.Out(base + uart::kMcr, uart::kMcrDtr);
        renderer.Finish(clock.Now() + 100ms);
    }
    ASSERT_EQ(recorder.frames.size(), 9u);
    const Wav wav = ReadWav(wavPath);
    const std::size_t keyed = SampleAt(kStart, kStart + 200ms);
    EXPECT_TRUE(AllSilent(wav.samples, 0, keyed));
    const std::size_t unkeyed = SampleAt(kStart, clock.Now());
    EXPECT_TRUE(AllSilent(wav.samples, unkeyed, wav.samples.size()));
    const auto counts = SpaceCounts(wav.samples, keyed, unkeyed - 1);
    ASSERT_FALSE(counts.empty());
    for (const auto& f : recorder.frames) ExpectFrameOnAir(counts, keyed, f);
}

TEST(OnAirRendererErrors, UncreatableFileIsNamed) {
    const std::string path = "/nonexistent-skedcast-dir/onair.wav";
    try {
        OnAirRenderer renderer(path);
        FAIL() << "created " << path;
    } catch (const std::runtime_error& e) {
        EXPECT_NE(std::string(e.what()).find(path), std::string::npos) << e.what();
    }
}

}  // namespace
}  // namespace sked
