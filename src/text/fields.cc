#include "text/fields.h"

#include <charconv>
#include <cmath>
#include <cstdint>
#include <cstdlib>
#include <string>

#include "text/printable.h"

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
  // exact division, longer ones by from_chars, which rounds as strtof does and so as the division
  // would. Hexadecimal numbers,
  // inf, nan, a leading "+" and numbers out of the 32-bit range take the strtof road below.
  const char* const begin = text.data();
  const char* const end = begin + text.size();
  const char* const digits = begin + (*begin == '-' || *begin == '+' ? 1 : 0);
  const bool hexadecimal =
      end - digits >= 2 && digits[0] == '0' && (digits[1] == 'x' || digits[1] == 'X');
  if (*begin != '+' && digits < end && ((*digits >= '0' && *digits <= '9') || *digits == '.') &&
      !hexadecimal) {
    float value = 0.0f;
    if (const char* stop = scan_short_decimal(begin, end, value)) {
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

NumberFit int_field_fit(std::string_view field) {
  if (!scan_int(field)) return NumberFit::none;
  std::size_t i = !field.empty() && (field[0] == '+' || field[0] == '-') ? 1 : 0;
  const std::size_t digits = i;
  while (i < field.size() && field[i] >= '0' && field[i] <= '9') ++i;
  return i > digits && i == field.size() ? NumberFit::whole : NumberFit::not_wholly;
}

std::string shortest(float value) {
  char text[32];
  const auto end = std::to_chars(text, text + sizeof text, value).ptr;
  return std::string(text, end);
}

std::string odd_number_text(std::string_view name, std::string_view text, NumberFit fit,
                            std::string_view value) {
  const char* const why = fit == NumberFit::not_finite ? " is not a finite 32-bit number; "
                          : fit == NumberFit::none     ? " is not a number; "
                                                       : " is not wholly a number; ";
  std::string line(name);
  line += ' ';
  line += quoted(text);
  line += why;
  line += value;
  line += " used";
  return line;
}

}  // namespace tpjconv
