// The ways a station was once left keyed, or reported a bulletin as sent that was not, each replayed: the key comes
// up when nothing is to be sent, on the port and line that keyed it.
#include <filesystem>

#include <fcntl.h>
#include <stdlib.h>
#include <sys/stat.h>

#include "serial/tty_line.h"
#include "support/local_port.h"
#include "support/scenario_helpers.h"
#include "transmit/data_files.h"

namespace sked::test {
namespace {

using KeyingSafety = ScenarioTest;

TEST_F(KeyingSafety, TheKeyComesUpWhenNothingIsLeftToSend) {
    const struct {
        const char* what;
        Lines schedule;
        Lines during, typed;  // typed at 12:00:20, in the middle of bulletin.txt, and at 12:10:00
    } cases[] = {
        {"a command due when the bulletin ends, then an empty queue",
         {"01/01/2026 12:00:05 bulletin.txt", "01/01/2026 12:00:06 $ITA2"}, {}, {}},
        {"a missing file due when the bulletin ends",
         {"01/01/2026 12:00:05 bulletin.txt", "01/01/2026 12:00:06 missing.txt"}, {}, {}},
        {"the scheduler disabled during the bulletin, the next entry due",
         {"01/01/2026 12:00:05 bulletin.txt", "01/01/2026 12:00:06 bulletin.txt"}, {"disable"}, {}},
        {"an identification typed with an empty queue", {}, {}, {"cwid"}},
        {"an identification in PSK31 (on the modem's carrier)", {}, {}, {"soundcard 1", "mode psk31", "cwid"}},
        {"power off after tx", {}, {}, {"tx", "power off"}},
        {"rx during a test transmission", {}, {}, {"ry", "rx"}},
    };
    WriteData({{"bulletin.txt", std::string(300, 'E') + "\n"}, {"RYRYRYRY.txt", "RYRYRYRY\n"}});
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        ASSERT_TRUE(StartEnabled(c.schedule));
        for (const auto& line : c.during) At("2026-01-01T12:00:20", [&, line] { EXPECT_TRUE(Type(line)) << line; });
        for (const auto& line : c.typed) At("2026-01-01T12:10:00", [&, line] { EXPECT_TRUE(Type(line)) << line; });
        RunUntil(T("2026-01-01T12:20:00"));
        EXPECT_FALSE(KeyLineUp() || station->transmitter.On());
        EXPECT_EQ(station->window.transmitField.Text(), "  OFF  ");
    }
}

TEST_F(KeyingSafety, AChangeOfPortOrKeyingLineReleasesTheOldOne) {
    for (const char* change : {"$COM1", "$DTR"}) {
        SCOPED_TRACE(change);
        uart.events.clear();  // the lines of the station before
        ASSERT_TRUE(StartEnabled({"01/01/2026 12:00:05 $TX", std::string("01/01/2026 12:00:10 ") + change}));
        RunUntil(T("2026-01-01T12:00:07"));
        ASSERT_EQ(LastWrite(UartEventKind::kMcr, 0x2F8) & 3, 2u);  // RTS keys
        RunUntil(T("2026-01-01T12:00:20"));
        // Neither line of either port up (DTR 1, RTS 2).
        EXPECT_EQ((LastWrite(UartEventKind::kMcr, 0x2F8) | LastWrite(UartEventKind::kMcr, 0x3F8)) & 3, 0u);
        EXPECT_EQ(station->window.transmitField.Text(), "  OFF  ");
        Type("power on");  // on the new line, never the key
        EXPECT_FALSE(KeyLineUp());
    }
    // A port change between two bulletins keyed back to back, the second on the new port: nothing is
    // sent on the old port after the change, and neither port is left keyed.
    WriteData({{"notice.txt", "NOTICE\n"}});
    WriteSchedule({"01/01/2026 12:00:05 notice.txt", "$COM3", "notice.txt", "nosuch.txt"});
    uart.events.clear();
    ASSERT_TRUE(Start("QZ0XB 1 DTR"));
    station->commands.Enable();
    RunUntil(T("2026-01-01T12:03:00"));
    EXPECT_EQ(StampsOf("Completed sending <notice.txt>.").size(), 2u);
    const TimePoint changed = TimeOf("ComPort Changed to COM3") + 1s;  // the log's stamp is of the second
    for (const UartEvent& frame : FramesIn(changed, T("2026-01-01T12:03:00"))) EXPECT_EQ(frame.base, 0x3E8);
    EXPECT_EQ((LastWrite(UartEventKind::kMcr, 0x3F8) | LastWrite(UartEventKind::kMcr, 0x3E8)) & 3, 0u);
    EXPECT_FALSE(station->transmitter.On());
}

// A mirror that cannot be reached: the bulletin is ABORTED with the reason, not sent unkeyed, and the queue goes on.
TEST_F(KeyingSafety, ABulletinWhoseMirrorRefusesIsNotReportedAsSent) {
    const LocalPort closed(false);
    WriteData("a.txt", std::string(300, 'E') + "\n");
    WriteData("b.txt", "EEE\n");
    ASSERT_TRUE(StartEnabled({"01/01/2026 12:00:05 a.txt", "01/01/2026 12:01:00 $RX", "01/01/2026 12:05:00 b.txt"}));
    station->settings.mirror.port = closed.port - Transmitter::kMirrorPortBase;  // its TCP port: 5999 + n
    At("2026-01-01T12:02:00", [this] { station->settings.mirror.port = 0; });
    RunUntil(T("2026-01-01T12:10:00"));
    EXPECT_TRUE(Logged("SendAbort : <a.txt> not sent whole: cannot connect to 127.0.0.1:" +
                       std::to_string(closed.port) + ": Connection refused."));
    EXPECT_TRUE(Logged("ABORTED sending <a.txt>."));
    EXPECT_TRUE(Logged("Completed sending <b.txt>."));  // without the mirror, the queue went on
    EXPECT_LT(FramesIn(TimePoint{}, T("2026-01-01T12:02:00")).size(), 5u);
    EXPECT_FALSE(KeyLineUp());
    // A peer that takes the connection and drops it in the middle of a bulletin: ABORTED at once, the queue goes on.
    const LocalPort peer(true);
    ASSERT_TRUE(StartEnabled({"01/01/2026 12:00:05 a.txt", "01/01/2026 12:02:00 b.txt"}));
    station->settings.mirror.port = peer.port - Transmitter::kMirrorPortBase;
    At("2026-01-01T12:00:20", [&] { ::close(::accept(peer.fd, nullptr, nullptr)); });
    RunUntil(T("2026-01-01T12:05:00"));
    EXPECT_LT(TimeOf("ABORTED sending <a.txt>."), T("2026-01-01T12:00:22"));
    EXPECT_TRUE(Logged("Completed sending <b.txt>."));
    EXPECT_FALSE(KeyLineUp());
}

// What a file needs lost in its middle: ABORTED with the reason, the key up, and the queue goes on.
TEST_F(KeyingSafety, AFileCutByAModeChangeOrAnUnpluggedPortIsAbortedWithTheReason) {
    WriteData({{"a.txt", std::string(300, 'E') + "\n"}, {"b.txt", "EEE\n"}});
    const std::pair<std::function<void()>, std::string> cases[] = {
        {[this] { Type("mode ascii"); }, "the mode was changed during the transmission"},
        {[this] { ports->SetPresent(2, false); }, "the serial port COM2 is gone (the emulated adapter is unplugged)"},
    };
    for (const auto& [cut, reason] : cases) {
        SCOPED_TRACE(reason);
        ASSERT_TRUE(StartEnabled({"01/01/2026 12:00:05 a.txt", "01/01/2026 12:02:00 b.txt"}));
        At("2026-01-01T12:00:20", cut);
        At("2026-01-01T12:00:22", [this] { EXPECT_FALSE(KeyLineUp()); });
        At("2026-01-01T12:01:00", [this] { ports->SetPresent(2, true); });
        RunUntil(T("2026-01-01T12:05:00"));
        EXPECT_TRUE(Logged("SendAbort : <a.txt> not sent whole: " + reason + "."));
        EXPECT_TRUE(Logged("ABORTED sending <a.txt>.") && Logged("Completed sending <b.txt>."));
    }
}

// An adapter plugged in while the station waits is found within ten seconds, not at the next keying.
TEST_F(KeyingSafety, AMissingTtyIsLookedForEveryTenSecondsWhileNothingIsSent) {
    ASSERT_TRUE(StartStation("", "2026-01-01T12:00:00", false));  // the loop alone
    const std::string link = std::filesystem::absolute("ttyUSB9");
    TtyPorts tty(loop->clock(), link);
    const struct Gone { std::unique_ptr<Station>& s; ~Gone() { s.reset(); } } before{station};  // before tty goes
    station = std::make_unique<Station>(*loop, tty, boxes);
    ASSERT_TRUE(station->StartUp("QZ0XB 2 RTS"));
    RunFor(15s);
    const int master = ::posix_openpt(O_RDWR | O_NOCTTY | O_CLOEXEC);
    ASSERT_TRUE(master >= 0 && ::grantpt(master) == 0 && ::unlockpt(master) == 0);
    std::filesystem::create_symlink(::ptsname(master), link);
    RunFor(11s);
    EXPECT_TRUE(Logged("Serial port : " + link + ": open again"));
    ::close(master);
}

TEST_F(KeyingSafety, ABulletinLongerThanThirtyTwoThousandBytesGoesOutWhole) {
    std::string text;
    while (text.size() < 62000) text += "THE QUICK BROWN FOX JUMPS OVER THE LAZY DOG\n";
    WriteData("long.txt", text + "END\n");
    ASSERT_TRUE(StartEnabled({"01/01/2026 12:00:05 long.txt"}));
    RunUntil(T("2026-01-01T16:00:00"));
    ASSERT_TRUE(Logged("Completed sending <long.txt>."));
    std::vector<int> codes = uart.FrameCodes();  // the letters (no shifts, CR or LF): the last three of the last line
    std::erase_if(codes, [](int code) { return code == 31 || code == 27 || code == 8 || code == 2; });
    ASSERT_GE(codes.size(), 3u);
    EXPECT_EQ(std::vector<int>(codes.end() - 3, codes.end()), (std::vector<int>{1, 12, 9}));  // E N D
}

TEST_F(KeyingSafety, NamesOutsideTheDataFolderAreRefused) {
    WriteFile("secret.txt", "NOT FOR THE AIR\n");
    ASSERT_TRUE(StartEnabled({}));
    for (const std::string name : {"../secret.txt", "/etc/passwd", "news/../../secret.txt"}) {
        Type("add " + name);
        EXPECT_TRUE(Logged("FileAdd : Refused <" + name + ">: not a file of the data folder."));
    }
    EXPECT_TRUE(Items().empty());
    Type("add $RX");
    EXPECT_EQ(Items().size(), 1u);
    EXPECT_FALSE(station->commands.PrintFile("../secret.txt"));
    EXPECT_EQ(station->window.displayBox.Text().find("NOT FOR THE AIR"), std::string::npos);
    // Names are resolved inside data/: a link out of it is neither sent, shown nor saved over; a FIFO, an endless
    // device and a text over 10 MB are refused with the reason, and nothing waits on them. A link inside data/ works.
    namespace fs = std::filesystem;
    WriteData({{"news.txt", "NEWS\n"}, {"a", "OLD\n"}, {"big.txt", ""}});
    fs::resize_file("data/big.txt", kMaxTextBytes + 1);
    ASSERT_EQ(::mkfifo("data/fifo.txt", 0600), 0);
    for (auto [link, target] : {std::pair{"data/up", ".."}, {"data/header.txt", "/dev/zero"}, {"data/alias.txt", "a"}})
        fs::create_symlink(target, link);
    WriteSchedule({"01/01/2026 12:00:05 up/secret.txt", "fifo.txt", "big.txt", "01/01/2026 12:01:00 news.txt"});
    Type("reload");
    RunUntil(T("2026-01-01T12:02:00"));
    for (const std::string line : {"SendAbort : File <up/secret.txt> could not be opened: it lies outside data/.",
                                   "SendAbort : File <fifo.txt> could not be opened: not a regular file.",
                                   "SendAbort : File <big.txt> could not be opened: larger than 10 MB.",
                                   "[TXFile : Cannot open data/header.txt input file: it lies outside data/.]",
                                   "Completed sending <news.txt>."})
        EXPECT_TRUE(Logged(line)) << line;
    EXPECT_FALSE(station->commands.PrintFile("up/secret.txt"));
    for (const char* typed : {"edit on", "text SAVED", "filename up/secret.txt", "save", "filename alias.txt", "save"})
        Type(typed);
    EXPECT_TRUE(Logged("CmEditSave : Cannot write <up/secret.txt> file: it lies outside data/"));
    EXPECT_EQ(ReadFile("secret.txt"), "NOT FOR THE AIR\n");
    EXPECT_TRUE(fs::is_symlink("data/alias.txt") && ReadFile("data/a") == "SAVED");
}

}  // namespace
}  // namespace sked::test

