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

constexpr std::uint64_t kPow10[] = {1,         10,         100,        1000,      10000,
                                    100000,    1000000,    10000000,   100000000, 1000000000};

constexpr char kDigitPairs[] =
    "00010203040506070809101112131415161718192021222324252627282930313233343536373839"
    "40414243444546474849505152535455565758596061626364656667686970717273747576777879"
    "8081828384858687888990919293949596979899";

// Writes the `count` lowest decimal digits of `n` backwards, ending at `end`; returns the start.
char* write_digits_backwards(char* end, std::uint32_t n, int count) {
  for (; count >= 2; count -= 2, n /= 100) {
    end -= 2;
    std::memcpy(end, kDigitPairs + 2 * (n % 100), 2);
  }
  if (count == 1) *--end = static_cast<char>('0' + n % 10);
  return end;
}


// Writes `value` as "%W.Pf" does, for the values that come from 32-bit floats below 2^31:
// value = m / 2^shift with m below 2^24, so m * 10^precision fits in 64 bits and the rounding
// (half to even, on the exact binary value) is done on integers. Returns the end of the text, or
// nullptr for other values.
char* exact_fixed(char* out, double value, int width, int precision, bool left) {
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

  // The whole part is below 2^31 and the decimals below 10^9: both fit 32 bits.
  // The usual precisions divide by a constant, which compiles to a multiplication.
  std::uint64_t whole = 0;
  switch (precision) {
    case 2: whole = units / 100; break;
    case 3: whole = units / 1000; break;
    case 4: whole = units / 10000; break;
    default: whole = units / kPow10[precision]; break;
  }
  const auto whole32 = static_cast<std::uint32_t>(whole);
  int whole_digits = 1;
  while (whole_digits < 10 && whole32 >= kPow10[whole_digits]) ++whole_digits;
  const bool negative = std::signbit(value);
  const int length = negative + whole_digits + (precision > 0 ? 1 + precision : 0);
  const int fill = width > length ? width - length : 0;

  if (!left) {
    for (int i = 0; i < fill; ++i) *out++ = ' ';
  }
  char* const end = out + length;
  char* p = end;
  if (precision > 0) {
    p = write_digits_backwards(p, static_cast<std::uint32_t>(units - whole * kPow10[precision]),
                               precision);
    *--p = '.';
  }
  write_digits_backwards(p, whole32, whole_digits);
  if (negative) *out = '-';
  out = end;
  if (left) {
    for (int i = 0; i < fill; ++i) *out++ = ' ';
  }
  return out;
}

char* place(char* out, const char* text, std::size_t length, int width, bool left) {
  const std::size_t fill =
      width > static_cast<int>(length) ? static_cast<std::size_t>(width) - length : 0;
  if (!left) out = static_cast<char*>(std::memset(out, ' ', fill)) + fill;
  out = static_cast<char*>(std::memcpy(out, text, length)) + length;
  if (left) out = static_cast<char*>(std::memset(out, ' ', fill)) + fill;
  return out;
}

}  // namespace

char* write_fixed(char* out, double value, int width, int precision, bool left) {
  if (char* end = exact_fixed(out, value, width, precision, left)) return end;
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
