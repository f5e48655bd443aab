// What the code sender puts on the line: Baudot codes and shifts in each alphabet, macros, bells,
// ASCII, the idle fill, back-to-back frames, Morse timing, and the running line that shows it.
#include <string>
#include <utility>
#include <vector>

#include <gtest/gtest.h>

#include "support/station_fixture.h"
#include "transmit/baudot_table.h"

namespace sked::test {
namespace {

using namespace std::chrono_literals;
using Codes = std::vector<int>;

class CodeSending : public StationTest {
protected:
    void SetUp() override {
        StationTest::SetUp();
        ASSERT_TRUE(StartStation("QZ0XB 2 RTS"));
        uart.events.clear();
    }
    // Codes that went on the line while `text` was sent in `mode`, starting in `shift`.
    Codes Sent(const std::string& text, int mode, int shift = 0) {
        if (station->state.mode != mode) station->modes.ModeClicked(mode);  // the UART's frame with it
        station->sender.setShiftState(static_cast<std::uint8_t>(shift));
        std::size_t before = uart.FrameCodes().size();
        for (char c : text) {
            const int u = static_cast<unsigned char>(c);
            if (mode == kAscii) station->sender.SendTextCharacter(u, mode);
            else station->sender.SendBaudot(u, mode);
        }
        RunFor(1s);  // let the last frame start
        auto codes = uart.FrameCodes();
        return Codes(codes.begin() + static_cast<long>(before), codes.end());
    }
    // The running line's longest text while `text` went out.
    std::string Shown(const std::string& text, int mode) {
        std::string longest;
        station->runningLine.Clear();
        ControlSubscription watch(station->window.statusLine, [&] {
            if (station->window.statusLine.Text().size() > longest.size()) longest = station->window.statusLine.Text();
        });
        Sent(text, mode, kLtrs);
        return longest;
    }
};

TEST_F(CodeSending, EachAlphabetGivesItsCodesAndShifts) {
    const struct {
        const char* text;
        int mode, shift;
        Codes codes;
    } cases[] = {
        {"12 34", kIta2, 0, {27, 23, 19, 4, 31, 27, 1, 10}},   // unshift on space
        {"A\r\nB", kIta2, 0, {31, 3, 8, 8, 2, 31, 25}},        // the line feed alone ends the line
        {"!", kIta2, 0, {4}},                                   // ITA2 has no "!": a blank
        {"!", kTelex, kFigs, {4, 31}},     {"!", kMilitary, kLtrs, {27, 13}},
        {"'", kIta2, kFigs, {11}},         {"'", kTelex, kFigs, {5}},
        {"\a", kIta2, kFigs, {11}},        {"\a", kMilitary, kFigs, {5}},
        {"<>^", kIta2, kLtrs, {}},         {"~", kMilitary, kLtrs, {}},  // never sent
        {"{", kIta2, kLtrs, {27, 15}},                          // like "["
        {"abc", kIta2, kLtrs, {3, 25, 14}},
        {"\xE9\xC3\xA9", kIta2, kLtrs, {}},                     // bytes above 127
        {"`A", kIta2, kLtrs, {0, 0, 31, 3}},                    // NUL has no shift: LTRS follows
        {"A\tB", kIta2, kLtrs, {3, 4, 25}},                     // a tab is a blank
        {"^5", kMilitary, kLtrs, {27, 5, 5, 5, 5, 5, 31}},      // bells in the alphabet's own code
        {"^3", kIta2, kLtrs, {27, 11, 11, 11, 31}},  {"^3", kTelex, kLtrs, {27, 11, 11, 11, 31}},
        {"^x", kIta2, kLtrs, {29}},                             // not a selector: the letter alone
        {"A^xB\r\n^", kAscii, 0, {'A', 'x', 'B', '\r', '\n'}},  // ASCII: no carets, line ends kept
        {"^5", kAscii, 0, {7, 7, 7, 7, 7}},
    };
    for (const auto& c : cases) EXPECT_EQ(Sent(c.text, c.mode, c.shift), c.codes) << c.text << " mode " << c.mode;
}

TEST_F(CodeSending, ACaretAtTheEndStaysPendingForTheNextText) {
    Sent("A^", kIta2, kLtrs);
    EXPECT_TRUE(station->sender.macros().macroPending());
    EXPECT_EQ(Sent("5", kIta2, kLtrs), (Codes{27, 11, 11, 11, 11, 11, 31}));
    Sent("^^5", kIta2, kLtrs);
    EXPECT_FALSE(station->sender.macros().macroPending());
}

TEST_F(CodeSending, TheRunningLineShowsWhatWentOnTheAir) {
    loop->AdvanceTo(std::chrono::system_clock::from_time_t(1767276453));  // 2026-01-01 14:07:33 UTC
    EXPECT_EQ(Shown("Bulletin for ^W ^L", kIta2), "BULLETIN FOR THURSDAY JANUARY 01, 2026");
    EXPECT_EQ(Shown("Bell^5 end^x", kAscii), "Bell endx");
    EXPECT_EQ(Shown("Hi! ok", kIta2), "HI  OK");  // ITA2 has no "!": its printer prints a blank
    // ^U: UTC time, whatever the zone.
    EXPECT_EQ(Sent("^U", kIta2, kLtrs), (Codes{27, 23, 10, 14, 22, 7, 15, 31, 7, 16, 14, 27, 18}));
}

TEST_F(CodeSending, IdleFillIsLettersShiftExceptInAsciiAndLastsItsSeconds) {
    for (int mode : {kMilitary, kAscii}) {
        station->modes.ModeClicked(mode);
        station->sender.setShiftState(kFigs);
        uart.events.clear();
        const TimePoint start = Now();
        station->sender.SendIdle(5);
        EXPECT_GE(Now() - start, 4s);
        EXPECT_LE(Now() - start, 5200ms);
        const auto codes = uart.FrameCodes();
        EXPECT_EQ(codes, Codes(mode == kAscii ? 0 : codes.size(), kLtrs)) << mode;
        if (mode == kAscii) continue;
        EXPECT_GE(codes.size(), 24u);
        EXPECT_EQ(station->sender.shiftState(), kLtrs);  // the receiver is in letters after it
    }
}

TEST_F(CodeSending, FramesLeaveBackToBackAtLineSpeed) {
    std::string text;
    for (int i = 0; i < 500; ++i) text += static_cast<char>('A' + i % 26);
    Sent(text, kMilitary, kLtrs);
    auto frames = uart.Frames();
    ASSERT_EQ(frames.size(), 500u);
    for (std::size_t i = 1; i < frames.size(); ++i)
        EXPECT_EQ(frames[i].time, frames[i - 1].time + frames[i - 1].frameTime) << i;
    EXPECT_NEAR((std::chrono::duration<double, std::milli>(frames[0].frameTime).count()), 165.0, 0.05);
}

// Morse on the keying line, timed in fast-timer ticks.
class MorseTiming : public CodeSending {
protected:
    // Key-down lengths from the modem-control writes: "." for 2 ticks, "-" for 5, "?" for any other.
    std::string KeyDowns(int character) {
        if (!station->state.transmitterOn) station->transmitter.CmTX();  // the key closes only while keyed
        uart.events.clear();
        station->timing.StartFastTimer();
        TimePoint start = Now();
        station->sender.SendMorseKey(character);
        station->timing.StopFastTimer();
        total_ = Ticks(Now() - start);
        std::string downs;
        TimePoint downAt{};
        for (const auto& e : uart.events) {
            if (e.kind != UartEventKind::kMcr) continue;
            if (e.keyOn) downAt = e.time;
            else if (downAt != TimePoint{}) downs += Element(Ticks(e.time - std::exchange(downAt, TimePoint{})));
        }
        return downs;
    }
    static char Element(long ticks) { return ticks == 2 ? '.' : ticks == 5 ? '-' : '?'; }
    static long Ticks(Duration d) {
        return static_cast<long>(std::chrono::round<std::chrono::milliseconds>(d) / kFastTimerPeriod);
    }
    long total_ = 0;
};

TEST_F(MorseTiming, TheInternationalCodesWithTheirTiming) {
    const std::pair<int, const char*> cases[] = {
        {'E', "."},       {'t', "-"},       {'.', ".-.-.-"}, {'-', "-....-"}, {':', "---..."},
        {'(', "-.--."},   {')', "-.--.-"},  {'=', "-...-"},  {'+', ".-.-."},  {'@', ".--.-."},
        {'\'', ".----."}, {'"', ".-..-."}, {' ', ""},       {'~', ""},  // no Morse: a pause
    };
    for (const auto& [c, downs] : cases) EXPECT_EQ(KeyDowns(c), downs) << static_cast<char>(c);
    EXPECT_EQ(total_, 6);  // the pause
    KeyDowns('E');
    EXPECT_EQ(total_, 2 + 1 + 6);
}

TEST_F(MorseTiming, ParisTakesNinetyTicksJustUnderTwentyWordsPerMinute) {
    long ticks = 0;
    for (char c : std::string("PARIS ")) ticks += (KeyDowns(c), total_);
    EXPECT_EQ(ticks, 90);  // 3.06 s at 34 ms a tick: 19.6 WPM
}

TEST_F(MorseTiming, WaitTicksWithoutTheFastTimerStillEnds) {
    TimePoint start = Now();
    station->timing.WaitTicks(10);
    EXPECT_EQ(Now() - start, kFastTimerPeriod * 10);
}

}  // namespace
}  // namespace sked::test
