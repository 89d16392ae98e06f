#include "cli/diagnostics.h"

#include <string>

#include <gtest/gtest.h>

namespace tpjconv {
namespace {

TEST(Say, OneLineBeginningWithTheToolsName) {
  Sink console;
  say(console, "no answer; nothing converted");
  say_at(console, "in.dat", 12, "a record");
  say_at(console, "bus.txt", 0, "line 0");
  EXPECT_EQ("tpjconv: no answer; nothing converted\n"
            "tpjconv: in.dat:12: a record\n"
            "tpjconv: bus.txt:0: line 0\n",
            console.text());
}

// A warning is shown naming its file and line where it has them, or as its text alone.
TEST(ConsoleLine, NamesTheFileAndLineWhereThereAreSome) {
  EXPECT_EQ("tpjconv: in.dat:12: a record\n",
            console_line(Warning{WarningKind::record, "in.dat", 12, "a record"}));
  EXPECT_EQ("tpjconv: bus.txt: 3 more entries\n",
            console_line(Warning{WarningKind::unused_entry, "bus.txt", 0, "3 more entries"}));
  EXPECT_EQ("tpjconv: no model\n", console_line(Warning{WarningKind::settings, "", 0, "no model"}));
  EXPECT_EQ("Name    mismatch \n",
            console_line(Warning{WarningKind::name_mismatch, "in.dat", 4, "Name    mismatch ",
                                 true}));
}

}  // namespace
}  // namespace tpjconv
