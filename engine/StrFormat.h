// printf-style formatting into a std::string, for the engine's fixed message texts.
#pragma once

#include <cstdarg>
#include <string>

namespace corvina::engine {

std::string StrFormatV(const char* fmt, va_list args);
std::string StrFormat(const char* fmt, ...) __attribute__((format(printf, 1, 2)));

} // namespace corvina::engine
