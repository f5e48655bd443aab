// The operator's kept settings (skedcast.conf) across restarts of the real program: what the operator types is
// kept and comes back, what the schedule and the command line set holds for the run only, and a bad or unwritable
// file is said with its name, line and reason.
#include <cstdlib>
#include <filesystem>

#include <sys/stat.h>
#include <sys/wait.h>

#include "support/scenario_helpers.h"
#include "support/station_process.h"

namespace sked::test {
namespace {

class KeptSettingsProgram : public ScenarioTest {
protected:
    static Lines Arguments(const Lines& options) { return StationArguments(options); }
    // Runs the station with `typed` on its standard input; its exit status.
    static int Run(const Lines& options, const Lines& typed) {
        StationProcess station(Arguments(options));
        for (const std::string& line : typed) station.Type(line);
        station.CloseInput();
        const int status = station.Wait();
        return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    }
    static ino_t Inode(const char* path) {
        struct stat s {};
        return ::stat(path, &s) == 0 ? s.st_ino : 0;
    }
};

TEST_F(KeptSettingsProgram, WhatTheOperatorTypesIsKeptAndARestartComesUpWithItUnwritten) {
    ASSERT_EQ(Run({}, {"mode ita2", "baud 50", "centre 2000", "header off", "auth secret", "quit"}), 0);
    const std::string file = ReadFile("skedcast.conf");
    EXPECT_NE(file.find("[signal]\nmode = ita2\nbaud = 50\n\n[tones]\ncentre = 2000\n\n[sending]\nheader = off\n"),
              std::string::npos) << file;
    EXPECT_EQ(file.find("secret"), std::string::npos);
    const ino_t written = Inode("skedcast.conf");
    std::filesystem::remove("trace.tsv");
    ASSERT_EQ(Run({"--run-for=0"}, {}), 0);
    EXPECT_TRUE(Logged("Kept settings : skedcast.conf: signal.mode=ita2 signal.baud=50 tones.centre=2000 "
                       "sending.header=off"));
    // 50 baud on the line: divisor 115200 / 50.
    EXPECT_NE(ReadFile("trace.tsv").find("\t0x2F8\tdivisor\t2304\n"), std::string::npos);
    EXPECT_EQ(Inode("skedcast.conf"), written);
    EXPECT_EQ(ReadFile("skedcast.conf"), file);
}

// $ITA2 changes the mode for the run, the option the CW-Timer: the operator's later change writes the operator's
// own values, the mode kept before among them.
TEST_F(KeptSettingsProgram, TheScheduleAndTheCommandLineChangeTheRunNotTheFile) {
    WriteFile("skedcast.conf", "[signal]\nmode = telex\n");
    WriteData("schedule.lst", "01/01/2026 12:00:05 $ITA2\n");
    StationProcess station(Arguments({"--enable", "--cw-timer=on"}));
    ASSERT_TRUE(station.ReadUntil("Queue Empty"));
    for (const char* line : {"diddle on", "quit"}) station.Type(line);
    const int status = station.Wait();
    ASSERT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0) << station.output();
    const std::string file = ReadFile("skedcast.conf");
    EXPECT_NE(file.find("[signal]\nmode = telex\n\n[sending]\ndiddle = on\n"), std::string::npos) << file;
    EXPECT_EQ(file.find("cw_timer"), std::string::npos) << file;
}

TEST_F(KeptSettingsProgram, CommandLineOptionsOverrideTheFile) {
    WriteFile("skedcast.conf", "[identification]\ncw_timer = on\n[sound]\nnoise_db = 20\n");
    StationProcess station(Arguments({"--cw-timer=off", "--noise=30"}));
    for (const char* line : {"status", "quit"}) station.Type(line);
    station.Wait();
    // The box ticked by the file shows no count until it runs; unticked by the option it shows OFF.
    EXPECT_NE(station.output().find("CW-Timer  OFF"), std::string::npos) << station.output();
    EXPECT_TRUE(Logged("Kept settings : skedcast.conf: sound.noise_db=30 identification.cw_timer=on"));
}

TEST_F(KeptSettingsProgram, ABadLineEndsTheStationWithStatusTwoNamingTheLineAndWhy) {
    const struct { const char *text, *said; } cases[] = {
        {"[signal]\nmode = ita2\nbaud = 51\n", "skedcast.conf line 3: baud wants 45.45, 50, 56.9, 74.2, 100, 110"},
        {"# kept\n[sending]\nheader on\n", "skedcast.conf line 3: neither a [section] nor a key = value line"},
        {"[mirror]\nport = 2\nauthentication = x\n", "skedcast.conf line 3: the mirror's authentication text"},
    };
    for (const auto& c : cases) {
        WriteFile("skedcast.conf", c.text);
        const int status =
            std::system(SKEDCAST_BINARY " --headless --simulate=2026-01-01T12:00:00 --serial=emulated:trace.tsv "
                                        "QZ0XB 2 RTS </dev/null >out.txt 2>err.txt");
        EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 2) << c.text;
        EXPECT_NE(ReadFile("err.txt").find(c.said), std::string::npos) << ReadFile("err.txt");
        EXPECT_EQ(ReadFile("skedcast.conf"), c.text);
    }
}

TEST_F(KeptSettingsProgram, AFileThatCannotBeWrittenIsSaidAndTheStationRunsOn) {
    StationProcess station(Arguments({}));
    station.Type("status");
    ASSERT_TRUE(station.ReadUntil("CW-Timer"));
    std::filesystem::create_directory("skedcast.conf");  // in the way of the file, after it was read
    for (const char* line : {"mode ita2", "quit"}) station.Type(line);
    const int status = station.Wait();
    EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0);
    const std::string why = "Kept settings : Cannot write skedcast.conf: Is a directory";
    EXPECT_TRUE(Logged(why));
    EXPECT_NE(station.output().find("status: " + why), std::string::npos) << station.output();
}

}  // namespace
}  // namespace sked::test
