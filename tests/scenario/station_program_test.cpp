// Starting and ending the station, in process and as the real program on pipes (a command typed during a transmission
// acts between two of its characters, whoever started it), and a crash releasing the lines from its handler.
#include <csignal>
#include <filesystem>
#include <optional>
#include <tuple>

#include <sys/wait.h>
#include <unistd.h>

#include "app/command_line.h"
#include "scheduler/schedule_commands.h"
#include "serial/line_release.h"
#include "support/local_port.h"
#include "support/scenario_helpers.h"
#include "support/station_process.h"

namespace sked::test {
namespace {

class StationProgram : public ScenarioTest {
protected:
    static Lines Arguments(const Lines& options) { return StationArguments(options); }
    // Status 0, the key released on the line, the log closed by the TERMINATED line.
    void EndsCleanly(StationProcess& station) {
        const int status = station.Wait();
        ASSERT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0) << station.output();
        EXPECT_NE(LastMcr().find("key=OFF"), std::string::npos) << LastMcr();
        EXPECT_EQ(LogMessages().empty() ? "" : LogMessages().back(), "***** Skedcast has been TERMINATED *****");
    }
};

TEST_F(StationProgram, ParametersSetCallsignPortAndKeyLineTheStationStartsDisabledAndShutsDownReleased) {
    const struct { const char *parameters, *portName, *title, *idText; int port; KeyLine key; } cases[] = {
        {"qz0xb 2 rts", "COM2", "Q Z 0 X B ", "de QZ0XB QZ0XB ", 2, KeyLine::Rts},
        {"QZ0XB 1", "COM1", "Q Z 0 X B ", "de QZ0XB QZ0XB ", 1, KeyLine::Dtr},
        {"ab1c 9 RTS", "????", "A B 1 C ", "de AB1C AB1C ", 2, KeyLine::Rts},  // outside 1..8: COM2
    };
    for (const auto& c : cases) {
        ASSERT_TRUE(Start(c.parameters, "2026-01-01T08:04:05")) << c.parameters;
        const StationSettings& s = station->settings;
        MainWindow& w = station->window;
        EXPECT_EQ(std::tuple(w.comPortField.Text(), s.portNumber, s.keyLine), std::tuple(c.portName, c.port, c.key));
        EXPECT_EQ(w.title, "Scheduler" + std::string(62, ' ') + c.title);
        EXPECT_EQ(ScheduleHelpLines(s.IdText())[12], std::string("$CWID     // ") + c.idText);
        EXPECT_EQ(std::tuple(station->scheduler.autoSendEnabled, s.headerEnabled, s.mode, s.noSound),
                  std::tuple(false, true, Mode::Military, true));
        EXPECT_EQ(std::tuple(w.autoSendField.Text(), w.centreField.Text(), w.shiftField.Text()),
                  std::tuple("DISABLED", "  2210.000", "  170.00"));
        RunFor(2s);
        EXPECT_EQ(w.clockField.Text(), "Thu Jan  1 08:04:07 2026");
    }
    // Shut down keyed: the transmitter released, the ticks stopped, the end logged.
    station->transmitter.KeyTransmitter();
    ASSERT_TRUE(KeyLineUp());
    station->ShutDown();
    EXPECT_FALSE(KeyLineUp());
    RunFor(3s);
    EXPECT_EQ(station->window.clockField.Text(), "Thu Jan  1 08:04:07 2026");
    const auto log = LogMessages();
    EXPECT_EQ(Lines(log.end() - 2, log.end()),
              (Lines{"CmRX : Transmitter OFF", "***** Skedcast has been TERMINATED *****"}));
}

TEST_F(StationProgram, ParameterProblemsEndBeforeAnythingIsLogged) {
    ASSERT_FALSE(StartStation(""));
    EXPECT_EQ(boxes.shown.at(0).caption, "Parameters Not Set");
    EXPECT_EQ(station->exitStatus(), 0);
    ASSERT_FALSE(StartStation("QZ0XB 2 RTS MORE"));
    EXPECT_EQ(station->exitStatus(), 2);
    EXPECT_EQ(boxes.shown.at(1).caption, "Too Many Parameters");
    EXPECT_EQ(boxes.shown.at(1).text, texts::kTooManyText);
    ASSERT_FALSE(StartStation("QZ0XB COM2"));
    EXPECT_TRUE(station->editorOnly());
    EXPECT_TRUE(LogMessages().empty());
}

TEST_F(StationProgram, WithoutATimerForItsTickTheStationEnds) {
    class NoTimers : public SimulatedEventLoop {  // a loop that has no repeating timer to give
    public:
        using SimulatedEventLoop::SimulatedEventLoop;
        bool ArmEvery(int, Duration, Alignment) override { return false; }
    };
    NoTimers poor(LocalTimePoint("2026-01-01T12:00:00"));
    EmulatedPorts lines(poor.clock());
    Station other(poor, lines, boxes);
    EXPECT_THROW(other.StartUp("QZ0XB 2 RTS"), StationExit);
    EXPECT_FALSE(other.transmitter.On() || other.transmitter.Line().KeyDown());
    EXPECT_NE(ReadFile("log/20260101.log").find("OnTimer : Out of Timers - Fatal Abort - Exiting"), std::string::npos);
}

TEST_F(StationProgram, CancelTypedDuringARepeatedTestTextEndsItAtOnce) {
    WriteData("RYRYRYRY.txt", "RYRYRYRYRYRYRYRYRYRYRYRYRYRYRYRYRYRYRYRYRYRYRYRYRYRYRYRYRY\n");
    StationProcess station(Arguments({}));
    for (const char* line : {"repeat on", "ry"}) station.Type(line);  // repeated, it would go on for ever
    ASSERT_TRUE(station.ReadUntil("line: RYRYRY"));
    station.Type("cancel");
    ASSERT_TRUE(station.ReadUntil("CANCEL"));
    station.Type("quit");
    EndsCleanly(station);
    // The simulated clock runs on until the typed lines arrive: on a busy machine that is days later.
    std::string day;
    for (const auto& file : std::filesystem::directory_iterator("log"))
        if (ReadFile(file.path().string()).find("CmCancel : Session CANCELED") != std::string::npos)
            day = file.path().stem().string();
    ASSERT_NE(day, "") << station.output();
    const std::string date = day.substr(0, 4) + "-" + day.substr(4, 2) + "-" + day.substr(6, 2) + "T";
    const std::string aborted = StampOf("ABORTED sending <RYRYRYRY.txt>.", day);
    ASSERT_NE(aborted, "");
    EXPECT_LE(T(date + aborted) - T(date + StampOf("CmCancel : Session CANCELED", day)), 1s);
}

// Quit typed, and each terminating signal; a service's stop among them (SIGTERM, standard input at its end as
// systemd gives it with StandardInput=null).
TEST_F(StationProgram, EveryWayOfEndingDuringABulletinRunsTheShutDownSequence) {
    // Twenty hours of air time, and far more running lines than a pipe holds: the station waits for this test to
    // read its output, so the end always comes within the first tenth of the bulletin.
    WriteData({{"bulletin.txt", std::string(400000, 'R') + "\n"},
               {"schedule.lst", "01/01/2026 12:00:05 bulletin.txt\n"}});
    const struct {
        int signal;  // 0: quit typed
        const char* name;
        bool inputAtItsEnd;
        const char* alongside = nullptr;  // a line typed at the same moment (after quit, before a signal)
    } cases[] = {{0, "quit", false},          {SIGHUP, "SIGHUP", false},   {SIGTERM, "SIGTERM", false},
                 {SIGTERM, "SIGTERM", true},  {SIGQUIT, "SIGQUIT", false}, {SIGUSR1, "SIGUSR1", false},
                 {SIGRTMIN + 2, "SIGRTMIN+2", false},     {0, "quit", false, "enable"},
                 {SIGTERM, "SIGTERM", false, "queue"}};
    for (const auto& c : cases) {
        SCOPED_TRACE(std::string(c.name) + (c.inputAtItsEnd ? ", input at its end" : "") + ", with " +
                     (c.alongside ? c.alongside : "nothing"));
        std::filesystem::remove_all("log");
        std::filesystem::create_directory("log");
        StationProcess station(Arguments({"--enable"}));
        if (c.inputAtItsEnd) station.CloseInput();
        ASSERT_TRUE(station.ReadUntil("TXFile : Sending file <bulletin.txt>."));
        if (c.alongside && c.signal) station.Type(c.alongside);
        c.signal ? station.Signal(c.signal) : station.Type("quit");
        if (c.alongside && !c.signal) station.Type(c.alongside);
        EndsCleanly(station);
        EXPECT_TRUE(Logged("ABORTED sending <bulletin.txt>."));
        EXPECT_TRUE(!c.signal || Logged(std::string(c.name) + " : Shutting down"));
    }
}

TEST_F(StationProgram, ASaveThatCannotBeWrittenWholeLeavesTheOldFileAndSaysWhy) {
    const std::string old = std::string(5400, 'O') + "\n";
    WriteData({{"bulletin.txt", old}, {"other.txt", std::string(5400, 'N') + "\n"}});
    StationProcess station(Arguments({}), 2 * 1024);  // ulimit -f 2
    for (const char* line : {"view other.txt", "filename bulletin.txt", "edit on", "save", "quit"}) station.Type(line);
    EndsCleanly(station);
    EXPECT_EQ(ReadFile("data/bulletin.txt"), old);
    const std::string why = "CmEditSave : Cannot write <bulletin.txt> file: File too large";
    EXPECT_TRUE(Logged(why)) << station.output();
    EXPECT_NE(station.output().find("status: " + why), std::string::npos);
}

TEST_F(StationProgram, AHeadlessServiceSetUpByOptionsMirrorsItsBulletins) {
    std::optional<LocalPort> peer;  // on the first free port of the mirror's range (--net-port=n: 5999 + n, 1..16)
    int n = 0;
    while (++n <= 16 && !peer.emplace(true, 5999 + n).bound) {}
    ASSERT_TRUE(peer->bound) << "127.0.0.1:6000..6015 are all busy";
    WriteFile("mirror.auth", "station secret\n");
    WriteData({{"bulletin.txt", "QST de QZ0XB\n"},
               {"schedule.lst", "01/01/2026 12:00:05 $ITA2\n01/01/2026 12:00:10 bulletin.txt\n"}});
    StationProcess station(Arguments({"--enable", "--exit-when-idle", "--net-port=" + std::to_string(n),
                                      "--net-address=127.0.0.1", "--auth-file=mirror.auth"}));
    station.CloseInput();
    EndsCleanly(station);
    EXPECT_TRUE(Logged("Completed sending <bulletin.txt>."));
    // The connection waits in the backlog with all that was sent on it and its end.
    std::string received;
    const int connection = ::accept(peer->fd, nullptr, nullptr);
    char buffer[256];
    for (ssize_t got; connection >= 0 && (got = ::recv(connection, buffer, sizeof buffer, 0)) > 0;)
        received.append(buffer, static_cast<std::size_t>(got));
    ::close(connection);
    EXPECT_EQ(received, "station secret\n\nQST DE QZ0XB\r");
}

// An adapter that is not plugged in: each bulletin is ABORTED with the device and the reason, never Completed.
TEST_F(StationProgram, AMissingSerialDeviceAbortsEachBulletinWithItsNameAndTheQueueGoesOn) {
    WriteData({{"a.txt", "QST\n"}, {"schedule.lst", "01/01/2026 12:00:05 a.txt\n01/01/2026 12:01:00 a.txt\n"}});
    StationProcess station({"--headless", "--simulate=2026-01-01T12:00:00", "--serial=tty:/nonexistent/ttyUSB9",
                            "--enable", "--exit-when-idle", "QZ0XB", "2", "RTS"});
    station.CloseInput();
    const int status = station.Wait();
    EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0) << station.output();
    EXPECT_EQ(StampsOf("SendAbort : <a.txt> not sent whole: the serial port COM2 is not there "
                       "(/nonexistent/ttyUSB9: No such file or directory).").size(), 2u);
    EXPECT_EQ(StampsOf("ABORTED sending <a.txt>.").size(), 2u);
    EXPECT_FALSE(Logged("Completed sending <a.txt>."));
}

