// Our PSK31 modem: 32 ms symbols, 32 reversals of preamble, varicode, 32 steady symbols of postamble.
#include "transmit/psk_modem.h"

#include <gtest/gtest.h>

#include <string>
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
        ASSERT_EQ(modem.Start(0), 0);
        modem.SetSymbolSink([this](TimePoint when, bool bit) { symbols.push_back({when, bit}); });
        modem.StartTransmit();
    }
    void Queue(const std::string& text) {
        for (char c : text) modem.QueueCode(static_cast<unsigned char>(c), 0);
    }
    // The station's way of feeding text: keep at most two codes waiting, sleeping until NextChange.
    int FeedLikeTheStation(const std::string& text) {
        int waits = 0;
        for (char c : text) {
            for (; modem.Pending() > 2; ++waits) {
                EXPECT_GT(modem.NextChange(), clock.Now()) << "the waiter would spin";
                if (modem.NextChange() <= clock.Now()) return waits;
                clock.AdvanceTo(modem.NextChange());
            }
            modem.QueueCode(static_cast<unsigned char>(c), 0);
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
        EXPECT_EQ(modem.Pending(), step.pending) << step.ms << " ms";
        EXPECT_EQ(modem.SentText(), step.sent) << step.ms << " ms";
        EXPECT_EQ(modem.NextChange(), At(step.nextChange)) << step.ms << " ms";
    }
    for (int i = 0; i < 32; ++i) EXPECT_FALSE(symbols.at(i).second) << "preamble: reversals";

    clock.AdvanceTo(At(2010));  // idle reversals: a new code waits for the next boundary
    modem.QueueCode('e', 0);
    EXPECT_EQ(modem.NextChange(), At(2016));
    clock.AdvanceTo(At(2016 + 128));
    EXPECT_EQ(modem.SentText(), "et e");
    EXPECT_EQ(Decoded(), "et e");
    ExpectEvenlySpaced();
}

TEST_F(PskModemTest, AbortStopsAtOnceAndDropsTheQueue) {
    Queue("hello world");
    clock.AdvanceTo(At(1024 + 100));
    EXPECT_EQ(modem.Pending(), 10);
    modem.Abort();
    EXPECT_EQ(modem.Pending(), 0);
    EXPECT_FALSE(modem.Transmitting());
    EXPECT_LE(modem.NextChange(), clock.Now());
    const std::size_t heard = symbols.size();
    clock.AdvanceTo(At(10000));
    EXPECT_EQ(symbols.size(), heard);
    EXPECT_EQ(modem.SentText(), "");  // 'h' was cut short
    EXPECT_EQ(FeedLikeTheStation("xyz"), 0);  // nothing pending: the station's waiter does not wait
}

TEST_F(PskModemTest, EndTransmitLetsQueuedCodesFinishThenThePostambleAndANewOneHasAPreamble) {
    Queue("hi");  // 'h' "101011"+"00" = 8, 'i' "1101"+"00" = 6 symbols
    modem.EndTransmit();
    const TimePoint off = At(1024 + 14 * 32 + 1024);
    EXPECT_EQ(modem.TransmitEnd(), off);
    modem.QueueCode('x', 0);  // too late: the transmission is ending
    EXPECT_EQ(modem.Pending(), 2);
    clock.AdvanceTo(off - milliseconds(1));
    EXPECT_TRUE(modem.Transmitting());
    clock.AdvanceTo(off);
    EXPECT_FALSE(modem.Transmitting());
    ASSERT_EQ(symbols.size(), 32u + 14u + 32u);
    for (std::size_t i = symbols.size() - 32; i < symbols.size(); ++i) EXPECT_TRUE(symbols[i].second) << i;
    EXPECT_EQ(Decoded(), "hi");
    clock.AdvanceTo(At(5000));
    EXPECT_EQ(symbols.size(), 32u + 14u + 32u);  // nothing once the carrier is off

    modem.StartTransmit();  // the next transmission has its own preamble
    modem.QueueCode('e', 0);
    EXPECT_EQ(modem.NextChange(), At(5000 + 1024));
}

TEST_F(PskModemTest, TextFedLikeTheStationDecodesBackFromTheSymbols) {
    std::string text = "CQ CQ DE SKED\r\nThe quick brown fox 73!\r\n";
    for (int code = 0; code < 128; ++code) text += static_cast<char>(code);
    const int waits = FeedLikeTheStation(text);
    EXPECT_TRUE(waits > 100 && waits <= static_cast<int>(text.size())) << waits;
    modem.EndTransmit();
    // Uneven steps: the sink still hears every symbol once, in order.
    for (int step = 0; step < 100'000 && modem.Transmitting(); ++step) clock.AdvanceTo(clock.Now() + milliseconds(7));
    ASSERT_FALSE(modem.Transmitting());
    ExpectEvenlySpaced();
    EXPECT_EQ(Decoded(), text);
    EXPECT_EQ(modem.SentText(), text);
}

TEST_F(PskModemTest, CodeQueuedWhileIdlingExactlyOnABoundaryFollowsTheSymbolAlreadySent) {
    clock.AdvanceTo(At(2144));  // idle reversals; the symbol at 2144 ms is being sent now
    modem.Pending();
    Queue("t");
    clock.AdvanceTo(At(3000));
    modem.Pending();  // symbols are delivered lazily, at this call
    EXPECT_EQ(Decoded(), "t");
}

TEST_F(PskModemTest, CwIdentificationKeysTheCarrierForItsMorseLength) {
    modem.SetCwIdText("PARIS");  // 43 units of 60 ms = 2.58 s, 81 symbols
    modem.QueueCode('e', 0);
    modem.QueueCode(2, 1);
    modem.QueueCode('t', 0);
    clock.AdvanceTo(At(1152));  // identification going out
    const TimePoint afterCw = At(1152 + 81 * 32);
    EXPECT_EQ(modem.NextChange(), afterCw);
    const std::size_t heard = symbols.size();
    clock.AdvanceTo(afterCw - milliseconds(1));
    EXPECT_EQ(symbols.size(), heard);  // carrier keyed, no PSK symbols
    clock.AdvanceTo(afterCw + milliseconds(160));
    EXPECT_EQ(modem.SentText(), "et");
    EXPECT_EQ(Decoded(), "et");
}

}  // namespace
}  // namespace sked
