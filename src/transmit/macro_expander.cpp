#include "transmit/macro_expander.h"

#include <cctype>
#include <sstream>
#include <vector>

#include "platform/text_format.h"
#include "platform/clock.h"

namespace sked {

namespace {
constexpr std::size_t kBuffer = 80;  // each formatted text holds at most 79 characters

bool IsSelector(int c) {
    switch (std::toupper(c)) {
        case 'C':
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

MacroExpander::Expansion MacroExpander::Expand(int character, std::time_t now) {
    Expansion expansion;
    if (character == kCaret) {
        macroPending_ = true;
        return expansion;
    }
    if (!macroPending_) {
        expansion.character = character;
        return expansion;
    }
    macroPending_ = false;
    if (!IsSelector(character)) {
        expansion.character = character;
        return expansion;
    }
    if (character >= '1' && character <= '9') {
        expansion.bells = character - '0';
        return expansion;
    }
    if (std::toupper(character) == 'C') {
        expansion.text = callsign_;
        return expansion;
    }
    expansion.text = MacroText(character, now);
    if (std::toupper(character) == 'T') {
        const std::string zone = FormatTime("%Z", LocalTime(now), kBuffer);
        if (!zone.empty()) expansion.text += ZoneInitials(zone);
    }
    return expansion;
}

}  // namespace sked
