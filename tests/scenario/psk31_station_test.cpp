// PSK31 at the station: the modem owns the sound card while PSK31 is the mode, a transmission keeps
// its sequence with it (keying, the text at most three codes ahead, pause, CANCEL, the release), the
// start report names what is wrong with the card, and an entry meant for PSK31 that cannot go out in
// PSK31 is not sent as anything else.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <complex>

#include "audio/paced_wave_device.h"
#include "support/station_fixture.h"
#include "support/wav_samples.h"

namespace sked::test {
namespace {

using namespace std::chrono_literals;

// The paced device, but an open can be made to fail with a sound error.
class RefusingDevice : public PacedWaveDevice {
public:
    using PacedWaveDevice::PacedWaveDevice;
    std::error_code Open(const WaveFormat& format, int framesPerBuffer, int deviceIndex) override {
        if (refuse) return refuse;
        return PacedWaveDevice::Open(format, framesPerBuffer, deviceIndex);
    }
    std::string Problem() const override {
        return refuse ? "sound card " + std::to_string(refuse.value()) + " test" : PacedWaveDevice::Problem();
    }
    std::error_code refuse;
};

class Psk31Station : public StationTest {
protected:
    void SetUp() override {
        StationTest::SetUp();
        ASSERT_TRUE(StartStation());
        device = std::make_unique<RefusingDevice>(loop->clock(), "air.wav");
        station->UseAudio(*device, true);
        station->psk.SetSymbolSink([this](TimePoint when, PskSymbol symbol) { symbols.push_back({when, symbol}); });
    }
    void TearDown() override {
        station.reset();
        device.reset();
        StationTest::TearDown();
    }
    void ChoosePsk31() {
        station->commands.SoundCard("-1 Auto");
        station->modes.ModeClicked(Mode::Psk31);
        ASSERT_EQ(station->window.statusLine.Text(), "No error in starting sound card process");
        ASSERT_EQ(station->settings.mode, Mode::Psk31);
    }
    // Sends `name` as a transmission of its own; the time it ended.
    TimePoint Send(const std::string& name) {
        TransmissionPlan plan;
        plan.parts = {TextPart{name, true, std::nullopt}};
        plan.alwaysRelease = true;
        TimePoint ended{};
        station->transmission.Start(plan, {.keepKeyed = {}, .done = [&](const TransmissionResult&) { ended = Now(); }});
        for (int i = 0; i < 120 && ended == TimePoint{}; ++i) RunFor(1s);
        EXPECT_NE(ended, TimePoint{});
        return ended;
    }
    int Count(PskSymbol which, TimePoint from = TimePoint::min(), TimePoint to = TimePoint::max()) const {
        return static_cast<int>(std::count_if(symbols.begin(), symbols.end(), [&](const auto& s) {
            return s.second == which && s.first >= from && s.first < to;
        }));
    }
    std::unique_ptr<RefusingDevice> device;
    std::vector<std::pair<TimePoint, PskSymbol>> symbols;
};

TEST_F(Psk31Station, StartReportNamesTheCardsProblemAndTheStationFallsBackToMilitary) {
    const struct { SoundError error; const char* report; } cases[] = {
        {SoundError::NoSuchDevice, "( 21) Bad Device ID, Soundcard Not Present"},
        {SoundError::Busy, "( 23) Device already allocated"},
        {SoundError::NotSupported, "( 17) Card doesn't support 16bit, 8000Hz, Mono format"},
        {SoundError::DeviceFailed, "( 22) Driver failed to enable"},
        {SoundError::NoMemory, "( 33) Unknown Error"}};
    station->commands.SoundCard("2");
    for (const auto& c : cases) {
        device->refuse = c.error;
        station->modes.ModeClicked(Mode::Psk31);
        ASSERT_FALSE(boxes.shown.empty());
        EXPECT_EQ(boxes.shown.back().caption, "FATAL - Sound Card");
        EXPECT_EQ(boxes.shown.back().text, c.report);
        EXPECT_EQ(station->settings.mode, Mode::Military);
        EXPECT_TRUE(station->window.milButton.Checked());
        EXPECT_FALSE(station->psk.Running());
        EXPECT_TRUE(Logged(std::string("CmPSK31 : PSK31 cannot start: ") + c.report + " (sound card " +
                           std::to_string(static_cast<int>(c.error)) +
                           " test). Entries are not sent until a mode is chosen."))
            << c.report;
    }
    // The card is there again: PSK31 starts, and stopping twice is harmless.
    device->refuse.clear();
    ChoosePsk31();
    EXPECT_TRUE(station->settings.pskUnavailable.empty());
    station->modes.ModeClicked(Mode::Cw);
    station->modes.ModeClicked(Mode::Cw);
    EXPECT_FALSE(station->psk.Running());
}

// Headless without a sound card: the $PSK31 bulletin is not sent at all (never as RTTY); the log
// says why; once the schedule chooses another mode, entries go out again.
TEST_F(Psk31Station, APsk31EntryWithoutASoundCardIsSkippedNotSentInMilitary) {
    WriteData("news.txt", "PSK31 NEWS\n");
    WriteData("later.txt", "RTTY NEWS\n");
    WriteData("schedule.lst",
              "01/01/2026 12:00:05 $PSK31\n01/01/2026 12:00:06 news.txt\n"
              "01/01/2026 12:00:07 $MILITARY\n01/01/2026 12:00:08 later.txt\n");
    station->commands.Reload();
    station->dispatcher.Enable();
    RunUntil(LocalTimePoint("2026-01-01T12:01:00"));
    EXPECT_TRUE(Logged("CmPSK31 : PSK31 cannot start: no sound card chosen. Entries are not sent until a mode is "
                       "chosen."));
    EXPECT_TRUE(Logged("SendAbort : <news.txt> not sent: PSK31 cannot start: no sound card chosen."));
    EXPECT_TRUE(Logged("ABORTED sending <news.txt>."));
    EXPECT_TRUE(Logged("Completed sending <later.txt>."));
    const auto messages = LogMessages();
    EXPECT_EQ(std::count(messages.begin(), messages.end(), "CmTX : Transmitter ON"), 1);  // later.txt only
    EXPECT_TRUE(symbols.empty());
}

// Keyed: the tone, then the preamble; the text goes out at most three codes ahead; the release ends
// after the queued codes (the postamble, the fade) and the carrier is off within its afterglow.
TEST_F(Psk31Station, TheTextGoesOutWholeBeforeTheCarrierEndsAndTheSoundFollowsTheSymbols) {
    ChoosePsk31();
    station->interpreter.Run("F1800");  // the schedule's preset, taken as its button in PSK31
    WriteData("psk.txt", "cq cq de qz0xb pse k\n");
    int most = 0;
    station->psk.SetSymbolSink([&](TimePoint when, PskSymbol symbol) {
        most = std::max(most, station->psk.CodesQueued());
        symbols.push_back({when, symbol});
    });
    const TimePoint on = Now();
    const TimePoint off = Send("psk.txt");
    EXPECT_EQ(station->psk.Frequency(), 1800);
    EXPECT_LE(most, 3);
    EXPECT_EQ(station->psk.SentText(), "cq cq de qz0xb pse k\n");
    EXPECT_EQ(Count(PskSymbol::CarrierOff), 1);
    ASSERT_FALSE(symbols.empty());
    EXPECT_EQ(symbols.back().second, PskSymbol::CarrierOff);
    EXPECT_LE(symbols.back().first, off);
    EXPECT_EQ(symbols.front().first, on);
    RunFor(5s);
    const std::size_t count = symbols.size();
    station.reset();  // the card is given back and the file completed
    // Every symbol became one 256-sample block on the card, after two of silence and with the fade.
    const std::vector<std::int16_t> air = test::ReadWavSamples("air.wav");
    EXPECT_EQ(air.size(), static_cast<std::size_t>((count + 2) * 256));
    // The carrier heard is at 1800 Hz, the strongest of the preset frequencies.
    auto power = [&](double hertz) {
        std::complex<double> sum;
        for (std::size_t i = 0; i < air.size(); ++i) sum += std::polar(1.0 * air[i], -2 * M_PI * hertz * i / 8000);
        return std::abs(sum);
    };
    for (double other : {1500.0, 1600.0, 1700.0, 1900.0, 2000.0, 2100.0}) EXPECT_GT(power(1800), 4 * power(other));
    EXPECT_TRUE(boxes.shown.empty());
}

// Pause: the file stops between characters and the carrier goes on with idle reversals that take
// air time; resume goes on with the next character; CANCEL stops the carrier at once, queue dropped.
TEST_F(Psk31Station, PauseSendsIdleReversalsAndCancelDropsTheQueue) {
    ChoosePsk31();
    WriteData("long.txt", std::string(200, 'x'));
    TimePoint pausedAt{}, resumedAt{}, cancelledAt{};
    std::string sentAtPause;
    station->psk.SetSymbolSink([&](TimePoint when, PskSymbol symbol) {
        symbols.push_back({when, symbol});
        const std::string sent = station->psk.SentText();
        if (pausedAt == TimePoint{} && sent.size() == 5) {
            station->commands.Pause();
            pausedAt = when;
            sentAtPause = sent;
        } else if (resumedAt == TimePoint{} && pausedAt != TimePoint{} && when - pausedAt >= 5s) {
            station->commands.Resume();
            resumedAt = when;
        } else if (cancelledAt == TimePoint{} && sent.size() == 20) {
            station->commands.Cancel();
            cancelledAt = when;
        }
    });
    Send("long.txt");
    ASSERT_NE(resumedAt, TimePoint{});
    ASSERT_NE(cancelledAt, TimePoint{});
    // While paused: reversals only, once the codes already queued have gone (at most four of 320 ms).
    const TimePoint idleFrom = pausedAt + 1500ms;
    EXPECT_EQ(Count(PskSymbol::Steady, idleFrom, resumedAt), 0);
    EXPECT_GE(Count(PskSymbol::Reversal, idleFrom, resumedAt), 3 * 31);
    EXPECT_GT(Count(PskSymbol::Steady, resumedAt, cancelledAt), 0);  // the text again after resume
    EXPECT_LE(station->psk.SentText().size(), 20u + 1u);  // the character under way when cancelled
    EXPECT_FALSE(station->psk.Transmitting());
    EXPECT_EQ(Count(PskSymbol::CarrierOff), 1);
    EXPECT_EQ(symbols.back().first, cancelledAt);
    EXPECT_TRUE(Logged("CmCancel : Session CANCELED"));
}

// The identification: cwid.txt in PSK31, the callsign in Morse on the carrier, and the next
// transmission only after fifteen seconds (or after a long identification has ended).
TEST_F(Psk31Station, IdentificationKeysTheCarrierAfterTheTextAndIsNeverCutShort) {
    ChoosePsk31();
    WriteData("cwid.txt", "VVV\n");
    const TimePoint started = Now();
    station->settings.callsign = "QZ0XB00";  // the longest callsign: more than fifteen seconds of Morse
    station->cwid.Cwid();
    RunFor(60s);
    EXPECT_EQ(station->psk.SentText(), "VVV\n");
    std::vector<bool> keyed;
    for (const auto& s : symbols)
        if (s.second == PskSymbol::KeyDown || s.second == PskSymbol::KeyUp) keyed.push_back(s.second == PskSymbol::KeyDown);
    std::vector<bool> expected;
    std::vector<bool> units(PskModem::kMorseGapUnits, false);
    const std::vector<bool> morse = PskModem::MorseKeying(station->settings.IdText());
    units.insert(units.end(), morse.begin(), morse.end());
    units.insert(units.end(), PskModem::kMorseGapUnits, false);
    for (bool unit : units) expected.insert(expected.end(), PskModem::kSymbolsPerMorseUnit, unit);
    EXPECT_EQ(keyed, expected);
    const Duration morseTime = static_cast<long>(expected.size()) * PskModem::kSymbol;
    EXPECT_GT(morseTime, 15s);
    // The second preamble begins after the identification's carrier went off.
    const auto end = std::find_if(symbols.begin(), symbols.end(),
                                  [](const auto& s) { return s.second == PskSymbol::CarrierOff; });
    ASSERT_NE(end, symbols.end());
    ASSERT_NE(end + 1, symbols.end());
    EXPECT_GE((end + 1)->first, end->first);
    EXPECT_GE((end + 1)->first - started, 15s);
}

}  // namespace
}  // namespace sked::test