// On the simulated clock across midnight: the line set to 45.45 baud, 5 data bits and 1.5 stop bits, never keyed.
TEST_F(StationProgram, ARunAcrossMidnightLogsIntoBothDaysAndProgramsTheLineUnkeyed) {
    StationProcess station({"--headless", "--simulate=2026-01-01T23:59:58", "--run-for=5",
                            "--serial=emulated:trace.tsv", "QZ0XB", "2", "RTS"});
    station.CloseInput();
    EndsCleanly(station);
    const auto first = LogLines("20260101"), second = LogLines("20260102");
    ASSERT_FALSE(first.empty() || second.empty());
    EXPECT_EQ(first.front(), "23:59:58 > ***** Skedcast has been STARTED *****");
    EXPECT_EQ(second.back(), "00:00:03 > ***** Skedcast has been TERMINATED *****");
    const std::string trace = ReadFile("trace.tsv");
    EXPECT_NE(trace.find("2026-01-01 23:59:58.000\t0x2F8\tdivisor\t2534\n"), std::string::npos) << trace;
    EXPECT_NE(trace.find("\t0x2F8\tlcr\t0x04\n"), std::string::npos);
    EXPECT_NE(trace.find("\t0x2F8\tmcr\t0x00 key=OFF power=OFF\n"), std::string::npos);
    EXPECT_EQ(trace.find("key=ON"), std::string::npos);
}

