#include <gtest/gtest.h>

#include "app/command_line.h"

namespace sked {
namespace {

using Outcome = StationParameters::Outcome;

TEST(StationParameters, SingleCallsignIsUpperCasedOnComTwoWithDtrKeying) {
    StationParameters p = ParseStationParameters("qz0xb");
    EXPECT_EQ(p.outcome, Outcome::Run);
    EXPECT_EQ(p.callsign, "QZ0XB");
    EXPECT_EQ(p.portNumber, 2);
    EXPECT_EQ(p.portBase, 0x2F8);
    EXPECT_EQ(p.keyLine, 1);
    EXPECT_EQ(p.powerLine, 2);
}

TEST(StationParameters, PortNumbersChooseTheirBaseAddresses) {
    const std::pair<const char*, int> table[] = {{"1", 0x3F8}, {"2", 0x2F8}, {"3", 0x3E8}, {"4", 0x3E0},
                                                  {"5", 0x2F0}, {"6", 0x2E8}, {"7", 0x2E0}, {"8", 0x260}};
    for (const auto& [port, base] : table) {
        StationParameters p = ParseStationParameters(std::string("QZ0XB ") + port);
        EXPECT_EQ(p.portBase, base) << port;
        EXPECT_EQ(p.keyLine, 1);
    }
}

TEST(StationParameters, PortOutsideTheTableKeepsTheDefaultBase) {
    StationParameters p = ParseStationParameters("QZ0XB 9 RTS");
    EXPECT_EQ(p.outcome, Outcome::Run);
    EXPECT_EQ(p.portNumber, 9);
    EXPECT_EQ(p.portBase, 0x2F8);
    EXPECT_EQ(p.keyLine, 2);
    EXPECT_EQ(p.powerLine, 1);
}

TEST(StationParameters, KeyingLineIsReadOnItsFirstThreeCharacters) {
    StationParameters rts = ParseStationParameters("QZ0XB 3 rtsx");
    EXPECT_EQ(rts.keyLine, 2);
    EXPECT_EQ(rts.powerLine, 1);
    EXPECT_EQ(rts.portBase, 0x3E8);

    StationParameters other = ParseStationParameters("QZ0XB 3 XYZ");
    EXPECT_EQ(other.keyLine, 1);
    EXPECT_EQ(other.powerLine, 2);

    StationParameters dtr = ParseStationParameters("QZ0XB 3 dtr");
    EXPECT_EQ(dtr.keyLine, 1);
}

TEST(StationParameters, PortZeroOrAWordOpensOnlyTheEditor) {
    EXPECT_EQ(ParseStationParameters("QZ0XB 0").outcome, Outcome::EditorOnly);
    EXPECT_EQ(ParseStationParameters("QZ0XB COM2").outcome, Outcome::EditorOnly);
    EXPECT_EQ(ParseStationParameters("QZ0XB COM2 RTS").outcome, Outcome::EditorOnly);
}

TEST(StationParameters, NoneOrFourParametersEndTheProgram) {
    EXPECT_EQ(ParseStationParameters("").outcome, Outcome::NotSet);
    EXPECT_EQ(ParseStationParameters("   ").outcome, Outcome::NotSet);
    EXPECT_EQ(ParseStationParameters("QZ0XB 2 RTS EXTRA").outcome, Outcome::TooMany);
    EXPECT_EQ(ParseStationParameters("A B C D E").outcome, Outcome::TooMany);
}

TEST(StationParameters, TextAfterTheLastDoubleQuoteHoldsTheParameters) {
    StationParameters p = ParseStationParameters("\"C:\\skedcast.exe\" ab1cd 4 rts");
    EXPECT_EQ(p.callsign, "AB1CD");
    EXPECT_EQ(p.portBase, 0x3E0);
    EXPECT_EQ(p.keyLine, 2);
}

TEST(StationParameters, CallsignLongerThanSevenIsRefusedNotCut) {
    EXPECT_EQ(ParseStationParameters("QZ0XB/P").outcome, Outcome::Run);
    StationParameters p = ParseStationParameters("QZ0XB/MM 2");
    EXPECT_EQ(p.outcome, Outcome::CallsignTooLong);
    EXPECT_EQ(p.callsign, "QZ0XB/MM");
}

TEST(StationParameters, HugePortNumbersDoNotOverflow) {
    StationParameters p = ParseStationParameters("QZ0XB 99999999999999999999");
    EXPECT_EQ(p.outcome, Outcome::Run);
    EXPECT_EQ(p.portBase, 0x2F8);
}

}  // namespace
}  // namespace sked
