// Two-character macros in sent text: a caret and a selector give the date,
// the time, the weekday, the callsign or bells, read from the clock as the
// macro reaches the air.
#pragma once

#include <ctime>
#include <string>

namespace sked {

class MacroExpander {
public:
    static constexpr int kCaret = '^';
    static constexpr int kNothing = -1;

    // ^C sends `callsign` as it reads when the macro reaches the air (the
    // station's settings: set at start-up, empty in editor-only operation).
    explicit MacroExpander(const std::string& callsign) : callsign_(callsign) {}

    // What one character of a text puts on the air.
    struct Expansion {
        int character = kNothing;  // itself, or kNothing (a caret, or the selector of a macro)
        std::string text;          // a date, time or callsign macro's text
        int bells = 0;             // a bell macro's count
    };

    // `now` is read only when a macro completes.
    Expansion Expand(int character, std::time_t now);

    bool macroPending() const { return macroPending_; }

    // Texts of the date and time macros for a moment (letter in either case).
    static std::string MacroText(int selector, std::time_t when);
    // Zone part of ^T: "(PDT)" from "Pacific Daylight Time", or the
    // abbreviation itself "(CET)"; empty when the zone has no name.
    static std::string ZoneInitials(const std::string& zoneName);

private:
    const std::string& callsign_;
    bool macroPending_ = false;
};

}  // namespace sked
