#include "transmit/macro_expander.h"

#include <cctype>
#include <sstream>
#include <vector>

#include "platform/text_format.h"
#include "transmit/baudot_table.h"
#include "transmit/code_sender.h"

namespace sked {

namespace {
constexpr std::size_t kBuffer = 80;  // each formatted text holds at most 79 characters
constexpr int kBell = 7;

bool IsSelector(int c) {
    switch (std::toupper(c)) {
        case 'D':
        case 'L':
        case 'T':
        case 'U':
        case 'W':
            return true;
        default:
            return c >= '1' && c <= '9';
    }
}
}  // namespace

std::string MacroExpander::ZoneInitials(const std::string& zoneName) {
    std::istringstream in(zoneName);
    std::vector<std::string> words;
    for (std::string word; words.size() < 3 && in >> word;) words.push_back(word.substr(0, 19));
    if (words.empty()) return "";
    // Linux names zones by their abbreviation already ("CET", "PDT", "+03").
    if (words.size() == 1) return "(" + words[0] + ")";
    std::string initials = "(";
    for (const auto& word : words) initials += word[0];
    return initials + ")";
}

std::string MacroExpander::MacroText(int selector, std::time_t when) {
    std::tm local = LocalTime(when);
    switch (std::toupper(selector)) {
        case 'D':  // the long date with the weekday
            return FormatTime("%A, %B %d, %Y", local, kBuffer);
        case 'L':
            return FormatTime("%B %d, %Y", local, kBuffer);
        case 'T':  // 24-hour time in every locale
            return FormatTime("%H:%M", local, kBuffer);
        case 'U':
            return FormatTime("%H:%M", GmTime(when), kBuffer) + "(UTC)";
        case 'W':
            return FormatTime("%A", local, kBuffer);
        default:
            return "";
    }
}

void MacroExpander::SendText(const std::string& text, int mode) {
    for (char ch : text) {
        const int c = static_cast<unsigned char>(ch);
        if (mode == kAscii || mode == kPsk31) sender_.SendPlainCharacter(c);
        else if (mode == kCw) sender_.SendMorseKey(c);
        else sender_.SendBaudot(c, mode);
    }
}

int MacroExpander::ExpandMacro(int character, int mode) {
    if (character == kCaret) {
        macroPending_ = true;
        return kCaret;
    }
    if (!macroPending_) return character;
    macroPending_ = false;
    if (!IsSelector(character)) return character;

    if (character >= '1' && character <= '9') {
        int bells = character - '0';
        if (mode == kAscii || mode == kPsk31) {
            for (int i = 0; i < bells; ++i) sender_.SendCode(kBell);
        } else if (mode != kCw) {  // Morse has no bell
            // The alphabet's own bell, in figures shift, as a bell in the text goes out.
            const BaudotRow& bell = BaudotTable(kBell);
            sender_.SendCode(bell.shift);
            for (int i = 0; i < bells; ++i) sender_.SendCode(bell.CodeFor(mode));
            sender_.SendCode(kLtrs);
            sender_.setShiftState(kLtrs);
        }
        return kCaret;
    }

    std::time_t now = clock_.Time();
    SendText(MacroText(character, now), mode);
    if (std::toupper(character) == 'T') {
        std::string zone = FormatTime("%Z", LocalTime(now), kBuffer);
        if (!zone.empty()) SendText(ZoneInitials(zone), mode);
    }
    return kCaret;
}

}  // namespace sked
