#include "run/command_line.h"

#include <gtest/gtest.h>

namespace tpjconv {
namespace {

using Args = std::vector<std::string>;

TEST(CommandLine, OptionsAnywhereBeforeTheirEndAndNegativeNumbersStayPositional) {
  const ParsedCommandLine p = parse_command_line(
      {"in.dat", "-y", "none", "--summary", "s.csv", "out.dat", "-1", "-0.5", "-.3", "--", "-x.dat"});
  ASSERT_FALSE(p.error);
  EXPECT_TRUE(p.line.yes);
  EXPECT_EQ("s.csv", p.line.summary);
  EXPECT_EQ((Args{"in.dat", "none", "out.dat", "-1", "-0.5", "-.3", "-x.dat"}), p.line.positional);
  // "-" alone is a name, and --summary=FILE is the same as --summary FILE.
  const ParsedCommandLine q = parse_command_line({"--yes", "-", "none", "o", "--summary=-s.csv"});
  ASSERT_FALSE(q.error);
  EXPECT_EQ((Args{"-", "none", "o"}), q.line.positional);
  EXPECT_EQ("-s.csv", q.line.summary);
}

TEST(CommandLine, UsageErrors) {
  EXPECT_EQ("tpjconv: unknown option '-x'", parse_command_line({"a", "b", "c", "-x"}).error->message);
  EXPECT_EQ("tpjconv: unknown option '--frobnicate'",
            parse_command_line({"--frobnicate", "a", "b", "c"}).error->message);
  EXPECT_EQ("tpjconv: unknown option '-yh'", parse_command_line({"-yh", "a", "b", "c"}).error->message);
  EXPECT_EQ("tpjconv: option '--summary' needs a file name",
            parse_command_line({"a", "b", "c", "--summary"}).error->message);
  // Too few or too many positional arguments: the usage alone.
  EXPECT_EQ("", parse_command_line({"a", "b"}).error->message);
  EXPECT_EQ("", parse_command_line(Args(10, "x")).error->message);
  EXPECT_FALSE(parse_command_line(Args(9, "x")).error);
  // --help and --version need nothing else.
  EXPECT_TRUE(parse_command_line({"--help"}).line.help);
  EXPECT_FALSE(parse_command_line({"-h", "a"}).error);
  EXPECT_TRUE(parse_command_line({"--version"}).line.version);
}

TEST(NumberArgument, WholeNumbersAndTheRest) {
  const Args args = {"0.3", " 0.25 ", "-0.5", "abc", "0,3", "", "1.5x", "1e-2", "inf"};
  EXPECT_EQ(0.3f, number_argument(args, 0, -1).value);
  EXPECT_TRUE(number_argument(args, 1, -1).whole);
  EXPECT_EQ(-0.5f, number_argument(args, 2, -1).value);
  for (std::size_t i : {3, 4, 5, 6}) EXPECT_FALSE(number_argument(args, i, -1).whole) << args[i];
  EXPECT_EQ(0.0f, number_argument(args, 3, -1).value);
  EXPECT_EQ(0.0f, number_argument(args, 4, -1).value);  // "%f" stops at the comma
  EXPECT_EQ(1.5f, number_argument(args, 6, -1).value);
  EXPECT_TRUE(number_argument(args, 7, -1).whole);
  EXPECT_TRUE(number_argument(args, 8, -1).whole);
  // Absent: the fallback, and nothing to warn about.
  EXPECT_EQ(0.025f, number_argument(args, 9, 0.025f).value);
  EXPECT_TRUE(number_argument(args, 9, 0.025f).whole);
}

}  // namespace
}  // namespace tpjconv
