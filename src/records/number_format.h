// printf-style formatting of numbers and texts into a growing string, without format strings.
#pragma once

#include <cstddef>
#include <string>
#include <string_view>

namespace tpjconv {

// The most characters write_fixed() writes: the 309 integer digits of the largest double, a
// sign, the point and at most 20 decimals; or a width of at most that.
inline constexpr std::size_t kFixedRoom = 340;

// Writes `value` at `out` as "%W.Pf" does (or "%-W.Pf" when `left`): the same digits, rounding,
// signs, inf and nan as the C library's printf. `out` has room for kFixedRoom characters and
// `width` is at most that. Returns the end of what was written.
char* write_fixed(char* out, double value, int width, int precision, bool left = false);

// Appends `value` as write_fixed() writes it.
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
