// What passes between the operator and the station: the command line, console lines, data/ names, the event log.
#include <malloc.h>

#include <algorithm>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <tuple>
#include <utility>
#include <vector>

#include <sys/wait.h>

#include <gtest/gtest.h>

#include "app/command_line.h"
#include "app/event_log.h"
#include "app/run_options.h"
#include "console/line_reader.h"
#include "platform/simulated_event_loop.h"
#include "support/station_fixture.h"
#include "transmit/data_file_name.h"

namespace sked {
namespace {

using test::LocalTimePoint;
using test::ReadLines;
using Lines = std::vector<std::string>;
namespace fs = std::filesystem;

// The options given, then a callsign.
RunOptions Parse(std::vector<std::string> args) {
    args.insert(args.begin(), "skedcast");
    args.push_back("QZ0XB");
    std::vector<char*> argv;
    for (auto& a : args) argv.push_back(a.data());
    argv.push_back(nullptr);
    return ParseRunOptions(static_cast<int>(args.size()), argv.data());
}

// Options may stand among the parameters. The simulated clock (an hour in a moment) drops ALSA for a WAV file or none.
TEST(RunOptions, OptionsBackEndsAndTheSimulatedClock) {
    RunOptions o = Parse({"--headless", "qz0xb", "--serial=tty:/dev/ttyUSB0", "2"});
    EXPECT_TRUE(o.error.empty() && o.parameters == (std::vector<std::string>{"qz0xb", "2", "QZ0XB"})) << o.error;
    EXPECT_TRUE(o.headless && o.serial == RunOptions::Serial::Tty && o.serialArgument == "/dev/ttyUSB0");
    o = Parse({"--simulate=2026-1-5T8:04:07", "--run-for=5"});  // the short form
    EXPECT_TRUE(o.simulate && o.serial == RunOptions::Serial::Emulated && o.runFor == 5.0);
    EXPECT_EQ(o.simulateFrom, std::chrono::system_clock::to_time_t(LocalTimePoint("2026-01-05T08:04:07")));
    o = Parse({"--simulate", "--serial=tty:/dev/pts/9"});
    EXPECT_TRUE(o.serial == RunOptions::Serial::Tty && o.simulateFrom == 0);
    EXPECT_EQ(Parse({"--noise=20"}).noiseDb, 20.0);
    EXPECT_TRUE(Parse({"--cw-timer=on"}).cwTimer == true && Parse({"--cw-timer=off"}).cwTimer == false);
    using A = RunOptions::Audio;
    const struct { std::vector<std::string> args; A audio; std::string argument, error; } cases[] = {
        {{}, A::Alsa, "", ""}, {{"--audio=alsa:hw:1,0"}, A::Alsa, "hw:1,0", ""}, {{"--simulate"}, A::Null, "", ""},
        {{"--audio=alsa"}, A::Alsa, "default", ""}, {{"--simulate", "--audio=wav:a.wav"}, A::WavFile, "a.wav", ""},
        {{"--simulate", "--audio=alsa"}, A::Alsa, "default", "cannot follow"},
        {{"--audio=wav:"}, A::Alsa, "", "not \"wav:\""}, {{"--noise=61"}, A::Alsa, "", "0 to 60, not \"61\""},
        {{"--noise=20dB"}, A::Alsa, "", "not \"20dB\""}, {{"--cw-timer=yes"}, A::Alsa, "", "on or off"},
        {{"--serial=usb"}, A::Alsa, "", "usb"}, {{"--bogus"}, A::Alsa, "", "--bogus"},
    };
    for (const auto& c : cases) {
        o = Parse(c.args);
        EXPECT_EQ(std::tuple(o.audio, o.audioArgument), std::tuple(c.audio, c.argument)) << o.error;
        EXPECT_TRUE(c.error.empty() ? o.error.empty() : o.error.find(c.error) != std::string::npos) << o.error;
    }
}

// Values that would overflow or end the run at once are refused naming option, value and range: status 2.
TEST(RunOptions, BadValuesAreRefusedWithTheReason) {
    const std::vector<std::pair<std::string, std::string>> cases = {
        {"--simulate=yesterday", ""}, {"--simulate=99999999999999999999-01-01T00:00:00", "year 999999999 is outside"},
        {"--simulate=1969-12-31T23:59:59", "year 1969"}, {"--simulate=2100-01-01T00:00:00", "year 2100 is outside"},
        {"--simulate=2026-02-29T12:00:00", "day 29 is outside 1..28"}, {"--simulate=2026-01-01T12:00:60", "second 60"},
        {"--simulate=2026-13-01T12:00:00", "month 13"}, {"--simulate=2026-01-01T24:00:00", "hour 24"},
        {"--run-for=soon", ""}, {"--run-for=1e12", ""}, {"--run-for=inf", ""}, {"--run-for=nan", ""},
        {"--run-for=-1", ""},
    };
    for (const auto& [option, reason] : cases) {
        const std::string error = Parse({option}).error;
        const std::string name = option.substr(0, option.find('=')), value = option.substr(option.find('=') + 1);
        const std::string range = name == "--simulate" ? "years 1970..2099" : "from 0 to 315360000";
        for (const std::string& piece : {name, "\"" + value + "\"", range, reason})
            EXPECT_NE(error.find(piece), std::string::npos) << option << ": " << error;
    }
    EXPECT_FALSE(Parse({"--serial=tty", "--onair=x.wav"}).error.empty());
    // The edges of the ranges and a leap day still read.
    for (const char* good : {"--simulate=2024-02-29T00:00:00", "--simulate=2099-12-31T23:59:59",
                             "--simulate=1970-01-02T00:00:00", "--run-for=0", "--run-for=315360000", "--run-for=1e3"})
        EXPECT_EQ(Parse({good}).error, "") << good;
    EXPECT_EQ(Parse({"--serial=emulated:t.txt", "--onair=x.wav"}).error, "");

    test::ScratchDirectory dir;
    // Should the value be taken, the idle station still ends at once instead of running for 30000 years.
    const int status =
        std::system(SKEDCAST_BINARY " --simulate --exit-when-idle --run-for=1e12 QZ0XB </dev/null >out.txt 2>err.txt");
    EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 2) << status;
    EXPECT_NE(test::ReadFile("err.txt").find("--run-for wants seconds from 0 to 315360000"), std::string::npos);
    EXPECT_FALSE(fs::exists("log")) << "nothing started";
}

TEST(StationParameters, CallsignPortAndKeyingLine) {
    using Outcome = StationParameters::Outcome;
    constexpr KeyLine D = KeyLine::Dtr, R = KeyLine::Rts;
    // A port outside 1..8 and a keying line not RTS or DTR keep their meaning, each with a warning.
    const struct { const char* line; Outcome outcome; const char* callsign; int port, inUse; KeyLine key; int warned; }
        cases[] = {
        {"qz0xb", Outcome::Run, "QZ0XB", 2, 2, D, 0}, {"QZ0XB 1 dtr", Outcome::Run, "QZ0XB", 1, 1, D, 0},
        {"QZ0XB 3 rtsx", Outcome::Run, "QZ0XB", 3, 3, R, 1},  // the line is read on its first three letters
        {"QZ0XB 5 XYZ", Outcome::Run, "QZ0XB", 5, 5, D, 1}, {"QZ0XB 8", Outcome::Run, "QZ0XB", 8, 8, D, 0},
        {"QZ0XB 9 RTS", Outcome::Run, "QZ0XB", 9, 2, R, 1},  // outside 1..8: shown as given, COM2 used
        {"QZ0XB 99999999999999999999 X", Outcome::Run, "QZ0XB", 9999, 2, D, 2},
        {"QZ0XB/MM 2", Outcome::CallsignTooLong, "QZ0XB/MM", 2, 2, D, 0},  // refused, not cut
    };
    for (const auto& c : cases) {
        const StationParameters p = ParseStationParameters(c.line);
        EXPECT_EQ(std::tuple(p.outcome, p.callsign, p.portNumber, p.PortInUse(), p.keyLine, std::ssize(p.warnings)),
                  std::tuple(c.outcome, c.callsign, c.port, c.inUse, c.key, c.warned)) << c.line;
    }
    for (auto [line, outcome] : {std::pair{"QZ0XB 0", Outcome::EditorOnly}, {"QZ0XB COM2 RTS", Outcome::EditorOnly},
                                 {"", Outcome::NotSet}, {"   ", Outcome::NotSet}, {"QZ0XB 2 RTS X", Outcome::TooMany}})
        EXPECT_EQ(ParseStationParameters(line).outcome, outcome) << line;
}

constexpr const char* kTooLong = "<too long>";

Lines Drain(LineReader& reader) {
    Lines lines;
    while (auto line = reader.Next()) lines.push_back(line->tooLong ? kTooLong : line->text);
    return lines;
}

// Console lines from the pieces standard input delivers, each held to a length (here eight bytes).
TEST(LineReader, LinesAreAssembledFromThePiecesInput) {
    const struct { std::vector<std::string> chunks; bool endOfInput; Lines lines; } cases[] = {
        {{"sta", "tus\nque", "ue\n", "\n"}, false, {"status", "queue", ""}},          // split anywhere
        {{"enable\r\n", "send\r", "\ncwid\n"}, false, {"enable", "send", "cwid"}},  // CR LF, also split
        {{"help\nqu", "it"}, true, {"help", "quit"}},  // a last line without its end, at the end of input
        {{"help\nqu", "it"}, false, {"help"}},
        {{"12345678\r", "\n"}, false, {"12345678"}},             // a full line with CR LF
        {{"123456789", "yz\r\nrx\n"}, false, {kTooLong, "rx"}},   // one byte too many, said once
        {{"123456789\ntx\n"}, false, {kTooLong, "tx"}},          // one byte too many before the line end
        {{"ok\n", "12345678", "12345678"}, true, {"ok", kTooLong}},
    };
    for (const auto& c : cases) {
        LineReader reader(8);
        for (const auto& chunk : c.chunks) reader.Push(chunk);
        if (c.endOfInput) reader.Finish();
        EXPECT_EQ(Drain(reader), c.lines) << c.chunks[0];
    }
}

// 10 MB without a line end: the reader keeps a line's worth, the next line works (mallinfo2 misses ASan's heap).
TEST(LineReader, EndlessLineKeepsMemoryBoundedAndTheNextLineWorks) {
    const auto heapInUse = [] { return mallinfo2().uordblks + mallinfo2().hblkhd; };
    LineReader reader;
    const std::size_t before = heapInUse();
    for (int i = 0; i < 10 * 1024 * 1024 / 512; ++i) reader.Push(std::string(512, 'A'));
    const std::size_t after = heapInUse();
    EXPECT_LT(after - std::min(before, after), 64u * 1024) << "bytes held after 10 MB without a line end";
    reader.Push("\r\nstatus\r\n");
    EXPECT_EQ(Drain(reader), (Lines{kTooLong, "status"}));
}

// The one check that keeps scheduled and added names inside data/.
TEST(DataFileName, RelativeNamesWithoutAParentStepOnly) {
    const struct { std::string name; bool inside; } cases[] = {
        {"wx/today.txt", true}, {"./news.txt", true}, {"..news", true}, {"news..", true}, {"a/.../b", true},
        {"", false}, {"/etc/passwd", false}, {"..", false}, {"wx/..", false}, {"wx/../x", false}, {"wx//../x", false},
    };
    for (const auto& c : cases) EXPECT_EQ(IsDataFileName(c.name), c.inside) << c.name;
}

class EventLogTest : public ::testing::Test {
protected:
    void SetUp() override { FreshLog(); }
    static void FreshLog() { fs::remove_all("log"), fs::create_directory("log"); }
    test::ScratchDirectory dir;
    SimulatedClock clock{LocalTimePoint("2026-01-01T08:04:07")};
    EditControl status;
    EventLog log{clock, status};
    const std::string file = "log/20260101.log";
};

// Each line in the file of its day, cut to fit 256 bytes with its line end and a terminating zero.
TEST_F(EventLogTest, LinesGoIntoTheFileOfTheirDayInOrder) {
    log.LogEvent("one");
    log.LogEvent(std::string(400, 'x'));
    clock.AdvanceTo(LocalTimePoint("2026-03-05T23:59:59"));
    log.LogEvent("last of the day");
    clock.AdvanceTo(LocalTimePoint("2026-03-06T00:00:00"));
    log.LogEvent("first of the next");
    EXPECT_EQ(ReadLines(file), (Lines{"08:04:07 > one", "08:04:07 > " + std::string(243, 'x')}));
    EXPECT_EQ(ReadLines("log/20260305.log"), Lines{"23:59:59 > last of the day"});
    EXPECT_EQ(ReadLines("log/20260306.log"), Lines{"00:00:00 > first of the next"});
}

// Lost lines are counted and told once writable again; shown once per outage (a missing folder at every line).
TEST_F(EventLogTest, LostLinesAreReportedAndCountedWhenTheLogIsWritableAgain) {
    const struct { void (*breakLog)(); std::string shown; bool everyLine; } cases[] = {
        {[] { fs::create_symlink("/dev/full", "log/20260101.log"); },  // writes fail with ENOSPC
         "Cannot write LOG file log/20260101.log : No space left on device", false},
        {[] { fs::remove_all("log"); }, EventLog::kCannotOpen, true},
    };
    for (const auto& c : cases) {
        for (int outage = 0; outage < 2; ++outage) {
            FreshLog();
            c.breakLog();
            status.SetText("");
            log.LogEvent("lost 1");
            EXPECT_EQ(status.Text(), c.shown);
            status.SetText("CmEnable : Scheduler ENABLED");
            log.LogEvent("lost 2");
            EXPECT_EQ(status.Text(), c.everyLine ? c.shown : "CmEnable : Scheduler ENABLED");
            FreshLog();
            log.LogEvent("back");
        }
        log.LogEvent("on");  // no second note once writable
        EXPECT_EQ(ReadLines(file), (Lines{"08:04:07 > EventLog : LOG file writable again after 2 lost lines",
                                          "08:04:07 > back", "08:04:07 > on"})) << c.shown;
    }
}

}  // namespace
}  // namespace sked
