// The tone generator driven by the loop on the simulated clock, into a WAV
// file paced by that clock: what reaches the file, the queue's limit, and a
// sound card that cannot be opened.
#include "audio/afsk_generator.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstdlib>
#include <string>
#include <thread>
#include <vector>

#include "audio/paced_wave_device.h"
#include "platform/poll_event_loop.h"
#include "platform/simulated_event_loop.h"
#include "support/wav_samples.h"

namespace sked {
namespace {

using namespace std::chrono;

class AfskGeneratorTest : public ::testing::Test {
protected:
    void SetUp() override {
        char pattern[] = "/tmp/skedcast-afsk.XXXXXX";
        ASSERT_NE(mkdtemp(pattern), nullptr);
        folder_ = pattern;
    }
    void TearDown() override { std::system(("rm -rf " + folder_).c_str()); }

    std::unique_ptr<AfskGenerator> Make(WaveDevice& device, int deviceIndex = -1) {
        return std::make_unique<AfskGenerator>(loop, device, phase, AfskSettings{}, deviceIndex, false,
                                               [this](int code, const std::string& problem, bool opening) {
                                                   failures.push_back({code, problem, opening});
                                               });
    }
    // Runs the loop's clock on by `span`, pumping the generator every `tick`.
    void Run(AfskGenerator& generator, Duration span, Duration tick = milliseconds(40)) {
        const TimePoint end = loop.clock().Now() + span;
        while (loop.clock().Now() < end) {
            generator.Pump();
            loop.AdvanceTo(loop.clock().Now() + tick);
            loop.PumpMessages();
        }
    }

