// printf-style formatting into a std::string: the station's texts are
// defined by their printf formats ("%8.2f", "C=%d", "%02d/%02d/%4d ...").
#pragma once

#include <cstdarg>
#include <cstdio>
#include <string>

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

}  // namespace sked
