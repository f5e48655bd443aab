#include "transmit/varicode.h"

namespace sked {

namespace {

// Indexed by ASCII code.
constexpr const char* kVaricode[128] = {
    "1010101011", "1011011011", "1011101101", "1101110111",  // NUL SOH STX ETX
    "1011101011", "1101011111", "1011101111", "1011111101",  // EOT ENQ ACK BEL
    "1011111111", "11101111",   "11101",      "1101101111",  // BS HT LF VT
    "1011011101", "11111",      "1101110101", "1110101011",  // FF CR SO SI
    "1011110111", "1011110101", "1110101101", "1110101111",  // DLE DC1 DC2 DC3
    "1101011011", "1101101011", "1101101101", "1101010111",  // DC4 NAK SYN ETB
    "1101111011", "1101111101", "1110110111", "1101010101",  // CAN EM SUB ESC
    "1101011101", "1110111011", "1011111011", "1101111111",  // FS GS RS US
    "1",          "111111111",  "101011111",  "111110101",   // space ! " #
    "111011011",  "1011010101", "1010111011", "101111111",   // $ % & '
    "11111011",   "11110111",   "101101111",  "111011111",   // ( ) * +
    "1110101",    "110101",     "1010111",    "110101111",   // , - . /
    "10110111",   "10111101",   "11101101",   "11111111",    // 0 1 2 3
    "101110111",  "101011011",  "101101011",  "110101101",   // 4 5 6 7
    "110101011",  "110110111",  "11110101",   "110111101",   // 8 9 : ;
    "111101101",  "1010101",    "111010111",  "1010101111",  // < = > ?
    "1010111101", "1111101",    "11101011",   "10101101",    // @ A B C
    "10110101",   "1110111",    "11011011",   "11111101",    // D E F G
    "101010101",  "1111111",    "111111101",  "101111101",   // H I J K
    "11010111",   "10111011",   "11011101",   "10101011",    // L M N O
    "11010101",   "111011101",  "10101111",   "1101111",     // P Q R S
    "1101101",    "101010111",  "110110101",  "101011101",   // T U V W
    "101110101",  "101111011",  "1010101101", "111110111",   // X Y Z [
    "111101111",  "111111011",  "1010111111", "101101101",   // \ ] ^ _
    "1011011111", "1011",       "1011111",    "101111",      // ` a b c
    "101101",     "11",         "111101",     "1011011",     // d e f g
    "101011",     "1101",       "111101011",  "10111111",    // h i j k
    "11011",      "111011",     "1111",       "111",         // l m n o
    "111111",     "110111111",  "10101",      "10111",       // p q r s
    "101",        "110111",     "1111011",    "1101011",     // t u v w
    "11011111",   "1011101",    "111010101",  "1010110111",  // x y z {
    "110111011",  "1010110101", "1011010111", "1110110101",  // | } ~ DEL
};

}  // namespace

const char* VaricodeOf(int code) { return kVaricode[code & 0x7F]; }

int CharacterOfVaricode(std::string_view bits) {
    for (int code = 0; code < 128; ++code) {
        if (bits == kVaricode[code]) return code;
    }
    return -1;
}

std::string VaricodeEncode(std::string_view text) {
    std::string bits;
    for (char c : text) {
        bits += VaricodeOf(static_cast<unsigned char>(c));
        bits += "00";
    }
    return bits;
}

void VaricodeDecoder::PushBit(bool bit) {
    if (bit) {
        bool innerZero = zeros_ == 1;  // a single zero belongs to the code
        zeros_ = 0;
        if (garbage_) return;
        if (innerZero) bits_ += '0';
        if (bits_.size() >= kLongestCode) {
            garbage_ = true;
            bits_.clear();
            return;
        }
        bits_ += '1';
        return;
    }
    if (++zeros_ != 2) return;
    // "00": the character is complete.
    if (!garbage_ && !bits_.empty()) {
        int code = CharacterOfVaricode(bits_);
        if (code >= 0) ready_.push_back(code);
    }
    bits_.clear();
    garbage_ = false;
}

std::optional<int> VaricodeDecoder::TakeCharacter() {
    if (ready_.empty()) return std::nullopt;
    int code = ready_.front();
    ready_.pop_front();
    return code;
}

std::string VaricodeDecoder::TakeText() {
    std::string text;
    while (auto code = TakeCharacter()) text += static_cast<char>(*code);
    return text;
}

void VaricodeDecoder::Reset() {
    bits_.clear();
    zeros_ = 0;
    garbage_ = false;
    ready_.clear();
}

}  // namespace sked
