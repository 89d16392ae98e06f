// printf-style formatting of numbers and texts into a growing string, without format strings.
#pragma once

#include <cstddef>
#include <string>
#include <string_view>

namespace tpjconv {

// The most characters write_fixed() writes: the 309 integer digits of the largest double, a
// sign, the point and at most 20 decimals; or a width of at most that.
inline constexpr std::size_t kFixedRoom = 340;

// The two roads of write_fixed(): 32-bit values below 2^31 at precisions up to 9 (nearly every
// value of a record), and everything else. The first returns nullptr for a value it does not take.
char* write_fixed_exact(char* out, float value, int width, int precision, bool left);
char* write_fixed_other(char* out, double value, int width, int precision, bool left);

// Writes `value` at `out` as "%W.Pf" does (or "%-W.Pf" when `left`): the same digits, rounding,
// signs, inf and nan as the C library's printf. `out` has room for kFixedRoom characters and
// `width` is at most that. Returns the end of what was written.
inline char* write_fixed(char* out, double value, int width, int precision, bool left = false) {
  return write_fixed_other(out, value, width, precision, left);
}

// The same for a 32-bit value, without the check that the value is one.
inline char* write_fixed(char* out, float value, int width, int precision, bool left = false) {
  if (char* end = write_fixed_exact(out, value, width, precision, left)) return end;
  return write_fixed_other(out, value, width, precision, left);
}

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
