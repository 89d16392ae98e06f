#include "findings/text.h"

#include <algorithm>
#include <array>
#include <charconv>
#include <cmath>
#include <cstdint>
#include <cstring>

#include "text/number_format.h"

namespace tpjconv {

namespace {

// The length of the valid UTF-8 sequence at the start of `bytes` (whose first byte is not
// ASCII), or 0 when none starts there. Overlong forms, surrogates and code points above
// U+10FFFF are not valid.
std::size_t utf8_sequence(std::string_view bytes) {
  const auto byte = [&](std::size_t i) { return static_cast<std::uint8_t>(bytes[i]); };
  const auto within = [&](std::size_t i, std::uint8_t low, std::uint8_t high) {
    return i < bytes.size() && byte(i) >= low && byte(i) <= high;
  };
  const std::uint8_t lead = byte(0);
  if (lead >= 0xC2 && lead <= 0xDF) return within(1, 0x80, 0xBF) ? 2 : 0;
  if (lead >= 0xE0 && lead <= 0xEF) {
    const std::uint8_t low = lead == 0xE0 ? 0xA0 : 0x80;
    const std::uint8_t high = lead == 0xED ? 0x9F : 0xBF;
    return within(1, low, high) && within(2, 0x80, 0xBF) ? 3 : 0;
  }
  if (lead >= 0xF0 && lead <= 0xF4) {
    const std::uint8_t low = lead == 0xF0 ? 0x90 : 0x80;
    const std::uint8_t high = lead == 0xF4 ? 0x8F : 0xBF;
    return within(1, low, high) && within(2, 0x80, 0xBF) && within(3, 0x80, 0xBF) ? 4 : 0;
  }
  return 0;
}

// Writes the decimal digits of `value`, with a point before the last `point` of them when
// `point` is not 0 (and zeros before them where `value` has no more than `point` digits), at
// `out`, which has room for 24 characters. Returns the end.
char* write_digits(char* out, std::uint32_t value, int point) {
  const int count = fixed_detail::digit_count(value);
  if (point == 0) {
    fixed_detail::write_digits_backwards(out + count, value, count);
    return out + count;
  }
  if (count > point) {
    char* const end = out + count + 1;
    char* p = fixed_detail::write_digits_backwards(end, value, point);
    *--p = '.';
    fixed_detail::write_digits_backwards(p, value / static_cast<std::uint32_t>(
                                                        fixed_detail::kPow10[point]),
                                         count - point);
    return end;
  }
  // 0.0dd: the zeros after the point, then the digits.
  char* const end = out + 2 + point;
  std::memcpy(out, "0.0000", 6);  // room for 24: what passes the length is written over
  fixed_detail::write_digits_backwards(end, value, count);
  return end;
}

// Writes `value` in fixed notation when it is 0 or lies within 0.001 and 100000 in size and a
// decimal of at most four decimals reads back as it (as most values of a data file do), and
// returns the end; nullptr otherwise. What it writes is what std::to_chars writes of the value,
// only sooner: the fewest decimals that read back, and of those the closest to the value, which
// for these sizes is also the shortest text. (Checked against std::to_chars for every float of
// those sizes.)
//
// On integers: the value is m / 2^s (m of 24 bits, s from 7 to 33 for these sizes), so its
// decimals times 10^d are exact in 64 bits, and a decimal w / 10^d reads back as the value when
// it lies within half the spacing of the floats around it: |w * 2^s - m * 10^d| < 10^d / 2, the
// bound itself included when m is even (a tie goes to the even float); a quarter below a power
// of two, where the float below is half as far.
char* write_few_decimals(char* out, float value) {
  std::uint32_t bits = 0;
  std::memcpy(&bits, &value, sizeof bits);
  const bool negative = (bits >> 31) != 0;
  const std::uint32_t magnitude = bits & 0x7FFFFFFFu;
  if (magnitude == 0) {
    if (negative) *out++ = '-';
    *out++ = '0';
    return out;
  }
  // 0.001 and 1e5 as 32-bit floats: 0.001f is just above 0.001, so the float just below it is
  // the last one out; 1e5 is a float.
  constexpr std::uint32_t kLowest = 0x3A83126Fu;   // 0.001f
  constexpr std::uint32_t kBeyond = 0x47C35000u;   // 100000.0f
  if (magnitude < kLowest || magnitude >= kBeyond) return nullptr;
  const int shift = 150 - static_cast<int>(magnitude >> 23);  // 7 to 33
  const std::uint64_t m = (magnitude & 0x7FFFFFu) | 0x800000u;
  const std::uint64_t low_mask = (std::uint64_t{1} << shift) - 1;
  const std::uint64_t half = std::uint64_t{1} << (shift - 1);
  const bool even = (m & 1) == 0;
  const bool power_of_two = m == 0x800000u;
  // The closest decimal of `decimals` decimals, in `whole`, and whether it reads back; false as
  // well for two decimals as close (a tie), which are left to std::to_chars.
  bool tie = false;
  const auto whole_of = [&](int decimals, std::uint64_t& whole) {
    const std::uint64_t scale = fixed_detail::kPow10[decimals];
    const std::uint64_t scaled = m * scale;  // the value times 10^d, times 2^s
    const std::uint64_t rest = scaled & low_mask;
    tie = tie || rest == half;
    whole = (scaled >> shift) + (rest >= half ? 1 : 0);
    const std::uint64_t at = whole << shift;
    // Twice (four times below a power of two) the distance, against 10^d.
    if (at >= scaled) {
      const std::uint64_t twice = 2 * (at - scaled);
      return twice < scale || (twice == scale && even);
    }
    const std::uint64_t times = (power_of_two ? 4 : 2) * (scaled - at);
    return times < scale || (times == scale && (even || power_of_two));
  };
  std::uint64_t whole = 0;
  constexpr int kMost = 4;
  if (!whole_of(kMost, whole) || tie) return nullptr;
  int decimals = kMost;
  if (magnitude < 0x44800000u) {  // below 1024
    // Below 1024 two floats lie less than 0.0001 apart, so no other decimal of four decimals or
    // fewer reads back as this one: the one found, without its trailing zeros, is the shortest.
    while (decimals > 0 && whole % 10 == 0) {
      whole /= 10;
      --decimals;
    }
  } else {
    const std::uint64_t most = whole;
    decimals = 0;
    while (decimals < kMost && !whole_of(decimals, whole)) ++decimals;
    if (tie) return nullptr;
    if (decimals == kMost) whole = most;
  }
  if (negative) *out++ = '-';
  // Below 1e5 with four decimals: below 1e9, 32 bits.
  return write_digits(out, static_cast<std::uint32_t>(whole), decimals);
}

}  // namespace

std::string_view trim_blanks(std::string_view text) {
  while (!text.empty() && text.front() == ' ') text.remove_prefix(1);
  while (!text.empty() && text.back() == ' ') text.remove_suffix(1);
  return text;
}

void append_utf8(std::string& out, std::string_view bytes) {
  std::size_t i = 0;
  while (i < bytes.size()) {
    // Copy the run of ASCII and valid sequences up to the next byte that is neither, at once.
    std::size_t end = i;
    while (end < bytes.size()) {
      if (static_cast<std::uint8_t>(bytes[end]) < 0x80) {
        ++end;
        continue;
      }
      const std::size_t length = utf8_sequence(bytes.substr(end));
      if (length == 0) break;
      end += length;
    }
    out.append(bytes.data() + i, end - i);
    if (end == bytes.size()) break;
    const auto latin1 = static_cast<std::uint8_t>(bytes[end]);
    out += static_cast<char>(0xC0 | (latin1 >> 6));
    out += static_cast<char>(0x80 | (latin1 & 0x3F));
    i = end + 1;
  }
}

char* write_float(char* out, float value) {
  if (std::isnan(value)) {
    std::memcpy(out, "nan", 3);  // a NaN's sign means nothing to a reader
    return out + 3;
  }
  if (char* end = write_few_decimals(out, value)) return end;
  // Any other value, the infinities ("inf", "-inf") among them, by the general method; 32 bytes
  // hold any float.
  return std::to_chars(out, out + kNumberRoom, value).ptr;
}

void append_float(std::string& out, float value) {
  char text[kNumberRoom];
  out.append(text, static_cast<std::size_t>(write_float(text, value) - text));
}

char* write_integer(char* out, long long value) {
  if (value >= 0 && value <= 0xFFFFFFFFLL) {
    // Nearly every integer of the outputs: counted, then written from its last digit.
    const auto small = static_cast<std::uint32_t>(value);
    const int count = fixed_detail::digit_count(small);
    fixed_detail::write_digits_backwards(out + count, small, count);
    return out + count;
  }
  return std::to_chars(out, out + kNumberRoom, value).ptr;
}

void append_integer(std::string& out, long long value) {
  char text[kNumberRoom];
  out.append(text, static_cast<std::size_t>(write_integer(text, value) - text));
}

void TextBuffer::grow(std::size_t n) {
  bytes_.resize(std::max({2 * bytes_.size(), size_ + n, std::size_t{256}}));
}

void append_code(std::string& out, int code) {
  if (code >= 0 && code < 100) out += code < 10 ? "00" : "0";
  append_integer(out, code);
}

}  // namespace tpjconv
