#include "cli/diagnostics.h"

#include "text/printable.h"

namespace tpjconv {

void say(Sink& console, std::string_view message) {
  std::string line = "tpjconv: ";
  line += message;
  line += '\n';
  console.write(line);
}

void say_at(Sink& console, std::string_view file, long line_number, std::string_view message) {
  std::string line = "tpjconv: ";
  line += printable(file);
  line += ':';
  line += std::to_string(line_number);
  line += ": ";
  line += message;
  line += '\n';
  console.write(line);
}

std::string console_line(const Warning& warning) {
  std::string line;
  if (!warning.text_alone) {
    line = "tpjconv: ";
    if (!warning.file.empty()) {
      line += printable(warning.file);
      if (warning.line != 0) {
        line += ':';
        line += std::to_string(warning.line);
      }
      line += ": ";
    }
  }
  line += warning.text;
  line += '\n';
  return line;
}

}  // namespace tpjconv
