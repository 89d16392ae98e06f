#include "text/iso_time.h"

#include <utility>

namespace tpjconv {

std::string iso_time(int year, int month, int day, int hour, int minute, int second,
                     long offset) {
  const auto two = [](std::string& out, long value) {
    out += static_cast<char>('0' + value / 10 % 10);
    out += static_cast<char>('0' + value % 10);
  };
  std::string text = std::to_string(year);
  for (const auto& [separator, value] : {std::pair{'-', month}, std::pair{'-', day},
                                         std::pair{'T', hour}, std::pair{':', minute},
                                         std::pair{':', second}}) {
    text += separator;
    two(text, value);
  }
  text += offset < 0 ? '-' : '+';
  if (offset < 0) offset = -offset;
  two(text, offset / 60);
  text += ':';
  two(text, offset % 60);
  return text;
}

}  // namespace tpjconv
