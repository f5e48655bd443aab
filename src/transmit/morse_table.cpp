#include "transmit/morse_table.h"

#include <array>
#include <utility>

namespace sked {

namespace {

constexpr std::string_view kPause = "3     ";

// The international codes (ITU-R M.1677-1), and the semicolon as operators send it.
constexpr std::pair<char, std::string_view> kCodes[] = {
    {'"', "121121"}, {'\'', "122221"}, {'(', "21221 "}, {')', "212212"}, {'+', "12121 "}, {',', "221122"},
    {'-', "211112"}, {'.', "121212"}, {'/', "21121 "}, {'0', "22222 "}, {'1', "12222 "}, {'2', "11222 "},
    {'3', "11122 "}, {'4', "11112 "}, {'5', "11111 "}, {'6', "21111 "}, {'7', "22111 "}, {'8', "22211 "},
    {'9', "22221 "}, {':', "222111"}, {';', "212121"}, {'=', "21112 "}, {'?', "112211"}, {'@', "122121"},
    {'A', "12    "}, {'B', "2111  "}, {'C', "2121  "}, {'D', "211   "}, {'E', "1     "}, {'F', "1121  "},
    {'G', "221   "}, {'H', "1111  "}, {'I', "11    "}, {'J', "1222  "}, {'K', "212   "}, {'L', "1211  "},
    {'M', "22    "}, {'N', "21    "}, {'O', "222   "}, {'P', "1221  "}, {'Q', "2212  "}, {'R', "121   "},
    {'S', "111   "}, {'T', "2     "}, {'U', "112   "}, {'V', "1112  "}, {'W', "122   "}, {'X', "2112  "},
    {'Y', "2122  "}, {'Z', "2211  "},
};

constexpr std::array<std::string_view, kMorseEntries> BuildTable() {
    std::array<std::string_view, kMorseEntries> t{};
    for (auto& entry : t) entry = kPause;
    for (const auto& [c, elements] : kCodes) t[static_cast<std::size_t>(c - kMorseFirst)] = elements;
    return t;
}

constexpr auto kTable = BuildTable();

}  // namespace

std::string_view MorseOf(int character) {
    const int upper = (character >= 'a' && character <= 'z') ? character - ('a' - 'A') : character;
    return MorseTable(upper - kMorseFirst);
}

std::string_view MorseTable(int index) {
    if (index < 0 || index >= kMorseEntries) return kPause;
    return kTable[static_cast<std::size_t>(index)];
}

}  // namespace sked
