#include "text/fields.h"

#include <charconv>
#include <cmath>
#include <cstdint>
#include <cstdlib>
#include <string>

namespace tpjconv {

namespace {

// The white space that "%d" and "%f" skip: the C locale's isspace set.
bool is_c_space(char c) {
  return c == ' ' || c == '\t' || c == '\n' || c == '\v' || c == '\f' || c == '\r';
}

std::string_view skip_space(std::string_view text) {
  std::size_t i = 0;
  while (i < text.size() && is_c_space(text[i])) ++i;
  return text.substr(i);
}

}  // namespace

std::optional<int> scan_int(std::string_view text) {
  // The common field first: at most nine digits, with or without a minus, right at the start,
  // which cannot leave the 32-bit range; nothing to skip and no check per digit.
  {
    const char* p = text.data();
    const char* const end = p + text.size();
    const bool negative = p < end && *p == '-';
    p += negative;
    const char* const first = p;
    int magnitude = 0;
    while (p < end && p - first < 9 && static_cast<unsigned char>(*p - '0') < 10) {
      magnitude = magnitude * 10 + (*p - '0');
      ++p;
    }
    if (p > first && (p == end || static_cast<unsigned char>(*p - '0') >= 10)) {
      return negative ? -magnitude : magnitude;
    }
  }
  text = skip_space(text);
  std::size_t i = 0;
  bool negative = false;
  if (i < text.size() && (text[i] == '+' || text[i] == '-')) {
    negative = text[i] == '-';
    ++i;
  }
  const std::size_t digits_start = i;
  long long magnitude = 0;
  const long long limit = negative ? 2147483648LL : 2147483647LL;
  bool overflow = false;
  for (; i < text.size() && text[i] >= '0' && text[i] <= '9'; ++i) {
    if (!overflow) {
      magnitude = magnitude * 10 + (text[i] - '0');
      overflow = magnitude > limit;
    }
  }
  if (i == digits_start || overflow) return std::nullopt;
  return static_cast<int>(negative ? -magnitude : magnitude);
}

namespace {

// A short decimal number without exponent, such as 0.0025 or -1.8000: its digits make an integer
// below 2^24 and it has at most ten decimals. Both the integer and the power of ten are exact
// 32-bit values, so one 32-bit division rounds the number exactly as strtof does. Stores the
// value and returns where the number ends; nullptr for any other text.
const char* short_decimal(const char* p, const char* end, float& value) {
  static constexpr float kPow10[] = {1e0f, 1e1f, 1e2f, 1e3f, 1e4f, 1e5f,
                                     1e6f, 1e7f, 1e8f, 1e9f, 1e10f};
  constexpr std::uint32_t kLimit = 1u << 24;
  const bool negative = *p == '-';
  if (negative) ++p;
  std::uint32_t digits = 0;
  int decimals = 0;
  bool any = false;
  for (; p < end && *p >= '0' && *p <= '9'; ++p, any = true) {
    digits = digits * 10 + static_cast<std::uint32_t>(*p - '0');
    if (digits > kLimit) return nullptr;
  }
  if (p < end && *p == '.') {
    for (++p; p < end && *p >= '0' && *p <= '9'; ++p, any = true) {
      digits = digits * 10 + static_cast<std::uint32_t>(*p - '0');
      if (digits > kLimit || ++decimals > 10) return nullptr;
    }
  }
  if (!any || (p < end && (*p == 'e' || *p == 'E'))) return nullptr;
  const float magnitude = static_cast<float>(digits) / kPow10[decimals];
  value = negative ? -magnitude : magnitude;
  return p;
}

}  // namespace

std::optional<ScannedNumber> scan_number(std::string_view text) {
  const char* const origin = text.data();
  const auto at = [origin](const char* p) { return static_cast<std::size_t>(p - origin); };
  // The common field first, read where it stands.
  if (float value = 0.0f;
      const char* stop = scan_short_decimal(origin, origin + text.size(), value)) {
    return ScannedNumber{value, 0, at(stop), false};
  }
  text = skip_space(text);
  if (text.empty()) return std::nullopt;
  // Decimal numbers, nearly every field of a real file, are read in place: short ones by one
  // exact division, longer ones by from_chars, which rounds as strtof does. Hexadecimal numbers,
  // inf, nan, a leading "+" and numbers out of the 32-bit range take the strtof road below.
  const char* const begin = text.data();
  const char* const end = begin + text.size();
  const char* const digits = begin + (*begin == '-' || *begin == '+' ? 1 : 0);
  const bool hexadecimal =
      end - digits >= 2 && digits[0] == '0' && (digits[1] == 'x' || digits[1] == 'X');
  if (*begin != '+' && digits < end && ((*digits >= '0' && *digits <= '9') || *digits == '.') &&
      !hexadecimal) {
    float value = 0.0f;
    if (const char* stop = short_decimal(begin, end, value)) {
      return ScannedNumber{value, at(begin), at(stop), false};
    }
    if (const auto result = std::from_chars(begin, end, value); result.ec == std::errc()) {
      return ScannedNumber{value, at(begin), at(result.ptr), false};
    }
  }
  // strtof needs a terminated text; the field is copied, whatever its length.
  const std::string copy(text);
  char* stop = nullptr;
  const float value = std::strtof(copy.c_str(), &stop);
  if (stop == copy.c_str()) return std::nullopt;
  const std::size_t length = static_cast<std::size_t>(stop - copy.c_str());
  // "0x" alone reads as the 0 before the x.
  return ScannedNumber{value, at(begin), at(begin) + length, hexadecimal && length > 2};
}

FieldNumber read_number_field(std::string_view field) {
  const auto number = scan_number(field);
  if (!number) return {};
  NumberFit fit = NumberFit::whole;
  if (number->begin != 0 || number->end != field.size() || number->hexadecimal) {
    fit = NumberFit::not_wholly;
  } else if (!std::isfinite(number->value)) {
    fit = NumberFit::not_finite;
  }
  return {number->value, fit};
}

}  // namespace tpjconv