// No parameter prints how to call the station (status 0); a usage error or a callsign too long ends with status 2,
// which a service manager sees. A port or keying line read otherwise than perhaps meant is said on standard output
// and in the log; a schedule that cannot be opened goes to standard output too, with its path and the reason.
TEST_F(StationProgram, UsageErrorsEndWithStatusTwoAndDoubtfulParametersAreSaid) {
    const auto run = [](const std::string& parameters) {
        return std::system((SKEDCAST_BINARY " --headless " + parameters + " </dev/null >out.txt 2>err.txt").c_str());
    };
    for (auto [parameters, status, said] : {std::tuple{"", 0, "Parameters Not Set"},
                                            {"QZ0XB 2 RTS MORE", 2, "Too Many Parameters"},
                                            {"QZ0XB/MM 2", 2, "Callsign Too Long"}}) {
        const int result = run(parameters);
        EXPECT_TRUE(WIFEXITED(result) && WEXITSTATUS(result) == status) << parameters;
        EXPECT_NE(ReadFile("err.txt").find(said), std::string::npos) << parameters;
    }
    ASSERT_EQ(run("--simulate=2026-01-01T12:00:00 --serial=emulated:trace.tsv --run-for=0 QZ0XB 9 XYZ"), 0);
    for (const std::string said : {"Port 9 is not 1 to 8: COM2 at 0x2F8 is used.",
                                   "Keying line XYZ is neither RTS nor DTR: DTR keys the transmitter."})
        EXPECT_TRUE(ReadFile("out.txt").find("skedcast: " + said) != std::string::npos &&
                    Logged("Command line : " + said)) << said;
    EXPECT_NE(ReadFile("out.txt").find("12:00:00 log: GetSchedule : Cannot open Schedule.lst input file "
                                       "(data/schedule.lst: No such file or directory)."), std::string::npos);
}

