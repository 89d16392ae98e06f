#include "cli/diagnostics.h"

namespace tpjconv {

void say(Sink& console, std::string_view message) {
  std::string line = "tpjconv: ";
  line += message;
  line += '\n';
  console.write(line);
}

void say_at(Sink& console, std::string_view file, long line_number, std::string_view message) {
  std::string line = "tpjconv: ";
  line += file;
  line += ':';
  line += std::to_string(line_number);
  line += ": ";
  line += message;
  line += '\n';
  console.write(line);
}

std::string printable(std::string_view text) {
  static constexpr char kHex[] = "0123456789abcdef";
  std::string out;
  for (const char c : text) {
    const auto u = static_cast<unsigned char>(c);
    if (c == '\n') {
      out += "\\n";
    } else if (c == '\r') {
      out += "\\r";
    } else if (c == '\t') {
      out += "\\t";
    } else if (u < 0x20 || u == 0x7f) {
      out += "\\x";
      out += kHex[u >> 4];
      out += kHex[u & 15];
    } else {
      out += c;
    }
  }
  return out;
}

std::string quoted(std::string_view text) { return '"' + printable(text) + '"'; }

}  // namespace tpjconv
