#include "run/record_loop.h"

#include <string>
#include <vector>

#include <gtest/gtest.h>

namespace tpjconv {
namespace {

struct Loop {
  Sink output, check_log, report, console;
  ModelCounters counters;

  std::vector<std::string> run(const std::string& input, const BusList& list,
                               const KisSettings& kis) {
    LineReader reader(input);
    RunContext context{0.025f, check_log, report, counters};
    convert_records(reader, output, list, kis, context, console);
    std::vector<std::string> lines;
    LineReader out(output.text());
    while (const auto line = out.next()) lines.emplace_back(*line);
    return lines;
  }
};

std::string gensal(int bus, const char* id) {
  return "gensal " + std::to_string(bus) + " \"GEN" + std::to_string(bus) + "    \" 13.80 \"" +
         id + "\" : #9 mva=100 5.0 0.05 0.1 3.0 0.0 1.8 1.7 0.3 0.25 0.15\n";
}

TEST(ConvertRecords, SelectionFollowsTheBusListAndTheCommandLine) {
  BusList list;
  list.add(parse_bus_line("1 \"1 \" 0 0.11 \"GEN1    \""));
  list.add(parse_bus_line("2 \"1 \" 1 0.22 \"GEN2    \""));
  list.add(parse_bus_line("3 \"1 \" 2 0.33 \"GEN3    \""));
  list.add(parse_bus_line("4 \"1 \" 3 0.44 \"GEN4    \""));
  list.add(parse_bus_line("5 \"1 \" 0 -0.1 \"GEN5    \""));
  Loop loop;
  const std::string input = gensal(1, "1 ") + gensal(2, "1 ") + gensal(3, "1 ") +
                            gensal(4, "1 ") + gensal(5, "1 ") + gensal(6, "1 ") +
                            "genrou 1 \"GEN1    \" 13.80 \"1 \" : 1\n";
  const auto lines = loop.run(input, list, {0.5f, -1.0f, -1.0f});
  ASSERT_EQ(7u, lines.size());
  // Levels 0 to 2 convert with the entry's Kis; level 3, a negative Kis, a bus not in the list
  // and a model disabled on the command line do not.
  EXPECT_TRUE(lines[0].starts_with("gentpj 1 ") && lines[0].ends_with(" 0.1100\n"));
  EXPECT_TRUE(lines[1].starts_with("gentpj 2 ") && lines[1].ends_with(" 0.2200\n"));
  EXPECT_TRUE(lines[2].starts_with("gentpj 3 ") && lines[2].ends_with(" 0.3300\n"));
  EXPECT_EQ(gensal(4, "1 "), lines[3]);
  EXPECT_EQ(gensal(5, "1 "), lines[4]);
  EXPECT_EQ(gensal(6, "1 "), lines[5]);
  EXPECT_EQ("genrou 1 \"GEN1    \" 13.80 \"1 \" : 1\n", lines[6]);
  EXPECT_EQ(3, loop.counters.read[0]);
  EXPECT_EQ(0, loop.counters.read[2]);
  EXPECT_EQ("", loop.console.text());
}

TEST(ConvertRecords, WithoutBusListTheCommandLineKisIsPassedAtCheckLevelZero) {
  Loop loop;
  const auto lines = loop.run(gensal(9, "1 ") + gensal(8, "2 "), BusList(), {0.25f, -1.0f, 0.0f});
  EXPECT_TRUE(lines[0].ends_with(" 0.50 0.2500\n"));
  EXPECT_EQ(2, loop.counters.read[0]);
}

TEST(ConvertRecords, RecordWithoutColonIsWrittenJoinedAndNotCounted) {
  Loop loop;
  const std::string input = "comment\ngenrou 7 \"G\" 1.0 \"1\" 5.0 /\n 0.03 0.4\n" + gensal(8, "1");
  const auto lines = loop.run(input, BusList(), {0.3f, 0.3f, 0.3f});
  ASSERT_EQ(3u, lines.size());
  EXPECT_EQ("genrou 7 \"G\" 1.0 \"1\" 5.0   0.03 0.4\n", lines[1]);
  EXPECT_EQ("No colon in record at line 2, not converted\n", loop.console.text());
  EXPECT_EQ(0, loop.counters.read[2]);
  EXPECT_EQ(1, loop.counters.read[0]);
  EXPECT_TRUE(lines[2].starts_with("gentpj 8 "));
}

TEST(ConvertRecords, HeaderFieldsDoNotLeakIntoTheNextRecord) {
  BusList list;
  list.add(parse_bus_line("0 1 0 0.5 GEN"));
  Loop loop;
  // The second record has no number where its bus number stands: it is bus 0, not bus 77.
  const auto lines =
      loop.run(gensal(77, "1 ") + "gensal x \"GEN\" 1.0 \"1\" : 5.0\n", list, {0.3f, 0.3f, 0.3f});
  EXPECT_EQ(gensal(77, "1 "), lines[0]);
  EXPECT_TRUE(lines[1].starts_with("gentpj x \"GEN\" 1.0 \"1\" : #9  5.000 ")) << lines[1];
  EXPECT_EQ("Name    mismatch            0, [GEN     ] [1 ] [     GEN] [1 ] \n",
            loop.console.text());
}

}  // namespace
}  // namespace tpjconv
