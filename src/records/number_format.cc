#include "records/number_format.h"

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

// Writes value rounded to `precision` decimals, as printf does, for the values that come from
// 32-bit floats below 2^31: value = m / 2^shift with m below 2^24, so m * 10^precision fits in
// 64 bits and the rounding (half to even, on the exact binary value) is done on integers.
// Returns the start of the text, written backwards to end at `end`, or nullptr for other values.
char* exact_fixed(char* end, double value, int precision) {
  static constexpr std::uint64_t kPow10[] = {1,         10,         100,        1000,
                                             10000,     100000,     1000000,    10000000,
                                             100000000, 1000000000};
  const float narrow = static_cast<float>(value);
  if (!(std::fabs(value) < 0x1p31) || precision > 9 || narrow != value) return nullptr;
  std::uint32_t bits = 0;
  std::memcpy(&bits, &narrow, sizeof bits);
  const int biased_exponent = static_cast<int>((bits >> 23) & 0xff);
  std::uint64_t mantissa = bits & 0x7fffff;
  int shift = 149;  // subnormal: mantissa * 2^-149
  if (biased_exponent != 0) {
    mantissa |= 0x800000;
    shift = 150 - biased_exponent;  // mantissa * 2^(biased_exponent - 127 - 23)
  }
  const std::uint64_t scaled = mantissa * kPow10[precision];
  std::uint64_t units = 0;
  if (shift <= 0) {
    units = scaled << -shift;
  } else if (shift < 63) {
    units = scaled >> shift;
    const std::uint64_t rest = scaled & ((std::uint64_t{1} << shift) - 1);
    const std::uint64_t half = std::uint64_t{1} << (shift - 1);
    if (rest > half || (rest == half && (units & 1) != 0)) ++units;
  }  // else: below half a unit of the last decimal, so it rounds to zero
  char* p = end;
  for (int i = 0; i < precision; ++i, units /= 10) *--p = static_cast<char>('0' + units % 10);
  if (precision > 0) *--p = '.';
  do {
    *--p = static_cast<char>('0' + units % 10);
    units /= 10;
  } while (units != 0);
  if (std::signbit(value)) *--p = '-';
  return p;
}

}  // namespace

void append_fixed(std::string& out, double value, int width, int precision, bool left) {
  // Room for the 309 integer digits of the largest double, a sign, the point and the decimals.
  char digits[340];
  char* const end = digits + sizeof digits;
  if (const char* start = exact_fixed(end, value, precision)) {
    pad(out, std::string_view(start, static_cast<std::size_t>(end - start)), width, left);
    return;
  }
  const char* const stop = std::to_chars(digits, end, value, std::chars_format::fixed,
                                         std::min(precision, 20)).ptr;
  pad(out, std::string_view(digits, static_cast<std::size_t>(stop - digits)), width, left);
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
