// Our PSK31 modem: 32 ms symbols, 32 reversals of preamble, varicode, 32 steady symbols of postamble.
#include "transmit/psk_modem.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <tuple>
#include <vector>

#include "platform/simulated_event_loop.h"
#include "transmit/varicode.h"

namespace sked {
namespace {

using std::chrono::milliseconds;

const TimePoint kT0 = TimePoint(std::chrono::seconds(1'700'000'000));
TimePoint At(int ms) { return kT0 + milliseconds(ms); }

class PskModemTest : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_FALSE(modem.StartOnCard(0));
        modem.SetSymbolSink([this](TimePoint when, PskSymbol symbol) {
            if (symbol == PskSymbol::Reversal || symbol == PskSymbol::Steady)
                symbols.push_back({when, symbol == PskSymbol::Steady});
            else
                others.push_back({when, symbol});
        });
        modem.StartTransmitting();
    }
    void Queue(const std::string& text) { for (char c : text) modem.QueueCharacter(static_cast<unsigned char>(c)); }
    // The station's way of feeding text: keep at most two codes waiting, sleeping until NextChange.
    int FeedLikeTheStation(const std::string& text) {
        int waits = 0;
        for (char c : text) {
            for (; modem.CodesQueued() > 2; ++waits) {
                EXPECT_GT(modem.NextChange(), clock.Now()) << "the waiter would spin";
                if (modem.NextChange() <= clock.Now()) return waits;
                clock.AdvanceTo(modem.NextChange());
            }
            modem.QueueCharacter(static_cast<unsigned char>(c));
        }
        return waits;
    }
    // Every symbol one period after the one before, from kT0.
    void ExpectEvenlySpaced() const {
        for (std::size_t i = 0; i < symbols.size(); ++i) EXPECT_EQ(symbols[i].first, At(32 * static_cast<int>(i))) << i;
    }
    std::string Decoded() const {
        VaricodeDecoder decoder;
        for (const auto& s : symbols) decoder.PushBit(s.second);
        return decoder.TakeText();
    }

    SimulatedClock clock{kT0};
    PskModem modem{clock};
    std::vector<std::pair<TimePoint, bool>> symbols;
    std::vector<std::pair<TimePoint, PskSymbol>> others;  // Morse keying and the carrier's end
};

TEST_F(PskModemTest, PreambleThenEachCharacterStartsOnASymbolBoundary) {
    clock.AdvanceTo(At(500));
    Queue("et ");  // 'e' "11"+"00" = 128 ms, 't' "101"+"00" = 160 ms, ' ' "1"+"00" = 96 ms
    const struct { int ms, pending; const char* sent; int nextChange; } steps[] = {
        {500, 3, "", 1024},    {1023, 3, "", 1024},   {1024, 2, "", 1152},    {1151, 2, "", 1152},
        {1152, 1, "e", 1312},  {1311, 1, "e", 1312},  {1312, 0, "et", 1312},  {1407, 0, "et", 1407},
        {1408, 0, "et ", 1408}};
    for (const auto& step : steps) {
        clock.AdvanceTo(At(step.ms));
        EXPECT_EQ(std::tuple(modem.CodesQueued(), modem.SentText(), modem.NextChange()),
                  std::tuple(step.pending, std::string(step.sent), At(step.nextChange))) << step.ms << " ms";
    }
    for (int i = 0; i < 32; ++i) EXPECT_FALSE(symbols.at(i).second) << "preamble: reversals";

    clock.AdvanceTo(At(2010));  // idle reversals: a new code waits for the next boundary
    modem.QueueCharacter('e');
    EXPECT_EQ(modem.NextChange(), At(2016));
    clock.AdvanceTo(At(2016 + 128));
    EXPECT_EQ(modem.SentText(), "et e");
    modem.CodesQueued();  // idle again; the symbol at 2144 ms, a boundary, is sent now: a code queued follows it
    modem.QueueCharacter('t');
    clock.AdvanceTo(At(3000));
    modem.CodesQueued();  // symbols are delivered lazily, at this call
    EXPECT_EQ(Decoded(), "et et");
    ExpectEvenlySpaced();
}

TEST_F(PskModemTest, AbortStopsAtOnceAndDropsTheQueue) {
    Queue("hello world");
    clock.AdvanceTo(At(1024 + 100));
    EXPECT_EQ(modem.CodesQueued(), 10);
    modem.StopAtOnce();
    EXPECT_EQ(modem.CodesQueued(), 0);
    EXPECT_FALSE(modem.Transmitting());
    EXPECT_LE(modem.NextChange(), clock.Now());
    const std::size_t heard = symbols.size();
    clock.AdvanceTo(At(10000));
    EXPECT_EQ(symbols.size(), heard);
    EXPECT_EQ(modem.SentText(), "");  // 'h' was cut short
    EXPECT_EQ(FeedLikeTheStation("xyz"), 0);  // nothing pending: the station's waiter does not wait
    modem.StopAtOnce();  // not transmitting: nothing
    EXPECT_EQ(others, (decltype(others){{At(1124), PskSymbol::CarrierOff}}));
    modem.Stop();
    modem.Stop();  // harmless when not running
    modem.StartTransmitting();  // not running: no transmission
    EXPECT_FALSE(modem.Running() || modem.Transmitting());
}

TEST_F(PskModemTest, EndTransmitLetsQueuedCodesFinishThenThePostambleAndANewOneHasAPreamble) {
    Queue("hi");  // 'h' "101011"+"00" = 8, 'i' "1101"+"00" = 6 symbols
    modem.EndAfterQueue();
    modem.EndAfterQueue();  // again, as the transmitter's afterglow does: nothing more
    const TimePoint off = At(1024 + 14 * 32 + 1024);
    EXPECT_EQ(modem.TransmitEnd(), off);
    modem.QueueCharacter('x');  // too late: the transmission is ending
    EXPECT_EQ(modem.CodesQueued(), 2);
    clock.AdvanceTo(off - milliseconds(1));
    EXPECT_TRUE(modem.Transmitting());
    clock.AdvanceTo(off);
    EXPECT_FALSE(modem.Transmitting());
    ASSERT_EQ(symbols.size(), 32u + 14u + 32u);
    for (std::size_t i = symbols.size() - 32; i < symbols.size(); ++i) EXPECT_TRUE(symbols[i].second) << i;
    EXPECT_EQ(Decoded(), "hi");
    clock.AdvanceTo(At(5000));
    modem.Poll();
    EXPECT_EQ(symbols.size(), 32u + 14u + 32u);  // nothing once the carrier is off
    EXPECT_EQ(others, (decltype(others){{off, PskSymbol::CarrierOff}}));

    modem.StartTransmitting();  // the next transmission has its own preamble
    modem.QueueCharacter('e');
    EXPECT_EQ(modem.NextChange(), At(5000 + 1024));
}

TEST_F(PskModemTest, TextFedLikeTheStationDecodesBackFromTheSymbols) {
    std::string text = "CQ CQ DE SKED\r\nThe quick brown fox 73!\r\n";
    for (int code = 0; code < 128; ++code) text += static_cast<char>(code);
    const int waits = FeedLikeTheStation(text);
    EXPECT_TRUE(waits > 100 && waits <= static_cast<int>(text.size())) << waits;
    modem.EndAfterQueue();
    // Uneven steps: the sink still hears every symbol once, in order.
    for (int step = 0; step < 100'000 && modem.Transmitting(); ++step) clock.AdvanceTo(clock.Now() + milliseconds(7));
    ASSERT_FALSE(modem.Transmitting());
    ExpectEvenlySpaced();
    EXPECT_EQ(Decoded(), text);
    EXPECT_EQ(modem.SentText(), text);
}

// With a lead (a sound on its own thread) symbols are handed on 4 to 8 periods ahead, in batches, by the text's
// own steps or at NextHandOn() (the station's pump); the text is the same.
TEST_F(PskModemTest, WithALeadSymbolsGoOutAheadInBatchesAndTheTextIsTheSame) {
    modem.StopAtOnce(), symbols.clear(), others.clear();
    modem.SetLead(8);
    std::vector<Duration> ahead;
    std::vector<TimePoint> handOns;
    modem.SetSymbolSink([&](TimePoint when, PskSymbol symbol) {
        ahead.push_back(when - clock.Now());
        if (handOns.empty() || handOns.back() != clock.Now()) handOns.push_back(clock.Now());
        if (symbol == PskSymbol::Reversal || symbol == PskSymbol::Steady)
            symbols.push_back({when, symbol == PskSymbol::Steady});
    });
    auto waitFor = [&](TimePoint when) {
        ASSERT_GT(modem.NextHandOn(), clock.Now()) << "the pump would spin";
        clock.AdvanceTo(std::min(when, modem.NextHandOn())), modem.Poll();
    };
    modem.StartTransmitting();
    EXPECT_EQ(std::pair(ahead.size(), modem.NextHandOn()), std::pair(std::size_t{9}, At(4 * 32)));
    const std::string text = "CQ CQ DE SKED\r\nThe quick brown fox 73!\r\n";
    for (char c : text) {
        while (modem.CodesQueued() > PskModem::kMostQueued) waitFor(modem.NextChange());
        modem.QueueCharacter(static_cast<unsigned char>(c));
    }
    modem.EndAfterQueue();
    while (modem.Transmitting()) waitFor(TimePoint::max());
    ExpectEvenlySpaced();
    EXPECT_EQ(Decoded(), text);
    EXPECT_EQ(modem.SentText(), text);
    for (std::size_t i = 4; i + 1 < ahead.size(); ++i)  // but the first few and the carrier's end
        ASSERT_TRUE(ahead[i] >= 4 * PskModem::kSymbol && ahead[i] <= 8 * PskModem::kSymbol) << i;
    EXPECT_LT(handOns.size() * 3, ahead.size());
}

TEST_F(PskModemTest, IdentificationKeysTheCarrierInMorseBetweenTheCharacters) {
    modem.SetIdentificationText("PARIS");  // 43 units, with 7 off either side 57 units of two symbols
    modem.QueueCharacter('e');
    modem.QueueIdentification();
    modem.QueueCharacter('t');
    clock.AdvanceTo(At(1152));  // identification going out
    const TimePoint afterCw = At(1152 + 57 * 64);
    EXPECT_EQ(modem.NextChange(), afterCw);
    const std::size_t heard = symbols.size();
    clock.AdvanceTo(afterCw - milliseconds(1));
    modem.Poll();
    EXPECT_EQ(symbols.size(), heard);  // carrier keyed, no PSK symbols
    // Two symbols a unit, on from the first dot of P to the last dot of S.
    ASSERT_EQ(others.size(), 114u);
    std::string keying;
    for (std::size_t i = 0; i < others.size(); i += 2) {
        EXPECT_EQ(others[i].second, others[i + 1].second) << i;
        EXPECT_EQ(others[i].first, At(1152 + 32 * static_cast<int>(i))) << i;
        keying += others[i].second == PskSymbol::KeyDown ? '=' : '.';
    }
    EXPECT_EQ(keying, std::string(7, '.') + "=.===.===.=...=.===...=.===.=...=.=...=.=.=" + std::string(7, '.'));
    clock.AdvanceTo(afterCw + milliseconds(160));
    EXPECT_EQ(modem.SentText(), "et");
    EXPECT_EQ(Decoded(), "et");
}

// The queue count falls as each code goes out; pause (code 0) and idle fill go out as reversals that take air time.
TEST_F(PskModemTest, QueuedCountFallsAndIdleCodesTakeAirTime) {
    Queue("ab");  // 'a' "1011"+"00" = 6 symbols, 'b' "1011111"+"00" = 9
    std::vector<int> counts;
    for (int ms = 1000; ms <= 1024 + 15 * 32; ms += 32) {
        clock.AdvanceTo(At(ms));
        counts.push_back(modem.CodesQueued());
    }
    EXPECT_EQ(std::tuple(counts.front(), counts[1], counts.back()), std::tuple(2, 1, 0));  // 'a' started at 1024
    EXPECT_TRUE(std::is_sorted(counts.rbegin(), counts.rend()));
    // Idle fill and pause: reversals that take air time, so the station's waiter sleeps between them.
    const TimePoint before = clock.Now();
    const std::size_t heard = symbols.size();
    int waits = 0;
    for (int item = 0; item < 6; ++item) {
        for (; modem.CodesQueued() > PskModem::kMostQueued; ++waits) clock.AdvanceTo(modem.NextChange());
        modem.QueueIdle();
    }
    EXPECT_GT(waits, 0);
    EXPECT_GE(clock.Now() - before, 2 * PskModem::kIdleSymbols * PskModem::kSymbol);
    clock.AdvanceTo(clock.Now() + 5 * PskModem::kIdleSymbols * PskModem::kSymbol);
    EXPECT_EQ(modem.CodesQueued(), 0);
    for (std::size_t i = heard; i < symbols.size(); ++i) EXPECT_FALSE(symbols[i].second) << i;
    EXPECT_GE(symbols.size() - heard, 6u * PskModem::kIdleSymbols);
    EXPECT_EQ(modem.SentText(), "ab");
    EXPECT_EQ(Decoded(), "ab");
}

}  // namespace
}  // namespace sked