// --check-schedule reads the schedule as the station would load it at the --simulate time, and says what it refuses.
TEST_F(StationProgram, CheckScheduleListsTheEntriesNamesTheRefusedLinesAndEndsWithStatusOne) {
    WriteData("a.txt", "hi");
    WriteData("schedule.lst", "01/01/2026 13:00:00 a.txt\nb.txt\n13/45/2026 25:00:00 x.txt\n01/01/2026 11:00:00 y.txt\n");
    const int status = std::system(SKEDCAST_BINARY " --check-schedule --simulate=2026-01-01T12:00:00 >out.txt");
    EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 1);
    EXPECT_EQ(ReadFile("out.txt"), "01/01/2026 13:00:00 a.txt\n01/01/2026 13:00:00 b.txt   (no such file in data/)\n"
                                   "line 3: Invalid date or time: 13/45/2026 25:00:00 x.txt\n"
                                   "line 4: Expired time tag: 01/01/2026 11:00:00 y.txt\n"
                                   "data/schedule.lst: 2 entries due, 1 expired, 1 refused\n");
}

// A repeating entry: each occurrence within the period with its followers; a bad rule refused.
TEST_F(StationProgram, CheckScheduleListsEachOccurrenceWithinThePeriodWithItsFollowers) {
    WriteData("a.txt", "hi");
    WriteData("schedule.lst", "daily 21:00:00 a.txt\nb.txt\nSat,Sun 09:00:00 a.txt\nevery 7x 00:10:00 a.txt\n");
    EXPECT_EQ(WEXITSTATUS(std::system(SKEDCAST_BINARY " --check-schedule=2d --simulate=2026-01-02T12:00:00 >out.txt")), 1);
    std::string listed;
    for (std::string day : {"01/02/2026", "01/03/2026"})
        listed += day + " 21:00:00 a.txt  [daily 21:00:00]\n" + day + " 21:00:00 b.txt   (no such file in data/)\n";
    EXPECT_EQ(ReadFile("out.txt"), listed + "01/03/2026 09:00:00 a.txt  [Sat,Sun 09:00:00]\n01/04/2026 09:00:00 a.txt  "
                                   "[Sat,Sun 09:00:00]\nline 4: Unreadable repeat rule (every wants an interval such as "
                                   "15m or 2h, not \"7x\"): every 7x 00:10:00 a.txt\ndata/schedule.lst: 3 entries due, 0 "
                                   "expired, 1 refused\n");
}

