// The teleprinter code of every ASCII character 0..95 in the three Baudot
// alphabets (ITA2, TELEX, Military), with the shift each needs. The first
// data pulse is bit 0, the order the UART shifts it out.
#pragma once

#include <cstdint>

#include "transmit/station_settings.h"

namespace sked {

inline constexpr std::uint8_t kFigs = 27;
inline constexpr std::uint8_t kLtrs = 31;
inline constexpr std::uint8_t kNotSent = 127;

struct BaudotRow {
    std::uint8_t shift;  // 0 none, 27 FIGS, 31 LTRS
    std::uint8_t ita2, telex, military;

    std::uint8_t CodeFor(Mode mode) const { return mode == Mode::Ita2 ? ita2 : mode == Mode::Telex ? telex : military; }
};

// 96 rows, indexed by ASCII code 0..95.
const BaudotRow& BaudotTable(int index);

}  // namespace sked
