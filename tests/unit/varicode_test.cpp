#include "transmit/varicode.h"

#include <gtest/gtest.h>

#include <set>
#include <string>

namespace sked {
namespace {

TEST(VaricodeTest, TableHas128DistinctWellFormedCodes) {
    std::set<std::string> seen;
    for (int code = 0; code < 128; ++code) {
        std::string bits = VaricodeOf(code);
        SCOPED_TRACE(code);
        ASSERT_FALSE(bits.empty());
        EXPECT_EQ(bits.find_first_not_of("01"), std::string::npos);
        EXPECT_EQ(bits.find("00"), std::string::npos);
        EXPECT_EQ(bits.front(), '1');
        EXPECT_EQ(bits.back(), '1');
        EXPECT_LE(bits.size(), 10u);
        seen.insert(bits);
    }
    EXPECT_EQ(seen.size(), 128u);
}

TEST(VaricodeTest, EveryShortCodeIsUsed) {
    // The codes without "00" that start and end with 1 number 1, 1, 2, 3, 5, ...
    // by length; the table uses all of them up to 9 bits and 40 of 10 bits.
    int byLength[11] = {};
    for (int code = 0; code < 128; ++code) ++byLength[std::string(VaricodeOf(code)).size()];
    const int expected[11] = {0, 1, 1, 2, 3, 5, 8, 13, 21, 34, 40};
    for (int n = 1; n <= 10; ++n) EXPECT_EQ(byLength[n], expected[n]) << "length " << n;
}

TEST(VaricodeTest, KnownCodes) {
    EXPECT_STREQ(VaricodeOf(' '), "1");
    EXPECT_STREQ(VaricodeOf('e'), "11");
    EXPECT_STREQ(VaricodeOf('t'), "101");
    EXPECT_STREQ(VaricodeOf('o'), "111");
    EXPECT_STREQ(VaricodeOf('E'), "1110111");
    EXPECT_STREQ(VaricodeOf('\n'), "11101");
    EXPECT_STREQ(VaricodeOf('\r'), "11111");
    EXPECT_STREQ(VaricodeOf(0), "1010101011");
    EXPECT_STREQ(VaricodeOf(127), "1110110101");
}

TEST(VaricodeTest, CodesOutsideAsciiAreMasked) {
    EXPECT_STREQ(VaricodeOf('e' + 128), VaricodeOf('e'));
    EXPECT_STREQ(VaricodeOf(-1), VaricodeOf(127));
    EXPECT_STREQ(VaricodeOf(256 + ' '), "1");
}

TEST(VaricodeTest, LookUpByCode) {
    for (int code = 0; code < 128; ++code) EXPECT_EQ(CharacterOfVaricode(VaricodeOf(code)), code);
    EXPECT_EQ(CharacterOfVaricode(""), -1);
    EXPECT_EQ(CharacterOfVaricode("1010101010101"), -1);
}

TEST(VaricodeTest, EncodeSeparatesWithTwoZeros) {
    EXPECT_EQ(VaricodeEncode("et "), "1100" "10100" "100");
    EXPECT_EQ(VaricodeEncode(""), "");
}

std::string Decode(const std::string& bits) {
    VaricodeDecoder decoder;
    for (char b : bits) decoder.PushBit(b == '1');
    return decoder.TakeText();
}

TEST(VaricodeTest, SentenceRoundTrips) {
    const std::string text = "The quick brown fox jumps over the lazy dog 0123456789 ?!\r\nDE SKED K\r\n";
    // Idle reversals before and between, as on the air.
    std::string bits = "0000000" + VaricodeEncode(text) + "000000";
    EXPECT_EQ(Decode(bits), text);
}

TEST(VaricodeTest, EveryCharacterRoundTrips) {
    std::string text;
    for (int code = 0; code < 128; ++code) text += static_cast<char>(code);
    EXPECT_EQ(Decode(VaricodeEncode(text)), text);
}

TEST(VaricodeTest, DecoderGivesCharactersOneByOne) {
    VaricodeDecoder decoder;
    EXPECT_FALSE(decoder.TakeCharacter());
    for (char b : std::string("101")) decoder.PushBit(b == '1');
    EXPECT_FALSE(decoder.TakeCharacter());  // no "00" yet
    decoder.PushBit(false);
    EXPECT_FALSE(decoder.TakeCharacter());  // a single zero may still be inside a code
    decoder.PushBit(false);
    EXPECT_EQ(decoder.TakeCharacter(), 't');
    EXPECT_FALSE(decoder.TakeCharacter());
}

TEST(VaricodeTest, DecoderDropsRunsTooLongForACode) {
    // A steady carrier (all ones) is no character; the next one is read cleanly.
    std::string bits(40, '1');
    bits += "00" + VaricodeEncode("e");
    EXPECT_EQ(Decode(bits), "e");
    // Eleven bits without "00" are no code either.
    EXPECT_EQ(Decode("10101010101" "00" "1100"), "e");
}

TEST(VaricodeTest, DecoderSkipsUnknownCodesAndResets) {
    VaricodeDecoder decoder;
    for (char b : std::string("1111111111" "00")) decoder.PushBit(b == '1');  // no such code
    EXPECT_FALSE(decoder.TakeCharacter());
    for (char b : std::string("11")) decoder.PushBit(b == '1');
    decoder.Reset();
    for (char b : std::string("101" "00")) decoder.PushBit(b == '1');
    EXPECT_EQ(decoder.TakeText(), "t");
}

}  // namespace
}  // namespace sked
