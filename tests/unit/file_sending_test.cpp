// The file sender alone, with small fakes of its seams: a view and a log that
// record, a serial port that is always ready, and a code output that hears
// every code (in the tone generator's place), on the simulated clock.
#include <filesystem>
#include <functional>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "net/telnet.h"
#include "platform/simulated_event_loop.h"
#include "support/station_fixture.h"
#include "transmit/file_sender.h"

namespace sked::test {
namespace {

using namespace std::chrono_literals;
using Strings = std::vector<std::string>;

class RecordingView : public StationView {
public:
    void ShowStatus(const std::string& text) override { status.push_back(text); }
    void ShowQueueLine(const std::string& text) override { queueLines.push_back(text); }
    void ShowCharactersLeft(const std::string& text) override { left.push_back(text); }
    void ShowFlow(const std::string&) override {}
    void ShowCountdown(const std::string&) override {}
    void ShowClock(const std::string&) override {}
    void ShowAutoSend(bool) override {}
    void ShowCwTimer(const std::string&) override {}
    void ShowCwTimerTicked(bool) override {}
    void ShowPort(const std::string&) override {}
    void ShowTransmitter(bool) override {}
    void LockSoundChoice(bool) override {}
    void LockToneFields(bool) override {}
    void ShowTones() override {}
    void LockLinkChoice(bool) override {}
    void ShowFile(const std::string& name, const std::string& text) override { shown = name + ":" + text; }
    void ShowDisplayMessage(const std::string& text) override { shown = text; }
    void LockDisplay() override {}
    void HighlightCharacter(const std::string&, std::size_t index) override { highlighted.push_back(index); }

    Strings status, queueLines, left;
    std::string shown;
    std::vector<std::size_t> highlighted;
};

class RecordingLog : public StationLog {
public:
    void LogEvent(const std::string& message) override { lines.push_back(message); }
    Strings lines;
};

class ReadyPort : public PortIo {
public:
    std::uint8_t In(std::uint16_t address) override {
        return (address & 7) == uart::kLsr ? uart::kLsrThre | uart::kLsrTemt : 0;
    }
    void Out(std::uint16_t, std::uint8_t) override {}
    TimePoint NextChange(std::uint16_t) override { return {}; }
};

// Takes a code a frame time (165 ms at 45.45 baud) after the one before.
class RecordingOutput : public CodeOutput {
public:
    explicit RecordingOutput(const Clock& clock) : clock_(clock) {}
    bool Ready() override { return clock_.Now() >= next_; }
    TimePoint ReadyAt() override { return next_; }
    void Put(int code) override {
        codes.push_back(code);
        next_ = clock_.Now() + 165ms;
    }
    std::vector<int> codes;

private:
    const Clock& clock_;
    TimePoint next_{};
};

class NoLinkHost : public TelnetHost, public Mirror {
public:
    void CmRX() override {}
    void CmPause() override {}
    void CmResume() override {}
    void LogEvent(const std::string&) override {}
    void PumpMessages() override {}
    void ShowStopBox(const std::string&, const std::string&) override {}
    std::string AuthenticationText() override { return ""; }
    void LockLinkControls(bool) override {}
    void MirrorCharacter(int) override {}
};

class FileSending : public ::testing::Test {
protected:
    void SetUp() override {
        std::filesystem::create_directory("data");
        state.noSound = false;  // the recording output stands in for the tones
        sender.SetToneGenerator(&output);
        state.transmitterOn = true;
    }
    // Runs `action` from the loop `after` from now: from inside the file being sent.
    void At(Duration after, std::function<void()> action) {
        loop.SetTimerHandler([this, action](int id) {
            loop.StopTimer(id);
            action();
        });
        loop.StartTimer(99, std::chrono::duration_cast<std::chrono::milliseconds>(after));
    }

