// The station's tones: AFSK sample by sample, its level, noise floor and generator (on the loop timer or a thread
// of its own); what the ports' keying radiates, and the recordings of it; BPSK31 from the modem's symbols to the card.
#include <algorithm>
#include <cmath>
#include <complex>
#include <csignal>
#include <filesystem>
#include <numbers>
#include <numeric>
#include <optional>
#include <random>
#include <set>

#include <sys/resource.h>

#include <gtest/gtest.h>

#include "audio/afsk_generator.h"
#include "audio/onair_renderer.h"
#include "audio/paced_wave_device.h"
#include "audio/psk31_sound.h"
#include "platform/poll_event_loop.h"
#include "platform/simulated_event_loop.h"
#include "serial/emulated_ports.h"
#include "serial/uart_frame.h"
#include "support/fsk_demodulator.h"
#include "support/station_fixture.h"
#include "support/wav_samples.h"
#include "transmit/air_encoder.h"
#include "transmit/psk_modem.h"
#include "transmit/varicode.h"

namespace sked {
namespace {

using namespace std::chrono;

constexpr double kTwoPi = 2.0 * std::numbers::pi;
constexpr int kRate = 8000;
const TimePoint kStart{seconds(1'700'000'000)};

double Step(double hertz) { return hertz * kTwoPi / kRate; }
auto Hann(std::size_t length) { return [length](std::size_t i) { return 0.5 - 0.5 * std::cos(kTwoPi * i / length); }; }

// The component of `x` at `hertz` over [from, to), each sample weighted by `window(n - from)`.
template <typename Sample, typename Window = double (*)(std::size_t)>
std::complex<double> Component(const std::vector<Sample>& x, double hertz, std::size_t from, std::size_t to,
                               Window window = [](std::size_t) { return 1.0; }) {
    std::complex<double> sum;
    for (std::size_t n = from; n < std::min(to, x.size()); ++n)
        sum += window(n - from) * x[n] * std::polar(1.0, -Step(hertz) * n);
    return sum;
}

// Every speed button in both frames, with its block length; at 110 baud ASCII the product falls just short of 800.
const struct Speed { float baud; int wordLength, blockLength; } kSpeeds[] = {
    {45.45f, 0, 1320}, {45.45f, 3, 1936}, {50.0f, 0, 1200}, {50.0f, 3, 1760}, {56.9f, 0, 1054},
    {56.9f, 3, 1546},  {74.2f, 0, 808},   {74.2f, 3, 1185}, {100.0f, 0, 600}, {100.0f, 3, 880},
    {110.0f, 0, 545},  {110.0f, 3, 799},  {300.0f, 0, 200}, {300.0f, 3, 293}};

// The tones sample by sample as an ideal transmitter times them: character k begins at exactly k frames, its bit
// j at exactly j bits after that; each sample takes the tone of the bit it lies in, the phase running on.
std::vector<double> IdealAfsk(const std::vector<std::uint32_t>& codes, const Speed& s, double gain) {
    const double frame = CharacterSamples(kRate, s.baud, s.wordLength), bit = kRate / static_cast<double>(s.baud);
    const int dataBits = FrameFor(s.wordLength).dataBits;
    std::vector<double> x;
    double phase = 0;
    for (std::size_t n = 0; n < static_cast<std::size_t>(std::ceil(codes.size() * frame - 1e-9)); ++n) {
        // A boundary that falls on a sample, give or take the arithmetic's rounding, starts there.
        const auto k = static_cast<std::size_t>(std::floor((n + 1e-9) / frame));
        const auto j = static_cast<int>(std::floor((n - k * frame + 1e-9) / bit));
        const bool space = codes[k] != 0 && (j == 0 || (j <= dataBits && !(codes[k] >> (j - 1) & 1u)));
        phase = std::fmod(phase + Step(space ? 2295 : 2125), kTwoPi);
        x.push_back(gain * (std::sin(phase) + std::cos(phase)));
    }
    return x;
}

// 2,000 characters back to back at every speed in both frames: sample for sample the ideal transmitter's
// (past the first 5 ms, where the sound rises), the phase running on from block to block, so every stop interval is exactly 1.5 bits in Baudot and 2 in
// ASCII; the carried fraction keeps the blocks in step without drift. Shaped, 200 characters still come back.
TEST(AfskModulatorTest, EveryStopIntervalHasItsFullLengthOverThousandsOfCharacters) {
    std::mt19937 random(7);
    for (bool shaping : {false, true})
        for (const Speed& s : kSpeeds) {
            SCOPED_TRACE(testing::Message() << s.baud << " baud, word length " << s.wordLength << ", shaping " << shaping);
            ASSERT_EQ(SamplesPerCharacter(kRate, s.baud, s.wordLength), s.blockLength);
            PhaseAccumulator phase;
            AfskModulator modulator({.baud = s.baud, .wordLength = s.wordLength, .noise = false, .shaping = shaping},
                                    phase);
            const int dataBits = modulator.frame().dataBits;
            std::vector<std::uint32_t> codes(shaping ? 202 : 2002);  // idle first and last
            for (std::size_t i = 1; i + 1 < codes.size(); ++i) codes[i] = 1 + random() % ((1u << dataBits) - 1);
            std::vector<std::int16_t> audio;
            for (std::uint32_t code : codes) {
                const std::size_t length = modulator.NextBlockLength();
                audio.resize(audio.size() + length);
                modulator.Render(code, std::span(audio).last(length));
            }
            if (!shaping) {
                const std::vector<double> ideal = IdealAfsk(codes, s, modulator.level().signalGain);
                ASSERT_EQ(audio.size(), ideal.size());
                std::size_t n = 40;
                while (n < audio.size() && std::abs(audio[n] - ideal[n]) <= 1.001) ++n;
                ASSERT_EQ(n, audio.size()) << "the first sample off the ideal's";
                continue;
            }
            const auto got = test::DecodeFsk(audio, {.baud = s.baud, .dataBits = dataBits});
            ASSERT_EQ(got.size(), codes.size() - 2);
            for (std::size_t i = 0; i < got.size(); ++i) {
                ASSERT_EQ(got[i].code, codes[i + 1]) << "character " << i;
                ASSERT_FALSE(got[i].framingError) << "character " << i;
            }
        }
}

// The tone at RMS 4739 (peak 6,702) and the noise floor 60 dB below it, the most a ratio asked for can give;
// a block of the wrong length is refused, and so is a speed that gives no block.
TEST(AfskModulatorTest, TheToneHasTheStationLevelAndTheNoiseFloorIsSixtyDecibelsDown) {
    PhaseAccumulator clean{0.3}, noisy{0.3};
    AfskModulator quiet({.noise = false}, clean), modulator({}, noisy);
    std::vector<std::int16_t> a, b;
    double tone = 0, noise = 0, peak = 0;
    for (int n = 0; n < 60; ++n) {
        a.resize(quiet.NextBlockLength()), b.resize(modulator.NextBlockLength());
        quiet.Render(0, a), modulator.Render(0, b);
        for (std::size_t i = 0; i < a.size(); ++i)
            tone += a[i] * a[i], noise += (b[i] - a[i]) * (b[i] - a[i]), peak = std::max(peak, 1.0 * a[i]);
    }
    EXPECT_NEAR(std::sqrt(tone / (60 * a.size())), 4739, 5);
    EXPECT_NEAR(peak, 6702, 3);
    EXPECT_NEAR(std::sqrt(noise / (60 * a.size())), 4.76, 0.2);  // 4.739 and the truncation
    std::vector<std::int16_t> wrong(quiet.NextBlockLength() + 1);
    EXPECT_THROW(quiet.Render(0, wrong), std::invalid_argument);
    for (float bad : {0.0f, -45.45f, NAN, 1e-6f})
        EXPECT_THROW(AfskModulator({.baud = bad}, clean), std::invalid_argument) << bad;
    EXPECT_THROW(FskOscillator(clean, kRate, 0.0f), std::invalid_argument);
    const struct { double requested, ratio, signal, noise; } cases[] = {
        {200, 60, 4739, 4.739}, {NAN, 60, 4739, 4.739}, {20, 20, 4739, 473.9}, {-20, -20, 473.9, 4739}};
    for (const auto& c : cases) {
        const NoiseLevel level = SetNoiseLevel(c.requested);
        EXPECT_DOUBLE_EQ(level.ratioDb, c.ratio) << c.requested;
        EXPECT_NEAR(level.signalGain, c.signal, 1e-9) << c.requested;
        EXPECT_NEAR(level.noiseGain, c.noise, 1e-9) << c.requested;
    }
}

// The noise floor: RMS its gain, no DC; flat within a decibel from 400 to 3400 Hz, well down at
// 100 and 3900 Hz (averaged Hann-windowed periodograms of 256 samples). Blocks of any length (an
// odd one's last pair ends in the spare sample) go on with the one run a single long block gets:
// a point of the polar method lost or let through, or a filter input dropped, shifts all that follows.
TEST(NoiseSourceTest, TheNoiseHasItsGainAsRmsFillsTheVoiceBandAndRunsOnAcrossBlocks) {
    const double gain = 1000;
    std::vector<double> run(256'000);
    NoiseSource().AddNoise(run, run.size(), 0.0, gain);
    double sum = 0, mean = 0;
    for (double v : run) sum += v * v, mean += v;
    EXPECT_NEAR(std::sqrt(sum / run.size()), gain, 0.015 * gain);
    EXPECT_NEAR(mean / run.size(), 0.0, 0.01 * gain) << "the band-pass lets no DC through";
    const double hz[] = {100, 400, 800, 1500, 2125, 2800, 3400, 3900};
    std::vector<double> db(std::size(hz));
    for (std::size_t s = 0; s + 256 <= run.size(); s += 256)
        for (std::size_t f = 0; f < db.size(); ++f) db[f] += std::norm(Component(run, hz[f], s, s + 256, Hann(256)));
    const double band = std::accumulate(db.begin() + 1, db.end() - 1, 0.0) / (db.size() - 2);
    for (double& d : db) d = 10 * std::log10(d / band);
    for (std::size_t f = 1; f + 1 < db.size(); ++f) EXPECT_NEAR(db[f], 0.0, 1.0) << hz[f] << " Hz";
    EXPECT_LT(db.front(), -10.0) << "100 Hz";
    EXPECT_LT(db.back(), -30.0) << "3900 Hz";
    for (std::size_t block : {1u, 7u, 293u, 1320u, 799u}) {
        NoiseSource source;
        std::vector<double> x(block + 1);
        for (std::size_t at = 0; at + block + 1 < 40'000; at += block + block % 2) {
            std::fill(x.begin(), x.end(), 0.25);
            source.AddNoise(x, block, 2.0, gain);
            for (std::size_t i = 0; i < block + block % 2; ++i)
                ASSERT_NEAR(x[i], 0.5 + run[at + i], 0.01) << "blocks of " << block << ", sample " << at + i;
            ASSERT_TRUE(block % 2 != 0 || x[block] == 0.25) << "an even block leaves the spare sample alone";
        }
    }
    std::vector<double> tight(7);
    EXPECT_THROW(NoiseSource().AddNoise(tight, 7, 1.0, 1.0), std::invalid_argument);
}

// The paced device, refusing every block after the first `good` ones.
struct Card : PacedWaveDevice {
    using PacedWaveDevice::PacedWaveDevice;
    std::error_code Submit(std::span<const std::int16_t> b) override {
        return ++blocks > good ? SoundError::NoDriver : PacedWaveDevice::Submit(b);
    }
    int good = 1000, blocks = 0;
};

class AfskGeneratorTest : public ::testing::Test {
protected:
    void RunFor(Duration span) { loop.RunUntil(loop.clock().Now() + span); }
    // What the generator writes to the card while `play` runs, then the stop.
    template <typename Play>
    std::vector<std::int16_t> Audio(Play play, int deviceIndex = -1) {
        {
            AfskGenerator generator(loop, card, phase, {}, deviceIndex, false,
                                    [this](auto error, auto&) { failures.push_back(error); });
            started = generator.StartGenerator();
            EXPECT_TRUE(failures.empty()) << "told from the loop, not from inside the start";
            play(generator);
            generator.RequestStop(), RunFor(milliseconds(200));
            EXPECT_EQ(generator.NextBlockAt(), TimePoint::max()) << "ended";
        }
        return deviceIndex == -1 ? test::ReadWavSamples("air.wav") : std::vector<std::int16_t>{};
    }

    test::ScratchDirectory scratch;
    SimulatedEventLoop loop{kStart};
    Card card{loop.clock(), "air.wav"};
    PhaseAccumulator phase;
    std::error_code started;
    std::vector<std::error_code> failures;
};

// The codes in their order, then idle mark, back to back; a full queue keeps its first 98 codes, replaces the last.
TEST_F(AfskGeneratorTest, BlocksKeepPaceWithTheClockAndTheCodesTheirOrder) {
    const auto samples = Audio([this](AfskGenerator& generator) {
        for (int code : {0x1F, 0x05, 0x0A}) generator.Put(code);
        RunFor(seconds(2));
        std::vector<std::uint32_t> expected(99);
        std::iota(expected.begin(), expected.end() - 1, 1u), expected.back() = 120;
        for (int code = 1; code <= 120; ++code) generator.Put(code);
        EXPECT_EQ(generator.Queued(), expected);
        generator.EmptyQueue();
        EXPECT_EQ(generator.QueuedCodes(), 0);
    });
    EXPECT_TRUE(failures.empty());
    EXPECT_NEAR(samples.size() / 1320.0, 14, 2) << "2.2 s of 165 ms blocks, three ahead of the clock at most";
    PhaseAccumulator referencePhase;
    AfskModulator reference(AfskSettings{}, referencePhase);
    std::vector<std::int16_t> block;
    std::size_t at = 0;
    for (std::uint32_t code : {0x1F, 0x05, 0x0A, 0, 0}) {
        block.resize(reference.NextBlockLength());
        reference.Render(code, block);
        ASSERT_TRUE(std::ranges::equal(block, std::span(samples).subspan(at, block.size()))) << "code " << code;
        at += block.size();
    }
    // The stop ends the sound with a fade-out after the last block: nothing is cut off in the middle of a wave.
    const std::size_t fade = reference.FadeOutLength();
    EXPECT_LT((samples.size() - fade) % 1320, 14u) << "whole blocks, each one sample longer now and then";
    for (std::size_t n = samples.size() - 3; n < samples.size(); ++n) EXPECT_LT(std::abs(samples[n]), 150) << n;
}

// No device 10: the start says so (the transmitter is not keyed). A card lost
// in the middle: told on the loop (the transmission ends there).
TEST_F(AfskGeneratorTest, AFailingCardIsReportedOnTheLoopAndEndsTheAudio) {
    Audio([this](AfskGenerator&) { RunFor(seconds(1)); }, 10);
    EXPECT_EQ(std::tuple(started, failures.size()), std::tuple(SoundError::NoSuchDevice, 0u));
    card.good = 4;
    Audio([this](AfskGenerator&) { RunFor(seconds(2)); });
    EXPECT_EQ(std::tuple(started, failures), std::tuple(std::error_code(), decltype(failures){SoundError::NoDriver}));
    EXPECT_EQ(card.blocks, 5) << "nothing written after the failure";
}

// The identification's Morse (the break condition) keeps its element lengths in
// the space tone although the audio runs behind the clock, and ends in mark.
TEST_F(AfskGeneratorTest, TheBreakConditionKeysTheSpaceToneWithItsTiming) {
    const auto x = Audio([this](AfskGenerator& generator) {
        RunFor(seconds(1));
        // "A" in 34 ms ticks: dot 2, gap 1, dash 5; then "E" after a character gap.
        for (auto [on, off] : {std::pair{2, 1}, {5, 8}, {2, 1}}) {
            generator.PutBreak(true), RunFor(milliseconds(34) * on);
            generator.PutBreak(false), RunFor(milliseconds(34) * off);
        }
        generator.EmptyQueue();
        RunFor(seconds(2));
    });
    // Runs of mark and space (the first mark) in 10 ms stretches, by the energy at each tone.
    std::vector<int> runs{0};
    for (std::size_t from = 0; from + 80 <= x.size(); from += 80) {
        const auto energy = [&](double hz) { return std::abs(Component(x, hz, from, from + 80)); };
        if ((energy(2295) > energy(2125)) != (runs.size() % 2 == 0)) runs.push_back(0);
        ++runs.back();
    }
    ASSERT_EQ(runs.size(), 7u) << "mark, dot, gap, dash, character gap, dot, mark";
    const double expected[] = {6.8, 3.4, 17, 27.2, 6.8};  // in 10 ms stretches, give or take one
    for (int i = 0; i < 5; ++i) EXPECT_NEAR(runs[i + 1], expected[i], 1.0) << "run " << i + 1;
    // The Morse ends in the sound near 2.4 s; the audio runs on at least to the stop at 3.6 s.
    EXPECT_GE(runs.back(), 110) << "mark again after the Morse, to the end";
}

TEST_F(AfskGeneratorTest, OnTheRealClockAThreadOfItsOwnPlaysTheCodes) {
    PollEventLoop realLoop;
    const Clock& clock = realLoop.clock();
    PacedWaveDevice device(clock, "air.wav");
    {
        AfskGenerator generator(realLoop, device, phase, {.baud = 300.0f}, -1, true, {});  // 25 ms blocks
        ASSERT_FALSE(generator.StartGenerator());  // the card is taken before the thread starts
        for (int code : {0x11, 0x02, 0x1C}) generator.Put(code);
        for (const TimePoint limit = clock.Now() + seconds(5); generator.QueuedCodes() > 0 && clock.Now() < limit;)
            device.WaitForChange(clock.Now() + seconds(1));
        EXPECT_EQ(generator.QueuedCodes(), 0) << device.Problem();
        generator.RequestStop();
    }  // joins the thread
    const auto samples = test::ReadWavSamples("air.wav");
    EXPECT_TRUE(samples.size() >= 3 * 200 && samples.size() % 200 == 0) << samples.size() << ": whole blocks";
}

using Stretches = std::vector<std::pair<Duration, Duration>>;  // from kStart

constexpr int kA = 1, kB = 2;  // COM1, COM2
const std::string kFolder = "tx/";

// Index of the first sample at or after `t`, 8000 a second.
std::size_t SampleAt(Duration t) { return static_cast<std::size_t>((t / 1ns + 124'999) / 125'000); }

// Continuous-phase FSK at the AFSK generator's level from a rising zero at each
// key closure, silent unkeyed: 2295 Hz in `spaces`, else 2125 Hz.
void ExpectRadiated(const std::vector<std::int16_t>& got, const Stretches& keyed, const Stretches& spaces,
                    const Stretches& breaks = {}) {
    auto within = [](const Stretches& list, std::size_t n) {
        return std::ranges::any_of(list, [n](auto& s) { return SampleAt(s.first) <= n && n < SampleAt(s.second); });
    };
    auto rising = [](int k) { return 0.5 - 0.5 * std::cos(std::numbers::pi * k / 40); };  // over 40 samples, 5 ms
    // The carrier rises from the key's closing and dies away after its opening, on the tone it was left at; the
    // phase runs on through every sample heard. The break's shifts glide, the bits' jump.
    double phase = 0, step = Step(2125), from = step;
    int rise = 0, glide = 40;
    bool space = false;
    for (std::size_t n = 0; n < got.size(); ++n) {
        const bool key = within(keyed, n);
        if (key && within(spaces, n) != space) {
            space = !space, from = step;
            glide = within(breaks, n) || (n > 0 && within(breaks, n - 1)) ? 0 : 40;
        }
        const int before = rise;
        rise = std::clamp(rise + (key ? 1 : -1), 0, 40);
        double expected = 0;
        if (key || before > 0) {
            const double to = Step(space ? 2295 : 2125);
            step = glide < 40 ? from + (to - from) * rising(++glide) : to;
            phase += step;
            expected = std::round(kSignalGain * rising(rise) * (std::sin(phase) + std::cos(phase)));
        }
        ASSERT_LE(std::abs(got[n] - expected), 1) << "sample " << n << " at " << n / 8000.0 << " s";
    }
}

// Emulated ports on the simulated clock from `start`, their events recorded, and
// a renderer recording into `target` as --onair does.
class OnAirRendererTest : public ::testing::Test {
public:
    OnAirRendererTest& Start(const std::string& target, TimePoint origin = kStart) {
        renderer.reset(), ports.reset(), recorder.events.clear();
        clock.emplace(start = origin), ports.emplace(*clock);
        ports->AddObserver(&recorder);
        renderer.emplace(OpenOnAirRecording(target, 8000));
        renderer->SetProblemReporter([this](const std::string& p) { problems.push_back(p); });
        renderer->Begin(origin);
        ports->AddObserver(&*renderer);
        return Format(kA, LineFormat::Baudot(45.45)).Format(kB, LineFormat::Baudot(45.45));
    }
    OnAirRendererTest& At(Duration t) { return clock->AdvanceTo(start + t), *this; }
    OnAirRendererTest& Format(int port, LineFormat format) { return ports->Port(port).SetFormat(format), *this; }
    OnAirRendererTest& Key(int port, bool on) { return ports->Port(port).SetKey(on), *this; }
    OnAirRendererTest& Break(int port, bool on) { return ports->Port(port).SetBreak(on), *this; }
    OnAirRendererTest& Send(int port, std::vector<std::uint8_t> codes) {
        for (std::uint8_t code : codes) {
            while (!ports->Port(port).CanSend()) clock->AdvanceTo(ports->Port(port).NextChange());
            ports->Port(port).Send(code);
        }
        return *this;
    }
    // Where the frames of `port` sent after `after` hold the line at space: start bits, zero data bits.
    void AddSpaces(Stretches& spaces, int port, TimePoint after = kStart) const {
        for (const UartEvent& f : recorder.Frames())
            for (int k = 0; k <= f.dataBits && f.base == ComPortBase(port) && f.time > after; ++k)
                if (k == 0 || !((f.value >> (k - 1)) & 1))
                    spaces.emplace_back(f.time - kStart + k * f.bitTime, f.time - kStart + (k + 1) * f.bitTime);
    }
    void Finish(Duration end) { At(end).ports->Sync(), renderer->Finish(start + end); }
    // What onair.wav holds once the renderer is gone (finished at the last event, unless finished before).
    std::vector<std::int16_t> Samples() { return renderer.reset(), test::ReadWavSamples("onair.wav"); }
    static std::set<std::string> Files() {
        std::set<std::string> names;
        for (const auto& entry : std::filesystem::directory_iterator(kFolder)) names.insert(entry.path().filename());
        return names;
    }

    test::ScratchDirectory dir;
    std::vector<std::string> problems;
    TimePoint start;
    std::optional<SimulatedClock> clock;
    test::UartRecorder recorder;
    std::optional<EmulatedPorts> ports;
    std::optional<OnAirRenderer> renderer;
};

// Only the keyed port is heard, with exact bit timing and no phase jump.
TEST_F(OnAirRendererTest, TheKeyedPortIsHeardWithExactBitTimingAndNoPhaseJump) {
    Start("onair.wav").At(100ms).Send(kB, {0x00});  // unkeyed: characters and break radiate nothing
    At(300ms).Break(kB, true).At(400ms).Break(kB, false);
    At(1s).Key(kA, true).At(1100ms).Send(kB, {0x00});  // B's character while A holds the air
    At(1500ms + 37us).Send(kA, {0x00, 0x01, 0x1E, 0x1F});  // a null (6 x 22 ms at space) between two samples
    At(3s).Break(kA, true).At(5s).Break(kA, false);       // a Morse element by break
    At(5900ms).Key(kA, false).At(6500ms).Key(kB, true).At(6700ms).Send(kB, {0x00});
    At(7s + 411us).Format(kB, LineFormat::Ascii(300)).Send(kB, {0x55, 0xC2});
    At(7500ms).Format(kB, LineFormat::Ascii(110)).Send(kB, {0x0F});
    Stretches spaces{{3s, 5s}};
    AddSpaces(spaces, kA), AddSpaces(spaces, kB, kStart + 6s);  // A's frames, and B's heard ones
    Finish(8s);
    const auto samples = Samples();
    ASSERT_EQ(samples.size(), 64000u);
    ExpectRadiated(samples, {{1s, 5900ms}, {6500ms, 8s}}, spaces, {{3s, 5s}});
}

TEST_F(OnAirRendererTest, WritesAsItGoesAndEndsWithTheLastCharacterByItself) {
    Start("onair.wav").Key(kB, true);
    for (int i = 1; i < 60; ++i) At(i * 1s).Break(kB, i % 2 == 1);
    At(60s).Send(kB, {0x1F});
    EXPECT_GE(std::filesystem::file_size("onair.wav"), 44u + 2u * (60u * 8000u - 4096u));  // on disk, not in memory
    const UartEvent last = recorder.Frames().at(0);
    EXPECT_EQ(Samples().size(), SampleAt(last.time + last.frameTime - kStart));  // no Finish
}

// A full disk, as the file-size limit gives it: a file a transmission, then one file.
TEST_F(OnAirRendererTest, AWriteFailureIsReportedOnceAndTheFileKeepsWhatWasWritten) {
    for (const std::string& target : {kFolder, std::string("onair.wav")}) {
        problems.clear(), Start(target);
        rlimit before{};
        ASSERT_EQ(::getrlimit(RLIMIT_FSIZE, &before), 0);
        const auto oldHandler = std::signal(SIGXFSZ, SIG_IGN);
        const rlimit limit{100'000, before.rlim_max};
        ASSERT_EQ(::setrlimit(RLIMIT_FSIZE, &limit), 0);
        At(1s).Key(kB, true).At(20s).Key(kB, false).Finish(21s);
        ::setrlimit(RLIMIT_FSIZE, &before), std::signal(SIGXFSZ, oldHandler);
        const std::string file = target == kFolder ? kFolder + "20231114-231321.wav" : target;
        EXPECT_EQ(problems, std::vector<std::string>{"cannot write on-air audio file " + file + ": File too large"});
        EXPECT_EQ(renderer->error(), problems.at(0));
    }
    const auto samples = Samples();
    EXPECT_GT(samples.size(), 8000u);  // the whole chunks before the failure, silence and tone
    EXPECT_LE(44 + 2 * samples.size(), 100'000u);
    ExpectRadiated(samples, {{1s, 20s}}, {});
}

// Each file: a quarter second before the key closes to one after it opens (cut by the run's start and end),
// the key up for under five seconds inside; the samples of one rendering of the whole run.
TEST_F(OnAirRendererTest, EachTransmissionGetsAFileOfItsOwnWithAQuarterSecondOfSilenceAround) {
    Start(kFolder, test::LocalTimePoint("2026-01-01T11:59:50"));
    OnAirRenderer whole("whole.wav");
    whole.Begin(start), ports->AddObserver(&whole);
    At(100ms).Key(kB, true).At(1s).Key(kB, false).At(1442ms).Key(kB, true).At(2s).Key(kB, false);
    At(6900ms).Key(kB, true).At(7s).Send(kB, {0x0A, 0x15}).At(7500ms).Break(kB, true).At(7600ms).Break(kB, false);
    At(8s).Key(kB, false).At(13010ms).Key(kB, true).At(14s).Key(kB, false).At(20s).Key(kB, true);
    Finish(21s), whole.Finish(start + 21s);
    const auto samples = test::ReadWavSamples("whole.wav");
    const std::tuple<std::string, Duration, Duration> files[] = {
        {"20260101-115950.wav", 0s, 8255ms}, {"20260101-120003.wav", 12760ms, 14255ms},
        {"20260101-120010.wav", 19750ms, 21s}};
    EXPECT_EQ(Files().size(), std::size(files));  // and each is one of those read below
    for (const auto& [name, from, to] : files) {
        ASSERT_LE(SampleAt(to), samples.size());
        const auto expected = std::span(samples).subspan(SampleAt(from), SampleAt(to) - SampleAt(from));
        EXPECT_TRUE(std::ranges::equal(test::ReadWavSamples(kFolder + name), expected)) << name;
    }
    EXPECT_EQ(problems, std::vector<std::string>{});
}

// Names in the station's zone as CTest pins it (Europe/Berlin): the hour the clocks go back comes twice.
TEST_F(OnAirRendererTest, ANameAlreadyTakenGetsASuffix) {
    Start(kFolder, test::LocalTimePoint("2026-10-25T02:00:00"));
    for (auto at : {1800s, 5400s, 5410s}) At(at).Key(kB, true).At(at + 2s).Key(kB, false);
    Finish(2h);
    EXPECT_EQ(Files(), (std::set<std::string>{"20261025-023000.wav", "20261025-023000-2.wav", "20261025-023010.wav"}));
}

// A file from an earlier run is never replaced; the folder taken away and back is reported.
TEST_F(OnAirRendererTest, TransmissionsThatCannotBeRecordedAreReportedAndSoIsTheRecovery) {
    std::filesystem::create_directory(kFolder);
    test::WriteFile(kFolder + "20260101-120000.wav", "an earlier recording");
    Start(kFolder, test::LocalTimePoint("2026-01-01T11:59:50"));
    for (int minute = 0; minute < 4; ++minute) {
        if (minute == 1) std::filesystem::rename(kFolder, "elsewhere");  // the folder taken away ...
        if (minute == 3) std::filesystem::rename("elsewhere", kFolder);  // ... and back
        At(minute * 1min + 10s).Key(kB, true).At(minute * 1min + 12s).Key(kB, false).At(minute * 1min + 30s);
    }
    Finish(4min);
    EXPECT_EQ(problems, (std::vector<std::string>{
                            "cannot create on-air audio file tx/20260101-120100.wav: No such file or directory",
                            "on-air audio: recording in tx/ again (2 transmissions not recorded)"}));
    EXPECT_EQ(Files(), (std::set<std::string>{"20260101-120000.wav", "20260101-120000-2.wav", "20260101-120300.wav"}));
    EXPECT_EQ(test::ReadFile(kFolder + "20260101-120000.wav"), "an earlier recording");
}

// The --onair target names a folder by its slash or because it is one.
TEST_F(OnAirRendererTest, TheTargetNamesAFolderByItsSlashOrBecauseItIsOne) {
    std::filesystem::create_directory("existing");
    test::WriteFile("plain", "");
    EXPECT_NE(dynamic_cast<OnAirFolder*>(OpenOnAirRecording("existing", 8000).get()), nullptr);
    auto failure = [](const char* target) {
        try { OpenOnAirRecording(target, 8000); } catch (const std::runtime_error& e) { return std::string(e.what()); }
        return std::string("none");
    };
    EXPECT_EQ(failure("missing/new/"), "cannot create on-air audio folder missing/new/: No such file or directory");
    EXPECT_EQ(failure("plain/"), "cannot use on-air audio folder plain/: Not a directory");
    EXPECT_EQ(failure("missing/on.wav"), "cannot create on-air audio file missing/on.wav: No such file or directory");
}

// Every letter, figure and shared sign; a figure right after a line end, letters after figures.
constexpr std::string_view kText =
    "THE QUICK BROWN FOX JUMPS OVER THE LAZY DOG\nLINE\n5 DEGREES (-3.5), 12/4: 60? 78 9\nEND";

// The receiver prints kText from `audio`, every frame good; in Baudot each line end as sent, CR CR LF.
void ExpectText(const std::vector<std::int16_t>& audio, double baud, bool ascii, const char* what) {
    std::vector<std::uint32_t> codes;
    const test::FskReception rx{.baud = baud, .dataBits = ascii ? 8 : 5, .stopBits = ascii ? 2.0 : 1.5};
    for (const auto& c : test::DecodeFsk(audio, rx)) {
        EXPECT_FALSE(c.framingError) << what << ": character " << codes.size() << " at sample " << c.startSample;
        codes.push_back(c.code);
    }
    std::string expected;
    for (char c : kText) expected += c == '\n' && !ascii ? std::string("\r\r\n") : std::string(1, c);
    EXPECT_EQ(ascii ? std::string(codes.begin(), codes.end()) : test::BaudotText(codes), expected) << what;
}

// kText through the station's encoder, back from its AFSK (noise floor and all) and from the air as the port
// keys it, at every speed in both frames. Codes only: the stop lengths are not checked.
TEST_F(OnAirRendererTest, TheAfskAndTheAirPrintTheEncodedTextAtEverySpeedInBothFrames) {
    for (const auto& [baud, wordLength, blockLength] : kSpeeds) {
        const bool ascii = wordLength == 3;
        SCOPED_TRACE(testing::Message() << baud << " baud " << (ascii ? "ASCII" : "Baudot"));
        Start("onair.wav").Format(kA, ascii ? LineFormat::Ascii(baud) : LineFormat::Baudot(baud)).Key(kA, true);
        AirEncoder encoder(*clock);
        AirSteps steps;
        for (char c : kText) encoder.EncodeText(static_cast<unsigned char>(c), ascii ? Mode::Ascii : Mode::Ita2, steps);
        std::vector<std::uint8_t> codes;
        for (const AirStep& step : steps) if (step.kind == AirStep::Kind::Code) codes.push_back(step.value);
        PhaseAccumulator phase;
        AfskModulator modulator({.baud = baud, .wordLength = wordLength}, phase);
        std::vector<std::int16_t> afsk;
        for (std::size_t i = 0; i <= codes.size(); ++i) {  // and a block of idle mark
            afsk.resize(afsk.size() + modulator.NextBlockLength());
            modulator.Render(i < codes.size() ? codes[i] : 0, std::span(afsk).last(modulator.NextBlockLength()));
        }
        ExpectText(afsk, baud, ascii, "AFSK");
        At(100ms).Send(kA, codes).Finish(ports->IdleAt() - start + 100ms);  // keyed mark before and after
        ExpectText(Samples(), BaudOf(uart::DivisorFor(baud)), ascii, "on air");
    }
}

constexpr std::size_t kN = Psk31Modulator::kSymbolSamples;
constexpr double kPeak = Psk31Modulator::kDefaultPeak;
// 64 samples averaged: the carrier's amplitude is half the sum's (the sum frequency cancels).
const auto kMean = [](std::size_t) { return 1 / 64.0; };

// The modem on the simulated clock, its symbols rendered block after block as the sound card gets them.
struct Transmission {
    explicit Transmission(int hertz) {
        modem.StartOnCard(-1), modem.SetTone(hertz);
        modem.SetSymbolSink([this, hertz](TimePoint, PskSymbol symbol) {
            samples.resize(samples.size() + kN);
            modulator.Render(symbol, hertz, std::span(samples).last(kN));
        });
        modem.StartTransmitting();
    }
    // Feeds `text` as the station does (at most two codes waiting), then ends and runs out the carrier.
    void Send(const std::string& text, bool identification = false) {
        for (char c : text) {
            while (modem.CodesQueued() > PskModem::kMostQueued) clock.AdvanceTo(modem.NextChange());
            modem.QueueCharacter(static_cast<unsigned char>(c));
        }
        if (identification) modem.QueueIdentification();
        modem.EndAfterQueue();
        while (modem.Transmitting()) clock.AdvanceTo(clock.Now() + milliseconds(10));
    }
    SimulatedClock clock{kStart};
    PskModem modem{clock};
    Psk31Modulator modulator;
    std::vector<std::int16_t> samples;
};

// The receiver: the carrier's phase at the end of each symbol period against
// the one before (same: 1, reversed: 0), the bits split into characters.
std::string Receive(const std::vector<std::int16_t>& x, double hertz) {
    auto carrier = [&](std::size_t at) { return Component(x, hertz, at < 32 ? 0 : at - 32, at + 32, kMean); };
    VaricodeDecoder decoder;
    std::complex<double> was = carrier(0);
    for (std::size_t end = kN; end <= x.size(); end += kN) {
        const std::complex<double> now = carrier(end);
        if (std::min(std::abs(now), std::abs(was)) > kPeak / 8) decoder.PushBit((now * std::conj(was)).real() > 0);
        was = now;
    }
    return decoder.TakeText();
}

// 30 dB down beyond 60 Hz of the carrier; no step larger than the full carrier's own, faded in and out:
// no click at the start, the reversals or the end.
TEST(Psk31Waveform, EveryCharacterComesBackNarrowAndWithoutClicks) {
    std::string all(128, '\0');
    std::iota(all.begin(), all.end(), '\0');
    for (int hertz : {1500, 2100}) {
        SCOPED_TRACE(testing::Message() << hertz << " Hz");
        Transmission tx(hertz);
        tx.Send(all);
        const auto& x = tx.samples;
        EXPECT_EQ(Receive(x, hertz), all);
        const std::size_t from = 40 * kN, length = 16000;  // two seconds after the preamble, Hann-windowed
        ASSERT_GT(x.size(), from + length);
        double inside = 0, outside = 0;
        for (double f = 300; f <= 3700; f += 10) {
            double& most = std::abs(f - hertz) <= 60 ? inside : outside;
            most = std::max(most, std::norm(Component(x, f, from, from + length, Hann(length))));
        }
        EXPECT_LT(10 * std::log10(outside / inside), -30.0);
        const double slope = kPeak * kTwoPi * hertz / 8000;
        for (std::size_t n = 1; n < x.size(); ++n) ASSERT_LE(std::abs(x[n] - x[n - 1]), slope * 1.02 + 1) << n;
        EXPECT_LT(std::max(std::abs(x.front()), std::abs(x.back())), kPeak / 20) << "a click at the start or the end";
        EXPECT_TRUE(tx.modulator.Silent());
    }
    std::vector<std::int16_t> wrong(kN - 1);
    EXPECT_THROW(Psk31Modulator().Render(PskSymbol::Steady, 1500, wrong), std::invalid_argument);
}

TEST(Psk31Waveform, IdentificationIsMorseOnTheCarrierWithShapedEdgesAtNoMoreThanTwentyWords) {
    Transmission tx(1800);
    tx.modem.SetIdentificationText("de QZ0XB ");
    tx.Send("", true);
    std::vector<bool> keying = PskModem::MorseKeying("de QZ0XB ");
    keying.insert(keying.begin(), false), keying.push_back(false);  // one unit of the gaps before and after
    const std::size_t first = (PskModem::kPreambleSymbols + (PskModem::kMorseGapUnits - 1) * 2) * kN;
    const std::size_t unit = PskModem::kSymbolsPerMorseUnit * kN;
    ASSERT_GE(tx.samples.size(), first + keying.size() * unit);
    // The envelope: the largest sample of each millisecond against the full level.
    std::vector<double> env;
    for (auto at = tx.samples.begin() + first; at < tx.samples.begin() + first + keying.size() * unit; at += 8) {
        const auto [low, high] = std::minmax_element(at, at + 8);
        env.push_back(std::max(-*low, +*high) / kPeak);
    }
    // Keyed on the carrier's tone (at half amplitude) as the units of the table say, but within 3 ms of a change;
    // each change goes from 10 % to 90 % (or back) in 2 to 5 ms: neither a click nor a blur.
    const std::size_t ms = unit / 8;  // in a unit
    EXPECT_GE(ms, 60u) << "a dot of 60 ms or more: 20 words per minute at most";
    for (std::size_t i = 0; i < env.size(); ++i) {
        const bool keyed = keying[i / ms], nearEdge = i % ms < 3 || i % ms >= ms - 3;
        ASSERT_TRUE(nearEdge || (env[i] > 0.5) == keyed) << i << " ms";
        if (i % ms != 0 || i == 0 || keyed == keying[i / ms - 1]) continue;
        const auto between = std::count_if(&env[i - 3], &env[i + 6], [](double e) { return e > 0.1 && e < 0.9; });
        EXPECT_TRUE(between >= 2 && between <= 5) << between << " ms at the edge at " << i << " ms";
    }
    EXPECT_GT(std::abs(Component(tx.samples, 1800, first + unit + 32, first + unit + 96, kMean)), 0.4 * kPeak);
}

// A missing card is the device's failure, its account kept. On the real clock
// a thread of its own writes a block per symbol after two of silence, a slot of eight at a time, the end at once.
TEST(Psk31Sound, AMissingCardAndAThreadOfItsOwnWritingABlockPerSymbol) {
    test::ScratchDirectory scratch;
    PollEventLoop loop;
    const Clock& clock = loop.clock();
    {
        PacedWaveDevice device(clock, "air.wav");
        Psk31Sound sound(loop, device, true, {});
        EXPECT_EQ(sound.OpenCard(7), SoundError::NoSuchDevice);
        EXPECT_EQ(sound.Problem(), "sound file air.wav: no sound card 7");
        sound.Play(PskSymbol::Steady, 1500);  // not open: nothing waits
        EXPECT_EQ(sound.Waiting(), 0u);
        ASSERT_FALSE(sound.OpenCard(-1));
        EXPECT_EQ(sound.Problem(), "");
        for (int i = 0; i < 6; ++i) sound.Play(i % 2 ? PskSymbol::Steady : PskSymbol::Reversal, 1500);
        for (int i = 0; i < 2; ++i) sound.Play(PskSymbol::CarrierOff, 1500);  // the end only once
        for (const TimePoint limit = clock.Now() + seconds(5); sound.Waiting() > 0 && clock.Now() < limit;)
            if (device.WaitForChange(clock.Now() + seconds(1)) == SoundError::BadHandle) std::this_thread::yield();
        EXPECT_EQ(sound.Waiting(), 0u) << device.Problem();
        sound.CloseCard();  // joins the thread; the destructor's second close is harmless
    }
    const std::vector<std::int16_t> samples = test::ReadWavSamples("air.wav");
    // Two blocks of silence, six symbols near full level and the fade: nine blocks.
    ASSERT_EQ(samples.size(), 9u * Psk31Modulator::kSymbolSamples);
    for (std::size_t i = 0; i < 2 * Psk31Modulator::kSymbolSamples; ++i) ASSERT_EQ(samples[i], 0) << i;
    EXPECT_EQ(samples.back(), 0);
    EXPECT_GT(std::count_if(samples.begin(), samples.end(), [](std::int16_t s) { return std::abs(s) > 3000; }), 600);
}

}  // namespace
}  // namespace sked
