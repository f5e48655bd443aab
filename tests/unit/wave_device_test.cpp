// The wave-output back ends: the paced file and null devices on the simulated
// clock, and ALSA's own code path through a file PCM over a null slave (no
// sound card needed; the null slave does not pace, so nothing waits long).
#include <gtest/gtest.h>

#include <atomic>
#include <cmath>
#include <csignal>
#include <cstring>
#include <string>
#include <thread>
#include <vector>

#include <sys/resource.h>

#include "audio/sound_card.h"
#include "audio/alsa_wave_device.h"
#include "audio/paced_wave_device.h"
#include "platform/poll_event_loop.h"
#include "platform/simulated_event_loop.h"
#include "support/station_fixture.h"
#include "support/wav_samples.h"

namespace sked {
namespace {

using namespace std::chrono;

const TimePoint kStart{seconds(1'700'000'000)};
const WaveFormat kFormat = WaveFormat::Pcm16Mono(8000);

std::vector<std::int16_t> Ramp(std::size_t count, int from) {
    std::vector<std::int16_t> samples(count);
    for (std::size_t i = 0; i < count; ++i) samples[i] = static_cast<std::int16_t>(from + static_cast<int>(i) * 7);
    return samples;
}

TEST(PacedWaveDevice, BlocksEndBackToBackFromTheRestartAndAGapIsAnUnderrun) {
    SimulatedClock clock{kStart};
    PacedWaveDevice device{clock};
    ASSERT_EQ(device.Open(kFormat, 1320, -1), 0);
    ASSERT_EQ(device.Submit(Ramp(1320, 0)), 0);  // 165 ms
    ASSERT_EQ(device.Submit(Ramp(660, 0)), 0);   // 82.5 ms
    clock.AdvanceTo(kStart + seconds(1));
    EXPECT_EQ(device.BlocksDone(), 0u);  // paused
    EXPECT_EQ(device.NextChange(), TimePoint::max());
    ASSERT_EQ(device.Restart(), 0);
    const TimePoint play = kStart + seconds(1);

    struct Step {
        Duration at;  // after the restart
        std::uint64_t done, underruns;
        TimePoint next;
    };
    const Step steps[] = {
        {Duration::zero(), 0, 0, play + milliseconds(165)},
        {milliseconds(165) - nanoseconds(1), 0, 0, play + milliseconds(165)},
        {milliseconds(165), 1, 0, play + microseconds(247'500)},
        {microseconds(247'500), 2, 1, TimePoint::max()},  // ran dry
        {seconds(3), 2, 1, TimePoint::max()},
    };
    for (const Step& s : steps) {
        clock.AdvanceTo(play + s.at);
        EXPECT_EQ(device.BlocksDone(), s.done) << s.at.count();
        EXPECT_EQ(device.Underruns(), s.underruns) << s.at.count();
        EXPECT_EQ(device.NextChange(), s.next) << s.at.count();
    }
    // After the gap the pacing starts again at the next block.
    ASSERT_EQ(device.Submit(Ramp(800, 0)), 0);
    EXPECT_EQ(device.NextChange(), play + seconds(3) + milliseconds(100));
    EXPECT_EQ(device.Underruns(), 1u);
}

TEST(PacedWaveDevice, ResetAndCloseDiscardWhatIsQueuedAndWakeAWaiter) {
    SimulatedClock clock{kStart};
    PacedWaveDevice device{clock};
    ASSERT_EQ(device.Open(kFormat, 1320, -1), 0);
    for (int i = 0; i < 3; ++i) ASSERT_EQ(device.Submit(Ramp(1320, i)), 0);
    ASSERT_EQ(device.Restart(), 0);
    // A waiter with a simulated hour to go, on another thread. Reset until it
    // has returned, so that one that starts waiting after a reset is woken by the next.
    int waited = -1;
    std::atomic<bool> returned{false};
    std::thread waiter([&] {
        waited = device.WaitForChange(kStart + hours(1));
        returned = true;
    });
    const auto giveUp = steady_clock::now() + seconds(2);  // a reset that wakes nobody fails, not hangs
    while (!returned && steady_clock::now() < giveUp) {
        device.Reset();
        std::this_thread::yield();
    }
    EXPECT_TRUE(returned);
    if (!returned) device.Close();
    waiter.join();
    EXPECT_EQ(waited, 0);
    EXPECT_EQ(device.BlocksDone(), 3u);
    EXPECT_EQ(device.NextChange(), TimePoint::max());
    ASSERT_EQ(device.Submit(Ramp(1320, 0)), 0);
    ASSERT_EQ(device.Close(), 0);
    EXPECT_EQ(device.BlocksDone(), 4u);
    EXPECT_EQ(device.Submit(Ramp(10, 0)), wave::kInvalidHandle);
    EXPECT_EQ(device.WaitForChange(kStart + hours(1)), wave::kInvalidHandle);
}

TEST(PacedWavFile, EveryTransmissionIsAppendedToTheOneFile) {
    test::ScratchDirectory scratch;
    SimulatedClock clock{kStart};
    PacedWaveDevice device{clock, "air.wav"};
    std::vector<std::int16_t> expected;
    for (int transmission = 0; transmission < 2; ++transmission) {
        ASSERT_EQ(device.Open(kFormat, 1320, 2), 0);
        for (int i = 0; i < 5; ++i) {
            auto block = Ramp(transmission == 0 ? 1320 : 293, -20000 + 3000 * i);
            expected.insert(expected.end(), block.begin(), block.end());
            ASSERT_EQ(device.Submit(block), 0);
        }
        if (transmission == 1) {
            ASSERT_EQ(device.Reset(), 0);  // discarded blocks were written all the same
        }
        ASSERT_EQ(device.Close(), 0);
    }
    EXPECT_EQ(test::ReadWavSamples("air.wav"), expected);
    EXPECT_EQ(device.Problem(), "");
}

TEST(PacedWavFile, AFileThatCannotBeCreatedOrGrowEndsTheDeviceNamingItAndTheReason) {
    test::ScratchDirectory scratch;
    SimulatedClock clock{kStart};
    PacedWaveDevice nowhere{clock, "missing/air.wav"};
    EXPECT_EQ(nowhere.Open(kFormat, 1320, -1), wave::kBadDeviceId);
    EXPECT_EQ(nowhere.Problem(), "cannot create sound file missing/air.wav: No such file or directory");

    // The file may not grow past 16 KiB: a full disk, as far as the device can tell.
    rlimit saved{};
    ASSERT_EQ(::getrlimit(RLIMIT_FSIZE, &saved), 0);
    auto* previous = std::signal(SIGXFSZ, SIG_IGN);
    rlimit small = saved;
    small.rlim_cur = 16384;
    ASSERT_EQ(::setrlimit(RLIMIT_FSIZE, &small), 0);
    PacedWaveDevice device{clock, "air.wav"};
    int opened = device.Open(kFormat, 1320, -1), result = 0, blocks = 0;
    for (; opened == 0 && result == 0 && blocks < 20; ++blocks) result = device.Submit(Ramp(1320, 0));
    ::setrlimit(RLIMIT_FSIZE, &saved);
    std::signal(SIGXFSZ, previous);
    ASSERT_EQ(opened, 0);
    const std::string reason = "cannot write sound file air.wav: File too large";
    EXPECT_EQ(result, wave::kNotEnabled);
    EXPECT_EQ(device.Problem(), reason);
    EXPECT_EQ(device.WaitForChange(kStart + hours(1)), wave::kNotEnabled);
    // The recording is broken: later transmissions fail at once, with the same story.
    ASSERT_EQ(device.Close(), 0);
    EXPECT_EQ(device.Open(kFormat, 1320, -1), wave::kNotEnabled);
    EXPECT_EQ(device.Problem(), reason);
}

class AlsaWaveDeviceTest : public ::testing::Test {
protected:
    // A configuration with one PCM, "skedtest": raw samples into out.raw through a null slave.
    void SetUp() override {
        test::WriteFile("asound.conf", "pcm.skedtest {\n  type file\n  slave.pcm { type null }\n  file \"" +
                                           scratch.path() + "/out.raw\"\n  format \"raw\"\n}\n");
    }
    std::vector<std::int16_t> RawSamples() const {
        const std::string bytes = test::ReadFile("out.raw");
        std::vector<std::int16_t> samples(bytes.size() / 2);  // little-endian, as this host
        std::memcpy(samples.data(), bytes.data(), samples.size() * 2);
        return samples;
    }

    test::ScratchDirectory scratch;
    const AlsaWaveDevice::Options fileConfig{"skedtest", scratch.path() + "/asound.conf"};
    RealClock clock;
};

TEST_F(AlsaWaveDeviceTest, TheStreamReachesThePcmSampleForSample) {
    AlsaWaveDevice device{clock, fileConfig};
    SoundCard card{device, clock};
    ASSERT_EQ(card.OpenOutput(kFormat, 293, -1), 0) << device.Problem();
    std::vector<std::int16_t> expected;
    for (int i = 0; i < 7; ++i) {
        const int count = i == 6 ? 100 : 293;  // the last slot only partly filled
        std::vector<double> block;
        for (int k = 0; k < count; ++k) {
            block.push_back(9000.0 * std::sin(0.3 * (i * 293 + k)));
            expected.push_back(static_cast<std::int16_t>(block.back()));
        }
        ASSERT_EQ(card.WriteOutput(block.data(), count), count) << i;
    }
    card.CloseOutput();
    EXPECT_EQ(card.GetErrorCode(), 0) << device.Problem();
    EXPECT_EQ(device.BlocksDone(), 7u);
    EXPECT_EQ(RawSamples(), expected);
}

TEST_F(AlsaWaveDeviceTest, NothingReachesThePcmWhilePausedAndResetDiscardsIt) {
    AlsaWaveDevice device{clock, fileConfig};
    ASSERT_EQ(device.Open(kFormat, 100, -1), 0) << device.Problem();
    ASSERT_EQ(device.Submit(Ramp(100, 1)), 0);
    ASSERT_EQ(device.Submit(Ramp(100, 2)), 0);
    EXPECT_EQ(device.WaitForChange(clock.Now() + milliseconds(20)), 0);  // paused: nothing moves
    EXPECT_EQ(device.BlocksDone(), 0u);
    ASSERT_EQ(device.Reset(), 0);
    EXPECT_EQ(device.BlocksDone(), 2u);
    ASSERT_EQ(device.Restart(), 0);
    const auto block = Ramp(100, 3);
    ASSERT_EQ(device.Submit(block), 0);
    while (device.BlocksDone() < 3) ASSERT_EQ(device.WaitForChange(clock.Now() + seconds(2)), 0);
    ASSERT_EQ(device.Close(), 0);
    EXPECT_EQ(RawSamples(), block);
    EXPECT_EQ(device.Submit(block), wave::kInvalidHandle);
}

// The null PCM takes samples as fast as they come: the device still plays
// them at their own pace (a ring ahead at most), or the generator would
// render as fast as it can and burn a core.
TEST_F(AlsaWaveDeviceTest, APcmThatDoesNotPaceIsPacedAllTheSame) {
    AlsaWaveDevice device{clock, fileConfig};
    ASSERT_EQ(device.Open(kFormat, 160, -1), 0) << device.Problem();  // 20 ms blocks
    ASSERT_EQ(device.Restart(), 0);
    const auto start = std::chrono::steady_clock::now();
    for (int i = 0; i < 10; ++i) ASSERT_EQ(device.Submit(Ramp(160, i)), 0);
    while (device.BlocksDone() < 10) ASSERT_EQ(device.WaitForChange(clock.Now() + seconds(2)), 0);
    // 200 ms of audio: the last block goes in a ring (60 ms) and a block ahead of its end.
    EXPECT_GE(std::chrono::steady_clock::now() - start, milliseconds(110));
    ASSERT_EQ(device.Close(), 0);
    EXPECT_EQ(RawSamples().size(), 1600u);
}

TEST_F(AlsaWaveDeviceTest, DevicesThatAreNotThereOrFormatsTheyCannotPlayFailOpen) {
    WaveFormat stereo = kFormat;
    stereo.channels = 2;
    struct Case {
        AlsaWaveDevice::Options options;  // empty: the system's configuration
        int index;
        WaveFormat format;
        int result;
        std::string problem;
    };
    const Case cases[] = {
        {fileConfig, 3, kFormat, wave::kBadDeviceId, "cannot open sound device plughw:3: No such file or directory"},
        {fileConfig, 4, kFormat, wave::kBadDeviceId, "no sound device 4 (the station has -1 and 0 to 3)"},
        {fileConfig, -2, kFormat, wave::kBadDeviceId, "no sound device -2 (the station has -1 and 0 to 3)"},
        {fileConfig, -1, stereo, wave::kNotSupported, "sound device skedtest: only 16-bit mono PCM can be played"},
        {{"nosuch", fileConfig.configFile}, -1, kFormat, wave::kBadDeviceId,
         "cannot open sound device nosuch: No such file or directory"},
        {{"skedtest", "none.conf"}, -1, kFormat, wave::kBadDeviceId,
         "cannot read ALSA configuration none.conf: No such file or directory"},
        {{}, 3, kFormat, wave::kBadDeviceId, "cannot open sound device plughw:3: No such file or directory"},
    };
    const bool fourthCard = !ListAlsaCards().empty() && ListAlsaCards().back().deviceIndex == 3;
    for (const Case& c : cases) {
        if (c.options.configFile.empty() && fourthCard) continue;  // this machine has a card there
        AlsaWaveDevice device{clock, c.options};
        EXPECT_EQ(device.Open(c.format, 293, c.index), c.result) << c.problem;
        EXPECT_EQ(device.Problem(), c.problem);
    }
}

}  // namespace
}  // namespace sked
