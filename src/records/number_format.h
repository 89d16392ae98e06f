// printf-style formatting of numbers and texts into a growing string, without format strings.
#pragma once

#include <string>
#include <string_view>

namespace tpjconv {

// Appends `value` as "%W.Pf" does (or "%-W.Pf" when `left`): the same digits, rounding, signs,
// inf and nan as the C library's printf.
void append_fixed(std::string& out, double value, int width, int precision, bool left = false);

// Appends `value` as "%-Wd" does.
void append_int_left(std::string& out, int value, int width);

// Appends `text` as "%W.Ps" does (or "%-W.Ps" when `left`): the text up to its first NUL, at
// most `precision` characters of it (no limit when negative), padded with blanks to `width`.
void append_text(std::string& out, std::string_view text, int width, int precision = -1,
                 bool left = false);

// A printf-formatted text, for messages that are written rarely.
std::string formatted(const char* fmt, ...) __attribute__((format(printf, 1, 2)));

}  // namespace tpjconv
