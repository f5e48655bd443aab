#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "app/mode_controls.h"
#include "scheduler/dispatcher.h"
#include "support/station_fixture.h"
#include "transmit/baudot_table.h"
#include "transmit/code_sender.h"
#include "transmit/macro_expander.h"
#include "transmit/transmitter_switch.h"

namespace sked::test {
namespace {

class CodeSending : public StationTest {
protected:
    void SetUp() override {
        StationTest::SetUp();
        ASSERT_TRUE(StartStation("QZ0XB 2 RTS"));
        uart.events.clear();
    }
    // Codes that went on the line while `text` was sent in a Baudot mode.
    std::vector<int> Baudot(const std::string& text, int mode, int shift = 0) {
        station->sender.setShiftState(static_cast<std::uint8_t>(shift));
        std::size_t before = uart.FrameCodes().size();
        for (char c : text) station->sender.SendBaudot(static_cast<unsigned char>(c), mode);
        RunFor(std::chrono::seconds(1));  // let the last frame start
        auto codes = uart.FrameCodes();
        return std::vector<int>(codes.begin() + static_cast<long>(before), codes.end());
    }
    using Codes = std::vector<int>;
};

TEST_F(CodeSending, FiguresAndSpacesInIta2) {
    EXPECT_EQ(Baudot("12 34", kIta2), (Codes{27, 23, 19, 4, 31, 27, 1, 10}));
}

TEST_F(CodeSending, LineEndGoesOutOnTheLineFeedAlone) {
    EXPECT_EQ(Baudot("A\r\nB", kIta2), (Codes{31, 3, 8, 8, 2, 31, 25}));
    EXPECT_EQ(station->sender.shiftState(), kLtrs);
}

TEST_F(CodeSending, ExclamationMarkPerAlphabet) {
    EXPECT_EQ(Baudot("!", kIta2, 0), (Codes{4}));
    EXPECT_EQ(Baudot("!", kTelex, kFigs), (Codes{4, 31}));
    EXPECT_EQ(Baudot("!", kMilitary, kLtrs), (Codes{27, 13}));
}

TEST_F(CodeSending, ApostropheAndBellDifferBetweenAlphabets) {
    EXPECT_EQ(Baudot("'", kIta2, kFigs), (Codes{11}));
    EXPECT_EQ(Baudot("'", kMilitary, kFigs), (Codes{11}));
    EXPECT_EQ(Baudot("'", kTelex, kFigs), (Codes{5}));
    EXPECT_EQ(Baudot("\a", kIta2, kFigs), (Codes{11}));
    EXPECT_EQ(Baudot("\a", kTelex, kFigs), (Codes{11}));
    EXPECT_EQ(Baudot("\a", kMilitary, kFigs), (Codes{5}));
}

TEST_F(CodeSending, CharactersWithoutCodeAreNeitherSentNorEchoed) {
    EXPECT_EQ(Baudot("<>^", kIta2, kLtrs), Codes{});
    EXPECT_EQ(Baudot("~", kMilitary, kLtrs), Codes{});
    EXPECT_EQ(Baudot("{", kIta2, kLtrs), (Codes{27, 15}));  // like "["
    EXPECT_EQ(Baudot("abc", kIta2, kLtrs), (Codes{3, 25, 14}));
    // Bytes above 127 have no teleprinter code.
    EXPECT_EQ(Baudot("\xE9\xC3\xA9", kIta2, kLtrs), Codes{});
    // The grave accent folds to NUL: code 0, shifted "none", so LTRS follows.
    EXPECT_EQ(Baudot("`A", kIta2, kLtrs), (Codes{0, 0, 31, 3}));
}

TEST_F(CodeSending, MacroBellsInMilitaryAndAscii) {
    EXPECT_EQ(Baudot("^5", kMilitary, kLtrs), (Codes{27, 5, 5, 5, 5, 5, 31}));
    EXPECT_EQ(Baudot("1", kMilitary), (Codes{27, 23}));  // FIGS again after the bells

    station->modes.ModeClicked(kAscii);
    std::size_t before = uart.FrameCodes().size();
    for (char c : std::string("^5"))
        station->sender.SendTextCharacter(static_cast<unsigned char>(c), kAscii);
    RunFor(std::chrono::seconds(1));
    auto codes = uart.FrameCodes();
    EXPECT_EQ(Codes(codes.begin() + static_cast<long>(before), codes.end()), (Codes{7, 7, 7, 7, 7}));
}

TEST_F(CodeSending, UtcTimeMacroInBaudot) {
    loop->AdvanceTo(LocalTimePoint("2026-01-01T12:00:00"));
    setenv("TZ", "UTC", 1);
    tzset();
    loop->AdvanceTo(std::chrono::system_clock::from_time_t(1767276453));  // 2026-01-01 14:07:33 UTC
    auto codes = Baudot("^U", kIta2, kLtrs);
    unsetenv("TZ");
    tzset();
    // 1 4 : 0 7 ( U T C ) with their shifts
    EXPECT_EQ(codes, (Codes{27, 23, 10, 14, 22, 7, 15, 31, 7, 16, 14, 27, 18}));
    EXPECT_EQ(station->window.statusLine.Text().substr(station->window.statusLine.Text().size() - 10), "14:07(UTC)");
}

TEST_F(CodeSending, UnknownSelectorSendsItselfAndDropsTheCaret) {
    EXPECT_EQ(Baudot("^x", kIta2, kLtrs), (Codes{29}));
    EXPECT_FALSE(station->sender.macros().macroPending());
}

TEST_F(CodeSending, CaretAtTheEndStaysPendingForTheNextText) {
    Baudot("A^", kIta2, kLtrs);
    EXPECT_TRUE(station->sender.macros().macroPending());
    EXPECT_EQ(Baudot("5", kIta2, kLtrs), (Codes{27, 5, 5, 5, 5, 5, 31}));
    Baudot("^^5", kIta2, kLtrs);  // two carets leave it pending
    EXPECT_FALSE(station->sender.macros().macroPending());
}

TEST_F(CodeSending, AsciiTextCarriesNoCaretsAndKeepsLineEnds) {
    station->modes.ModeClicked(kAscii);
    std::size_t before = uart.FrameCodes().size();
    for (char c : std::string("A^xB\r\n^"))
        station->sender.SendTextCharacter(static_cast<unsigned char>(c), kAscii);
    RunFor(std::chrono::seconds(1));
    auto codes = uart.FrameCodes();
    EXPECT_EQ(Codes(codes.begin() + static_cast<long>(before), codes.end()), (Codes{'A', 'x', 'B', '\r', '\n'}));
}

TEST_F(CodeSending, SendIdleFillsWithLettersShiftExceptInAscii) {
    station->state.mode = kMilitary;
    TimePoint start = Now();
    station->sender.SendIdle(5);
    auto elapsed = Now() - start;
    EXPECT_GE(elapsed, std::chrono::seconds(4));
    EXPECT_LE(elapsed, std::chrono::milliseconds(5200));
    auto codes = uart.FrameCodes();
    ASSERT_GE(codes.size(), 24u);
    for (int code : codes) EXPECT_EQ(code, kLtrs);

    station->state.mode = kAscii;
    uart.events.clear();
    start = Now();
    station->sender.SendIdle(5);
    elapsed = Now() - start;
    EXPECT_GE(elapsed, std::chrono::seconds(4));
    EXPECT_LE(elapsed, std::chrono::seconds(5));
    EXPECT_TRUE(uart.FrameCodes().empty());
}

TEST_F(CodeSending, FramesLeaveBackToBackAtLineSpeed) {
    std::string text;
    for (int i = 0; i < 500; ++i) text += static_cast<char>('A' + i % 26);
    station->state.mode = kMilitary;
    Baudot(text, kMilitary, kLtrs);
    auto frames = uart.Frames();
    ASSERT_EQ(frames.size(), 500u);
    for (std::size_t i = 1; i < frames.size(); ++i) {
        EXPECT_EQ(frames[i].time, frames[i - 1].time + frames[i - 1].frameTime) << i;
    }
    double ms = std::chrono::duration<double, std::milli>(frames[0].frameTime).count();
    EXPECT_NEAR(ms, 165.0, 0.05);
}

// Morse: elements timed in fast-timer ticks, on the keying line.
class MorseTiming : public CodeSending {
protected:
    // Key-down lengths in ticks, from the modem-control writes.
    std::vector<long> KeyDowns(int character) {
        if (station->state.transmitterOn == 0) station->transmitter.CmTX();  // the key closes only while keyed
        uart.events.clear();
        station->dispatcher.OnTimer(kStartFastTimer);
        start_ = Now();
        station->sender.SendMorseKey(character);
        station->dispatcher.OnTimer(kStopFastTimer);
        total_ = Ticks(Now() - start_);
        std::vector<long> downs;
        TimePoint downAt{};
        for (const auto& e : uart.events) {
            if (e.kind != UartEventKind::kMcr) continue;
            if (e.keyOn) downAt = e.time;
            else if (downAt != TimePoint{}) {
                downs.push_back(Ticks(e.time - downAt));
                downAt = {};
            }
        }
        return downs;
    }
    static long Ticks(Duration d) {
        return static_cast<long>(std::chrono::round<std::chrono::milliseconds>(d) / kFastTimerPeriod);
    }
    TimePoint start_;
    long total_ = 0;
};

TEST_F(MorseTiming, DotsDashesAndGaps) {
    EXPECT_EQ(KeyDowns('E'), (std::vector<long>{2}));
    EXPECT_EQ(total_, 2 + 1 + 6);
    EXPECT_EQ(KeyDowns('t'), (std::vector<long>{5}));
    EXPECT_EQ(KeyDowns('.'), (std::vector<long>{2, 5, 2, 5, 2, 5}));
    EXPECT_EQ(KeyDowns('('), KeyDowns(')'));
    EXPECT_EQ(KeyDowns(' '), std::vector<long>{});
    EXPECT_EQ(total_, 6);
    EXPECT_EQ(KeyDowns('@'), std::vector<long>{});
    EXPECT_EQ(KeyDowns('~'), std::vector<long>{});  // beyond the table: a pause
    EXPECT_EQ(total_, 6);
}

TEST_F(MorseTiming, ParisTakesNinetyTicksJustUnderTwentyWordsPerMinute) {
    long ticks = 0;
    for (char c : std::string("PARIS ")) {
        KeyDowns(c);
        ticks += total_;
    }
    EXPECT_EQ(ticks, 90);
    double wpm = 60.0 / (ticks * std::chrono::duration<double>(kFastTimerPeriod).count());
    EXPECT_LE(wpm, 20.0);
    EXPECT_GT(wpm, 19.0);
}

TEST_F(MorseTiming, BreakKeyerRestoresBothRegisters) {
    std::uint8_t mcr = port->In(0x2F8 + 4);
    station->dispatcher.OnTimer(kStartFastTimer);
    station->sender.SendMorseBreak('A');
    station->dispatcher.OnTimer(kStopFastTimer);
    EXPECT_EQ(port->In(0x2F8 + 3), 0x04);
    EXPECT_EQ(port->In(0x2F8 + 4), mcr);
    int breaks = 0;
    for (const auto& e : uart.events) breaks += e.kind == UartEventKind::kBreak && e.breakOn;
    EXPECT_EQ(breaks, 2);
}

TEST_F(MorseTiming, WaitTicksWithoutTheFastTimerStillEnds) {
    TimePoint start = Now();
    station->timing.WaitTicks(10);
    EXPECT_EQ(Now() - start, kFastTimerPeriod * 10);
}

}  // namespace
}  // namespace sked::test
