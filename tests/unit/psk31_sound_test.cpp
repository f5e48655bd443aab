// The PSK31 modem's sound card: the start report for what the device says, and on the real clock
// a thread of its own writing one block per symbol after two of silence.
#include "audio/psk31_sound.h"

#include <gtest/gtest.h>

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

using std::chrono::seconds;

TEST(Psk31StartReport, WaveResultsBecomeTheReportsCodes) {
    const std::pair<int, int> cases[] = {{wave::kOk, 0},           {wave::kBadDeviceId, 21}, {wave::kNotEnabled, 22},
                                         {wave::kAllocated, 23},   {wave::kInvalidHandle, 24}, {wave::kNoDriver, 25},
                                         {wave::kNotSupported, 17}, {wave::kBadErrorNumber, 27},
                                         {wave::kInvalidFlag, 28}, {wave::kInvalidParameter, 29},
                                         {wave::kHandleBusy, 30},  {wave::kNoMemory, 33},  {99, 33}};
    for (const auto& [result, code] : cases) EXPECT_EQ(PskStartCodeForWaveResult(result), code) << result;
}

// A card the device does not have: 21, the device's own account kept, nothing open.
TEST(Psk31StartReport, AMissingCardIsTwentyOne) {
    SimulatedEventLoop loop(TimePoint(seconds(1'700'000'000)));
    PacedWaveDevice device(loop.clock());
    Psk31Sound sound(loop, device, false, {});
    EXPECT_EQ(sound.OpenCard(7), 21);
    EXPECT_EQ(sound.Problem(), "null sound device: no sound card 7");
    sound.Play(PskSymbol::Steady, 1500);  // not open: nothing waits
    EXPECT_EQ(sound.Waiting(), 0u);
    sound.CloseCard();
    EXPECT_EQ(sound.OpenCard(-1), 0);
    EXPECT_EQ(sound.Problem(), "");
}

TEST(Psk31SoundThread, OnTheRealClockAThreadOfItsOwnWritesABlockPerSymbol) {
    char folder[] = "/tmp/psk31-sound-XXXXXX";
    ASSERT_NE(::mkdtemp(folder), nullptr);
    const std::string path = std::string(folder) + "/air.wav";
    RealClock clock;
    PollEventLoop loop;
    {
        PacedWaveDevice device(clock, path);
        Psk31Sound sound(loop, device, true, {});
        ASSERT_EQ(sound.OpenCard(-1), 0);
        for (int i = 0; i < 6; ++i) sound.Play(i % 2 ? PskSymbol::Steady : PskSymbol::Reversal, 1500);
        sound.Play(PskSymbol::CarrierOff, 1500);
        sound.Play(PskSymbol::CarrierOff, 1500);  // the end only once
        const TimePoint limit = clock.Now() + seconds(5);
        while (sound.Waiting() > 0 && clock.Now() < limit) {
            if (device.WaitForChange(clock.Now() + seconds(1)) == wave::kInvalidHandle) std::this_thread::yield();
        }
        EXPECT_EQ(sound.Waiting(), 0u) << device.Problem();
        sound.CloseCard();  // joins the thread
        sound.CloseCard();  // harmless
    }
    const std::vector<std::int16_t> samples = test::ReadWavSamples(path);
    std::remove(path.c_str());
    ::rmdir(folder);
    // Two blocks of silence, six symbols and the fade: nine blocks.
    ASSERT_EQ(samples.size(), 9u * Psk31Modulator::kSymbolSamples);
    for (std::size_t i = 0; i < 2 * Psk31Modulator::kSymbolSamples; ++i) ASSERT_EQ(samples[i], 0) << i;
    EXPECT_EQ(samples.back(), 0);
    int loud = 0;
    for (short s : samples) loud += std::abs(s) > 3000;
    EXPECT_GT(loud, 600);  // six symbols near full level
}

}  // namespace
}  // namespace sked
