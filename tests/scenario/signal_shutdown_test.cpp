// Signals sent to the real station in the middle of a bulletin end it through
// its shut-down sequence: the key is released on the line and the log ends
// with the TERMINATED line. A crash releases the lines from its handler.
#include <algorithm>
#include <csignal>
#include <cstdio>
#include <filesystem>
#include <string>
#include <vector>

#include <gtest/gtest.h>
#include <sys/wait.h>
#include <unistd.h>

#include "serial/line_release.h"
#include "support/station_fixture.h"
#include "support/station_process.h"

namespace sked::test {
namespace {

class SignalShutdown : public StationTest {};

// How the signal reaches the station; a service's stop (SIGTERM, standard input at its end as systemd
// gives it with StandardInput=null) among them.
struct SignalCase {
    int signal;
    const char* name;      // as the log names it
    bool inputAtItsEnd;    // no operator: the station has read the end of its input
};

const SignalCase kSignalCases[] = {
    {SIGHUP, "SIGHUP", false},
    {SIGTERM, "SIGTERM", false},
    {SIGTERM, "SIGTERM", true},
    {SIGQUIT, "SIGQUIT", false},
    {SIGUSR1, "SIGUSR1", false},
    {SIGRTMIN + 2, "SIGRTMIN+2", false},
};

TEST_F(SignalShutdown, EveryTerminatingSignalRunsTheShutDownSequence) {
    // Twenty hours of air time, and far more running lines than a pipe holds:
    // the station waits for this test to read its output, so the signal
    // always arrives within the first tenth of the bulletin.
    WriteData("bulletin.txt", std::string(400000, 'R') + "\n");
    WriteData("schedule.lst", "01/01/2026 12:00:00 bulletin.txt\n");
    for (const SignalCase& c : kSignalCases) {
        SCOPED_TRACE(std::string(c.name) + (c.inputAtItsEnd ? ", input at its end" : ", input open"));
        std::remove("trace.tsv");
        StationProcess station({"--headless", "--simulate=2026-01-01T11:59:55", "--enable",
                                "--serial=emulated:trace.tsv", "QZ0XB", "2", "RTS"});
        if (c.inputAtItsEnd) station.CloseInput();
        ASSERT_TRUE(station.ReadUntil("TXFile : Sending file <bulletin.txt>."));
        station.Signal(c.signal);
        const int status = station.Wait();
        ASSERT_TRUE(WIFEXITED(status)) << station.output();
        EXPECT_EQ(WEXITSTATUS(status), 0);

        std::string lastMcr;
        for (const auto& line : ReadLines("trace.tsv"))
            if (line.find("\tmcr\t") != std::string::npos) lastMcr = line;
        EXPECT_NE(lastMcr.find("key=OFF"), std::string::npos) << lastMcr;

        const auto log = LogMessages();
        ASSERT_GE(log.size(), 3u);
        EXPECT_EQ(log.back(), "***** Skedcast has been TERMINATED *****");
        EXPECT_NE(std::find(log.begin(), log.end(), "ABORTED sending <bulletin.txt>."), log.end());
        EXPECT_NE(std::find(log.begin(), log.end(), std::string(c.name) + " : Shutting down"), log.end());
        std::filesystem::remove_all("log");
        std::filesystem::create_directory("log");
    }
}

// A crash on the way down: the registered ports are released by the handler
// before the process dies of the signal.
int releaseReport = -1;
void ReportRelease(std::uint16_t base) noexcept {
    const char byte = static_cast<char>(base & 0xFF);
    ssize_t ignored = ::write(releaseReport, &byte, 1);
    (void)ignored;
}

TEST(LineRelease, ACrashReleasesTheRegisteredPortsAndStillDies) {
    int report[2];
    ASSERT_EQ(::pipe(report), 0);
    const pid_t child = ::fork();
    if (child == 0) {
        ::close(report[0]);
        releaseReport = report[1];
        line_release::RegisterPort(0x2F8, ReportRelease);
        line_release::InstallCrashHandlers();
        std::raise(SIGSEGV);
        ::_exit(0);  // not reached
    }
    ::close(report[1]);
    char byte = 0;
    EXPECT_EQ(::read(report[0], &byte, 1), 1);
    EXPECT_EQ(static_cast<unsigned char>(byte), 0xF8);
    ::close(report[0]);
    int status = 0;
    ::waitpid(child, &status, 0);
    // Of the signal itself, or through a sanitizer's report that was there first.
    EXPECT_TRUE((WIFSIGNALED(status) && WTERMSIG(status) == SIGSEGV) || (WIFEXITED(status) && WEXITSTATUS(status) != 0))
        << status;
}

}  // namespace
}  // namespace sked::test
