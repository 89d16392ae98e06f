#include "findings/text.h"

#include <array>
#include <charconv>
#include <cmath>
#include <cstdint>

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

// Room for the digits of any 64-bit integer, with its sign.
using Digits = std::array<char, 24>;

// Appends the decimal digits of `value`, with a point before the last `point` of them when
// `point` is not 0 (and zeros before them where `value` has no more than `point` digits).
void append_digits(std::string& out, std::uint64_t value, std::size_t point) {
  Digits digits;
  const char* end = std::to_chars(digits.data(), digits.data() + digits.size(), value).ptr;
  const auto count = static_cast<std::size_t>(end - digits.data());
  if (point == 0) {
    out.append(digits.data(), count);
  } else if (count > point) {
    out.append(digits.data(), count - point);
    out += '.';
    out.append(end - point, point);
  } else {
    out += "0.";
    out.append(point - count, '0');
    out.append(digits.data(), count);
  }
}

// Appends `value` in fixed notation when it is 0 or lies within 0.001 and 100000 in size and a
// decimal of at most four decimals reads back as it (as most values of a data file do); false
// otherwise, with nothing appended. What it writes is what std::to_chars writes of the value,
// only sooner: the fewest decimals that read back, and of those the closest to the value, which
// for these sizes is also the shortest text. (Checked against std::to_chars for every float of
// those sizes.)
bool append_few_decimals(std::string& out, float value) {
  const double size = std::fabs(static_cast<double>(value));
  if (!(size >= 0.001 && size < 1e5) && size != 0) return false;
  static constexpr double kScale[] = {1, 10, 100, 1000, 10000};
  constexpr std::size_t kMost = std::size(kScale) - 1;
  // The closest decimal of `decimals` decimals, when it reads back as the value. Two decimals
  // as close (a tie) are left to std::to_chars, which picks between them.
  bool tie = false;
  const auto whole_of = [&](std::size_t decimals, std::uint64_t& whole) {
    const double scaled = size * kScale[decimals];  // exact: 24 bits times at most 14
    const auto below = static_cast<std::uint64_t>(scaled);
    const double fraction = scaled - static_cast<double>(below);
    tie = tie || fraction == 0.5;
    whole = fraction < 0.5 ? below : below + 1;
    return static_cast<float>(static_cast<double>(whole) / kScale[decimals]) ==
           static_cast<float>(size);
  };
  // A decimal of fewer decimals is one of four decimals too: when none of four reads back,
  // none of fewer does.
  std::uint64_t whole = 0;
  if (!whole_of(kMost, whole) || tie) return false;
  std::size_t decimals = kMost;
  if (size < 1024) {
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
    if (tie) return false;
    if (decimals == kMost) whole = most;
  }
  if (std::signbit(value)) out += '-';
  append_digits(out, whole, decimals);
  return true;
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

void append_float(std::string& out, float value) {
  if (std::isnan(value)) {
    out += "nan";  // a NaN's sign means nothing to a reader
    return;
  }
  if (append_few_decimals(out, value)) return;
  // Any other value, the infinities ("inf", "-inf") among them, by the general method; 32 bytes
  // hold any float.
  const std::size_t at = out.size();
  out.resize(at + 32);
  const auto result = std::to_chars(out.data() + at, out.data() + out.size(), value);
  out.resize(static_cast<std::size_t>(result.ptr - out.data()));
}

void append_integer(std::string& out, long long value) {
  Digits digits;
  const char* end = std::to_chars(digits.data(), digits.data() + digits.size(), value).ptr;
  out.append(digits.data(), static_cast<std::size_t>(end - digits.data()));
}

void append_code(std::string& out, int code) {
  if (code >= 0 && code < 100) out += code < 10 ? "00" : "0";
  append_integer(out, code);
}

}  // namespace tpjconv
