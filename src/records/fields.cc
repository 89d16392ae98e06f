#include "records/fields.h"

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

std::optional<std::string_view> FieldCursor::next(std::string_view separators) {
  while (pos_ < text_.size() && separators.find(text_[pos_]) != std::string_view::npos) ++pos_;
  if (pos_ >= text_.size()) {
    last_end_ = text_.size();
    return std::nullopt;
  }
  const std::size_t start = pos_;
  std::size_t end = start;
  while (end < text_.size() && separators.find(text_[end]) == std::string_view::npos) ++end;
  last_end_ = end;
  pos_ = end < text_.size() ? end + 1 : end;
  return text_.substr(start, end - start);
}

std::optional<int> scan_int(std::string_view text) {
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

std::optional<float> scan_float(std::string_view text) {
  text = skip_space(text);
  if (text.empty()) return std::nullopt;
  // strtof needs a terminated text; the field is copied, whatever its length.
  const std::string copy(text);
  char* end = nullptr;
  const float value = std::strtof(copy.c_str(), &end);
  if (end == copy.c_str()) return std::nullopt;
  return value;
}

}  // namespace tpjconv
