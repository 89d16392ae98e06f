// printf-style formatting of numbers and texts into a growing string, without format strings.
#pragma once

#include <bit>
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <string>
#include <string_view>

namespace tpjconv {

// The most characters write_fixed() writes: the 309 integer digits of the largest double, a
// sign, the point and at most 20 decimals; or a width of at most that.
inline constexpr std::size_t kFixedRoom = 340;

namespace fixed_detail {

inline constexpr std::uint64_t kPow10[] = {1,         10,         100,        1000,      10000,
                                    100000,    1000000,    10000000,   100000000, 1000000000};

inline constexpr char kDigitPairs[] =
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

inline constexpr char kBlanks[16] = {' ', ' ', ' ', ' ', ' ', ' ', ' ', ' ',
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


}  // namespace fixed_detail

// Writes `value` as "%W.Pf" does with P = kPrecision (at most 9), for 32-bit floats below 2^31:
// value = m / 2^shift with m below 2^24, so m * 10^P fits in 64 bits and the rounding (half to
// even, on the exact binary value) is done on integers. Returns the end of the text, or nullptr
// for other values. With the precision fixed, the divisions are multiplications and the
// decimals are written without a loop.
template <int kPrecision>
inline char* write_fixed_exact(char* out, float value, int width, bool left) {
  static_assert(kPrecision >= 0 && kPrecision <= 9);
  using namespace fixed_detail;
  constexpr std::uint64_t kScale = kPow10[kPrecision];
  std::uint32_t bits = 0;
  std::memcpy(&bits, &value, sizeof bits);
  if (bits == 0 && kPrecision > 0) {
    // Zero, as many values of a record are: "0." and the decimals' zeros, padded.
    constexpr int kLength = 2 + kPrecision;
    const int fill = width > kLength ? width - kLength : 0;
    if (!left) out = blanks(out, fill);
    std::memcpy(out, "0.000000000", 12);  // fixed size: what passes the length is unused
    out += kLength;
    return left ? blanks(out, fill) : out;
  }
  const int biased_exponent = static_cast<int>((bits >> 23) & 0xff);
  if (biased_exponent >= 127 + 31) return nullptr;  // 2^31 and above, inf and nan
  std::uint64_t mantissa = bits & 0x7fffff;
  int shift = 149;  // subnormal: mantissa * 2^-149
  if (biased_exponent != 0) {
    mantissa |= 0x800000;
    shift = 150 - biased_exponent;  // mantissa * 2^(biased_exponent - 127 - 23)
  }
  const std::uint64_t scaled = mantissa * kScale;
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
  const auto whole = static_cast<std::uint32_t>(units / kScale);
  const auto decimals = static_cast<std::uint32_t>(units - whole * kScale);
  const int whole_digits = digit_count(whole);
  const bool negative = (bits >> 31) != 0;
  const int length = negative + whole_digits + (kPrecision > 0 ? 1 + kPrecision : 0);
  const int fill = width > length ? width - length : 0;

  if (!left) out = blanks(out, fill);
  char* const end = out + length;
  char* p = end;
  if constexpr (kPrecision > 0) {
    p = digits_backwards<kPrecision>(p, decimals);
    *--p = '.';
  }
  write_digits_backwards(p, whole, whole_digits);
  if (negative) *out = '-';
  if (left) return blanks(end, fill);
  return end;
}

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
