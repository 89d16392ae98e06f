#include "records/number_format.h"

#include <algorithm>
#include <bit>
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
inline char* write_digits_backwards(char* end, std::uint32_t n, int count) {
  for (; count >= 2; count -= 2, n /= 100) {
    end -= 2;
    std::memcpy(end, kDigitPairs + 2 * (n % 100), 2);
  }
  if (count == 1) *--end = static_cast<char>('0' + n % 10);
  return end;
}

// Writes the `kCount` lowest decimal digits of `n` backwards, ending at `end`, without a loop;
// returns the start.
template <int kCount>
inline char* digits_backwards(char* end, std::uint32_t n) {
  if constexpr (kCount % 2 == 1) {
    *--end = static_cast<char>('0' + n % 10);
    n /= 10;
  }
  for (int i = 0; i < kCount / 2; ++i, n /= 100) {
    end -= 2;
    std::memcpy(end, kDigitPairs + 2 * (n % 100), 2);
  }
  return end;
}

// The decimal digits of `n`: 1 for 0 to 9, up to 10.
inline int digit_count(std::uint32_t n) {
  n |= 1;  // 0 has one digit too; no other count changes
  // bit_width * 1233 / 4096 is the digits of the lowest power of two of that width, less one,
  // or the digits less two: one comparison settles it.
  const int guess = (std::bit_width(n) * 1233) >> 12;
  return guess + (n >= kPow10[guess] ? 1 : 0);
}

constexpr char kBlanks[16] = {' ', ' ', ' ', ' ', ' ', ' ', ' ', ' ',
                              ' ', ' ', ' ', ' ', ' ', ' ', ' ', ' '};

// `count` blanks at `out`; returns the end.
inline char* blanks(char* out, int count) {
  if (count <= 16) {
    std::memcpy(out, kBlanks, sizeof kBlanks);  // out has room for kFixedRoom characters
  } else {
    std::memset(out, ' ', static_cast<std::size_t>(count));
  }
  return out + count;
}

}  // namespace

// Writes `value` as "%W.Pf" does, for 32-bit floats below 2^31 and precisions up to 9:
// value = m / 2^shift with m below 2^24, so m * 10^precision fits in 64 bits and the rounding
// (half to even, on the exact binary value) is done on integers. Returns the end of the text, or
// nullptr for other values.
char* write_fixed_exact(char* out, float value, int width, int precision, bool left) {
  std::uint32_t bits = 0;
  std::memcpy(&bits, &value, sizeof bits);
  if (bits == 0 && static_cast<unsigned>(precision) - 1 < 9) {
    // Zero, as many values of a record are: "0." and the decimals' zeros, padded.
    const int length = 2 + precision;
    const int fill = width > length ? width - length : 0;
    if (!left) out = blanks(out, fill);
    std::memcpy(out, "0.000000000", 12);  // fixed size: what passes the length is unused
    out += length;
    return left ? blanks(out, fill) : out;
  }
  const int biased_exponent = static_cast<int>((bits >> 23) & 0xff);
  // 2^31 and above, inf and nan; and precisions this path does not take.
  if (biased_exponent >= 127 + 31 || static_cast<unsigned>(precision) > 9) return nullptr;
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

  // The whole part is below 2^31 and the decimals below 10^9: both fit 32 bits. The usual
  // precisions divide by a constant, which compiles to a multiplication, and write their
  // decimals without a loop.
  std::uint32_t whole = 0;
  switch (precision) {
    case 2: whole = static_cast<std::uint32_t>(units / 100); break;
    case 3: whole = static_cast<std::uint32_t>(units / 1000); break;
    case 4: whole = static_cast<std::uint32_t>(units / 10000); break;
    default: whole = static_cast<std::uint32_t>(units / kPow10[precision]); break;
  }
  const auto decimals = static_cast<std::uint32_t>(units - whole * kPow10[precision]);
  const int whole_digits = digit_count(whole);
  const bool negative = (bits >> 31) != 0;
  const int length = negative + whole_digits + (precision > 0 ? 1 + precision : 0);
  const int fill = width > length ? width - length : 0;

  if (!left) out = blanks(out, fill);
  char* const end = out + length;
  char* p = end;
  switch (precision) {
    case 0: break;
    case 2: p = digits_backwards<2>(p, decimals); break;
    case 3: p = digits_backwards<3>(p, decimals); break;
    case 4: p = digits_backwards<4>(p, decimals); break;
    default: p = write_digits_backwards(p, decimals, precision); break;
  }
  if (precision > 0) *--p = '.';
  write_digits_backwards(p, whole, whole_digits);
  if (negative) *out = '-';
  if (left) return blanks(end, fill);
  return end;
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
