#include "conversion/bus_list.h"

#include <cmath>
#include <limits>
#include <optional>
#include <string>

#include <gtest/gtest.h>

#include "console_bus_list.h"
#include "text/sink.h"

namespace tpjconv {
namespace {

using TestList = testing::ConsoleBusList;

std::string name_of(const BusEntry& e) { return std::string(e.bus_name.data(), 8); }
std::string id_of(const BusEntry& e) { return std::string(e.unit_id.data(), 2); }

TEST(ParseBusLine, FieldsAndTheEightCharacterNameWindow) {
  const BusEntry e = parse_bus_line("1234, \"1 \", 1, 0.05, \"BUS 12  \"\n");
  EXPECT_EQ(1234, e.bus_number);
  EXPECT_EQ("1 ", id_of(e));
  EXPECT_EQ(1, e.check_level);
  EXPECT_EQ(0.05f, e.kis);
  EXPECT_EQ("BUS 12  ", name_of(e));  // the field stops at the blank, the window goes on
  // The line end stays with the last field; the comma that ended the field, tabs and whatever
  // lies past the end of the text read as blanks.
  EXPECT_EQ("1\n", id_of(parse_bus_line("1234 1\n")));
  EXPECT_EQ("BUSNAME\n", name_of(parse_bus_line("7\t2\t1\t0.3\tBUSNAME\n")));
  EXPECT_EQ("A B C\"\n ", name_of(parse_bus_line("1,1,0,0.5,\"A,B\tC\"\n")));
  EXPECT_EQ("AB      ", name_of(parse_bus_line("1 1 0 0.5 AB")));
}

TEST(ParseBusLine, MissingAndUnreadableFieldsKeepTheirStartingValues) {
  const BusEntry empty = parse_bus_line("\n");
  EXPECT_EQ(-1, empty.bus_number);
  EXPECT_EQ(std::string("\0 ", 2), id_of(empty));  // matches no record
  const BusEntry bad = parse_bus_line("99999999999 1 x y\n");
  EXPECT_EQ(-1, bad.bus_number);
  EXPECT_EQ(0, bad.check_level);
  EXPECT_EQ(0.0f, bad.kis);
  EXPECT_EQ(std::string(8, '\0'), name_of(bad));
}

TEST(BusList, LoadSkipsTheHeadingAndMakesOneEntryPerLine) {
  const std::string long_line = std::string(120, ' ') + "17 1 0 0.2 NAME\n";
  const std::string text = "bus id level kis name\n\n" + long_line + "18 1 0 0.2 NAME";
  LineReader input(text);
  Sink console;
  TestList list = TestList::load(input, "bus.txt", console);
  EXPECT_EQ(3u, list.size());
  LineReader heading_only(std::string_view("heading\n"));
  EXPECT_TRUE(TestList::load(heading_only, "bus.txt", console).empty());
  EXPECT_EQ("", console.text());
}

TEST(BusList, LookupFirstMatchWinsAndWarnsOnNames) {
  TestList list;
  list.add(parse_bus_line("1234 \"1 \" 1 0.2 \"BUS 12  \"\n"));
  list.add(parse_bus_line("1234 \"2 \" 0 0.4 \"OTHER   \"\n"));
  list.add(parse_bus_line("1234 \"1 \" 0 0.9 \"BUS 12  \"\n"));
  Sink console;

  BusSelection s = list.lookup(1234, "1 ", "BUS 12  ", console);
  EXPECT_EQ(0.2f, s.kis);
  EXPECT_EQ(1, s.check_level);
  EXPECT_EQ("", console.text());

  s = list.lookup(1234, "2 ", "BUS 12", console);
  EXPECT_EQ(0.4f, s.kis);
  EXPECT_EQ("Name    mismatch         1234, [OTHER   ] [2 ] [  BUS 12] [2 ] \n", console.text());

  // Unit 3 is not there: the warning names the last entry with the bus number.
  Sink console2;
  s = list.lookup(1234, "3 ", "BUS 12  ", console2);
  EXPECT_EQ(-1.0f, s.kis);
  EXPECT_EQ(-1, s.check_level);
  EXPECT_EQ("Name/ID mismatch         1234, [BUS 12  ] [1 ] [BUS 12  ] [3 ] \n", console2.text());

  Sink console3;
  s = list.lookup(99, "1 ", "X", console3);
  EXPECT_EQ(-1.0f, s.kis);
  EXPECT_EQ("", console3.text());

  Sink console4;
  s = TestList().lookup(99, "1 ", "X", console4);
  EXPECT_EQ(0.0f, s.kis);
  EXPECT_EQ(0, s.check_level);
}

TEST(BusList, EntryWithoutNameMatchesOnlyAnEmptyName) {
  TestList list;
  list.add(parse_bus_line("5 1 \n"));
  list.add(parse_bus_line("6 1\n"));  // unit ID "1" and the line end: matches no record
  Sink console;
  EXPECT_EQ(0.0f, list.lookup(5, "1 ", "", console).kis);
  EXPECT_EQ("", console.text());
  list.lookup(5, "1 ", "GEN5", console);
  list.lookup(6, "1 ", "GEN6", console);
  EXPECT_EQ("Name    mismatch            5, [        ] [1 ] [    GEN5] [1 ] \n"
            "Name/ID mismatch            6, [        ] [1\n] [    GEN6] [1 ] \n",
            console.text());
}

TEST(BusList, UnitIdsCompareWithoutTheirBlanks) {
  TestList list;
  list.add(parse_bus_line("17 1 0 0.2 \"G17     \"\n"));     // written 1
  list.add(parse_bus_line("18 \" 2\" 1 0.4 \"G18     \"\n"));  // written " 2": the quote ends it
  list.add(parse_bus_line("19 12 0 0.6 \"G19     \"\n"));
  Sink console;
  EXPECT_EQ(0.2f, list.lookup(17, " 1", "G17     ", console).kis);
  EXPECT_EQ(0.2f, list.lookup(17, "1 ", "G17     ", console).kis);
  EXPECT_EQ(0.4f, list.lookup(18, " 2", "G18     ", console).kis);
  EXPECT_EQ(0.6f, list.lookup(19, "12", "G19     ", console).kis);
  EXPECT_EQ("", console.text());
  // Two characters still count: 12 is not 1, and 1 2 is neither.
  EXPECT_EQ(-1.0f, list.lookup(19, "1 ", "G19     ", console).kis);
  EXPECT_EQ(-1.0f, list.lookup(17, "12", "G17     ", console).kis);
  // A line without unit ID matches no record, not even one whose ID is blank.
  TestList no_id;
  no_id.add(parse_bus_line("20\n"));
  EXPECT_EQ(-1.0f, no_id.lookup(20, "  ", "", console).kis);
}

TEST(BusList, LoadingReportsFieldsThatAreNoNumbersAndEntriesListedTwice) {
  const std::string text =
      "heading\n"
      "x17 1 0 0.2 NAME\n"
      "17 1 one 0.2 NAME\n"
      "17 \" 1\" 1 zero NAME\n"
      "18 1 \n"
      "\n";
  LineReader input(text);
  Sink console;
  TestList list = TestList::load(input, "bus.txt", console);
  EXPECT_EQ(5u, list.size());
  EXPECT_EQ(
      "tpjconv: bus.txt:2: bus number \"x17\" is not a number; -1 used\n"
      "tpjconv: bus.txt:3: check level \"one\" is not a number; 0 used\n"
      "tpjconv: bus.txt:4: Kis \"zero\" is not a number; 0 used\n"
      "tpjconv: bus.txt:4: bus 17 unit ID \"1 \" is listed again; line 3 is used\n",
      console.text());
  // The first entry of bus 17 is used; the entry of bus 18 is not: it is reported, the line
  // without a bus number, the repeated entry and the empty line are not.
  Sink lookups;
  EXPECT_EQ(0, list.lookup(17, "1 ", "NAME\n", lookups).check_level);
  Sink unused;
  list.report_unused("bus.txt", unused);
  EXPECT_EQ("tpjconv: bus.txt:5: bus 18 unit ID \"1 \" matched no record\n", unused.text());
}

// A field read as a number only in part, or as one that is not finite, is said once, with the
// value used, which is the value of a field read without a word. The line's own line end (LF or
// CR LF) is no text; a carriage return before it, or at the end of the file, is.
TEST(BusList, NumbersThatAreNotWhollyNumbersAreSaidOnceWithTheValueUsed) {
  const std::string text =
      "heading\n"
      "102x, \"2 \", 0, 0.30, \"HILLSIDE\"\n"
      " 301, \"1 \", 0x1, 0.25abc, \"RIVERTON\"\n"
      "401 1 1e0 1e39 LAKEVIEW\n"
      "101 1 1 nan HILLSIDE\n"
      "102 3 +2 -0.5 NAME\n"
      "103 1 0 0.3\r\n"
      "104 1 2\r\n"
      "105 1 0 0x1p-2 NAME\n"
      "106 1 0 0.3\r\r\n"
      "107\v 1 0 .5e-1 NAME\n"
      "108 1 1 -1e400 NAME\n"
      "109 1 2\r";
  LineReader input(text);
  Sink console;
  TestList list = TestList::load(input, "bus.txt", console);
  EXPECT_EQ(
      "tpjconv: bus.txt:2: bus number \"102x\" is not wholly a number; 102 used\n"
      "tpjconv: bus.txt:3: check level \"0x1\" is not wholly a number; 0 used\n"
      "tpjconv: bus.txt:3: Kis \"0.25abc\" is not wholly a number; 0.25 used\n"
      "tpjconv: bus.txt:4: check level \"1e0\" is not wholly a number; 1 used\n"
      "tpjconv: bus.txt:4: Kis \"1e39\" is not a finite 32-bit number; inf used\n"
      "tpjconv: bus.txt:5: Kis \"nan\" is not a finite 32-bit number; nan used\n"
      "tpjconv: bus.txt:9: Kis \"0x1p-2\" is not wholly a number; 0.25 used\n"
      "tpjconv: bus.txt:10: Kis \"0.3\\r\" is not wholly a number; 0.3 used\n"
      "tpjconv: bus.txt:11: bus number \"107\\x0b\" is not wholly a number; 107 used\n"
      "tpjconv: bus.txt:12: Kis \"-1e400\" is not a finite 32-bit number; -inf used\n"
      "tpjconv: bus.txt:13: check level \"2\\r\" is not wholly a number; 2 used\n",
      console.text());
  Sink lookups;
  const auto at = [&](int bus, std::string_view id) { return list.lookup(bus, id, "", lookups); };
  EXPECT_EQ(0.3f, at(102, "2 ").kis);
  EXPECT_EQ(0, at(301, "1 ").check_level);
  EXPECT_EQ(0.25f, at(301, "1 ").kis);
  EXPECT_EQ(1, at(401, "1 ").check_level);
  EXPECT_EQ(std::numeric_limits<float>::infinity(), at(401, "1 ").kis);
  EXPECT_TRUE(std::isnan(at(101, "1 ").kis));
  EXPECT_EQ(2, at(102, "3 ").check_level);
  EXPECT_EQ(-0.5f, at(102, "3 ").kis);
  EXPECT_EQ(0.3f, at(103, "1 ").kis);
  EXPECT_EQ(2, at(104, "1 ").check_level);
  EXPECT_EQ(0.25f, at(105, "1 ").kis);
  EXPECT_EQ(0.3f, at(106, "1 ").kis);
  EXPECT_EQ(0.05f, at(107, "1 ").kis);
  EXPECT_EQ(-std::numeric_limits<float>::infinity(), at(108, "1 ").kis);
  EXPECT_EQ(2, at(109, "1 ").check_level);
  // The fields read as they are noted.
  const BusLine odd = read_bus_line(" 301, \"1 \", 0x1, 0.25abc, \"RIVERTON\"\n");
  EXPECT_EQ("0x1", odd.odd_check_level.text);
  EXPECT_EQ(NumberFit::not_wholly, odd.odd_kis.fit);
  EXPECT_EQ("0.25", odd.odd_kis.value);
  EXPECT_TRUE(odd.bad_kis.empty());
  EXPECT_TRUE(read_bus_line("5 1 2 0.3\n").odd_kis.text.empty());
}

// Fields of digits, with a point or not, are wholly numbers at any length: those of nine digits
// and fewer, and of twenty characters and fewer, are known to be so at sight; the others are read
// again. A second point is not wholly a number, however plain the rest.
TEST(BusList, PlainNumbersOfAnyLengthAreWhollyNumbers) {
  const std::string text =
      "heading\n"
      "123456789 1 0 0.30 NAME\n"
      "2147483647 1 000000001 99999999999999999999 NAME\n"
      "0000000000007 1 1 123456789012345678901.5 NAME\n"
      "8 1 0 5. NAME\n"
      "9 1 0 .5 NAME\n"
      "10 1 0 0.0000000000000000000001\n"
      "11 1 0 1.2.3 NAME\n"
      "12 1 1 7\n";
  LineReader input(text);
  Sink console;
  TestList list = TestList::load(input, "bus.txt", console);
  EXPECT_EQ("tpjconv: bus.txt:8: Kis \"1.2.3\" is not wholly a number; 1.2 used\n", console.text());
  Sink lookups;
  const auto at = [&](int bus) { return list.lookup(bus, "1 ", "", lookups); };
  EXPECT_EQ(0.3f, at(123456789).kis);
  EXPECT_EQ(1e20f, at(2147483647).kis);
  EXPECT_EQ(1, at(2147483647).check_level);
  EXPECT_EQ(1, at(7).check_level);
  EXPECT_EQ(5.0f, at(8).kis);
  EXPECT_EQ(0.5f, at(9).kis);
  EXPECT_EQ(1e-22f, at(10).kis);
  EXPECT_EQ(1.2f, at(11).kis);
  EXPECT_EQ(7.0f, at(12).kis);
}

TEST(BusList, ABusNumberThatIsNoNumberIsBusMinusOne) {
  // A carriage return before other fields is no line end: it is a field that is no number.
  LineReader input(std::string_view("heading\nabc 1 0 0.3 NAME\n\r\t2 0 0.4 NAME\n"));
  Sink console;
  TestList list = TestList::load(input, "bus.txt", console);
  EXPECT_EQ(
      "tpjconv: bus.txt:2: bus number \"abc\" is not a number; -1 used\n"
      "tpjconv: bus.txt:3: bus number \"\\r\" is not a number; -1 used\n",
      console.text());
  EXPECT_TRUE(list.names_a_generator());
  EXPECT_EQ(0.3f, list.lookup(-1, "1 ", "NAME", console).kis);
  Sink unused;
  list.report_unused("bus.txt", unused);
  EXPECT_EQ("", unused.text());  // both were reported while loading
}

TEST(BusList, UnusedEntriesAreShownTenByLineThenCounted) {
  std::string text = "heading\n";
  for (int bus = 1; bus <= 13; ++bus) text += std::to_string(bus) + " 1 0 0.3 NAME\n";
  LineReader input(text);
  Sink console;
  TestList list = TestList::load(input, "b.txt", console);
  list.lookup(4, "1 ", "NAME", console);
  Sink unused;
  list.report_unused("b.txt", unused);
  const std::string shown = unused.text();
  EXPECT_TRUE(shown.starts_with("tpjconv: b.txt:2: bus 1 unit ID \"1 \" matched no record\n"));
  EXPECT_EQ(std::string::npos, shown.find("bus 4 "));
  EXPECT_TRUE(shown.ends_with("tpjconv: b.txt:12: bus 11 unit ID \"1 \" matched no record\n"
                              "tpjconv: b.txt: 2 more entries matched no record\n"))
      << shown;
}

// The index grows as entries come: at 512 entries and again at 1024, 2048, ... Every entry must
// still be found after each growth, each with its own Kis and check level, and a bus number the
// list lacks must still miss. Sizes on both sides of the first growth, and one far beyond.
TEST(BusList, EveryEntryIsFoundAfterTheIndexGrows) {
  // Eight characters: "G" and the entry's number, padded with blanks.
  const auto name_of = [](int i) {
    std::string name(1, 'G');
    name += std::to_string(i);
    name.resize(8, ' ');
    return name;
  };
  for (const int entries : {511, 512, 513, 100000}) {
    SCOPED_TRACE(entries);
    std::string text = "heading\n";
    for (int i = 0; i < entries; ++i) {
      // Bus numbers spread out, so that neighbouring slots hold unrelated keys; unit IDs 1 and 2
      // alternate within a bus.
      text += std::to_string(1000 + i / 2 * 7) + " \"" + std::to_string(1 + i % 2) + " \" " +
              std::to_string(i % 3) + " " + std::to_string(i % 1000) + ".5 \"" + name_of(i) +
              "\"\n";
    }
    LineReader input(text);
    Sink console;
    TestList list = TestList::load(input, "bus.txt", console);
    ASSERT_EQ(static_cast<std::size_t>(entries), list.size());
    EXPECT_TRUE(console.text().empty()) << console.text().substr(0, 300);
    int wrong = 0;
    for (int i = 0; i < entries; ++i) {
      const int bus = 1000 + i / 2 * 7;
      const std::string id = std::to_string(1 + i % 2) + " ";
      const BusSelection s = list.lookup(bus, id, name_of(i), console);
      wrong += s.kis != static_cast<float>(i % 1000) + 0.5f || s.check_level != i % 3 ||
               !list.lists_bus(bus);
    }
    EXPECT_EQ(0, wrong) << "entries not found after the index grew";
    // Every name matched, so no mismatch line either.
    EXPECT_TRUE(console.text().empty()) << console.text().substr(0, 300);
    EXPECT_FALSE(list.lists_bus(999));
    EXPECT_EQ(-1, list.lookup(1003, "1 ", "G", console).check_level);  // between two buses
    Sink unused;
    list.report_unused("bus.txt", unused);
    EXPECT_EQ("", unused.text());
  }
}

// Lines that end before their fields do, and a lookup without a unit ID.
TEST(BusList, ShortLinesAndLookupsWithoutAUnitId) {
  EXPECT_EQ(-1, parse_bus_line("").bus_number);
  EXPECT_EQ(-1, parse_bus_line("   ").bus_number);
  const BusLine kis_at_end = read_bus_line("5 1 2 \n");
  EXPECT_EQ(2, kis_at_end.entry.check_level);
  EXPECT_EQ("", kis_at_end.bad_kis);  // the line end alone is no Kis
  EXPECT_EQ(0.0f, kis_at_end.entry.kis);
  const BusLine level_at_end = read_bus_line("5 1 \r\n");
  EXPECT_EQ("", level_at_end.bad_check_level);
  // A name with a zero byte, a tab and a comma in its eight characters reads them as blanks.
  EXPECT_EQ("A B  C\n ", name_of(parse_bus_line(std::string("5 1 0 0.3 A\0B\t,C\n", 18))));
  TestList list;
  list.add(parse_bus_line("5 1 0 0.3 \"GEN5    \"\n"));
  Sink console;
  EXPECT_EQ(-1, list.lookup(5, "", "GEN5    ", console).check_level);
  EXPECT_EQ(-1, list.lookup(5, std::string_view("\0 ", 2), "GEN5    ", console).check_level);
  EXPECT_EQ(0, list.lookup(5, "1", "GEN5    ", console).check_level);
}

TEST(BusList, OneUnusedEntryAfterTheTenShownIsOneMoreEntry) {
  std::string text = "heading\n";
  for (int bus = 1; bus <= 11; ++bus) text += std::to_string(bus) + " 1 0 0.3 NAME\n";
  LineReader input(text);
  Sink console;
  TestList list = TestList::load(input, "b.txt", console);
  Sink unused;
  list.report_unused("b.txt", unused);
  EXPECT_TRUE(unused.text().ends_with("tpjconv: b.txt:11: bus 10 unit ID \"1 \" matched no record\n"
                                      "tpjconv: b.txt: 1 more entry matched no record\n"))
      << unused.text();
}

}  // namespace
}  // namespace tpjconv
