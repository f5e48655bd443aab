// The station's sound: the tone generator made at each keying from the
// station's settings and driven by its loop on the simulated clock.
#include <gtest/gtest.h>

#include "audio/paced_wave_device.h"
#include "support/station_fixture.h"
#include "support/wav_samples.h"

namespace sked::test {
namespace {

class StationSound : public StationTest {
protected:
    void SetUp() override {
        StationTest::SetUp();
        ASSERT_TRUE(StartStation());
        device = std::make_unique<PacedWaveDevice>(loop->clock(), "air.wav");
        station->UseAudio(*device, true);
    }
    void TearDown() override {
        station.reset();  // its generators write to the device
        device.reset();
        StationTest::TearDown();
    }
    std::unique_ptr<PacedWaveDevice> device;
};

// Keyed with the default sound card, the tones run for as long as the
// transmitter is on and for its two-second afterglow, then stop.
TEST_F(StationSound, TheTonesRunWhileKeyedAndForTheTail) {
    station->commands.SoundCard("-1 Auto");
    ASSERT_FALSE(station->settings.noSound);
    station->transmitter.KeyTransmitter();
    RunFor(std::chrono::seconds(10));
    station->transmitter.ReleaseTransmitter();
    RunFor(std::chrono::seconds(5));
    EXPECT_TRUE(boxes.shown.empty());
    station.reset();
    const auto samples = std::ssize(test::ReadWavSamples("air.wav"));
    // Ten seconds keyed and the tail, in whole 165 ms blocks; nothing after.
    EXPECT_GE(samples, 12 * 8000);
    EXPECT_LE(samples, 13 * 8000);
    EXPECT_EQ(samples % 1320, 0);
}

// No sound card named but sound wanted: the generator cannot open a device,
// says so, and the transmitter goes off; a bulletin keyed so is not sent.
TEST_F(StationSound, NoSoundCardAtTheStartSwitchesTheTransmitterOff) {
    station->commands.SoundCard("None");
    station->commands.NoSound(false);
    station->transmitter.KeyTransmitter();
    RunFor(std::chrono::seconds(5));
    ASSERT_FALSE(boxes.shown.empty());
    EXPECT_EQ(boxes.shown.back().text, "Device ID out of range");
    EXPECT_FALSE(station->transmitter.On());
    EXPECT_EQ(LogMessages().back(), "CmRX : Transmitter OFF");

    WriteData("news.txt", std::string(100, 'E'));
    WriteData("schedule.lst", "01/01/2026 12:00:10 news.txt\n01/01/2026 13:00:00 later.txt\n");
    station->commands.Reload();
    station->commands.NoSound(false);
    station->commands.Enable();
    RunFor(std::chrono::seconds(60));
    const auto log = LogMessages();
    EXPECT_NE(std::find_if(log.begin(), log.end(),
                           [](const std::string& line) {
                               return line.starts_with("SendAbort : <news.txt> not sent whole: the sound card cannot be "
                                                       "opened: ");
                           }),
              log.end());
    EXPECT_TRUE(Logged("ABORTED sending <news.txt>."));
    EXPECT_LT(uart.FrameCodes().size(), 10u);
}

// The list names the cards that exist beside their numbers; a card is still
// chosen by its number, and its device is the number less one.
using StationSoundCards = StationTest;
TEST_F(StationSoundCards, TheListNamesTheCardsAndIsReadByNumber) {
    ASSERT_TRUE(StartStation("QZ0XB 2 RTS", "2026-01-01T12:00:00", false));
    PacedWaveDevice device(loop->clock());
    station->UseAudio(device, true, {"", "USB Audio CODEC"});
    ASSERT_TRUE(station->StartUp("QZ0XB 2 RTS"));
    EXPECT_EQ(station->window.soundCardCombo.Items(),
              (std::vector<std::string>{"None", "-1 Auto", "1", "2 USB Audio CODEC", "3", "4"}));
    station->commands.SoundCard("2");
    EXPECT_EQ(station->window.soundCardCombo.CurSel(), 3);
    EXPECT_EQ(station->modes.SelectSoundDevice(), 1);
    station.reset();  // before the device its generators would write to
}

}  // namespace
}  // namespace sked::test