    ScratchDirectory dir;
    SimulatedEventLoop loop{LocalTimePoint("2026-01-01T12:00:00")};
    StationState state;
    RecordingView view;
    RecordingLog log;
    RecordingMessageBox boxes;
    ReadyPort port;
    RecordingOutput output{loop.clock()};
    NoLinkHost host;
    Timing timing{loop, state, [] {}};
    RunningLine line{view};
    Uart uart{port, loop, state};
    PskModem psk{loop.clock()};
    Telnet telnet{loop, host};
    CodeSender sender{state, timing, uart, psk, host, line};
    TransmitterSwitch transmitter{state, view, log, boxes, timing, uart, psk, telnet, sender};
    FileSender files{state, view, log, timing, sender, transmitter, psk, line};
};

TEST_F(FileSending, TheWholeTextGoesOutCountedDownToItsEndOrToAZeroByte) {
    std::string big(62000, 'E');
    const struct {
        std::string text;
        std::size_t codes;        // codes on the air
        std::string lastLeft;     // the last count before the field empties
    } cases[] = {
        {"ABC", 4, "C=0"},                       // LTRS A B C
        {"", 0, ""},                             // nothing, but the sending line shows
        {std::string("AB\0CD", 5), 3, "C=0"},  // up to the zero byte
        {big, 62001, "C=0"},                     // past any buffer of old
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.text.size());
        output.codes.clear();
        view.left.clear();
        sender.setShiftState(0);
        WriteFile("data/file.txt", c.text);
        EXPECT_TRUE(files.TXFile("file.txt", kMilitary));
        EXPECT_EQ(output.codes.size(), c.codes);
        ASSERT_FALSE(view.left.empty());
        EXPECT_EQ(view.left.back(), "");
        if (!c.lastLeft.empty()) {
            EXPECT_EQ(view.left[view.left.size() - 2], c.lastLeft);
        }
        EXPECT_EQ(view.queueLines, (Strings{"TXFile : Sending file <file.txt>.", ""}));
        view.queueLines.clear();
    }
    EXPECT_EQ(view.left.front(), "C=61999");
}

TEST_F(FileSending, AFileThatCannotBeReadOrLiesOutsideDataIsNotSent) {
    EXPECT_FALSE(files.TXFile("nothere.txt", kMilitary));
    EXPECT_EQ(log.lines, (Strings{"[PrintFile :Cannot open data/nothere.txt input file.]",
                                  "[TXFile : Cannot open data/nothere.txt input file.]"}));
    EXPECT_EQ(view.shown, "[TXFile : Cannot open data/nothere.txt input file.]");
    WriteFile("outside.txt", "SECRET");
    EXPECT_FALSE(files.TXFile("../outside.txt", kMilitary));
    EXPECT_EQ(log.lines.back(), "[TXFile : Refused ../outside.txt: not a file of the data folder.]");
    EXPECT_TRUE(output.codes.empty());
}

TEST_F(FileSending, TheRunningLineHoldsAtMost79CharactersAndClearsAtLineEnds) {
    WriteFile("data/long.txt", std::string(200, 'R') + "\r\nYY");
    files.TXFile("long.txt", kMilitary);
    std::size_t longest = 0;
    for (const auto& s : view.status) longest = std::max(longest, s.size());
    EXPECT_EQ(longest, 79u);
    EXPECT_EQ(view.status[view.status.size() - 2], "YY");
    EXPECT_EQ(view.status.back(), "");
}

TEST_F(FileSending, TheDisplayShowsCapitalsExceptInAscii) {
    WriteFile("data/mixed.txt", "Hello World");
    EXPECT_TRUE(files.PrintFile("mixed.txt"));
    EXPECT_EQ(view.shown, "mixed.txt:HELLO WORLD");
    state.mode = kAscii;
    files.PrintFile("mixed.txt");
    EXPECT_EQ(view.shown, "mixed.txt:Hello World");
    EXPECT_TRUE(files.PrintFile("$CWID"));
    EXPECT_EQ(view.shown, "mixed.txt:Hello World");
}

TEST_F(FileSending, APauseHoldsTheFileACancelEndsIt) {
    WriteFile("data/five.txt", "ABCDE");
    At(400ms, [this] {
        state.running = false;
        At(30s, [this] { state.running = true; });
    });
    TimePoint start = loop.clock().Now();
    EXPECT_TRUE(files.TXFile("five.txt", kMilitary));
    EXPECT_GE(loop.clock().Now() - start, 30s);
    EXPECT_EQ(output.codes, (std::vector<int>{31, 3, 25, 14, 9, 1}));

    output.codes.clear();
    At(400ms, [this] {
        state.running = false;
        At(3s, [this] { state.cancelRequested = true; });
    });
    EXPECT_FALSE(files.TXFile("five.txt", kMilitary));
    EXPECT_LT(output.codes.size(), 5u);
}

}  // namespace
}  // namespace sked::test
