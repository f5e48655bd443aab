#include "transmit/varicode.h"

#include <gtest/gtest.h>

#include <set>
#include <string>

namespace sked {
namespace {

std::string Decode(const std::string& bits) {
    VaricodeDecoder decoder;
    for (char b : bits) decoder.PushBit(b == '1');
    return decoder.TakeText();
}

TEST(VaricodeTest, TableHas128DistinctCodesWithoutTwoZerosInARow) {
    std::set<std::string> seen;
    int byLength[11] = {};
    for (int code = 0; code < 128; ++code) {
        const std::string bits = VaricodeOf(code);
        ASSERT_TRUE(!bits.empty() && bits.size() <= 10) << code;
        EXPECT_EQ(bits.find_first_not_of("01"), std::string::npos) << code;
        EXPECT_EQ(bits.find("00"), std::string::npos) << code;
        EXPECT_TRUE(bits.front() == '1' && bits.back() == '1') << code;
        EXPECT_EQ(CharacterOfVaricode(bits), code);
        seen.insert(bits);
        ++byLength[bits.size()];
    }
    EXPECT_EQ(seen.size(), 128u);
    // Such codes number 1, 1, 2, 3, 5, ... by length: all are used up to 9 bits, 40 of 10.
    const int expected[11] = {0, 1, 1, 2, 3, 5, 8, 13, 21, 34, 40};
    for (int n = 1; n <= 10; ++n) EXPECT_EQ(byLength[n], expected[n]) << "length " << n;
    for (auto [code, bits] : {std::pair{int{' '}, "1"}, {'e', "11"}, {'E', "1110111"}, {'e' + 128, "11"}})
        EXPECT_STREQ(VaricodeOf(code), bits) << code;
}

TEST(VaricodeTest, TextRoundTripsThroughIdleReversalsAndNoise) {
    std::string text = "The quick brown fox jumps over the lazy dog 0123456789 ?!\r\nDE SKED K\r\n";
    for (int code = 0; code < 128; ++code) text += static_cast<char>(code);
    EXPECT_EQ(VaricodeEncode("et "), "1100" "10100" "100");
    EXPECT_EQ(Decode("0000000" + VaricodeEncode(text) + "000000"), text);
    // A steady carrier, eleven bits without "00" and an unknown code give nothing.
    EXPECT_EQ(Decode(std::string(40, '1') + "00" "10101010101" "00" "1111111111" "00" "1100"), "e");
}

}  // namespace
}  // namespace sked
