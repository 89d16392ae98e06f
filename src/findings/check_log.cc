#include "findings/check_log.h"

#include <algorithm>
#include <charconv>
#include <cstring>
#include <vector>

namespace tpjconv {

namespace {

// Copies `text` to `out`; returns the end.
char* put(char* out, std::string_view text) {
  return static_cast<char*>(std::memcpy(out, text.data(), text.size())) + text.size();
}

}  // namespace

void CheckLog::finding(const FindingEvent& event) {
  const std::string& label = event.conversion.label();
  const std::size_t room = label.size() + event.note.size() + 32;
  char on_stack[512];
  std::vector<char> on_heap;
  char* const line = room <= sizeof on_stack ? on_stack : (on_heap.resize(room), on_heap.data());
  char* out = put(line, label);
  out = put(out, " ,");
  char digits[16];
  const auto end = std::to_chars(digits, digits + sizeof digits, event.code).ptr;
  for (long zeros = 3 - std::min<long>(3, end - digits); zeros > 0; --zeros) *out++ = '0';
  out = put(out, std::string_view(digits, static_cast<std::size_t>(end - digits)));
  out = put(out, ", ");
  out = put(out, event.note);
  *out++ = '\n';
  out_.write(std::string_view(line, static_cast<std::size_t>(out - line)));
}

}  // namespace tpjconv
