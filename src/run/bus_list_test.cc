#include "run/bus_list.h"

#include <string>

#include <gtest/gtest.h>

namespace tpjconv {
namespace {

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
  const BusList list = BusList::load(input, "bus.txt", console);
  EXPECT_EQ(3u, list.size());
  LineReader heading_only(std::string_view("heading\n"));
  EXPECT_TRUE(BusList::load(heading_only, "bus.txt", console).empty());
  EXPECT_EQ("", console.text());
}

TEST(BusList, LookupFirstMatchWinsAndWarnsOnNames) {
  BusList list;
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
  s = BusList().lookup(99, "1 ", "X", console4);
  EXPECT_EQ(0.0f, s.kis);
  EXPECT_EQ(0, s.check_level);
}

TEST(BusList, EntryWithoutNameMatchesOnlyAnEmptyName) {
  BusList list;
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

}  // namespace
}  // namespace tpjconv
