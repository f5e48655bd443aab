// The operator's commands typed on a real pipe into the real station: a
// command typed during a transmission acts between two of its characters,
// whoever started the transmission; and a headless service set up by options
// and "$" entries alone mirrors its bulletins to a TCP peer.
#include <algorithm>
#include <chrono>
#include <cstdio>
#include <string>
#include <thread>
#include <vector>

#include <arpa/inet.h>
#include <gtest/gtest.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <sys/wait.h>
#include <unistd.h>

#include "support/station_fixture.h"
#include "support/station_process.h"

namespace sked::test {
namespace {

using namespace std::chrono_literals;

class ConsolePipe : public StationTest {
protected:
    // "HH:MM:SS" of the first log line reading `message`, as a time of day.
    std::chrono::seconds LoggedAt(const std::string& message) {
        for (const auto& line : LogLines("20260101"))
            if (line.size() > 11 && line.substr(11) == message)
                return std::chrono::hours(std::stoi(line.substr(0, 2))) +
                       std::chrono::minutes(std::stoi(line.substr(3, 2))) +
                       std::chrono::seconds(std::stoi(line.substr(6, 2)));
        return std::chrono::seconds(-1);
    }
    std::string LastMcr() {
        std::string last;
        for (const auto& line : ReadLines("trace.tsv"))
            if (line.find("\tmcr\t") != std::string::npos) last = line;
        return last;
    }
};

TEST_F(ConsolePipe, CancelTypedDuringATestTextItselfTypedEndsItAtOnce) {
    WriteData("RYRYRYRY.txt", "RYRYRYRYRYRYRYRYRYRYRYRYRYRYRYRYRYRYRYRYRYRYRYRYRYRYRYRYRY\n");
    StationProcess station({"--headless", "--simulate=2026-01-01T12:00:00", "--serial=emulated:trace.tsv", "QZ0XB",
                            "2", "RTS"});
    // Repeated, the test text would go on for ever: only the cancel ends it.
    station.Type("repeat on");
    station.Type("ry");
    ASSERT_TRUE(station.ReadUntil("line: RYRYRY"));
    station.Type("cancel");
    ASSERT_TRUE(station.ReadUntil("CANCEL"));
    station.Type("quit");
    const int status = station.Wait();
    ASSERT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0) << station.output();

    const auto cancelled = LoggedAt("CmCancel : Session CANCELED");
    const auto aborted = LoggedAt("ABORTED sending <RYRYRYRY.txt>.");
    ASSERT_GE(cancelled.count(), 0) << station.output();
    ASSERT_GE(aborted.count(), 0);
    EXPECT_LE(aborted - cancelled, 1s);
    EXPECT_NE(LastMcr().find("key=OFF"), std::string::npos) << LastMcr();
    EXPECT_EQ(LogMessages().back(), "***** Skedcast has been TERMINATED *****");
}

TEST_F(ConsolePipe, QuitTypedDuringABulletinEndsThroughTheShutDownSequence) {
    WriteData("bulletin.txt", std::string(400000, 'E') + "\n");
    WriteData("schedule.lst", "01/01/2026 12:00:05 bulletin.txt\n");
    StationProcess station({"--headless", "--simulate=2026-01-01T12:00:00", "--enable", "--serial=emulated:trace.tsv",
                            "QZ0XB", "2", "RTS"});
    ASSERT_TRUE(station.ReadUntil("TXFile : Sending file <bulletin.txt>."));
    station.Type("quit");
    const int status = station.Wait();
    ASSERT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0) << station.output();
    const auto log = LogMessages();
    EXPECT_NE(std::find(log.begin(), log.end(), "ABORTED sending <bulletin.txt>."), log.end());
    EXPECT_EQ(log.back(), "***** Skedcast has been TERMINATED *****");
    EXPECT_NE(LastMcr().find("key=OFF"), std::string::npos) << LastMcr();
}

// A peer on the first free port of the mirror's range (6000..6015).
class MirrorPeer {
public:
    MirrorPeer() {
        for (int n = 1; n <= 16 && fd_ < 0; ++n) {
            int fd = ::socket(AF_INET, SOCK_STREAM, 0);
            sockaddr_in a{};
            a.sin_family = AF_INET;
            a.sin_port = htons(static_cast<std::uint16_t>(5999 + n));
            a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
            if (::bind(fd, reinterpret_cast<sockaddr*>(&a), sizeof a) == 0 && ::listen(fd, 1) == 0) {
                fd_ = fd;
                netPort = std::to_string(n);
            } else {
                ::close(fd);
            }
        }
        if (fd_ >= 0) thread_ = std::thread([this] {
            int c = ::accept(fd_, nullptr, nullptr);
            if (c < 0) return;
            char buffer[256];
            for (ssize_t n; (n = ::recv(c, buffer, sizeof buffer, 0)) > 0;) received.append(buffer, n);
            ::close(c);
        });
    }
    ~MirrorPeer() {
        if (fd_ < 0) return;
        ::shutdown(fd_, SHUT_RDWR);
        if (thread_.joinable()) thread_.join();
        ::close(fd_);
    }
    // Everything received, once the station has hung up.
    std::string Received() {
        if (thread_.joinable()) thread_.join();
        return received;
    }
    std::string netPort;  // as the station's port list names it

private:
    int fd_ = -1;
    std::thread thread_;
    std::string received;
};

TEST_F(ConsolePipe, AHeadlessServiceSetUpByOptionsMirrorsItsBulletins) {
    MirrorPeer peer;
    ASSERT_FALSE(peer.netPort.empty()) << "127.0.0.1:6000..6015 are all busy";
    WriteFile("mirror.auth", "station secret\n");
    WriteData("bulletin.txt", "QST de QZ0XB\n");
    WriteData("schedule.lst", "01/01/2026 12:00:05 $ITA2\n01/01/2026 12:00:10 bulletin.txt\n");
    StationProcess station({"--headless", "--simulate=2026-01-01T12:00:00", "--enable", "--exit-when-idle",
                            "--net-port=" + peer.netPort, "--net-address=127.0.0.1", "--auth-file=mirror.auth",
                            "--serial=emulated", "QZ0XB", "2", "RTS"});
    station.CloseInput();
    const int status = station.Wait();
    ASSERT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0) << station.output();
    EXPECT_EQ(peer.Received(), "station secret\n\nQST DE QZ0XB\r");
    EXPECT_TRUE(Logged("Completed sending <bulletin.txt>."));
}

}  // namespace
}  // namespace sked::test
