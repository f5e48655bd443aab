#include "transmit/baudot_table.h"

#include <array>

namespace sked {

namespace {

constexpr BaudotRow kNone{0, kNotSent, kNotSent, kNotSent};

constexpr BaudotRow Same(std::uint8_t shift, std::uint8_t code) { return BaudotRow{shift, code, code, code}; }

constexpr std::array<BaudotRow, 96> BuildTable() {
    std::array<BaudotRow, 96> t{};
    for (auto& row : t) row = kNone;
    t[0] = Same(0, 0);
    t[7] = BaudotRow{kFigs, 11, 11, 5};  // bell
    t[10] = Same(0, 2);                  // line feed
    t[13] = Same(0, 8);                  // carriage return
    t[27] = Same(0, 27);
    t[31] = Same(0, 31);
    t[' '] = Same(0, 4);
    t['!'] = BaudotRow{kFigs, 4, 4, 13};
    t['"'] = Same(kFigs, 17);
    t['#'] = Same(kFigs, 20);
    t['$'] = Same(kFigs, 9);
    t['%'] = BaudotRow{kFigs, 13, 4, 4};
    t['&'] = Same(kFigs, 26);
    t['\''] = BaudotRow{kFigs, 11, 5, 11};
    t['('] = Same(kFigs, 15);
    t[')'] = Same(kFigs, 18);
    t['*'] = Same(kFigs, 3);
    t['+'] = BaudotRow{kFigs, 17, 4, 4};
    t[','] = Same(kFigs, 12);
    t['-'] = Same(kFigs, 3);
    t['.'] = Same(kFigs, 28);
    t['/'] = Same(kFigs, 29);
    t[':'] = Same(kFigs, 14);
    t[';'] = BaudotRow{kFigs, 4, 30, 30};
    t['='] = BaudotRow{kFigs, 30, 4, 4};
    t['?'] = Same(kFigs, 25);
    t['@'] = BaudotRow{kFigs, 11, 4, 4};
    t['['] = Same(kFigs, 15);
    t['\\'] = Same(kFigs, 29);
    t[']'] = Same(kFigs, 18);
    t['_'] = Same(kFigs, 3);

    constexpr std::uint8_t digits[10] = {22, 23, 19, 1, 10, 16, 21, 7, 6, 24};
    for (int d = 0; d < 10; ++d) t['0' + d] = Same(kFigs, digits[d]);
    constexpr std::uint8_t letters[26] = {3,  25, 14, 9,  1,  13, 26, 20, 6,  11, 15, 18, 28,
                                          12, 24, 22, 23, 10, 5,  16, 7,  30, 19, 29, 21, 17};
    for (int l = 0; l < 26; ++l) t['A' + l] = Same(kLtrs, letters[l]);
    return t;
}

constexpr std::array<BaudotRow, 96> kTable = BuildTable();

}  // namespace

const BaudotRow& BaudotTable(int index) { return kTable.at(static_cast<std::size_t>(index)); }

}  // namespace sked
