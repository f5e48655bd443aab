// printf-style formatting into a std::string: the station's texts are
// defined by their printf formats ("%8.2f", "C=%d", "%02d/%02d/%4d ...").
#pragma once

#include <cctype>
#include <cstdarg>
#include <cstdio>
#include <string>
#include <string_view>

namespace sked {

__attribute__((format(printf, 1, 2))) inline std::string Format(const char* format, ...) {
    va_list args;
    va_start(args, format);
    va_list copy;
    va_copy(copy, args);
    int n = std::vsnprintf(nullptr, 0, format, copy);
    va_end(copy);
    std::string text(n > 0 ? static_cast<std::size_t>(n) : 0, '\0');
    if (n > 0) std::vsnprintf(text.data(), text.size() + 1, format, args);
    va_end(args);
    return text;
}

// The text in lower case (ASCII letters: commands, rules and keys are ASCII words).
inline std::string Lowered(std::string_view text) {
    std::string lower(text);
    for (char& c : lower) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    return lower;
}

// The text without the `blanks` it begins and ends with.
inline std::string Trimmed(std::string_view text, std::string_view blanks = " \t\r\n") {
    const std::size_t first = text.find_first_not_of(blanks);
    if (first == std::string_view::npos) return "";
    return std::string(text.substr(first, text.find_last_not_of(blanks) - first + 1));
}

}  // namespace sked
