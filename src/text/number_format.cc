#include "text/number_format.h"

#include <algorithm>
#include <charconv>
#include <cmath>
#include <cstdarg>
#include <cstdint>
#include <cstdio>
#include <cstring>

namespace tpjconv {

namespace {

void pad(std::string& out, std::string_view text, int width, bool left) {
  const std::size_t fill =
      width > static_cast<int>(text.size()) ? static_cast<std::size_t>(width) - text.size() : 0;
  const std::size_t at = out.size();
  out.resize(at + fill + text.size(), ' ');
  std::memcpy(out.data() + at + (left ? 0 : fill), text.data(), text.size());
}

}  // namespace

char* write_fixed_exact(char* out, float value, int width, int precision, bool left) {
  switch (precision) {
    case 0: return write_fixed_exact<0>(out, value, width, left);
    case 1: return write_fixed_exact<1>(out, value, width, left);
    case 2: return write_fixed_exact<2>(out, value, width, left);
    case 3: return write_fixed_exact<3>(out, value, width, left);
    case 4: return write_fixed_exact<4>(out, value, width, left);
    case 5: return write_fixed_exact<5>(out, value, width, left);
    case 6: return write_fixed_exact<6>(out, value, width, left);
    case 7: return write_fixed_exact<7>(out, value, width, left);
    case 8: return write_fixed_exact<8>(out, value, width, left);
    case 9: return write_fixed_exact<9>(out, value, width, left);
    default: return nullptr;
  }
}

namespace {

char* place(char* out, const char* text, std::size_t length, int width, bool left) {
  const std::size_t fill =
      width > static_cast<int>(length) ? static_cast<std::size_t>(width) - length : 0;
  if (!left) out = static_cast<char*>(std::memset(out, ' ', fill)) + fill;
  out = static_cast<char*>(std::memcpy(out, text, length)) + length;
  if (left) out = static_cast<char*>(std::memset(out, ' ', fill)) + fill;
  return out;
}

}  // namespace

char* write_fixed_other(char* out, double value, int width, int precision, bool left) {
  const auto narrow = static_cast<float>(value);
  if (narrow == value) {
    if (char* end = write_fixed_exact(out, narrow, width, precision, left)) return end;
  }
  char digits[kFixedRoom];
  const char* const stop = std::to_chars(digits, digits + sizeof digits, value,
                                         std::chars_format::fixed, std::min(precision, 20)).ptr;
  return place(out, digits, static_cast<std::size_t>(stop - digits), width, left);
}

void append_fixed(std::string& out, double value, int width, int precision, bool left) {
  char text[kFixedRoom];
  out.append(text, write_fixed(text, value, width, precision, left));
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
