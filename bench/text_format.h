#pragma once

#include <cstdarg>
#include <cstdio>
#include <string>

namespace TesseraBench {

// printf into a string, for the report's lines (up to 511 characters).
inline std::string Format(const char* format, ...) __attribute__((format(printf, 1, 2)));
inline std::string Format(const char* format, ...) {
    char text[512];
    va_list arguments;
    va_start(arguments, format);
    std::vsnprintf(text, sizeof text, format, arguments);
    va_end(arguments);
    return text;
}

}  // namespace TesseraBench
