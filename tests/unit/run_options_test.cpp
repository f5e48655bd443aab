#include <cstdlib>
#include <filesystem>
#include <string>
#include <utility>
#include <vector>

#include <sys/wait.h>

#include <gtest/gtest.h>

#include "app/run_options.h"
#include "support/station_fixture.h"

namespace sked {
namespace {

RunOptions Parse(std::vector<std::string> args) {
    args.insert(args.begin(), "skedcast");
    std::vector<char*> argv;
    for (auto& a : args) argv.push_back(a.data());
    argv.push_back(nullptr);
    return ParseRunOptions(static_cast<int>(args.size()), argv.data());
}

std::time_t Local(const std::string& text) { return std::chrono::system_clock::to_time_t(test::LocalTimePoint(text)); }

TEST(RunOptions, OptionsAreNotStationParametersAndSimulateImpliesTheEmulatedPort) {
    RunOptions o = Parse({"--headless", "qz0xb", "--serial=tty:/dev/ttyUSB0", "2", "RTS"});
    EXPECT_TRUE(o.error.empty()) << o.error;
    EXPECT_EQ(o.parameters, (std::vector<std::string>{"qz0xb", "2", "RTS"}));
    EXPECT_TRUE(o.headless);
    EXPECT_EQ(o.serial, RunOptions::Serial::Tty);
    EXPECT_EQ(o.serialArgument, "/dev/ttyUSB0");

    o = Parse({"--simulate=2026-01-01T23:59:58", "--run-for=5", "QZ0XB"});
    EXPECT_TRUE(o.simulate);
    EXPECT_EQ(o.serial, RunOptions::Serial::Emulated);
    EXPECT_EQ(o.simulateFrom, Local("2026-01-01T23:59:58"));
    EXPECT_EQ(o.runFor, 5.0);
    o = Parse({"--simulate", "--serial=tty:/dev/pts/9", "QZ0XB"});
    EXPECT_EQ(o.serial, RunOptions::Serial::Tty);
    EXPECT_EQ(o.simulateFrom, 0);
    EXPECT_EQ(Parse({"--simulate=2026-1-5T8:04:07", "QZ0XB"}).simulateFrom, Local("2026-01-05T08:04:07"));
}

// The sound goes to ALSA unless told otherwise; a simulated hour passes in a
// moment, so the simulated clock drops it unless a WAV file is named, and
// refuses a real device.
TEST(RunOptions, AudioBackEndsAndTheSimulatedClock) {
    const struct {
        std::vector<std::string> args;
        RunOptions::Audio audio;
        std::string argument, error;
    } cases[] = {
        {{"QZ0XB"}, RunOptions::Audio::Alsa, "", ""},
        {{"--audio=alsa:hw:1,0", "QZ0XB"}, RunOptions::Audio::Alsa, "hw:1,0", ""},
        {{"--audio=alsa", "QZ0XB"}, RunOptions::Audio::Alsa, "default", ""},
        {{"--audio=wav:air.wav", "QZ0XB"}, RunOptions::Audio::WavFile, "air.wav", ""},
        {{"--simulate", "QZ0XB"}, RunOptions::Audio::Null, "", ""},
        {{"--simulate", "--audio=wav:a.wav", "QZ0XB"}, RunOptions::Audio::WavFile, "a.wav", ""},
        {{"--simulate", "--audio=alsa", "QZ0XB"}, RunOptions::Audio::Alsa, "default", "cannot follow the simulated"},
        {{"--audio=wav:", "QZ0XB"}, RunOptions::Audio::Alsa, "", "--audio wants alsa[:PCM], wav:FILE or null"},
        {{"--audio=pulse", "QZ0XB"}, RunOptions::Audio::Alsa, "", "not \"pulse\""},
        {{"--noise=61", "QZ0XB"}, RunOptions::Audio::Alsa, "", "0 to 60, not \"61\""},
        {{"--noise=20dB", "QZ0XB"}, RunOptions::Audio::Alsa, "", "0 to 60, not \"20dB\""},
    };
    for (const auto& c : cases) {
        const RunOptions o = Parse(c.args);
        EXPECT_EQ(o.audio, c.audio) << c.args[0];
        EXPECT_EQ(o.audioArgument, c.argument) << c.args[0];
        if (c.error.empty()) EXPECT_TRUE(o.error.empty()) << o.error;
        else EXPECT_NE(o.error.find(c.error), std::string::npos) << o.error;
    }
    EXPECT_EQ(Parse({"--noise=20", "QZ0XB"}).noiseDb, 20.0);
}

// Values that would overflow the clock or the timers, or end the run at once
// without being asked to, are refused naming the option, the value and the range.
TEST(RunOptions, BadValuesAreRefusedWithTheReason) {
    const std::vector<std::pair<std::string, std::string>> cases = {
        {"--simulate=yesterday", ""},
        {"--simulate=99999-01-01T00:00:00", "year 99999 is outside 1970..2099"},
        {"--simulate=99999999999999999999-01-01T00:00:00", "year 999999999 is outside 1970..2099"},
        {"--simulate=1969-12-31T23:59:59", "year 1969"},
        {"--simulate=2100-01-01T00:00:00", "year 2100"},
        {"--simulate=2026-02-30T12:00:00", "day 30 is outside 1..28"},
        {"--simulate=2026-04-31T12:00:00", "day 31 is outside 1..30"},
        {"--simulate=2026-13-01T12:00:00", "month 13"},
        {"--simulate=2026-01-01T24:00:00", "hour 24"},
        {"--simulate=2026-01-01T12:60:00", "minute 60"},
        {"--simulate=2026-01-01T12:00:60", "second 60"},
        {"--run-for=soon", ""},
        {"--run-for=1e12", ""},
        {"--run-for=1e300", ""},
        {"--run-for=inf", ""},
        {"--run-for=-1", ""},
        {"--run-for=nan", ""},
    };
    for (const auto& [option, reason] : cases) {
        const std::string error = Parse({option, "QZ0XB"}).error;
        const std::string name = option.substr(0, option.find('=')), value = option.substr(option.find('=') + 1);
        EXPECT_NE(error.find(name), std::string::npos) << option << ": " << error;
        EXPECT_NE(error.find("\"" + value + "\""), std::string::npos) << option << ": " << error;
        EXPECT_NE(error.find(name == "--simulate" ? "years 1970..2099" : "from 0 to 315360000"), std::string::npos)
            << error;
        EXPECT_NE(error.find(reason), std::string::npos) << option << ": " << error;
    }
    EXPECT_NE(Parse({"--serial=usb", "QZ0XB"}).error.find("usb"), std::string::npos);
    EXPECT_NE(Parse({"--bogus", "QZ0XB"}).error.find("--bogus"), std::string::npos);
    EXPECT_FALSE(Parse({"--serial=tty", "--onair=x.wav", "QZ0XB"}).error.empty());
    // The edges of the ranges, a leap day and the short forms still read.
    for (const char* good : {"--simulate=2024-02-29T00:00:00", "--simulate=2099-12-31T23:59:59",
                             "--simulate=1970-01-02T00:00:00", "--run-for=0", "--run-for=315360000",
                             "--run-for=0.5", "--run-for=1e3"})
        EXPECT_EQ(Parse({good, "QZ0XB"}).error, "") << good;
    EXPECT_EQ(Parse({"--serial=emulated:t.txt", "--onair=x.wav", "QZ0XB"}).error, "");
}

// The program refuses a bad value before it starts anything, with status 2.
TEST(RunOptions, ProgramEndsWithStatusTwoOnAValueOutOfRange) {
    test::ScratchDirectory dir;
    // Should the value be taken, the idle station still ends at once instead of running for 30000 years.
    std::string command =
        std::string(SKEDCAST_BINARY) + " --simulate --exit-when-idle --run-for=1e12 QZ0XB </dev/null >out.txt 2>err.txt";
    int status = std::system(command.c_str());
    ASSERT_TRUE(WIFEXITED(status));
    EXPECT_EQ(WEXITSTATUS(status), 2);
    EXPECT_NE(test::ReadFile("err.txt").find("--run-for wants seconds from 0 to 315360000"), std::string::npos);
    EXPECT_FALSE(std::filesystem::exists("log")) << "nothing started";
}

}  // namespace
}  // namespace sked
