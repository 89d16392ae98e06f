// How the findings outputs write what a run hands them: texts as valid UTF-8 without their
// padding blanks, and numbers in the shortest form that reads back to the same value.
#pragma once

#include <cstdint>
#include <cstring>
#include <string>
#include <string_view>

namespace tpjconv {

// `text` without the blanks before and after it.
std::string_view trim_blanks(std::string_view text);

// Appends `bytes` to `out` as UTF-8: a valid UTF-8 sequence is copied, and every byte that is
// not part of one is read as Latin-1 and appended as the UTF-8 encoding of that character.
void append_utf8(std::string& out, std::string_view bytes);

// Appends the shortest decimal that reads back as the same 32-bit `value` ("0.3", "1e-05",
// "-2"); "inf", "-inf" or "nan" when it is not finite.
void append_float(std::string& out, float value);

// Whether `a` and `b` hold the same bytes; texts of 8 to 16 bytes, as rule texts are, compared
// by two words each without a call.
inline bool same_bytes(std::string_view a, std::string_view b) {
  if (a.size() != b.size()) return false;
  if (a.size() < 8 || a.size() > 16) return a == b;
  std::uint64_t a1, a2, b1, b2;
  std::memcpy(&a1, a.data(), 8);
  std::memcpy(&b1, b.data(), 8);
  std::memcpy(&a2, a.data() + a.size() - 8, 8);
  std::memcpy(&b2, b.data() + b.size() - 8, 8);
  return ((a1 ^ b1) | (a2 ^ b2)) == 0;
}

// Appends `value` in decimal.
void append_integer(std::string& out, long long value);

// Appends a check code as three digits: "009", "213".
void append_code(std::string& out, int code);

}  // namespace tpjconv
