// What goes on the air is ASCII: the text of a bulletin file turned into the
// characters the station sends. Bulletins written today are UTF-8, older
// stations wrote Windows-1252; either way an accented letter goes out as its
// base letter instead of as the garbage its bytes would make.
#pragma once

#include <string>
#include <string_view>

namespace sked {

// The text the station sends for the bytes of a file. The text ends at the
// first zero byte, and a UTF-8 byte-order mark at its start is dropped. When
// what is left is valid UTF-8 throughout it is read as UTF-8, else every byte
// as Windows-1252. ASCII characters (control characters too) stay as they
// are; every other character becomes its nearest ASCII (é "e", ß "ss",
// € "EUR", typographic quotes and dashes their plain forms, Unicode spaces a
// blank) or, when it has none (°, symbols, other scripts), nothing.
// The result is 7-bit ASCII without zero bytes, at most 3 characters for
// each byte read, and the same text again when converted once more.
std::string AirText(std::string_view fileBytes);

}  // namespace sked
