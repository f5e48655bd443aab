// PSK31 varicode: every ASCII character as a run of bits in which "00"
// never occurs, so that two zeros in a row mark the gap between characters.
// Frequent letters get the short codes (space "1", 'e' "11").
#pragma once

#include <deque>
#include <optional>
#include <string>
#include <string_view>

namespace sked {

// The code of ASCII character `code` as '1'/'0' text; codes outside 0..127
// are taken as code & 0x7F.
const char* VaricodeOf(int code);

// The character whose code is `bits` (without separators); -1 when none.
int CharacterOfVaricode(std::string_view bits);

// The bit stream of `text` as it goes on the air: each character's code
// followed by "00".
std::string VaricodeEncode(std::string_view text);

// Splits a received bit stream on "00" and turns each code back into its
// character. Leading zeros, idle reversals and unknown codes give nothing.
class VaricodeDecoder {
public:
    void PushBit(bool bit);
    // The oldest decoded character not yet taken.
    std::optional<int> TakeCharacter();
    // Every decoded character not yet taken, as text.
    std::string TakeText();
    void Reset();

private:
    static constexpr std::size_t kLongestCode = 10;
    std::string bits_;
    int zeros_ = 0;
    bool garbage_ = false;  // a run too long to be a code: dropped up to the next "00"
    std::deque<int> ready_;
};

}  // namespace sked
