// The sound card stream on a fake wave device and the simulated clock: when the
// slots play, when the writer waits and for how long, what closing does, and
// the codes every failure leaves.
#include "audio/sound_card.h"

#include <gtest/gtest.h>

#include <cmath>
#include <string>
#include <vector>

#include "audio/stream_errors.h"
#include "audio/paced_wave_device.h"
#include "platform/simulated_event_loop.h"

namespace sked {
namespace {

using namespace std::chrono;

const TimePoint kStart{seconds(1'700'000'000)};
constexpr int kFrames = 1320;                       // one character at 45.45 baud
constexpr Duration kBlock = milliseconds(165);      // 1320 samples at 8000 Hz

// A wave device that plays blocks back to back on the simulated clock once
// restarted, and moves that clock on when the stream waits for it.
class FakeWaveDevice : public WaveDevice {
public:
    struct Block {
        std::vector<std::int16_t> samples;
        TimePoint start = TimePoint::max();
        TimePoint end = TimePoint::max();
        bool discarded = false;
    };

    explicit FakeWaveDevice(SimulatedClock& clock) : clock_(clock) {}

    int Open(const WaveFormat&, int framesPerBuffer, int deviceIndex) override {
        calls.push_back("Open " + std::to_string(framesPerBuffer) + " " + std::to_string(deviceIndex));
        if (openResult) return openResult;
        paused_ = true;
        return 0;
    }
    int Submit(std::span<const std::int16_t> block) override {
        calls.push_back("Submit " + std::to_string(block.size()));
        if (static_cast<int>(blocks.size()) + 1 == failingSubmit) return 2;
        blocks.push_back({{block.begin(), block.end()}});
        Schedule();
        return 0;
    }
    int Restart() override {
        calls.push_back("Restart");
        paused_ = false;
        Schedule();
        return 0;
    }
    int Reset() override {
        calls.push_back("Reset");
        for (auto& b : blocks)
            if (b.end > clock_.Now()) b.discarded = true;
        return 0;
    }
    int Close() override {
        calls.push_back("Close");
        return 0;
    }
    std::uint64_t BlocksDone() override {
        std::uint64_t done = 0;
        for (auto& b : blocks) done += b.discarded || b.end <= clock_.Now();
        return done;
    }
    std::uint64_t Underruns() override {
        // Gaps between blocks played, and the gap now when all have ended.
        std::uint64_t gaps = 0;
        for (std::size_t i = 1; i < blocks.size(); ++i)
            gaps += blocks[i].start != TimePoint::max() && blocks[i].start > blocks[i - 1].end;
        return gaps + (!paused_ && !blocks.empty() && blocks.back().end <= clock_.Now());
    }
    TimePoint NextChange() override {
        for (auto& b : blocks)
            if (!b.discarded && b.end > clock_.Now()) return b.end;
        return TimePoint::max();
    }
    int WaitForChange(TimePoint deadline) override {
        clock_.AdvanceTo(std::min(NextChange(), deadline));
        return 0;
    }
    std::string Problem() const override { return ""; }

    std::vector<std::string> calls;
    std::vector<Block> blocks;
    int openResult = 0;
    int failingSubmit = 0;  // this submit (1-based) fails with "no such device"
    bool stalled = false;   // plays nothing, ever

private:
    void Schedule() {
        if (paused_ || stalled) return;
        TimePoint end = clock_.Now();
        for (auto& b : blocks) {
            if (b.start == TimePoint::max()) {
                b.start = std::max(end, clock_.Now());
                b.end = b.start + kBlock * static_cast<int>(b.samples.size()) / kFrames;
            }
            end = b.end;
        }
    }

    SimulatedClock& clock_;
    bool paused_ = true;
};

class SoundCardTest : public ::testing::Test {
protected:
    // Writes one full slot of the value `v`; returns WriteOutput's result.
    int WriteBlock(double v = 1000.0, int count = kFrames) {
        std::vector<double> samples(static_cast<std::size_t>(count), v);
        return card.WriteOutput(samples.data(), count);
    }
    int Open() { return card.OpenOutput(WaveFormat::Pcm16Mono(8000), kFrames, -1); }
    std::vector<std::string> CallsAfterOpen() const {
        return {device.calls.begin() + 1, device.calls.end()};
    }

    SimulatedClock clock{kStart};
    FakeWaveDevice device{clock};
    SoundCard card{device, clock};
};

TEST_F(SoundCardTest, NothingPlaysUntilTheSecondBlockAndAFourthWaitsForTheFirstToEnd) {
    ASSERT_EQ(Open(), 0);
    ASSERT_EQ(WriteBlock(1.0), kFrames);
    clock.AdvanceTo(kStart + seconds(1));
    EXPECT_EQ(device.blocks[0].start, TimePoint::max());
    EXPECT_LE(card.WriteReadyAt(), clock.Now());
    ASSERT_EQ(WriteBlock(2.0), kFrames);
    EXPECT_EQ(CallsAfterOpen(), (std::vector<std::string>{"Submit 1320", "Submit 1320", "Restart"}));
    const TimePoint play = kStart + seconds(1);
    EXPECT_EQ(device.blocks[0].start, play);
    EXPECT_EQ(device.blocks[1].start, device.blocks[0].end);  // back to back
    EXPECT_EQ(device.blocks[1].samples[0], 2);
    EXPECT_EQ(card.WriteReadyAt(), play + kBlock);
    ASSERT_EQ(WriteBlock(), kFrames);  // three queued: returns when the first has played
    EXPECT_EQ(clock.Now(), play + kBlock);
    ASSERT_EQ(WriteBlock(), kFrames);
    EXPECT_EQ(clock.Now(), play + 2 * kBlock);
    EXPECT_EQ(card.GetErrorCode(), 0);
}

TEST_F(SoundCardTest, SamplesAreTruncatedTowardZeroAndCutToTheirLowSixteenBits) {
    const std::pair<double, std::int16_t> cases[] = {
        {6700.9, 6700},   {-6700.9, -6700}, {0.99, 0},       {-0.99, 0},          {32767.0, 32767},
        {32768.0, -32768}, {40000.0, -25536}, {-40000.0, 25536}, {65541.7, 5},     {std::nan(""), 0},
        {3e9, 0},          {-3e9, 0}};
    ASSERT_EQ(Open(), 0);
    std::vector<double> samples;
    for (auto [in, out] : cases) samples.push_back(in);
    ASSERT_EQ(card.WriteOutput(samples.data(), static_cast<int>(samples.size())), static_cast<int>(samples.size()));
    card.CloseOutput();  // the partial slot goes out
    ASSERT_EQ(device.blocks.size(), 1u);
    for (std::size_t i = 0; i < std::size(cases); ++i) EXPECT_EQ(device.blocks[0].samples[i], cases[i].second) << i;
}

TEST_F(SoundCardTest, ADeviceThatKeepsItsSlotsOrRefusesOneFailsTheWriteAndClosesTheStream) {
    struct Case {
        bool stalled;
        int failingSubmit, code;
        Duration failedAfter;  // and no second wait at close
    };
    const Case cases[] = {{true, 0, stream::kTimedOut, milliseconds(2000)}, {false, 3, wave::kBadDeviceId, {}}};
    for (const Case& c : cases) {
        SimulatedClock clock{kStart};
        FakeWaveDevice device{clock};
        SoundCard card{device, clock};
        device.stalled = c.stalled;
        device.failingSubmit = c.failingSubmit;
        ASSERT_EQ(card.OpenOutput(WaveFormat::Pcm16Mono(8000), kFrames, -1), 0);
        std::vector<double> block(kFrames, 1.0);
        for (int i = 0; i < 2; ++i) ASSERT_EQ(card.WriteOutput(block.data(), kFrames), kFrames);
        EXPECT_EQ(card.WriteOutput(block.data(), kFrames), -1);
        EXPECT_EQ(card.GetErrorCode(), c.code);
        EXPECT_EQ(clock.Now(), kStart + c.failedAfter);
        EXPECT_FALSE(card.IsOpen());
        EXPECT_EQ(std::vector<std::string>(device.calls.end() - 3, device.calls.end()),
                  (std::vector<std::string>{"Submit 1320", "Reset", "Close"}));
        EXPECT_EQ(card.WriteOutput(block.data(), kFrames), -1);
        EXPECT_EQ(card.GetErrorCode(), stream::kNotOpen);
    }
}

TEST_F(SoundCardTest, AnUnderflowIsRecordedYetTheWriteSucceeds) {
    ASSERT_EQ(Open(), 0);
    ASSERT_EQ(WriteBlock(), kFrames);
    ASSERT_EQ(WriteBlock(), kFrames);
    clock.AdvanceTo(kStart + kBlock);  // one of two played: not dry yet
    ASSERT_EQ(WriteBlock(), kFrames);
    EXPECT_EQ(card.GetErrorCode(), 0);
    clock.AdvanceTo(kStart + seconds(5));  // everything played long ago
    EXPECT_EQ(WriteBlock(), kFrames);
    EXPECT_EQ(card.GetErrorCode(), stream::kUnderflow);
    EXPECT_TRUE(card.IsOpen());
}

TEST_F(SoundCardTest, CloseAfterResettingTheCountersDiscardsAtOnce) {
    ASSERT_EQ(Open(), 0);
    for (int i = 0; i < 3; ++i) ASSERT_EQ(WriteBlock(), kFrames);
    ASSERT_EQ(WriteBlock(1.0, 100), 100);
    const TimePoint before = clock.Now();
    card.ResetOutputCounters();
    card.CloseOutput();
    EXPECT_EQ(clock.Now(), before);
    EXPECT_EQ(device.blocks.size(), 3u);  // the partial slot was not sent
    EXPECT_EQ(device.calls.back(), "Close");
    EXPECT_EQ(device.calls[device.calls.size() - 2], "Reset");
    EXPECT_FALSE(card.IsOpen());
}

TEST_F(SoundCardTest, CloseFlushesAPartialSlotAndWaitsUntilAllHasPlayed) {
    struct Case {
        int fullBlocks, partial;
        std::vector<std::string> calls;  // after the open
        Duration closedAt;
    };
    const Case cases[] = {
        {2, 660, {"Submit 1320", "Submit 1320", "Restart", "Restart", "Submit 660", "Close"}, kBlock * 5 / 2},
        // One block alone never got the device started: close starts it.
        {1, 0, {"Submit 1320", "Restart", "Close"}, kBlock},
        {0, 660, {"Restart", "Submit 660", "Close"}, kBlock / 2},
        {0, 0, {"Close"}, Duration::zero()},
    };
    for (const Case& c : cases) {
        SimulatedClock clock{kStart};
        FakeWaveDevice device{clock};
        SoundCard card{device, clock};
        ASSERT_EQ(card.OpenOutput(WaveFormat::Pcm16Mono(8000), kFrames, 0), 0);
        std::vector<double> block(kFrames, 100.0);
        for (int i = 0; i < c.fullBlocks; ++i) ASSERT_EQ(card.WriteOutput(block.data(), kFrames), kFrames);
        ASSERT_EQ(card.WriteOutput(block.data(), c.partial), c.partial);
        card.CloseOutput();
        EXPECT_EQ(std::vector<std::string>(device.calls.begin() + 1, device.calls.end()), c.calls) << c.fullBlocks;
        EXPECT_EQ(clock.Now(), kStart + c.closedAt) << c.fullBlocks;
        EXPECT_EQ(device.BlocksDone(), device.blocks.size());
        EXPECT_EQ(card.GetErrorCode(), 0);
    }
}

TEST_F(SoundCardTest, EverySlotHandedBackGivesTheNextItsOwnTwoSeconds) {
    constexpr int kLong = 12000;  // 1.5 s: three of them take longer than one wait may
    ASSERT_EQ(card.OpenOutput(WaveFormat::Pcm16Mono(8000), kLong, -1), 0);
    for (int i = 0; i < 3; ++i) ASSERT_EQ(WriteBlock(1.0, kLong), kLong);
    EXPECT_EQ(card.WaitOutputDone(), 0);
    EXPECT_EQ(clock.Now(), kStart + milliseconds(4500));
    card.CloseOutput();
    EXPECT_EQ(card.GetErrorCode(), 0);
}

TEST_F(SoundCardTest, OpenFailuresAndCallsOnAClosedStreamLeaveCodesAndTouchNothing) {
    card.CloseOutput();  // never opened
    EXPECT_TRUE(device.calls.empty());
    EXPECT_EQ(card.WaitOutputDone(), 0);
    EXPECT_EQ(WriteBlock(), -1);
    EXPECT_EQ(card.GetErrorCode(), stream::kNotOpen);

    device.openResult = wave::kBadDeviceId;
    EXPECT_EQ(card.OpenOutput(WaveFormat::Pcm16Mono(8000), kFrames, 7), wave::kBadDeviceId);
    EXPECT_EQ(card.GetErrorCode(), wave::kBadDeviceId);
    EXPECT_FALSE(card.IsOpen());
    card.CloseOutput();
    EXPECT_EQ(device.calls, (std::vector<std::string>{"Open 1320 7"}));

    WaveFormat stereo = WaveFormat::Pcm16Mono(8000);
    stereo.channels = 2;
    EXPECT_EQ(card.OpenOutput(stereo, kFrames, -1), wave::kNotSupported);
    EXPECT_EQ(card.OpenOutput(WaveFormat::Pcm16Mono(8000), 0, -1), wave::kInvalidParameter);
    EXPECT_EQ(device.calls.size(), 1u);
}

// The stream on the paced null device: a whole transmission's timing.
TEST(SoundCardOnPacedDevice, ABulletinOfBlocksTakesItsPlayingTimeAfterTheSecondBlock) {
    SimulatedClock clock{kStart};
    PacedWaveDevice device{clock};
    SoundCard card{device, clock};
    ASSERT_EQ(card.OpenOutput(WaveFormat::Pcm16Mono(8000), kFrames, -1), 0);
    std::vector<double> block(kFrames, 0.0);
    for (int i = 0; i < 10; ++i) {
        // The generator on the simulated clock waits for the stream before writing.
        const TimePoint ready = card.WriteReadyAt();
        if (ready > clock.Now()) clock.AdvanceTo(ready);
        ASSERT_EQ(card.WriteOutput(block.data(), kFrames), kFrames);
    }
    EXPECT_EQ(clock.Now(), kStart + 8 * kBlock);  // two slots still queued after the tenth
    clock.AdvanceTo(kStart + 10 * kBlock);
    EXPECT_EQ(card.WaitOutputDone(), 0);
    card.CloseOutput();
    EXPECT_EQ(device.BlocksDone(), 10u);
    EXPECT_EQ(card.GetErrorCode(), 0);
}

TEST(SoundCardTexts, StreamCodesAndThePskStartReport) {
    const std::pair<int, std::string> stream[] = {
        {0, ""},
        {2, "Device ID out of range"},
        {8, "Function isn't supported"},
        {12, "Handle being used"},
        {100, "Memory Allocation error"},
        {114, "Tried to write and soundcard is not open"},
        {115, "Output buffers Underflowed"},
        {116, "Timed out waiting for output buffers"},
        {1, "??? Maybe Input being used at\n a different sample rate"},
        {13, "??? Maybe Input being used at\n a different sample rate"},
        {-1, "??? Maybe Input being used at\n a different sample rate"}};
    for (const auto& [code, text] : stream) EXPECT_EQ(StreamErrorText(code), text) << code;
    const std::pair<int, std::string> psk[] = {{0, "(  0) No error in starting sound card process"},
                                               {17, "( 17) Card doesn't support 16bit, 8000Hz, Mono format"},
                                               {41, "( 41) Can't open wave file for output"},
                                               {11, "( 11) Really Bad Undefined Error"},
                                               {42, "( 42) Really Bad Undefined Error"},
                                               {-5, "( -5) Really Bad Undefined Error"},
                                               {1234, "(1234) Really Bad Undefined Error"}};
    for (const auto& [code, text] : psk) EXPECT_EQ(PskStartErrorMessage(code), text) << code;
}

}  // namespace
}  // namespace sked