// The schedule editor alone (port 0) ends on SIGTERM as its close box ends it: nothing saved, nothing logged.
TEST_F(StationProgram, TheEditorAloneEndsOnSigtermWithNothingSavedOrLogged) {
#ifndef SKEDCAST_WITH_GUI
    GTEST_SKIP() << "the schedule editor is in skedcast-gui, not built (SKEDCAST_GUI=OFF)";
#endif
    WriteData("schedule.lst", "wx.txt\n");
    sigset_t term, old;
    sigemptyset(&term);
    sigaddset(&term, SIGTERM);
    // Blocked from the program's start, the signal waits until the editor's loop watches for it.
    ::pthread_sigmask(SIG_BLOCK, &term, &old);
    ::setenv("QT_QPA_PLATFORM", "offscreen", 1);
    StationProcess editor({"QZ0XB", "0"});
    ::unsetenv("QT_QPA_PLATFORM");
    ::pthread_sigmask(SIG_SETMASK, &old, nullptr);
    editor.Signal(SIGTERM);
    const int status = editor.Wait();
    EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0) << status;
    EXPECT_TRUE(LogMessages().empty());
    EXPECT_EQ(ReadFile("data/schedule.lst"), "wx.txt\n");
}

// Keyed by a CM108 pin (--ptt) or a GPIO line (the kept settings), both recorded in a file as the emulated devices
// are: a SIGHUP ends the station through its shut-down sequence, a SIGSEGV through the crash handler; either way
// the last record is the release.
TEST_F(StationProgram, AHangUpOrACrashLeavesTheKeyingDeviceReleased) {
    const std::string cm108Released("\0\0\0\4\0", 5), cm108Keyed("\0\0\4\4\0", 5);
    const struct { const char* ptt; std::string keyed, released; } devices[] = {
        {"--ptt=cm108:keying.rec", cm108Keyed, cm108Released},
        {"[keying]\nptt = gpio:keying.rec:17:active-low\n", "17=0\n", "17=1\n"},
    };
    for (const auto& d : devices)
        for (const int signal : {SIGHUP, SIGSEGV}) {
            SCOPED_TRACE(std::string(d.ptt) + (signal == SIGHUP ? ", SIGHUP" : ", SIGSEGV"));
            WriteFile("keying.rec", "");
            const bool kept = d.ptt[0] == '[';
            WriteFile("skedcast.conf", kept ? d.ptt : "");
            StationProcess station(Arguments(kept ? Lines{} : Lines{d.ptt}));
            station.Type("tx");
            station.Type("status");  // answered once tx has run to its end
            ASSERT_TRUE(station.ReadUntil("Auto Send")) << station.output();
            ASSERT_TRUE(ReadFile("keying.rec").ends_with(d.keyed));
            station.Signal(signal);
            const int status = station.Wait();
            if (signal == SIGHUP) EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0) << status;
            else EXPECT_FALSE(WIFEXITED(status) && WEXITSTATUS(status) == 0) << status;  // (a sanitizer exits 1)
            EXPECT_TRUE(ReadFile("keying.rec").ends_with(d.released));
            EXPECT_EQ(LastMcr().find("key=ON"), std::string::npos) << LastMcr();  // the serial line never keyed
        }
}

// A crash: the registered ports are released by the handler (reporting it on standard error) before the process
// dies of the signal, or through a sanitizer's report that was there first.
void ReportRelease(std::uint16_t base) noexcept {
    char text[] = "released 0x000\n";
    for (int i = 0; i < 3; ++i) text[11 + i] = "0123456789ABCDEF"[(base >> (8 - 4 * i)) & 15];
    [[maybe_unused]] ssize_t written = ::write(STDERR_FILENO, text, sizeof text - 1);
}

TEST(LineReleaseDeathTest, ACrashReleasesTheRegisteredPortsAndStillDies) {
    EXPECT_DEATH(
        {
            line_release::RegisterPort(0x2F8, ReportRelease);
            line_release::InstallCrashHandlers();
            std::raise(SIGSEGV);
        },
        "released 0x2F8");
}

}  // namespace
}  // namespace sked::test
