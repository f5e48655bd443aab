// The BPSK31 waveform on rendered samples: a small receiver (phase comparison at the symbol ends)
// reads every character back; the spectrum stays narrow; nothing clicks; the identification's Morse.
#include "audio/psk31_modulator.h"

#include <gtest/gtest.h>

#include <cmath>
#include <complex>
#include <cstdint>
#include <numbers>
#include <string>
#include <vector>

#include "platform/simulated_event_loop.h"
#include "transmit/psk_modem.h"
#include "transmit/varicode.h"

namespace sked {
namespace {

using std::chrono::milliseconds;
constexpr std::size_t kN = Psk31Modulator::kSymbolSamples;
constexpr double kRate = Psk31Modulator::kSampleRate;
const TimePoint kT0 = TimePoint(std::chrono::seconds(1'700'000'000));

// The modem on the simulated clock with its symbols rendered, block after block, as the sound card would get them.
struct Transmission {
    explicit Transmission(int hertz) {
        modem.StartOnCard(-1);
        modem.SetTone(hertz);
        modem.SetSymbolSink([this, hertz](TimePoint, PskSymbol symbol) {
            std::vector<std::int16_t> block(kN);
            modulator.Render(symbol, hertz, block);
            samples.insert(samples.end(), block.begin(), block.end());
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
    SimulatedClock clock{kT0};
    PskModem modem{clock};
    Psk31Modulator modulator;
    std::vector<std::int16_t> samples;
};

// The carrier's complex amplitude around sample `at`, averaged over 8 ms (the sum frequency cancels).
std::complex<double> Baseband(const std::vector<std::int16_t>& x, double hertz, std::size_t at) {
    std::complex<double> sum;
    const std::size_t half = 32;
    for (std::size_t n = at > half ? at - half : 0; n < std::min(x.size(), at + half); ++n) {
        const double angle = 2 * std::numbers::pi * hertz * static_cast<double>(n) / kRate;
        sum += static_cast<double>(x[n]) * std::complex<double>(std::cos(angle), -std::sin(angle));
    }
    return sum / static_cast<double>(2 * half);
}

// A carrier at the receiver's frequency, at a quarter of the full level or more.
constexpr double kCarrierSeen = Psk31Modulator::kDefaultPeak / 2 / 4;

// The receiver: compares the carrier's phase at the end of each symbol period with the one before
// (same phase: 1, reversed: 0) and splits the bits into varicode characters.
std::string Receive(const std::vector<std::int16_t>& x, double hertz) {
    VaricodeDecoder decoder;
    std::complex<double> before = Baseband(x, hertz, 0);
    for (std::size_t end = kN; end <= x.size(); end += kN) {
        const std::complex<double> now = Baseband(x, hertz, end);
        if (std::abs(now) > kCarrierSeen && std::abs(before) > kCarrierSeen) decoder.PushBit((now * std::conj(before)).real() > 0);
        before = now;
    }
    return decoder.TakeText();
}

TEST(Psk31Waveform, EveryCharacterComesBackThroughAPhaseComparingReceiver) {
    std::string all;
    for (int code = 0; code < 128; ++code) all += static_cast<char>(code);
    for (int hertz : {1500, 2100}) {
        Transmission tx(hertz);
        tx.Send(all);
        EXPECT_EQ(Receive(tx.samples, hertz), all) << hertz << " Hz";
        // Preamble, the text, postamble: each symbol one block.
        EXPECT_EQ(tx.samples.size() % kN, 0u);
    }
    // Nothing of it at another PSK31 frequency: the signal is on its own carrier.
    Transmission tx(1500);
    tx.Send("CQ CQ DE QZ0XB");
    EXPECT_EQ(Receive(tx.samples, 2100), "");
}

// Power at `hertz` of the Hann-windowed samples [from, from + length).
double PowerAt(const std::vector<std::int16_t>& x, std::size_t from, std::size_t length, double hertz) {
    std::complex<double> sum;
    for (std::size_t n = 0; n < length; ++n) {
        const double w = 0.5 - 0.5 * std::cos(2 * std::numbers::pi * static_cast<double>(n) / length);
        const double angle = 2 * std::numbers::pi * hertz * static_cast<double>(n) / kRate;
        sum += w * x[from + n] * std::complex<double>(std::cos(angle), -std::sin(angle));
    }
    return std::norm(sum);
}

TEST(Psk31Waveform, TextStaysWithinSixtyHertzOfTheCarrierAndNothingClicks) {
    Transmission tx(1500);
    tx.Send("The quick brown fox jumps over the lazy dog 0123456789. CQ CQ DE QZ0XB QZ0XB PSE K\r\n");
    const auto& x = tx.samples;
    // Four seconds of text, after the preamble.
    const std::size_t from = 40 * kN, length = 16000;
    ASSERT_GT(x.size(), from + length);
    double inside = 0, outside = 0;
    for (double f = 300; f <= 3700; f += 5) {
        const double p = PowerAt(x, from, length, f);
        (std::abs(f - 1500) <= 60 ? inside : outside) = std::max(std::abs(f - 1500) <= 60 ? inside : outside, p);
    }
    EXPECT_LT(10 * std::log10(outside / inside), -30.0);

    // From the first sample to the last: no step larger than the full carrier's own, so no click at
    // the start, at the reversals or at the end; it starts and ends at zero.
    const double slope = Psk31Modulator::kDefaultPeak * 2 * std::numbers::pi * 1500 / kRate;
    for (std::size_t n = 1; n < x.size(); ++n) ASSERT_LE(std::abs(x[n] - x[n - 1]), slope * 1.02 + 1) << n;
    EXPECT_LE(std::abs(x.front()), slope);
    EXPECT_LE(std::abs(x.back()), slope);
    EXPECT_TRUE(tx.modulator.Silent());
}

// The envelope: the largest sample in each millisecond.
std::vector<double> Envelope(const std::vector<std::int16_t>& x) {
    std::vector<double> env;
    for (std::size_t n = 0; n + 8 <= x.size(); n += 8) {
        double most = 0;
        for (std::size_t k = n; k < n + 8; ++k) most = std::max(most, std::abs(static_cast<double>(x[k])));
        env.push_back(most / Psk31Modulator::kDefaultPeak);
    }
    return env;
}

TEST(Psk31Waveform, IdentificationIsMorseOnTheCarrierWithShapedEdgesAtNoMoreThanTwentyWords) {
    Transmission tx(1800);
    tx.modem.SetIdentificationText("de QZ0XB ");
    tx.Send("", true);
    // The identification and one unit of the gaps before and after it.
    const std::size_t first = (PskModem::kPreambleSymbols + (PskModem::kMorseGapUnits - 1) * 2) * kN;
    std::vector<bool> keying = PskModem::MorseKeying("de QZ0XB ");
    keying.insert(keying.begin(), false);
    keying.push_back(false);
    const std::size_t unitSamples = PskModem::kSymbolsPerMorseUnit * kN;
    const std::vector<std::int16_t> morse(tx.samples.begin() + static_cast<long>(first),
                                          tx.samples.begin() + static_cast<long>(first + keying.size() * unitSamples));
    const std::vector<double> env = Envelope(morse);

    // Keyed runs at half amplitude, in milliseconds, against the table's units of 64 ms (18.75 wpm).
    std::vector<std::pair<bool, int>> runs;
    for (double e : env) {
        const bool on = e > 0.5;
        if (runs.empty() || runs.back().first != on) runs.push_back({on, 0});
        runs.back().second += 1;
    }
    std::vector<std::pair<bool, int>> expected;
    for (bool on : keying) {
        if (expected.empty() || expected.back().first != on) expected.push_back({on, 0});
        expected.back().second += 64;
    }
    ASSERT_EQ(runs.size(), expected.size());
    int shortest = 1000;
    for (std::size_t i = 0; i < runs.size(); ++i) {
        EXPECT_EQ(runs[i].first, expected[i].first) << i;
        if (i == 0 || i + 1 == runs.size()) continue;  // the gap units cut at the window's ends
        EXPECT_NEAR(runs[i].second, expected[i].second, 2) << i;
        if (runs[i].first) shortest = std::min(shortest, runs[i].second);
    }
    EXPECT_GE(shortest, 1200 / 20);  // a dot of 60 ms or more: PARIS at 20 words per minute at most

    // Every edge goes from 10 % to 90 % (or back) in about 3 ms of its 5: neither a click nor a blur.
    int edges = 0;
    for (std::size_t i = 1; i + 1 < env.size(); ++i) {
        if (env[i - 1] < 0.1 && env[i] >= 0.1) {
            std::size_t k = i;
            while (k < env.size() && env[k] < 0.9) ++k;
            EXPECT_GE(k - i, 2u) << "rising edge at " << i << " ms";
            EXPECT_LE(k - i, 5u) << "rising edge at " << i << " ms";
            ++edges;
        }
        if (env[i - 1] > 0.9 && env[i] <= 0.9) {
            std::size_t k = i;
            while (k < env.size() && env[k] > 0.1) ++k;
            EXPECT_GE(k - i, 2u) << "falling edge at " << i << " ms";
            EXPECT_LE(k - i, 5u) << "falling edge at " << i << " ms";
            ++edges;
        }
    }
    int elements = 0;
    for (std::size_t i = 0; i < keying.size(); ++i) elements += keying[i] && (i == 0 || !keying[i - 1]);
    EXPECT_EQ(edges, 2 * elements);
    // The carrier frequency throughout: the keyed carrier is the PSK31 tone.
    EXPECT_GT(std::abs(Baseband(morse, 1800, unitSamples + 64)), 0.4 * Psk31Modulator::kDefaultPeak);
}

TEST(Psk31Waveform, ABlockOfTheWrongLengthIsRefused) {
    Psk31Modulator modulator;
    std::vector<std::int16_t> block(kN - 1);
    EXPECT_THROW(modulator.Render(PskSymbol::Steady, 1500, block), std::invalid_argument);
}

}  // namespace
}  // namespace sked