namespace sked::test {
namespace {

TEST_F(KeyingSafety, NoKeyDownOutlastsTheTransmitTimeOutAndTheQueueGoesOn) {
    // 11000 characters at 45.45 baud: half an hour on the air; the limit is ten minutes.
    WriteData({{"header.txt", ""}, {"footer.txt", ""}, {"long.txt", std::string(11000, 'R')}, {"short.txt", "RY"}});
    ASSERT_TRUE(StartEnabled({"01/01/2026 12:00:10 long.txt", "01/01/2026 12:15:00 short.txt"}));
    station->transmitter.SetTimeOut(std::chrono::minutes(10));
    RunUntil(T("2026-01-01T12:20:00"));
    const std::string reason = "the transmit time-out of 10 minutes was reached";
    EXPECT_TRUE(Logged("Transmit time-out : " + reason + ", the key is dropped."));
    EXPECT_TRUE(Logged("SendAbort : <long.txt> not sent whole: " + reason + "."));
    EXPECT_TRUE(Logged("ABORTED sending <long.txt>."));
    EXPECT_TRUE(Logged("Completed sending <short.txt>."));
    auto keys = KeyChanges();
    ASSERT_GE(keys.size(), 4u);
    EXPECT_EQ(keys[0].time, T("2026-01-01T12:00:10"));
    EXPECT_EQ(keys[1].time, T("2026-01-01T12:10:10"));
    EXPECT_FALSE(keys[1].on);
    // Keyed by the operator: released at the limit too.
    ASSERT_TRUE(Type("tx"));
    RunFor(9min + 59s);
    EXPECT_TRUE(KeyLineUp());
    RunFor(2s);
    EXPECT_FALSE(KeyLineUp());
    EXPECT_FALSE(station->transmitter.On());
}

}  // namespace
}  // namespace sked::test
