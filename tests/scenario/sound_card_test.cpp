// The station's sound: the tone generator made at each keying from the
// station's settings and driven by its loop on the simulated clock.
#include <csignal>

#include <sys/resource.h>

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

bool Louder(std::int16_t a, std::int16_t b) { return std::abs(a) < std::abs(b); }

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
    const auto audio = test::ReadWavSamples("air.wav");
    // Ten seconds keyed and the tail, rising from silence and falling back to it over 5 ms; nothing after.
    EXPECT_GE(std::ssize(audio), 12 * 8000);
    EXPECT_LE(std::ssize(audio), 13 * 8000);
    ASSERT_GT(audio.size(), 8000u);
    auto peak = [&](std::size_t from, std::size_t n) {
        return std::abs(*std::max_element(&audio[from], &audio[from + n], Louder));
    };
    EXPECT_LT(peak(0, 3), 150);
    EXPECT_GT(peak(40, 8), 6000);
    EXPECT_GT(peak(audio.size() - 48, 8), 6000);
    EXPECT_LT(peak(audio.size() - 3, 3), 150);
}

// Sound from a card that cannot open (none named, a WAV file in no folder): nothing keyed, each bulletin ABORTED.
TEST_F(StationSound, ASoundCardThatCannotOpenKeysNothing) {
    station->commands.SoundCard("None");
    station->commands.NoSound(false);
    std::string why;
    EXPECT_FALSE(station->transmitter.KeyTransmitter(&why));
    EXPECT_EQ(why, "the sound card cannot be opened: sound file air.wav: no sound card 99");
    ASSERT_FALSE(boxes.shown.empty());
    EXPECT_EQ(boxes.shown.back().text, "Device ID out of range");

    auto nowhere = std::make_unique<PacedWaveDevice>(loop->clock(), "nowhere/a.wav");
    station->UseAudio(*nowhere, true);
    device = std::move(nowhere);
    station->commands.SoundCard("-1 Auto");
    WriteData("news.txt", std::string(100, 'E'));
    WriteData("schedule.lst", "01/01/2026 12:00:10 news.txt\n01/01/2026 12:00:20 news.txt\n");
    station->commands.Reload();
    station->commands.Enable();
    RunFor(std::chrono::seconds(60));
    const auto log = LogMessages();
    EXPECT_EQ(std::count(log.begin(), log.end(), "SendAbort : <news.txt> not sent whole: the sound card cannot be "
                                                 "opened: cannot create sound file nowhere/a.wav: No such file or "
                                                 "directory."), 2);
    EXPECT_EQ(std::count(log.begin(), log.end(), "ABORTED sending <news.txt>."), 2);
    EXPECT_FALSE(Logged("CmTX : Transmitter ON"));
    EXPECT_TRUE(uart.FrameCodes().empty());
}

// The WAV file's disk fills in a bulletin: ABORTED with the key up; the next is not keyed without its sound.
TEST_F(StationSound, AFullDiskInTheMiddleOfABulletinAbortsIt) {
    station->commands.SoundCard("-1 Auto");
    WriteData("news.txt", std::string(300, 'E'));
    WriteData("schedule.lst", "01/01/2026 12:00:10 news.txt\n01/01/2026 12:02:00 news.txt\n");
    station->commands.Reload();
    station->commands.Enable();
    rlimit saved{};
    ASSERT_EQ(::getrlimit(RLIMIT_FSIZE, &saved), 0);
    auto* previous = std::signal(SIGXFSZ, SIG_IGN);
    const rlimit small{200'000, saved.rlim_max};  // about twelve seconds of sound
    ASSERT_EQ(::setrlimit(RLIMIT_FSIZE, &small), 0);
    RunFor(std::chrono::minutes(3));
    ::setrlimit(RLIMIT_FSIZE, &saved), std::signal(SIGXFSZ, previous);
    const std::string full = "cannot write sound file air.wav: File too large.";
    EXPECT_TRUE(Logged("SendAbort : <news.txt> not sent whole: the sound card failed: " + full));
    EXPECT_TRUE(Logged("SendAbort : <news.txt> not sent whole: the sound card cannot be opened: " + full));
    const auto log = LogMessages();
    EXPECT_EQ(std::count(log.begin(), log.end(), "ABORTED sending <news.txt>."), 2);
    EXPECT_EQ(std::count(log.begin(), log.end(), "CmRX : Transmitter OFF"), 1);
    EXPECT_FALSE(station->transmitter.On());
    EXPECT_LT(uart.FrameCodes().size(), 100u);
}

// The card passes from the tones to the PSK31 modem and back: in the afterglow, and with the key held between.
TEST_F(StationSound, TheCardPassesBetweenTheTonesAndPsk31) {
    station->commands.SoundCard("-1 Auto");
    ASSERT_TRUE(station->transmitter.KeyTransmitter());
    station->transmitter.ReleaseTransmitter();
    station->modes.ModeClicked(Mode::Psk31);
    EXPECT_EQ(station->settings.mode, Mode::Psk31);
    station->modes.ModeClicked(Mode::Military);
    WriteData({{"a.txt", "RTTY\n"}, {"b.txt", "PSK\n"}});
    WriteData("schedule.lst", "01/01/2026 12:00:05 a.txt\n01/01/2026 12:00:06 $PSK31\n01/01/2026 12:00:07 b.txt\n"
                              "01/01/2026 12:00:08 $MIL\n01/01/2026 12:00:09 a.txt\n");
    station->commands.Reload();
    station->commands.Enable();
    RunFor(std::chrono::minutes(2));
    const auto log = LogMessages();
    EXPECT_EQ(std::count(log.begin(), log.end(), "Completed sending <a.txt>."), 2);
    EXPECT_TRUE(Logged("Completed sending <b.txt>."));
    EXPECT_EQ(station->psk.SentText(), "PSK\n");
    EXPECT_NE(station->transmitter.Generator(), nullptr) << "the tones of the last bulletin";
    EXPECT_TRUE(boxes.shown.empty());
}

// The list names the cards beside their numbers; a card is chosen by its number, its device the number less one.
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
