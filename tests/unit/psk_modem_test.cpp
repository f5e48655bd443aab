#include "transmit/psk_modem.h"

#include <gtest/gtest.h>

#include <string>
#include <utility>
#include <vector>

#include "platform/simulated_event_loop.h"
#include "transmit/varicode.h"

namespace sked {
namespace {

using std::chrono::milliseconds;

const TimePoint kT0 = TimePoint(std::chrono::seconds(1'700'000'000));

TimePoint At(int ms) { return kT0 + milliseconds(ms); }

struct Symbol {
    TimePoint when;
    bool bit;
};

class PskModemTest : public ::testing::Test {
protected:
    PskModemTest() : clock(kT0), modem(clock) {}

    // Starts the modem and a transmission at kT0, with the sink recording.
    void StartOnAir() {
        ASSERT_EQ(modem.Start(0), 0);
        modem.SetSymbolSink([this](TimePoint when, bool bit) { symbols.push_back({when, bit}); });
        modem.StartTransmit();
        ASSERT_TRUE(modem.Transmitting());
    }

    void Queue(const std::string& text) {
        for (char c : text) modem.QueueCode(static_cast<unsigned char>(c), 0);
    }

    // The station's way of feeding text: keep at most two codes waiting.
    int FeedLikeTheStation(const std::string& text) {
        int waits = 0;
        for (char c : text) {
            while (modem.Pending() > 2) {
                TimePoint next = modem.NextChange();
                EXPECT_GT(next, clock.Now());
                if (next <= clock.Now()) return waits;
                clock.AdvanceTo(next);
                ++waits;
            }
            modem.QueueCode(static_cast<unsigned char>(c), 0);
        }
        return waits;
    }

    std::string DecodedSymbols() const {
        VaricodeDecoder decoder;
        for (const Symbol& s : symbols) decoder.PushBit(s.bit);
        return decoder.TakeText();
    }

    SimulatedClock clock;
    PskModem modem;
    std::vector<Symbol> symbols;
};

TEST_F(PskModemTest, EverythingIsHarmlessWhenNotRunning) {
    EXPECT_FALSE(modem.Running());
    modem.Stop();
    modem.Abort();
    modem.StartTransmit();
    modem.QueueCode('e', 0);
    modem.PrepareEnd();
    modem.EndTransmit();
    EXPECT_FALSE(modem.Transmitting());
    EXPECT_EQ(modem.Pending(), 0);
    EXPECT_LE(modem.NextChange(), clock.Now());
    clock.AdvanceTo(At(5000));
    EXPECT_EQ(modem.SentText(), "");
    EXPECT_EQ(modem.Pending(), 0);
}

TEST_F(PskModemTest, StartStopAndFrequency) {
    EXPECT_EQ(modem.Start(1), 0);
    EXPECT_TRUE(modem.Running());
    EXPECT_FALSE(modem.Transmitting());
    modem.SetFrequency(1500);
    EXPECT_EQ(modem.Frequency(), 1500);
    modem.Stop();
    EXPECT_FALSE(modem.Running());
    modem.Stop();
    EXPECT_FALSE(modem.Running());
    EXPECT_EQ(modem.Frequency(), 1500);
}

TEST_F(PskModemTest, CodesQueuedWhileNotTransmittingAreIgnored) {
    modem.Start(0);
    Queue("abc");
    EXPECT_EQ(modem.Pending(), 0);
    modem.StartTransmit();
    EXPECT_EQ(modem.Pending(), 0);
    clock.AdvanceTo(At(5000));
    EXPECT_EQ(modem.SentText(), "");
}

TEST_F(PskModemTest, PreambleIs32ReversalsThenCharacters) {
    StartOnAir();
    clock.AdvanceTo(At(1023));
    modem.Pending();
    ASSERT_EQ(symbols.size(), 32u);
    for (int i = 0; i < 32; ++i) {
        EXPECT_EQ(symbols[i].when, At(32 * i));
        EXPECT_FALSE(symbols[i].bit);
    }
}

TEST_F(PskModemTest, PendingFallsAsEachCharacterBegins) {
    StartOnAir();
    clock.AdvanceTo(At(1024));
    Queue("et ");  // 'e' "11"+"00", 't' "101"+"00", ' ' "1"+"00"
    EXPECT_EQ(modem.Pending(), 2);  // 'e' started at once, on the boundary
    EXPECT_EQ(modem.NextChange(), At(1024 + 128));
    clock.AdvanceTo(At(1151));
    EXPECT_EQ(modem.Pending(), 2);
    EXPECT_EQ(modem.SentText(), "");
    clock.AdvanceTo(At(1152));
    EXPECT_EQ(modem.Pending(), 1);
    EXPECT_EQ(modem.SentText(), "e");
    EXPECT_EQ(modem.NextChange(), At(1152 + 160));
    clock.AdvanceTo(At(1311));
    EXPECT_EQ(modem.Pending(), 1);
    clock.AdvanceTo(At(1312));
    EXPECT_EQ(modem.Pending(), 0);
    EXPECT_LE(modem.NextChange(), clock.Now());
    EXPECT_EQ(modem.SentText(), "et");
    clock.AdvanceTo(At(1407));
    EXPECT_EQ(modem.SentText(), "et");
    clock.AdvanceTo(At(1408));
    EXPECT_EQ(modem.SentText(), "et ");
    EXPECT_TRUE(modem.Transmitting());
}

TEST_F(PskModemTest, CodesQueuedDuringThePreambleWaitForIt) {
    StartOnAir();
    clock.AdvanceTo(At(500));
    Queue("ee");
    EXPECT_EQ(modem.Pending(), 2);
    EXPECT_EQ(modem.NextChange(), At(1024));
    clock.AdvanceTo(At(1024));
    EXPECT_EQ(modem.Pending(), 1);
    EXPECT_EQ(modem.NextChange(), At(1152));
}

TEST_F(PskModemTest, CodeQueuedWhileIdleStartsAtTheNextSymbolBoundary) {
    StartOnAir();
    clock.AdvanceTo(At(2000 + 10));  // idle reversals since 1.024 s; boundaries every 32 ms
    modem.QueueCode('e', 0);
    EXPECT_EQ(modem.Pending(), 1);
    EXPECT_EQ(modem.NextChange(), At(2016));  // 63 * 32 ms
    clock.AdvanceTo(At(2015));
    EXPECT_EQ(modem.Pending(), 1);
    clock.AdvanceTo(At(2016 + 128));
    EXPECT_EQ(modem.Pending(), 0);
    EXPECT_EQ(modem.SentText(), "e");
    // Reversals up to the boundary, then "11" "00".
    ASSERT_GE(symbols.size(), 67u);
    for (std::size_t i = 0; i < symbols.size(); ++i) EXPECT_EQ(symbols[i].when, At(32 * static_cast<int>(i)));
    EXPECT_FALSE(symbols[62].bit);
    EXPECT_TRUE(symbols[63].bit);
    EXPECT_TRUE(symbols[64].bit);
    EXPECT_FALSE(symbols[65].bit);
    EXPECT_FALSE(symbols[66].bit);
}

TEST_F(PskModemTest, CodeQueuedExactlyOnABoundaryStartsAtOnce) {
    StartOnAir();
    clock.AdvanceTo(At(2016));
    modem.QueueCode('t', 0);
    EXPECT_EQ(modem.Pending(), 0);
    clock.AdvanceTo(At(2016 + 159));
    EXPECT_EQ(modem.SentText(), "");
    clock.AdvanceTo(At(2016 + 160));
    EXPECT_EQ(modem.SentText(), "t");
}

TEST_F(PskModemTest, AbortDropsTheQueueAtOnce) {
    StartOnAir();
    Queue("hello world");
    clock.AdvanceTo(At(1024 + 100));
    EXPECT_EQ(modem.Pending(), 10);
    modem.Abort();
    EXPECT_EQ(modem.Pending(), 0);
    EXPECT_FALSE(modem.Transmitting());
    EXPECT_LE(modem.NextChange(), clock.Now());
    const std::size_t heard = symbols.size();
    EXPECT_EQ(symbols.back().when, At(1024 + 96));
    clock.AdvanceTo(At(10000));
    EXPECT_EQ(modem.Pending(), 0);
    EXPECT_EQ(symbols.size(), heard);
    EXPECT_EQ(modem.SentText(), "");  // 'h' was cut short
}

TEST_F(PskModemTest, EndTransmitLetsQueuedCodesFinishThenPostamble) {
    StartOnAir();
    Queue("hi");  // 'h' "101011"+"00" = 8, 'i' "1101"+"00" = 6 symbols
    modem.PrepareEnd();
    modem.EndTransmit();
    EXPECT_EQ(modem.Pending(), 2);
    const TimePoint off = At(1024 + 14 * 32 + 1024);
    EXPECT_EQ(modem.TransmitEnd(), off);
    modem.QueueCode('x', 0);  // too late: the transmission is ending
    EXPECT_EQ(modem.Pending(), 2);
    clock.AdvanceTo(off - milliseconds(1));
    EXPECT_TRUE(modem.Transmitting());
    EXPECT_EQ(modem.SentText(), "hi");
    clock.AdvanceTo(off);
    EXPECT_FALSE(modem.Transmitting());
    EXPECT_EQ(modem.Pending(), 0);
    // Preamble, the two codes, 32 steady symbols; nothing once the carrier is off.
    ASSERT_EQ(symbols.size(), 32u + 14u + 32u);
    for (std::size_t i = symbols.size() - 32; i < symbols.size(); ++i) EXPECT_TRUE(symbols[i].bit);
    EXPECT_EQ(DecodedSymbols(), "hi");
    clock.AdvanceTo(At(20000));
    EXPECT_EQ(symbols.size(), 32u + 14u + 32u);
}

TEST_F(PskModemTest, EndTransmitWhileIdleEndsAfterThePostamble) {
    StartOnAir();
    clock.AdvanceTo(At(1500));
    EXPECT_EQ(modem.TransmitEnd(), TimePoint::max());
    modem.EndTransmit();
    EXPECT_EQ(modem.TransmitEnd(), At(1504 + 1024));
    clock.AdvanceTo(At(1504 + 1023));
    EXPECT_TRUE(modem.Transmitting());
    clock.AdvanceTo(At(1504 + 1024));
    EXPECT_FALSE(modem.Transmitting());
}

TEST_F(PskModemTest, NewTransmissionAfterTheEndStartsWithAPreamble) {
    StartOnAir();
    modem.EndTransmit();
    clock.AdvanceTo(At(3000));
    EXPECT_FALSE(modem.Transmitting());
    symbols.clear();
    modem.StartTransmit();
    EXPECT_TRUE(modem.Transmitting());
    modem.QueueCode('e', 0);
    EXPECT_EQ(modem.NextChange(), At(3000 + 1024));
    clock.AdvanceTo(At(3000 + 1024 + 128));
    EXPECT_EQ(modem.SentText(), "e");
    ASSERT_FALSE(symbols.empty());
    EXPECT_EQ(symbols.front().when, At(3000));
}

TEST_F(PskModemTest, SinkBitsDecodeToTheQueuedText) {
    StartOnAir();
    const std::string text = "CQ CQ DE SKED\r\nThe quick brown fox 73!\r\n";
    FeedLikeTheStation(text);
    modem.EndTransmit();
    // Uneven steps: the sink still hears every symbol once, in order.
    for (int step = 0; step < 100'000 && modem.Transmitting(); ++step) clock.AdvanceTo(clock.Now() + milliseconds(7));
    ASSERT_FALSE(modem.Transmitting());
    ASSERT_FALSE(symbols.empty());
    for (std::size_t i = 0; i < symbols.size(); ++i) EXPECT_EQ(symbols[i].when, At(32 * static_cast<int>(i)));
    EXPECT_EQ(DecodedSymbols(), text);
    EXPECT_EQ(modem.SentText(), text);
}

TEST_F(PskModemTest, OneBigStepDeliversEverything) {
    StartOnAir();
    Queue("abc");
    modem.EndTransmit();
    clock.AdvanceTo(At(60'000));
    EXPECT_FALSE(modem.Transmitting());
    EXPECT_EQ(DecodedSymbols(), "abc");
    EXPECT_EQ(modem.SentText(), "abc");
}

TEST_F(PskModemTest, StationWaiterAlwaysTerminates) {
    StartOnAir();
    std::string text;
    for (int code = 0; code < 128; ++code) text += static_cast<char>(code);
    const int waits = FeedLikeTheStation(text);
    EXPECT_GT(waits, 100);
    EXPECT_LE(waits, 130);
    EXPECT_LE(modem.Pending(), 3);
    // After an abort nothing is pending: the waiter does not wait.
    modem.Abort();
    FeedLikeTheStation("xyz");
    EXPECT_EQ(modem.Pending(), 0);
}

TEST_F(PskModemTest, WaiterPacesQueueToTheSymbolClock) {
    StartOnAir();
    FeedLikeTheStation("eeeee");  // the fifth waits until two have begun
    EXPECT_EQ(clock.Now(), At(1024 + 128));
    EXPECT_EQ(modem.Pending(), 3);
}

TEST_F(PskModemTest, CwIdentificationIsOneItemOfMorseLength) {
    StartOnAir();
    modem.SetCwIdText("PARIS");  // 43 units of 60 ms = 2.58 s, 81 symbols
    modem.QueueCode('e', 0);
    modem.QueueCode(2, 1);
    modem.QueueCode('t', 0);
    EXPECT_EQ(modem.Pending(), 3);
    clock.AdvanceTo(At(1024));
    EXPECT_EQ(modem.Pending(), 2);
    clock.AdvanceTo(At(1152));
    EXPECT_EQ(modem.Pending(), 1);  // identification going out
    const TimePoint afterCw = At(1152 + 81 * 32);
    EXPECT_EQ(modem.NextChange(), afterCw);
    EXPECT_GE(afterCw - At(1152), milliseconds(2580));
    EXPECT_LT(afterCw - At(1152), milliseconds(2580 + 32));
    const std::size_t heard = symbols.size();
    clock.AdvanceTo(afterCw - milliseconds(1));
    EXPECT_EQ(modem.Pending(), 1);
    EXPECT_EQ(symbols.size(), heard);  // carrier keyed, no PSK symbols
    clock.AdvanceTo(afterCw);
    EXPECT_EQ(modem.Pending(), 0);
    clock.AdvanceTo(afterCw + milliseconds(160));
    EXPECT_EQ(modem.SentText(), "et");
    EXPECT_EQ(symbols.back().when, afterCw + milliseconds(160));  // idle again
    EXPECT_EQ(DecodedSymbols(), "et");
}

TEST_F(PskModemTest, CwIdentificationLengthFollowsTheText) {
    StartOnAir();
    clock.AdvanceTo(At(1024));
    modem.SetCwIdText("E E");  // dot, word gap, dot: 9 units = 540 ms, 17 symbols
    modem.QueueCode(2, 1);
    modem.QueueCode('e', 0);
    EXPECT_EQ(modem.NextChange(), At(1024 + 17 * 32));
}

TEST_F(PskModemTest, OtherFlagsAreIgnored) {
    StartOnAir();
    modem.QueueCode('e', 1);
    modem.QueueCode(2, 7);
    EXPECT_EQ(modem.Pending(), 0);
    modem.QueueCode('e' + 128, 0);  // taken as 'e'
    EXPECT_EQ(modem.Pending(), 1);
    clock.AdvanceTo(At(2000));
    EXPECT_EQ(modem.SentText(), "e");
}

TEST_F(PskModemTest, StopEndsTheTransmission) {
    StartOnAir();
    Queue("abc");
    modem.Stop();
    EXPECT_FALSE(modem.Transmitting());
    EXPECT_FALSE(modem.Running());
    EXPECT_EQ(modem.Pending(), 0);
    modem.StartTransmit();  // not running: nothing
    EXPECT_FALSE(modem.Transmitting());
}

TEST_F(PskModemTest, SinkSetLateHearsOnlyWhatFollows) {
    modem.Start(0);
    modem.StartTransmit();
    clock.AdvanceTo(At(1000));
    modem.SetSymbolSink([this](TimePoint when, bool bit) { symbols.push_back({when, bit}); });
    clock.AdvanceTo(At(1024));
    modem.Pending();
    ASSERT_EQ(symbols.size(), 1u);
    EXPECT_EQ(symbols[0].when, At(1024));
}

TEST_F(PskModemTest, SinkMayAbortFromInsideItsCall) {
    modem.Start(0);
    modem.StartTransmit();
    modem.SetSymbolSink([this](TimePoint when, bool bit) {
        symbols.push_back({when, bit});
        if (symbols.size() == 40) modem.Abort();
    });
    Queue("hello");
    clock.AdvanceTo(At(5000));
    EXPECT_FALSE(modem.Transmitting());
    EXPECT_EQ(symbols.size(), 40u);
    EXPECT_EQ(modem.Pending(), 0);
}

}  // namespace
}  // namespace sked
