// Splitting of record texts into fields, and the number conversions that read them.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

namespace tpjconv {

// A set of separator characters, looked up in one step.
class Separators {
 public:
  constexpr Separators(std::string_view chars) {  // NOLINT: a separator list reads as a set
    for (const char c : chars) table_[static_cast<unsigned char>(c)] = true;
  }
  constexpr Separators(const char* chars) : Separators(std::string_view(chars)) {}  // NOLINT
  constexpr bool contains(char c) const { return table_[static_cast<unsigned char>(c)]; }

 private:
  std::array<bool, 256> table_{};
};

// Walks a text field by field. A field starts after a run of separator characters and ends at
// the next separator, which is consumed with it. The separator set is chosen per call; the line
// end is never a separator, so it stays attached to the last field of a line.
class FieldCursor {
 public:
  explicit FieldCursor(std::string_view text) : text_(text) {}

  // The next field, or nothing once only separators are left.
  std::optional<std::string_view> next(const Separators& separators) {
    const std::size_t size = text_.size();
    while (pos_ < size && separators.contains(text_[pos_])) ++pos_;
    if (pos_ >= size) {
      last_end_ = size;
      return std::nullopt;
    }
    const std::size_t start = pos_;
    std::size_t end = start + 1;
    while (end < size && !separators.contains(text_[end])) ++end;
    last_end_ = end;
    pos_ = end < size ? end + 1 : end;
    return text_.substr(start, end - start);
  }

  // Where the field most recently returned ended in the text: the index of the separator that
  // ended it, or the text's length when it ran to the end.
  std::size_t last_field_end() const { return last_end_; }

 private:
  std::string_view text_;
  std::size_t pos_ = 0;
  std::size_t last_end_ = 0;
};

// True for a field that is nothing but a line end: what follows a line's last blank or comma.
inline bool is_line_end(std::string_view field) {
  return field.find_first_not_of("\r\n") == std::string_view::npos;
}

// A field without the line end it may carry at its end.
inline std::string_view without_line_end(std::string_view field) {
  while (field.ends_with('\n') || field.ends_with('\r')) field.remove_suffix(1);
  return field;
}

// Reads a number the way "%d" does: leading white space, optional sign, decimal digits. Nothing
// when the text does not begin with a number or the number is outside the 32-bit range.
std::optional<int> scan_int(std::string_view text);

// The common number of a record, read in one pass: an optional minus and at most nine digits
// around a point, with no exponent (such as 0.0025 or -1.8000), at `p`. Nine digits cannot
// overflow 32 bits, so the digits are gathered without a check each; below 2^24 and with at most
// nine decimals both the digits and the power of ten are exact 32-bit values, and one division
// rounds the number as strtof does. Stores the value and returns where the number ends, or
// returns nullptr, storing nothing, for any other text (scan_float() reads those).
inline const char* scan_short_decimal(const char* p, const char* end, float& value) {
  static constexpr float kPow10[] = {1e0f, 1e1f, 1e2f, 1e3f, 1e4f, 1e5f, 1e6f, 1e7f, 1e8f, 1e9f};
  const bool negative = p < end && *p == '-';
  p += negative;
  const char* const first = p;
  std::uint32_t digits = 0;
  while (p < end && static_cast<unsigned char>(*p - '0') < 10) {
    digits = digits * 10 + static_cast<std::uint32_t>(*p - '0');
    ++p;
  }
  const long whole_digits = p - first;
  long decimals = 0;
  if (p < end && *p == '.') {
    const char* const point = ++p;
    while (p < end && static_cast<unsigned char>(*p - '0') < 10) {
      digits = digits * 10 + static_cast<std::uint32_t>(*p - '0');
      ++p;
    }
    decimals = p - point;
  }
  const long count = whole_digits + decimals;
  // An exponent, or the x of a hexadecimal number, takes the longer road.
  const bool plain = p == end || (*p != 'e' && *p != 'E' && *p != 'x' && *p != 'X');
  if (count == 0 || count > 9 || digits > (1u << 24) || !plain) return nullptr;
  const float magnitude = static_cast<float>(digits) / kPow10[decimals];
  value = negative ? -magnitude : magnitude;
  return p;
}

// A number as scan_float() reads it, and where it stands in its text.
struct ScannedNumber {
  float value = 0.0f;
  std::size_t begin = 0;     // where the number starts, after the white space before it
  std::size_t end = 0;       // one past its last character
  bool hexadecimal = false;  // written as 0x...
};

// Reads a number the way "%f" does, taking the longest numeric prefix (decimal or hexadecimal,
// exponent, inf, nan) after leading white space, rounded directly to 32 bits. Nothing when the
// text does not begin with a number.
std::optional<ScannedNumber> scan_number(std::string_view text);

// The value of scan_number().
inline std::optional<float> scan_float(std::string_view text) {
  if (const auto number = scan_number(text)) return number->value;
  return std::nullopt;
}

// How wholly a field is a number, as its warnings tell it.
enum class NumberFit {
  whole,       // a finite decimal number and nothing else
  not_wholly,  // text before or after the number, or a hexadecimal number: part of it is read
  not_finite,  // wholly a number, but inf, nan, or beyond the range of a 32-bit float
  none,        // it does not begin with a number
};

struct FieldNumber {
  float value = 0.0f;  // as scan_float() reads it; 0 when there is none
  NumberFit fit = NumberFit::none;
};

// Reads `field` as scan_float() does and tells whether that took all of it. The field is the
// whole text: a line end it may carry counts as text, and so does white space before it.
FieldNumber read_number_field(std::string_view field);

// How wholly `field` is a whole number as scan_int() reads it: whole for an optional sign and
// decimal digits and nothing else, not_wholly when scan_int() reads only a part, none when it
// reads nothing.
NumberFit int_field_fit(std::string_view field);

// The shortest text that reads back as `value`.
std::string shortest(float value);

// What a warning says of field `name` holding `text`, read as `value` though `fit` is not whole:
// `tpdo "7.22abc" is not wholly a number; 7.22 used`.
std::string odd_number_text(std::string_view name, std::string_view text, NumberFit fit,
                            std::string_view value);

// A field without the line end of the record when it is the record's last (`at_end`): one LF, or
// CR LF. Any other line end or carriage return is text.
inline std::string_view without_record_end(std::string_view field, bool at_end) {
  if (at_end && field.ends_with('\n')) {
    field.remove_suffix(field.ends_with("\r\n") ? 2 : 1);
  }
  return field;
}

}  // namespace tpjconv
