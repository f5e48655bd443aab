// Morse code for ASCII 32 (space) to 102 ("f"): up to six elements, '1' a dot,
// '2' a dash; an entry beginning with '3' has no code and sends a pause.
#pragma once

#include <string_view>

namespace sked {

inline constexpr int kMorseFirst = 32;
inline constexpr int kMorseEntries = 71;
inline constexpr char kMorseDot = '1';
inline constexpr char kMorseDash = '2';
inline constexpr char kMorsePause = '3';

// Elements of the entry at `index` (character code minus 32), six places
// padded with blanks; indices outside the table give the pause entry.
std::string_view MorseTable(int index);

// The elements of a character (lower case as upper case); the pause entry
// for one without Morse.
std::string_view MorseOf(int character);

}  // namespace sked
