// The findings file and the page take the findings either as Finding values (through an
// observer) or straight from the conversion's events: the bytes are the same either way.
#include <algorithm>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "findings/findings_csv.h"
#include "findings/review_page.h"
#include "findings/test_findings.h"
#include "library/conversion.h"

namespace tpjconv {
namespace {

// Records of the three models that break rules, under names and unit IDs that come back after
// others, that need quoting or escaping, or are no UTF-8, at check levels 0 and 1.
std::string input() {
  const std::vector<std::string> names = {"HILLSIDE", "RIVERTON", "O'HARE&1", "\xC9" "CLAIR",
                                          "<script>", "LAKEVIEW"};
  const std::vector<std::string> units = {"1 ", "2 ", "3 ", "1A", " 9"};
  std::string text = "# generated\n";
  for (int i = 0; i < 90; ++i) {
    std::string header = std::to_string(100 + i % 30);
    header += " \"";
    header += names[(i * 5 / 3) % names.size()];
    header += "\"  18.00 \"";
    header += units[i % units.size()];
    header += "\" : #9 ";
    switch (i % 3) {
      case 0:
        text += "genrou     " + header +
                "mva=250.0 7.50 0.020 0.80 0.060 4.20 0.0 /\n  1.85 1.75 0.80 0.55 0.21 0.16 "
                "0.10 0.40 0.0025 0.0 0.0\n";
        break;
      case 1:
        // lpd above 0.6 * ld, then below 0.125: one code, two rule texts.
        text += "gensal     " + header + "mva=120.0 5.60 0.050 0.080 3.10 0.0 1.00 0.65 " +
                (i % 2 == 0 ? "0.70" : "0.10") + " 0.24 0.18 0.18 0.52 0.0030 0.0 0.0\n";
        break;
      default:
        text += "gentpf     " + header +
                "mva=180.0 6.50 0.030 0.60 0.020 5.00 0.0 2.10 2.00 0.25 0.45 0.19 0.19 0.14 "
                "0.09 0.35 0.0020 0.0 0.0\n";
    }
    text += "exst1      " + header + "0.02 99.0 -99.0 1.0 1.0 200.0 0.02 5.0 -5.0 0.0 0.0 0.0\n";
  }
  return text;
}

// Levels 0 and 1 for some buses, the others left out.
std::string bus_text() {
  std::string text = " Bus   ID    Level  Kis    Name\n";
  for (int bus = 100; bus < 130; bus += 2) {
    for (const char* unit : {"1 ", "2 ", "3 ", "1A", " 9"}) {
      text += ' ';
      text += std::to_string(bus);
      text += ", \"";
      text += unit;
      text += "\", ";
      text += std::to_string(bus % 4 / 2);
      text += ", 0.30\n";
    }
  }
  return text;
}

struct Written {
  std::string csv;
  std::string page;
};

// Hands the findings to the writers as Finding values.
class ToWriters final : public Observer {
 public:
  ToWriters(FindingsCsv& csv, ReviewPage& page) : csv_(csv), page_(page) {}
  void finding(const Finding& finding) override {
    csv_.add(finding);
    page_.add(finding);
  }

 private:
  FindingsCsv& csv_;
  ReviewPage& page_;
};

Written convert(bool from_events, const BusList* bus_list) {
  const std::string text = input();
  Sink csv_out, page_out, output, check_log;
  FindingsCsv csv(csv_out);
  // Small parts and few remembered texts, so that the page writes several parts and forgets
  // texts on the way.
  ReviewPage page(page_out, testing::plant_run(), "t", ReviewPageLimits{256, 4});
  ToWriters to_writers(csv, page);
  Streams streams;
  streams.output = &output;
  streams.check_log = &check_log;
  if (from_events) streams.listeners = {&csv, &page};
  Options options;
  options.kis = {0.3f, 0.3f, 0.3f};
  StringSource source(text);
  const Result<Totals> totals = convert_stream(source, "plants, east.dat", bus_list, options,
                                               streams, from_events ? nullptr : &to_writers);
  EXPECT_TRUE(totals.ok());
  if (totals) page.finish(*totals, Outcome{0, "converted"});
  return {csv_out.text(), page_out.text()};
}

TEST(FindingsFromEvents, TheSameBytesAsFromFindingValues) {
  const Result<BusList> list = BusList::from_text(bus_text(), "plant.bus", nullptr);
  ASSERT_TRUE(list.ok());
  for (const BusList* bus_list : {static_cast<const BusList*>(nullptr), &*list}) {
    const Written values = convert(false, bus_list);
    const Written events = convert(true, bus_list);
    // Findings on most records, at level 0 and, with the list, at level 1.
    const auto rows = std::count(values.csv.begin(), values.csv.end(), '\n') - 1;
    EXPECT_GE(rows, bus_list != nullptr ? 30 : 90);
    if (bus_list != nullptr) {
      EXPECT_NE(std::string::npos, values.csv.find(",1,209,")) << values.csv;
    }
    EXPECT_NE(std::string::npos, values.csv.find("\"plants, east.dat\",1"));
    if (bus_list == nullptr) {
      EXPECT_NE(std::string::npos, values.csv.find(",109,lpd > 0.6*ld,lpd,0.7,"));
      EXPECT_NE(std::string::npos, values.csv.find(",109,lpd < 0.125,lpd,0.1,"));
    }
    EXPECT_NE(std::string::npos, values.page.find("O'HARE\\u00261"));
    EXPECT_NE(std::string::npos, values.page.find("\\u003cscript\\u003e"));
    EXPECT_NE(std::string::npos, values.csv.find("\xC3\x89" "CLAIR"));
    EXPECT_NE(std::string::npos, values.page.find("class=\"findings-part\""));
    // Each row names the record at its line: its bus number and unit ID, read from the input.
    std::vector<std::string> lines;
    const std::string text = input();
    for (std::size_t at = 0; at < text.size();) {
      const std::size_t end = text.find('\n', at);
      lines.push_back(text.substr(at, end - at));
      at = end + 1;
    }
    std::size_t checked = 0;
    for (std::size_t at = values.csv.find('\n') + 1; at < values.csv.size();) {
      const std::size_t end = values.csv.find('\n', at);
      const std::string row = values.csv.substr(at, end - at);
      at = end + 1;
      // "plants, east.dat",LINE,MODEL,BUS,NAME,KV,UNIT,...
      std::vector<std::string> fields;
      std::size_t from = row.find("\",") + 2;
      for (int f = 0; f < 6; ++f) {
        const std::size_t comma = row.find(',', from);
        fields.push_back(row.substr(from, comma - from));
        from = comma + 1;
      }
      const std::string& line = lines.at(std::stoul(fields[0]) - 1);
      EXPECT_EQ(0u, line.find(fields[1])) << row;
      EXPECT_NE(std::string::npos, line.find(" " + fields[2] + " \"")) << row;
      const std::size_t unit = line.find("18.00 \"") + 7;
      ASSERT_NE(6u, unit);
      std::string unit_id = line.substr(unit, 2);
      unit_id.erase(0, unit_id.find_first_not_of(' '));
      unit_id.erase(unit_id.find_last_not_of(' ') + 1);
      EXPECT_EQ(unit_id, fields[5]) << row;
      ++checked;
    }
    EXPECT_EQ(static_cast<std::size_t>(rows), checked);
    EXPECT_EQ(values.csv, events.csv);
    EXPECT_EQ(values.page, events.page);
  }
}

}  // namespace
}  // namespace tpjconv
