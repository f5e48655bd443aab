// The ways a station was once left keyed, or reported a bulletin as sent that was not, each replayed: the key comes
// up when nothing is to be sent, on the port and line that keyed it.
#include <cstdio>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "console/console_front_end.h"
#include "support/scenario_helpers.h"
#include "transmit/file_sender.h"

namespace sked::test {
namespace {

class KeyingSafety : public ScenarioTest {
public:
    void Type(const std::string& line) { console->HandleLine(line); }

protected:
    ~KeyingSafety() override { std::fclose(out); }
    void TearDown() override {
        console.reset();
        ScenarioTest::TearDown();
    }
    // The station started on `schedule` with the scheduler enabled.
    void StartWith(const std::vector<std::string>& schedule) {
        WriteSchedule(schedule);
        ASSERT_TRUE(Start());
        console = std::make_unique<ConsoleFrontEnd>(*station, out);
        Type("enable");
    }
    // The keying line of `base` as the last write to its modem-control register left it.
    bool KeyedAt(std::uint16_t base) {
        port->Sync();
        bool keyed = false;
        for (const auto& e : uart.events)
            if (e.kind == UartEventKind::kMcr && e.base == base) keyed = e.keyOn;
        return keyed;
    }
    std::FILE* const out = std::fopen("/dev/null", "w");
    std::unique_ptr<ConsoleFrontEnd> console;
};

TEST_F(KeyingSafety, TheKeyComesUpWhenNothingIsLeftToSend) {
    const struct {
        const char* what;
        std::vector<std::string> schedule;
        std::function<void(KeyingSafety&)> during;  // at 12:00:20, in the middle of bulletin.txt
        std::vector<std::string> typed;              // at 12:10:00
    } cases[] = {
        {"a command due when the bulletin ends, then an empty queue",
         {"01/01/2026 12:00:05 bulletin.txt", "01/01/2026 12:00:06 $ITA2"}, {}, {}},
        {"a missing file due when the bulletin ends",
         {"01/01/2026 12:00:05 bulletin.txt", "01/01/2026 12:00:06 missing.txt"}, {}, {}},
        {"the scheduler disabled during the bulletin, the next entry due",
         {"01/01/2026 12:00:05 bulletin.txt", "01/01/2026 12:00:06 bulletin.txt"},
         [](KeyingSafety& t) { t.Type("disable"); }, {}},
        {"an identification typed with an empty queue", {}, {}, {"cwid"}},
        {"power off after tx", {}, {}, {"tx", "power off"}},
        {"rx during a test transmission", {}, {}, {"ry", "rx"}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        WriteData("bulletin.txt", std::string(300, 'E') + "\n");
        WriteData("RYRYRYRY.txt", "RYRYRYRY\n");
        StartWith(c.schedule);
        if (c.during) At("2026-01-01T12:00:20", [&] { c.during(*this); });
        for (const auto& line : c.typed) At("2026-01-01T12:10:00", [&, line] { Type(line); });
        RunUntil(T("2026-01-01T12:20:00"));
        EXPECT_FALSE(KeyLineUp());
        EXPECT_EQ(station->state.transmitterOn, 0);
        EXPECT_EQ(station->window.transmitField.Text(), "  OFF  ");
        TearDown();
        SetUp();
    }
}

TEST_F(KeyingSafety, AChangeOfPortOrKeyingLineReleasesTheOldOne) {
    for (const char* change : {"$COM1", "$DTR"}) {
        SCOPED_TRACE(change);
        StartWith({"01/01/2026 12:00:05 $TX", std::string("01/01/2026 12:00:10 ") + change});
        RunUntil(T("2026-01-01T12:00:07"));
        ASSERT_TRUE(KeyedAt(0x2F8));
        RunUntil(T("2026-01-01T12:00:20"));
        EXPECT_FALSE(KeyedAt(0x2F8));
        EXPECT_FALSE(KeyedAt(0x3F8));
        EXPECT_EQ(Mcr() & (uart::kMcrDtr | uart::kMcrRts), 0);
        EXPECT_EQ(station->window.transmitField.Text(), "  OFF  ");
        // Power on the new line never keys the transmitter.
        Type("power on");
        EXPECT_FALSE(KeyLineUp());
        TearDown();
        SetUp();
    }
}

TEST_F(KeyingSafety, ABulletinLongerThanThirtyTwoThousandBytesGoesOutWhole) {
    std::string text;
    while (text.size() < 62000) text += "THE QUICK BROWN FOX JUMPS OVER THE LAZY DOG\n";
    WriteData("long.txt", text + "END\n");
    StartWith({"01/01/2026 12:00:05 long.txt"});
    RunUntil(T("2026-01-01T16:00:00"));
    ASSERT_TRUE(Logged("Completed sending <long.txt>."));
    // The last letters on the line are those of the last line.
    std::vector<int> codes;
    for (int code : uart.FrameCodes())
        if (code != 31 && code != 27 && code != 8 && code != 2) codes.push_back(code);
    ASSERT_GE(codes.size(), 3u);
    EXPECT_EQ(std::vector<int>(codes.end() - 3, codes.end()), (std::vector<int>{1, 12, 9}));  // E N D
}

TEST_F(KeyingSafety, NamesOutsideTheDataFolderAreRefused) {
    WriteFile("secret.txt", "NOT FOR THE AIR\n");
    StartWith({});
    for (const char* name : {"../secret.txt", "/etc/passwd", "news/../../secret.txt"}) {
        Type(std::string("add ") + name);
        EXPECT_TRUE(Logged(std::string("FileAdd : Refused <") + name + ">: not a file of the data folder."));
    }
    EXPECT_TRUE(Items().empty());
    Type("add $RX");
    EXPECT_EQ(Items().size(), 1u);
    EXPECT_FALSE(station->files.PrintFile("../secret.txt"));
    EXPECT_EQ(station->window.displayBox.Text().find("NOT FOR THE AIR"), std::string::npos);
}

}  // namespace
}  // namespace sked::test
