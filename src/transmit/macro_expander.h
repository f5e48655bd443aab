// Two-character macros in sent text: a caret and a selector give the date,
// the time, the weekday or bells, read from the clock as the macro goes out.
#pragma once

#include <ctime>
#include <string>

#include "platform/clock.h"

namespace sked {

class CodeSender;

class MacroExpander {
public:
    static constexpr int kCaret = '^';

    MacroExpander(CodeSender& sender, const Clock& clock) : sender_(sender), clock_(clock) {}

    // Sends the expansion itself; returns what the caller is left to send:
    // the character, or the caret when it started or completed a macro.
    int ExpandMacro(int character, int mode);

    bool macroPending() const { return macroPending_; }

    // Texts of the date and time macros for a moment (letter in either case).
    static std::string MacroText(int selector, std::time_t when);
    // Zone part of ^T: "(PDT)" from "Pacific Daylight Time", or the
    // abbreviation itself "(CET)"; empty when the zone has no name.
    static std::string ZoneInitials(const std::string& zoneName);

private:
    void SendText(const std::string& text, int mode);

    CodeSender& sender_;
    const Clock& clock_;
    bool macroPending_ = false;
};

}  // namespace sked