    struct Failure {
        int code;
        std::string problem;
        bool opening;
    };
    SimulatedEventLoop loop{TimePoint{seconds(1'700'000'000)}};
    PhaseAccumulator phase;
    std::vector<Failure> failures;
    std::string folder_;
};

// The audio keeps pace with the clock: blocks of idle mark and characters,
// back to back, as many as the time allows, and the codes in their order.
TEST_F(AfskGeneratorTest, BlocksFollowTheClockAndTheCodesTheirOrder) {
    const std::string path = folder_ + "/air.wav";
    PacedWaveDevice device(loop.clock(), path);
    {
        auto generator = Make(device);
        generator->StartGenerator();
        ASSERT_EQ(generator->BlockLength(), 1320u);
        for (int code : {0x1F, 0x05, 0x0A}) generator->Put(code);
        Run(*generator, seconds(2));
        EXPECT_EQ(generator->QueuedCodes(), 0);
        generator->RequestStop();
        Run(*generator, milliseconds(200));
        EXPECT_EQ(generator->NextBlockAt(), TimePoint::max()) << "ended once the stop was seen";
    }
    EXPECT_TRUE(failures.empty());
    const auto samples = test::ReadWavSamples(path);
    // Two seconds of 165 ms blocks, three ahead of the clock at most.
    EXPECT_GE(samples.size(), 12u * 1320u);
    EXPECT_LE(samples.size(), 16u * 1320u);
    EXPECT_EQ(samples.size() % 1320u, 0u);
    // The same blocks as the modulator makes them.
    PhaseAccumulator referencePhase;
    AfskModulator reference(AfskSettings{}, referencePhase);
    std::vector<std::int16_t> block(1320);
    const std::uint32_t codes[] = {0x1F, 0x05, 0x0A, 0, 0};
    for (std::size_t b = 0; b < std::size(codes); ++b) {
        reference.Render(codes[b], block);
        for (std::size_t i = 0; i < block.size(); ++i)
            ASSERT_EQ(samples[b * 1320 + i], block[i]) << "block " << b << " sample " << i;
    }
}

// A full queue keeps its first 98 codes and replaces the last with each newer one.
TEST_F(AfskGeneratorTest, AFullQueueReplacesItsLastCode) {
    PacedWaveDevice device(loop.clock());
    auto generator = Make(device);
    for (int code = 1; code <= 120; ++code) generator->Put(code);
    std::vector<std::uint32_t> expected;
    for (std::uint32_t code = 1; code <= 98; ++code) expected.push_back(code);
    expected.push_back(120);
    EXPECT_EQ(generator->Queued(), expected);
    generator->EmptyQueue();
    EXPECT_EQ(generator->QueuedCodes(), 0);
}

// No device named: the open fails with "Device ID out of range" and the
// failure reaches the loop, marked as an open failure.
TEST_F(AfskGeneratorTest, NoDeviceFailsToOpenAndSaysSoOnTheLoop) {
    PacedWaveDevice device(loop.clock());
    auto generator = Make(device, 10);
    generator->StartGenerator();
    EXPECT_TRUE(failures.empty()) << "reported from the loop, not from inside the start";
    loop.PumpMessages();
    ASSERT_EQ(failures.size(), 1u);
    EXPECT_EQ(failures[0].code, 2);
    EXPECT_TRUE(failures[0].opening);
    EXPECT_EQ(generator->NextBlockAt(), TimePoint::max());
}

// A card lost in the middle (here: it refuses the fifth block) ends the
// audio with the failure reported, not as an open failure: the transmitter
// stays on and the text goes on through the serial port.
TEST_F(AfskGeneratorTest, ACardLostInTheMiddleEndsTheAudioOnly) {
    struct LostCard : PacedWaveDevice {
        using PacedWaveDevice::PacedWaveDevice;
        int Submit(std::span<const std::int16_t> block) override {
            return ++blocks > 4 ? wave::kNoDriver : PacedWaveDevice::Submit(block);
        }
        int blocks = 0;
    } device(loop.clock());
    auto generator = Make(device);
    generator->StartGenerator();
    Run(*generator, seconds(2));
    ASSERT_EQ(failures.size(), 1u);
    EXPECT_EQ(failures[0].code, wave::kNoDriver);
    EXPECT_FALSE(failures[0].opening);
    EXPECT_EQ(generator->NextBlockAt(), TimePoint::max());
    EXPECT_EQ(device.blocks, 5) << "nothing written after the failure";
}

// Which of the two tones each 10 ms stretch of the audio holds (1 space,
// 0 mark), from the energy at each tone over the stretch.
std::vector<int> ToneRuns(const std::vector<short>& samples, double mark, double space, std::size_t stretch) {
    auto energy = [&](std::size_t from, double hz) {
        double re = 0, im = 0;
        for (std::size_t i = 0; i < stretch; ++i) {
            const double a = 2.0 * M_PI * hz * static_cast<double>(i) / 8000.0;
            re += samples[from + i] * std::cos(a);
            im += samples[from + i] * std::sin(a);
        }
        return re * re + im * im;
    };
    std::vector<int> tones;
    for (std::size_t from = 0; from + stretch <= samples.size(); from += stretch)
        tones.push_back(energy(from, space) > energy(from, mark) ? 1 : 0);
    return tones;
}

// Lengths of the alternating runs of one tone and the other, the first run being mark.
std::vector<int> RunLengths(const std::vector<int>& tones) {
    std::vector<int> runs{0};
    int current = 0;
    for (int tone : tones) {
        if (tone != current) runs.push_back(0), current = tone;
        ++runs.back();
    }
    return runs;
}

// The Morse of the identification (the break condition) comes out as the
// space tone for each element: the elements keep their lengths in the sound
// although the audio runs blocks behind the clock, and the line goes back
// to mark, even when the queue is emptied as the key drops.
TEST_F(AfskGeneratorTest, TheBreakConditionKeysTheSpaceToneWithItsTiming) {
    const std::string path = folder_ + "/air.wav";
    PacedWaveDevice device(loop.clock(), path);
    {
        auto generator = Make(device);
        generator->StartGenerator();
        Run(*generator, seconds(1), milliseconds(34));
        // "A" at the station's 34 ms tick: dot 2, gap 1, dash 5 ticks; then "E" after a character gap.
        const int ticks[][2] = {{2, 1}, {5, 8}, {2, 1}};
        for (auto [on, off] : ticks) {
            generator->PutBreak(true);
            Run(*generator, milliseconds(34) * on, milliseconds(34));
            generator->PutBreak(false);
            Run(*generator, milliseconds(34) * off, milliseconds(34));
        }
        generator->EmptyQueue();
        Run(*generator, seconds(2), milliseconds(34));
        generator->RequestStop();
        Run(*generator, milliseconds(200));
    }
    const auto samples = test::ReadWavSamples(path);
    const std::vector<int> runs = RunLengths(ToneRuns(samples, 2125, 2295, 80));
    // Mark, dot, gap, dash, character gap, dot, mark to the end: 10 ms stretches, give or take one.
    ASSERT_EQ(runs.size(), 7u) << "the tones change six times";
    const double expected[] = {6.8, 3.4, 17, 27.2, 6.8};  // from the dot to the last dot, in stretches
    for (int i = 0; i < 5; ++i) EXPECT_NEAR(runs[i + 1], expected[i], 1.0) << "run " << i + 1;
    EXPECT_GE(runs.back(), 150) << "mark again after the Morse, to the end";
}

// On the real clock a thread of its own renders the blocks at the device's
// pace and takes the codes; the stop ends the thread.
TEST_F(AfskGeneratorTest, OnTheRealClockAThreadOfItsOwnPlaysTheCodes) {
    RealClock clock;
    PollEventLoop realLoop;
    const std::string path = folder_ + "/air.wav";
    PacedWaveDevice device(clock, path);
    AfskSettings fast;
    fast.baud = 300.0f;  // 200-sample (25 ms) blocks keep the test short
    {
        AfskGenerator generator(realLoop, device, phase, fast, -1, true, {});
        generator.StartGenerator();
        for (int code : {0x11, 0x02, 0x1C}) generator.Put(code);
        const TimePoint limit = clock.Now() + seconds(5);
        while (generator.QueuedCodes() > 0 && clock.Now() < limit) {
            // Until the thread has opened the device, there is nothing to wait on.
            if (device.WaitForChange(clock.Now() + seconds(1)) == wave::kInvalidHandle) std::this_thread::yield();
        }
        EXPECT_EQ(generator.QueuedCodes(), 0) << device.Problem();
        generator.RequestStop();
    }  // joins the thread
    // Each code had a block, in whole blocks; the thread ended with the stop.
    const auto samples = test::ReadWavSamples(path);
    EXPECT_GE(samples.size(), 3u * 200u);
    EXPECT_EQ(samples.size() % 200u, 0u);
    EXPECT_TRUE(failures.empty());
}

}  // namespace
}  // namespace sked
