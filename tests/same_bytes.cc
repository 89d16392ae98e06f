#include "same_bytes.h"

#include <algorithm>
#include <string>

namespace tpjconv::testing {

namespace {

// Up to 40 bytes of `text` from `at`, with control characters escaped, in quotes.
std::string excerpt(std::string_view text, std::size_t at) {
  std::string out = "\"";
  for (const char c : text.substr(std::min(at, text.size()), 40)) {
    const auto u = static_cast<unsigned char>(c);
    if (c == '\n') {
      out += "\\n";
    } else if (c == '\r') {
      out += "\\r";
    } else if (u < 0x20 || u >= 0x7f) {
      static constexpr char kHex[] = "0123456789abcdef";
      out += "\\x";
      out += kHex[u >> 4];
      out += kHex[u & 15];
    } else {
      out += c;
    }
  }
  return out + "\"";
}

}  // namespace

::testing::AssertionResult same_bytes(std::string_view expected, std::string_view actual) {
  if (expected == actual) return ::testing::AssertionSuccess();
  const auto first =
      std::mismatch(expected.begin(), expected.end(), actual.begin(), actual.end()).first;
  const auto at = static_cast<std::size_t>(first - expected.begin());
  const std::size_t from = at > 20 ? at - 20 : 0;
  return ::testing::AssertionFailure()
         << "expected " << expected.size() << " bytes, got " << actual.size()
         << "; first difference at offset " << at << "\n  expected from offset " << from << ": "
         << excerpt(expected, from) << "\n  actual from offset   " << from << ": "
         << excerpt(actual, from);
}

}  // namespace tpjconv::testing
