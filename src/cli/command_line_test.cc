#include "cli/command_line.h"

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
  // A "-" before anything but a letter or a second "-" is a name, not an option.
  for (const char* name : {"-_in", "-~in", "-[in]", "-@", "-{", "-`"}) {
    const ParsedCommandLine r = parse_command_line({name, "none", "out"});
    ASSERT_FALSE(r.error) << name;
    EXPECT_EQ((Args{name, "none", "out"}), r.line.positional);
  }
}

TEST(CommandLine, UsageErrors) {
  EXPECT_EQ("tpjconv: unknown option '-x'", parse_command_line({"a", "b", "c", "-x"}).error->message);
  EXPECT_EQ("tpjconv: unknown option '--frobnicate'",
            parse_command_line({"--frobnicate", "a", "b", "c"}).error->message);
  EXPECT_EQ("tpjconv: unknown option '-yh'", parse_command_line({"-yh", "a", "b", "c"}).error->message);
  EXPECT_EQ("tpjconv: option '--summary' needs a file name",
            parse_command_line({"a", "b", "c", "--summary"}).error->message);
  EXPECT_EQ("tpjconv: option '--summary' needs a file name",
            parse_command_line({"a", "b", "c", "--summary="}).error->message);
  EXPECT_EQ("tpjconv: option '--summary' needs a file name",
            parse_command_line({"a", "b", "c", "--summary", ""}).error->message);
  // Options are compared exactly: an upper-case -Y is no -y.
  EXPECT_EQ("tpjconv: unknown option '-Y'",
            parse_command_line({"-Y", "a", "b", "c"}).error->message);
  EXPECT_EQ("tpjconv: unknown option '--Yes'",
            parse_command_line({"a", "--Yes", "b", "c"}).error->message);
  // Too few or too many positional arguments: the usage alone.
  EXPECT_EQ("", parse_command_line({"a", "b"}).error->message);
  EXPECT_EQ("", parse_command_line(Args(10, "x")).error->message);
  EXPECT_FALSE(parse_command_line(Args(9, "0")).error);
  // --help and --version need nothing else.
  EXPECT_TRUE(parse_command_line({"--help"}).line.help);
  EXPECT_FALSE(parse_command_line({"-h", "a"}).error);
  EXPECT_TRUE(parse_command_line({"--version"}).line.version);
}

// A Kis or tcmin argument that is not wholly a finite number stops the run before it starts,
// with a line that names it; white space around a number is allowed.
TEST(CommandLine, KisAndTcminArgumentsMustBeWhollyFiniteNumbers) {
  const auto error_for = [](std::size_t index, const std::string& text) {
    Args args = {"in.dat", "none", "out.dat", "0.3", "0.3", "0.3", "c.log", "r.txt", "0.025"};
    args[index] = text;
    const ParsedCommandLine p = parse_command_line(args);
    return p.error ? p.error->message : std::string("accepted");
  };
  for (const char* text : {"0.3", " 0.25 ", "\t-1\n", "\v0.3\f", "\r0\r", "-0.5", "+.5", "5.",
                           "1e-2", "3.4028235e38",
                           "1e-50", "-0"}) {
    EXPECT_EQ("accepted", error_for(3, text)) << text;
  }
  EXPECT_EQ("tpjconv: KIS_GENSAL \"abc\" is not a number", error_for(3, "abc"));
  EXPECT_EQ("tpjconv: KIS_GENTPF \"0,3\" is not a number", error_for(4, "0,3"));
  EXPECT_EQ("tpjconv: KIS_GENROU \"\" is not a number", error_for(5, ""));
  EXPECT_EQ("tpjconv: TCMIN \"0.O25\" is not a number", error_for(8, "0.O25"));
  EXPECT_EQ("tpjconv: TCMIN \"0x10\" is not a number", error_for(8, "0x10"));
  EXPECT_EQ("tpjconv: TCMIN \"0.04 s\" is not a number", error_for(8, "0.04 s"));
  EXPECT_EQ("tpjconv: TCMIN \"0.0\\r25\" is not a number", error_for(8, "0.0\r25"));
  EXPECT_EQ("tpjconv: KIS_GENSAL \"inf\" is not a finite 32-bit number", error_for(3, "inf"));
  EXPECT_EQ("tpjconv: KIS_GENSAL \"nan\" is not a finite 32-bit number", error_for(3, "nan"));
  EXPECT_EQ("tpjconv: TCMIN \"3.4028236e38\" is not a finite 32-bit number",
            error_for(8, "3.4028236e38"));
  EXPECT_EQ("tpjconv: TCMIN \"1e400\" is not a finite 32-bit number", error_for(8, "1e400"));
  // The check log and the report are names, whatever they hold.
  EXPECT_EQ("accepted", error_for(6, "0.3x"));
  // Every argument that is not a number has its line, in the order of the command line.
  EXPECT_EQ("tpjconv: KIS_GENSAL \"a\" is not a number\ntpjconv: TCMIN \"b\" is not a number",
            parse_command_line({"i", "b", "o", "a", "0", "0", "c", "r", "b"}).error->message);
  // Too few arguments: the usage alone, before the numbers are looked at.
  EXPECT_EQ("", parse_command_line({"i", "x"}).error->message);
}

