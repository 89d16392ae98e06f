#include "records/number_format.h"

#include <charconv>
#include <cstdarg>
#include <cstdio>

namespace tpjconv {

namespace {

void pad(std::string& out, std::string_view text, int width, bool left) {
  const std::size_t fill =
      width > static_cast<int>(text.size()) ? static_cast<std::size_t>(width) - text.size() : 0;
  if (!left) out.append(fill, ' ');
  out.append(text);
  if (left) out.append(fill, ' ');
}

}  // namespace

void append_fixed(std::string& out, double value, int width, int precision, bool left) {
  // The largest double has 309 integer digits; a sign, the point and the decimals come on top.
  char digits[320 + 20];
  static_assert(sizeof digits > 309 + 2 + 20);
  if (precision > 20) precision = 20;
  const auto result =
      std::to_chars(digits, digits + sizeof digits, value, std::chars_format::fixed, precision);
  pad(out, std::string_view(digits, static_cast<std::size_t>(result.ptr - digits)), width, left);
}

void append_int_left(std::string& out, int value, int width) {
  char digits[16];
  const auto result = std::to_chars(digits, digits + sizeof digits, value);
  pad(out, std::string_view(digits, static_cast<std::size_t>(result.ptr - digits)), width, true);
}

void append_text(std::string& out, std::string_view text, int width, int precision, bool left) {
  text = text.substr(0, text.find('\0'));
  if (precision >= 0) text = text.substr(0, static_cast<std::size_t>(precision));
  pad(out, text, width, left);
}

std::string formatted(const char* fmt, ...) {
  va_list args;
  va_start(args, fmt);
  va_list again;
  va_copy(again, args);
  const int size = std::vsnprintf(nullptr, 0, fmt, args);
  va_end(args);
  std::string text(size > 0 ? static_cast<std::size_t>(size) : 0, '\0');
  std::vsnprintf(text.data(), text.size() + 1, fmt, again);
  va_end(again);
  return text;
}

}  // namespace tpjconv
