// The sound card stream on the paced null device and the simulated clock; the
// paced devices themselves; ALSA through a file PCM over a null slave.
#include <atomic>
#include <cmath>
#include <csignal>
#include <thread>

#include <sys/resource.h>

#include <gtest/gtest.h>

#include "audio/alsa_wave_device.h"
#include "audio/paced_wave_device.h"
#include "audio/sound_card.h"
#include "platform/poll_event_loop.h"
#include "platform/simulated_event_loop.h"
#include "support/station_fixture.h"
#include "support/wav_samples.h"

namespace sked {
namespace {

using namespace std::chrono;
using Calls = std::vector<std::string>;
using Code = std::error_code;

const TimePoint kStart{seconds(1'700'000'000)};
const WaveFormat kFormat = WaveFormat::Pcm16Mono(8000);
constexpr int kFrames = 1320;                   // one character at 45.45 baud
constexpr Duration kBlock = milliseconds(165);  // 1320 samples at 8000 Hz

// The paced null device, its calls and blocks logged; a wait moves the clock on.
struct LoggedDevice : PacedWaveDevice {
    explicit LoggedDevice(SimulatedClock& clock) : PacedWaveDevice(clock), clock(clock) {}
    Code Open(const WaveFormat& f, int frames, int index) override {
        return calls.push_back("Open " + std::to_string(index)), PacedWaveDevice::Open(f, frames, index);
    }
    Code Submit(std::span<const std::int16_t> block) override {
        calls.push_back("Submit " + std::to_string(block.size())), blocks.emplace_back(block.begin(), block.end());
        return blocks.size() == failingSubmit ? SoundError::NoSuchDevice : PacedWaveDevice::Submit(block);
    }
    Code Restart() override { return calls.push_back("Restart"), stalled ? Code() : PacedWaveDevice::Restart(); }
    Code Reset() override { return calls.push_back("Reset"), PacedWaveDevice::Reset(); }
    Code Close() override { return calls.push_back("Close"), PacedWaveDevice::Close(); }
    Code WaitForChange(TimePoint until) override { return clock.AdvanceTo(std::min(NextChange(), until)), Code(); }

    SimulatedClock& clock;
    Calls calls;
    std::vector<std::vector<std::int16_t>> blocks;
    std::size_t failingSubmit = 0;  // this submit (from 1) fails with "no such device"
    bool stalled = false;
};

class SoundCardTest : public ::testing::Test {
protected:
    Code Open(int frames = kFrames) { return card.OpenOutput(kFormat, frames, -1); }
    int Write(double v = 1000.0, int n = kFrames) { return card.WriteOutput(std::vector<double>(n, v).data(), n); }
    Calls CallsAfterOpen() const { return {device.calls.begin() + 1, device.calls.end()}; }

    SimulatedClock clock{kStart};
    LoggedDevice device{clock};
    SoundCard card{device, clock};
};

// Playing starts with the second slot; a third waits for the first to end, not inside the write for a writer
// that waits for WriteReadyAt; a device run dry is an underflow. Samples are truncated and cut to 16 bits.
TEST_F(SoundCardTest, PlaybackStartsWithTheSecondSlotAndAThirdWaitsForTheFirst) {
    const std::pair<double, std::int16_t> cut[] = {{6700.9, 6700}, {-6700.9, -6700}, {32767.0, 32767},
        {32768.0, -32768}, {40000.0, -25536}, {-40000.0, 25536}, {65541.7, 5}, {NAN, 0}, {3e9, 0}, {-3e9, 0}};
    ASSERT_FALSE(Open());
    for (auto [in, out] : cut) ASSERT_EQ(Write(in, 1), 1);
    ASSERT_EQ(Write(1.0, kFrames - 10), kFrames - 10);
    clock.AdvanceTo(kStart + seconds(1));
    EXPECT_LE(card.WriteReadyAt(), clock.Now());
    ASSERT_EQ(Write(2.0), kFrames);
    EXPECT_EQ(CallsAfterOpen(), (Calls{"Submit 1320", "Submit 1320", "Restart"}));
    for (std::size_t i = 0; i < std::size(cut); ++i) EXPECT_EQ(device.blocks[0].at(i), cut[i].second) << cut[i].first;
    EXPECT_EQ(device.blocks[1][0], 2);
    const TimePoint play = kStart + seconds(1);
    EXPECT_EQ(card.WriteReadyAt(), play + kBlock);
    ASSERT_EQ(Write(), kFrames);
    EXPECT_EQ(clock.Now(), play + kBlock);
    for (int i = 0; i < 6; ++i) {
        clock.AdvanceTo(card.WriteReadyAt());
        ASSERT_EQ(Write(), kFrames);
    }
    EXPECT_EQ(clock.Now(), play + 7 * kBlock);
    EXPECT_FALSE(card.GetErrorCode()) << "no underflow";
    clock.AdvanceTo(play + seconds(5));  // everything played long ago: the write succeeds all the same
    EXPECT_EQ(Write(), kFrames);
    EXPECT_EQ(card.GetErrorCode(), SoundError::Underflow);
    EXPECT_TRUE(card.IsOpen());
    EXPECT_EQ(device.NextChange(), play + seconds(5) + kBlock) << "after the gap the pacing starts again";
}

// A device that never hands a slot back (2000 ms, then a time-out) or refuses a block: closed without a second wait.
TEST_F(SoundCardTest, ADeviceThatKeepsItsSlotsOrRefusesOneFailsTheWriteAndClosesTheStream) {
    const struct { bool stalled; std::size_t failingSubmit; SoundError error; Duration failedAfter; } cases[] = {
        {true, 0, SoundError::TimedOut, milliseconds(2000)}, {false, 3, SoundError::NoSuchDevice, {}}};
    for (const auto& c : cases) {
        device.calls.clear(), device.stalled = c.stalled, device.failingSubmit = c.failingSubmit + device.blocks.size();
        ASSERT_FALSE(Open());
        for (int i = 0; i < 2; ++i) ASSERT_EQ(Write(), kFrames);
        const TimePoint before = clock.Now();
        EXPECT_EQ(Write(), -1);
        EXPECT_EQ(card.GetErrorCode(), c.error);
        EXPECT_EQ(clock.Now(), before + c.failedAfter);
        EXPECT_EQ(Calls(device.calls.end() - 3, device.calls.end()), (Calls{"Submit 1320", "Reset", "Close"}));
        EXPECT_EQ(Write(), -1);
        EXPECT_EQ(card.GetErrorCode(), SoundError::NotOpen);
    }
}

// Closing plays a partial slot (and starts a lone block) and waits for the end, unless the counters were
// reset (a stop): then it discards at once. Each slot handed back gives the next its own two seconds.
TEST_F(SoundCardTest, CloseFlushesAndWaitsUnlessTheCountersWereReset) {
    const struct { int blocks, partial; bool reset; Calls calls; Duration closed; int frames = kFrames; } cases[] = {
        {2, 660, false, {"Submit 1320", "Submit 1320", "Restart", "Restart", "Submit 660", "Close"}, kBlock * 5 / 2},
        {1, 0, false, {"Submit 1320", "Restart", "Close"}, kBlock},
        {0, 660, false, {"Restart", "Submit 660", "Close"}, kBlock / 2},
        {0, 0, false, {"Close"}, Duration::zero()},
        {3, 100, true, {"Submit 1320", "Submit 1320", "Restart", "Submit 1320", "Reset", "Close"}, kBlock},
        {3, 0, false, {"Submit 12000", "Submit 12000", "Restart", "Submit 12000", "Close"}, milliseconds(4500), 12000},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(testing::Message() << c.blocks << " blocks and " << c.partial);
        device.calls.clear();
        const TimePoint opened = clock.Now();
        ASSERT_FALSE(Open(c.frames));
        for (int i = 0; i < c.blocks; ++i) ASSERT_EQ(Write(1000.0, c.frames), c.frames);
        ASSERT_EQ(Write(1000.0, c.partial), c.partial);
        if (c.reset) card.ResetOutputCounters();
        card.CloseOutput();
        EXPECT_EQ(CallsAfterOpen(), c.calls);
        EXPECT_EQ(clock.Now(), opened + c.closed);
        EXPECT_FALSE(card.GetErrorCode());
    }
}

TEST_F(SoundCardTest, OpenFailuresAndCallsOnAClosedStreamLeaveTheirErrorsAndTouchNothing) {
    card.CloseOutput();  // never opened
    EXPECT_FALSE(card.WaitOutputDone());
    EXPECT_EQ(card.OpenOutput(kFormat, kFrames, 7), SoundError::NoSuchDevice);  // no such card
    EXPECT_EQ(card.GetErrorCode(), SoundError::NoSuchDevice);
    EXPECT_FALSE(card.IsOpen());
    card.CloseOutput();
    EXPECT_EQ(card.OpenOutput(WaveFormat{1, 2, 8000, 32000, 4, 16, 0}, kFrames, -1), SoundError::NotSupported);
    EXPECT_EQ(Open(0), SoundError::BadParameter);
    EXPECT_EQ(device.calls, (Calls{"Open 7"}));
    // The next good stream starts clean: no old error, and its partial block still plays.
    ASSERT_FALSE(Open());
    ASSERT_EQ(Write(1000.0, 660), 660);
    card.CloseOutput();
    EXPECT_EQ(CallsAfterOpen(), (Calls{"Open -1", "Restart", "Submit 660", "Close"}));
}

std::vector<std::int16_t> Ramp(std::size_t count, int from) {
    std::vector<std::int16_t> samples(count);
    for (std::size_t i = 0; i < count; ++i) samples[i] = static_cast<std::int16_t>(from + static_cast<int>(i) * 7);
    return samples;
}

// A reset discards what is queued and wakes a waiter on another thread.
TEST(PacedWaveDevice, ResetAndCloseDiscardWhatIsQueuedAndWakeAWaiter) {
    SimulatedClock clock{kStart};
    PacedWaveDevice device{clock};
    ASSERT_FALSE(device.Open(kFormat, 1320, -1));
    for (int i = 0; i < 3; ++i) ASSERT_FALSE(device.Submit(Ramp(1320, i)));
    ASSERT_FALSE(device.Restart());
    // Reset until the waiter has returned: one that starts waiting after a reset is woken by the next.
    std::atomic<int> waited{-1};
    std::thread waiter([&] { waited = device.WaitForChange(kStart + hours(1)).value(); });
    const auto giveUp = steady_clock::now() + seconds(2);  // a reset that wakes nobody fails, not hangs
    while (waited < 0 && steady_clock::now() < giveUp) device.Reset(), std::this_thread::yield();
    if (waited < 0) device.Close();
    waiter.join();
    EXPECT_EQ(waited, 0);
    EXPECT_EQ(device.BlocksDone(), 3u);
    ASSERT_FALSE(device.Submit(Ramp(1320, 0)));
    ASSERT_FALSE(device.Close());
    EXPECT_EQ(device.BlocksDone(), 4u);
    EXPECT_EQ(device.Submit(Ramp(10, 0)), SoundError::BadHandle);
    EXPECT_EQ(device.WaitForChange(kStart + hours(1)), SoundError::BadHandle);
}

// Every transmission is appended to the one file, discarded blocks too; a file
// that cannot be created or grow ends the device, and later ones fail at once.
TEST(PacedWavFile, EveryTransmissionIsAppendedAndAFailedFileEndsTheDevice) {
    test::ScratchDirectory scratch;
    SimulatedClock clock{kStart};
    PacedWaveDevice device{clock, "air.wav"}, nowhere{clock, "missing/air.wav"}, full{clock, "full.wav"};
    std::vector<std::int16_t> expected;
    for (std::size_t length : {1320u, 293u}) {
        ASSERT_FALSE(device.Open(kFormat, 1320, 2));
        for (int i = 0; i < 5; ++i) {
            const auto block = Ramp(length, -20000 + 3000 * i);
            expected.insert(expected.end(), block.begin(), block.end());
            ASSERT_FALSE(device.Submit(block));
        }
        ASSERT_FALSE(length == 293 ? device.Reset() : std::error_code());
        ASSERT_FALSE(device.Close());
    }
    EXPECT_EQ(test::ReadWavSamples("air.wav"), expected);
    const std::string header = test::ReadFile("air.wav");  // plain PCM (format 1), as simple readers want
    EXPECT_EQ(header.substr(header.find("fmt ") + 8, 4), std::string("\1\0\1\0", 4)) << "PCM, mono";
    EXPECT_EQ(nowhere.Open(kFormat, 1320, -1), SoundError::NoSuchDevice);
    EXPECT_EQ(nowhere.Problem(), "cannot create sound file missing/air.wav: No such file or directory");
    // The file may not grow past 16 KiB: a full disk, as far as the device can tell.
    rlimit saved{};
    ASSERT_EQ(::getrlimit(RLIMIT_FSIZE, &saved), 0);
    auto* previous = std::signal(SIGXFSZ, SIG_IGN);
    const rlimit small{16384, saved.rlim_max};
    ASSERT_EQ(::setrlimit(RLIMIT_FSIZE, &small), 0);
    std::error_code result = full.Open(kFormat, 1320, -1);
    for (int blocks = 0; !result && blocks < 20; ++blocks) result = full.Submit(Ramp(1320, 0));
    ::setrlimit(RLIMIT_FSIZE, &saved), std::signal(SIGXFSZ, previous);
    const std::string reason = "cannot write sound file full.wav: File too large";
    EXPECT_EQ(std::tuple(result, full.Problem()), std::tuple(SoundError::DeviceFailed, reason));
    EXPECT_EQ(full.WaitForChange(kStart + hours(1)), SoundError::DeviceFailed);
    ASSERT_FALSE(full.Close());
    EXPECT_EQ(full.Open(kFormat, 1320, -1), SoundError::DeviceFailed);
    EXPECT_EQ(full.Problem(), reason);
}

class AlsaWaveDeviceTest : public ::testing::Test {
protected:
    // One PCM, "skedtest": raw samples into out.raw through a null slave.
    void SetUp() override {
        test::WriteFile("asound.conf", "pcm.skedtest {\n  type file\n  slave.pcm { type null }\n  file \"" +
                                           scratch.path() + "/out.raw\"\n  format \"raw\"\n}\n");
    }

    test::ScratchDirectory scratch;
    RealClock clock;
    AlsaWaveDevice device{clock, {"skedtest", scratch.path() + "/asound.conf"}};
};

// The null PCM takes samples as fast as they come: the device still plays them
// at their own pace, or the generator would burn a core.
TEST_F(AlsaWaveDeviceTest, TheBlocksReachThePcmAtTheirOwnPaceAndNothingWhilePaused) {
    ASSERT_FALSE(device.Open(kFormat, 160, -1)) << device.Problem();  // 20 ms blocks
    for (int i = 1; i <= 2; ++i) ASSERT_FALSE(device.Submit(Ramp(160, i)));
    EXPECT_FALSE(device.WaitForChange(clock.Now() + milliseconds(20)));
    EXPECT_EQ(device.BlocksDone(), 0u);
    ASSERT_FALSE(device.Reset());
    EXPECT_EQ(device.BlocksDone(), 2u);
    ASSERT_FALSE(device.Restart());
    const auto start = steady_clock::now();
    const auto audio = Ramp(1540, 3);  // the last block shorter than a period
    for (std::size_t at = 0; at < audio.size(); at += 160)
        ASSERT_FALSE(device.Submit(std::span(audio).subspan(at, std::min<std::size_t>(160, audio.size() - at))));
    while (device.BlocksDone() < 12) ASSERT_FALSE(device.WaitForChange(clock.Now() + seconds(2)));
    // 190 ms of audio: the last block goes in a ring (60 ms) and a block ahead of its end.
    EXPECT_GE(steady_clock::now() - start, milliseconds(110));
    ASSERT_FALSE(device.Close());
    const auto* bytes = reinterpret_cast<const char*>(audio.data());  // little-endian, as this host
    EXPECT_EQ(test::ReadFile("out.raw"), std::string(bytes, bytes + 2 * audio.size()));
    EXPECT_EQ(device.Submit(audio), SoundError::BadHandle);
}

TEST_F(AlsaWaveDeviceTest, DevicesThatAreNotThereOrFormatsTheyCannotPlayFailOpen) {
    using enum SoundError;
    const struct { const char *pcm, *config; int index, channels; SoundError result; const char* problem; } cases[] = {
        {"skedtest", "asound.conf", 3, 1, NoSuchDevice, "cannot open sound device plughw:3: No such file or directory"},
        {"skedtest", "asound.conf", 4, 1, NoSuchDevice, "no sound device 4 (the station has -1 and 0 to 3)"},
        {"skedtest", "asound.conf", -1, 2, NotSupported, "sound device skedtest: only 16-bit mono PCM can be played"},
        {"nosuch", "asound.conf", -1, 1, NoSuchDevice, "cannot open sound device nosuch: No such file or directory"},
        {"skedtest", "x.conf", -1, 1, NoSuchDevice, "cannot read ALSA configuration x.conf: No such file or directory"},
    };
    for (const auto& c : cases) {
        AlsaWaveDevice device{clock, {c.pcm, c.config}};
        WaveFormat format = kFormat;
        format.channels = c.channels;
        EXPECT_EQ(device.Open(format, 293, c.index), c.result) << c.problem;
        EXPECT_EQ(device.Problem(), c.problem);
    }
}

}  // namespace
}  // namespace sked
