#include <gtest/gtest.h>

#include "app/command_line.h"

namespace sked {
namespace {

using Outcome = StationParameters::Outcome;

TEST(StationParameters, CallsignPortAndKeyingLine) {
    const struct {
        const char* line;
        Outcome outcome;
        const char* callsign;
        int port, base, keyLine, powerLine;
    } cases[] = {
        {"qz0xb", Outcome::Run, "QZ0XB", 2, 0x2F8, 1, 2},
        {"QZ0XB 1", Outcome::Run, "QZ0XB", 1, 0x3F8, 1, 2},
        {"QZ0XB 3 rtsx", Outcome::Run, "QZ0XB", 3, 0x3E8, 2, 1},  // the line is read on its first three letters
        {"QZ0XB 4 dtr", Outcome::Run, "QZ0XB", 4, 0x3E0, 1, 2},
        {"QZ0XB 5 XYZ", Outcome::Run, "QZ0XB", 5, 0x2F0, 1, 2},
        {"QZ0XB 6", Outcome::Run, "QZ0XB", 6, 0x2E8, 1, 2},
        {"QZ0XB 7", Outcome::Run, "QZ0XB", 7, 0x2E0, 1, 2},
        {"QZ0XB 8", Outcome::Run, "QZ0XB", 8, 0x260, 1, 2},
        {"QZ0XB 9 RTS", Outcome::Run, "QZ0XB", 9, 0x2F8, 2, 1},  // outside the table: the default address
        {"QZ0XB 99999999999999999999", Outcome::Run, "QZ0XB", 9999, 0x2F8, 1, 2},
        {"\"C:\\skedcast.exe\" ab1cd 4 rts", Outcome::Run, "AB1CD", 4, 0x3E0, 2, 1},  // after the last quote
        {"QZ0XB/P", Outcome::Run, "QZ0XB/P", 2, 0x2F8, 1, 2},
        {"QZ0XB/MM 2", Outcome::CallsignTooLong, "QZ0XB/MM", 2, 0x2F8, 1, 2},  // refused, not cut
    };
    for (const auto& c : cases) {
        StationParameters p = ParseStationParameters(c.line);
        EXPECT_EQ(p.outcome, c.outcome) << c.line;
        EXPECT_EQ(p.callsign, c.callsign) << c.line;
        EXPECT_EQ(p.portNumber, c.port) << c.line;
        EXPECT_EQ(p.portBase, c.base) << c.line;
        EXPECT_EQ(p.keyLine, c.keyLine) << c.line;
        EXPECT_EQ(p.powerLine, c.powerLine) << c.line;
    }
    for (const char* line : {"QZ0XB 0", "QZ0XB COM2", "QZ0XB COM2 RTS"})
        EXPECT_EQ(ParseStationParameters(line).outcome, Outcome::EditorOnly) << line;
    for (const char* line : {"", "   "}) EXPECT_EQ(ParseStationParameters(line).outcome, Outcome::NotSet) << line;
    for (const char* line : {"QZ0XB 2 RTS EXTRA", "A B C D E"})
        EXPECT_EQ(ParseStationParameters(line).outcome, Outcome::TooMany) << line;
}

}  // namespace
}  // namespace sked
