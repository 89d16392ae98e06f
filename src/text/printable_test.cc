#include "text/printable.h"

#include <string>

#include <gtest/gtest.h>

namespace tpjconv {
namespace {

// A message stays one line whatever the text from a file holds: line ends, tabs and the other
// control characters are written as escapes; everything else, bytes above 127 included, as it is.
TEST(Printable, EscapesLineEndsAndControlCharacters) {
  EXPECT_EQ("plain text 7.22", printable("plain text 7.22"));
  EXPECT_EQ("a\\r\\nb", printable("a\r\nb"));
  EXPECT_EQ("7.\\r22", printable("7.\r22"));
  EXPECT_EQ("\\t\\n", printable("\t\n"));
  EXPECT_EQ("7.\\x0022", printable(std::string_view("7.\0" "22", 5)));
  EXPECT_EQ("\\x01\\x1b[1m\\x1f\\x7f", printable("\x01\x1b[1m\x1f\x7f"));
  EXPECT_EQ("\xc3\xa9t\xe9", printable("\xc3\xa9t\xe9"));
  EXPECT_EQ(" !~", printable(" !~"));
  EXPECT_EQ("\"G7\\r\"", quoted("G7\r"));
  EXPECT_EQ("\"\"", quoted(""));
}

}  // namespace
}  // namespace tpjconv