// The options that name a file: each at most once and with a name, as --OPTION FILE or
// --OPTION=FILE; "-" is a name like any other.
TEST(CommandLine, FileOptionsOnceEachAndWithAName) {
  const ParsedCommandLine p = parse_command_line(
      {"--findings", "-", "a", "--json=r.json", "b", "--html", "--strict", "c", "--strict"});
  ASSERT_FALSE(p.error);
  EXPECT_EQ("-", p.line.findings);
  EXPECT_EQ("r.json", p.line.json);
  EXPECT_EQ("--strict", p.line.html);
  EXPECT_TRUE(p.line.strict);
  EXPECT_EQ((Args{"a", "b", "c"}), p.line.positional);
  EXPECT_FALSE(parse_command_line({"a", "b", "c"}).line.strict);
  for (const std::string option : {"--summary", "--findings", "--json", "--html"}) {
    const std::string needs = "tpjconv: option '" + option + "' needs a file name";
    EXPECT_EQ(needs, parse_command_line({"a", "b", "c", option}).error->message);
    EXPECT_EQ(needs, parse_command_line({"a", "b", "c", option + "="}).error->message);
    EXPECT_EQ(needs, parse_command_line({option, "", "a", "b", "c"}).error->message);
    const std::string twice = "tpjconv: option '" + option + "' given twice";
    EXPECT_EQ(twice, parse_command_line({option, "x", "a", "b", "c", option, "x"}).error->message);
    EXPECT_EQ(twice,
              parse_command_line({option + "=x", "a", "b", "c", option, "y"}).error->message);
    // A longer option that begins with the name is no such option.
    EXPECT_EQ("tpjconv: unknown option '" + option + "s'",
              parse_command_line({option + "s", "x", "a", "b", "c"}).error->message);
  }
  EXPECT_EQ("tpjconv: unknown option '--strict=yes'",
            parse_command_line({"--strict=yes", "a", "b", "c"}).error->message);
}

// The plan names every argument: the numbers read once, absent ones at their defaults, the
// outputs in the order they are created, an absent or empty check log or report on standard
// output.
TEST(RunPlan, NamesEveryArgument) {
  const Args args = {"--html", "h.html", "--summary", "s.csv", "in.dat", "bus.txt", "out.dat",
                    " 0.25 ", "-0.5", "1e-2", "c.log", "--json", "j.json", "r.txt", "0.04", "-y",
                    "--findings", "f.csv", "--strict"};
  const ParsedCommandLine full = parse_command_line(args);
  ASSERT_FALSE(full.error);
  const RunPlan plan = plan_of(full.line);
  EXPECT_EQ("in.dat", plan.input);
  EXPECT_EQ("bus.txt", plan.bus_file);
  EXPECT_FALSE(plan.bypass);
  EXPECT_TRUE(plan.yes);
  EXPECT_TRUE(plan.strict);
  EXPECT_EQ(args, plan.arguments);
  EXPECT_EQ(0.25f, plan.kis[0]);
  EXPECT_EQ(-0.5f, plan.kis[1]);
  EXPECT_EQ(0.01f, plan.kis[2]);
  EXPECT_EQ(0.04f, plan.tcmin);
  ASSERT_EQ(7u, plan.outputs.size());
  const std::pair<Role, std::string> want[] = {
      {Role::output, "out.dat"}, {Role::summary, "s.csv"}, {Role::findings, "f.csv"},
      {Role::json, "j.json"},    {Role::html, "h.html"},   {Role::checklog, "c.log"},
      {Role::report, "r.txt"}};
  for (std::size_t i = 0; i < 7; ++i) {
    EXPECT_EQ(want[i].first, plan.outputs[i].role);
    EXPECT_EQ(want[i].second, plan.outputs[i].path);
    EXPECT_FALSE(plan.outputs[i].standard_output);
  }

  const RunPlan least = plan_of(parse_command_line({"in.dat", "nonesuch", "out.dat"}).line);
  EXPECT_TRUE(least.bypass);
  EXPECT_EQ((std::array<float, 3>{-1.0f, -1.0f, -1.0f}), least.kis);
  EXPECT_EQ(0.025f, least.tcmin);
  ASSERT_EQ(3u, least.outputs.size());
  EXPECT_TRUE(least.outputs[1].standard_output);
  EXPECT_TRUE(least.outputs[2].standard_output);
  const RunPlan empty_log =
      plan_of(parse_command_line({"in.dat", "none", "out.dat", "0", "0", "0", "", "r"}).line);
  EXPECT_TRUE(empty_log.outputs[1].standard_output);
  EXPECT_FALSE(empty_log.outputs[2].standard_output);
}

}  // namespace
}  // namespace tpjconv
