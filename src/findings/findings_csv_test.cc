#include "findings/findings_csv.h"

#include <cmath>
#include <limits>
#include <vector>

#include <gtest/gtest.h>

#include "findings/test_findings.h"

namespace tpjconv {
namespace {

constexpr float kInf = std::numeric_limits<float>::infinity();

constexpr auto make = &testing::make_finding;

TEST(FindingsCsv, HeaderThenOneRowPerFindingWithCrLf) {
  Sink out;
  FindingsCsv csv(out);
  EXPECT_EQ("file,line,model,bus,bus_name,base_kv,unit_id,level,code,rule,parameter,value,"
            "corrected_to\r\n",
            out.text());
  // The bundled example's lpd finding at level 0: 0.4 x 1.85 in double, rounded to 32 bits.
  csv.add(make("plant.dat", 12, Model::genrou, 102, "HILLSIDE", 18.0f, "2 ", 0, 209,
               "lpd > 0.4*ld", "lpd", 0.8f, static_cast<float>(0.4 * static_cast<double>(1.85f))));
  // Level 1: reported, not corrected.
  csv.add(make("plant.dat", 30, Model::gensal, 301, "RIVERTON", 13.8f, "1 ", 1, 113,
               "ll > 0.95*lppd", "ll", 0.25f, std::nullopt));
  // Padding blanks go, blanks inside stay; a 32-bit value is written as its own shortest
  // decimal, not as the double it widens to (0.1 is 0.100000001490116... in double).
  csv.add(make("plant.dat", 44, Model::gentpf, 401, "  LAKE VIEW ", 20.0f, " 1", 0, 307,
               "tppqo < tcmin", "tppqo", 0.1f, 0.025f));
  EXPECT_EQ("file,line,model,bus,bus_name,base_kv,unit_id,level,code,rule,parameter,value,"
            "corrected_to\r\n"
            "plant.dat,12,genrou,102,HILLSIDE,18,2,0,209,lpd > 0.4*ld,lpd,0.8,0.74\r\n"
            "plant.dat,30,gensal,301,RIVERTON,13.8,1,1,113,ll > 0.95*lppd,ll,0.25,\r\n"
            "plant.dat,44,gentpf,401,LAKE VIEW,20,1,0,307,tppqo < tcmin,tppqo,0.1,0.025\r\n",
            out.text());
}

TEST(FindingsCsv, QuotesOnlyFieldsThatNeedThemAndWritesUtf8) {
  std::string row;
  // A comma, quotes and a line end: those fields in quotes, their quotes doubled.
  append_findings_csv_row(row, make("my,plant.dat", 7, Model::gentpf, 5, " A \"B\" ", 0.0f,
                                    "1,", 0, 307, "x\r\ny", "lq", kInf, std::nullopt));
  EXPECT_EQ("\"my,plant.dat\",7,gentpf,5,\"A \"\"B\"\"\",0,\"1,\",0,307,\"x\r\ny\",lq,inf,\r\n",
            row);
  row.clear();
  // A Latin-1 name, a code below 100, a name of blanks, values that are no finite numbers or
  // need an exponent, and a correction to -0.
  append_findings_csv_row(row, make("d.dat", 2000000001, Model::genrou, -1, "\xC9" "CLAIR",
                                    1e-5f, "    ", 1, 9, "lppq > 0.9*lpq ", "lppq", -kInf,
                                    -0.0f));
  EXPECT_EQ("d.dat,2000000001,genrou,-1,\xC3\x89" "CLAIR,1e-05,,1,009,lppq > 0.9*lpq,lppq,-inf,"
            "-0\r\n",
            row);
  row.clear();
  append_findings_csv_row(row, make("\xE2\x82\xAC.dat", 1, Model::gensal, 7, "\"", 16777217.0f,
                                    "\"\"", 0, 101, "r\n", "\xFF", std::nanf(""), kInf));
  EXPECT_EQ("\xE2\x82\xAC.dat,1,gensal,7,\"\"\"\",16777216,\"\"\"\"\"\",0,101,\"r\n\",\xC3\xBF,"
            "nan,inf\r\n",
            row);
  row.clear();
  // Fields of eight bytes and more, with the byte that decides within their first eight.
  append_findings_csv_row(row, make("plants, north.dat", 1, Model::gensal, 7, "HILL \"SIDE\" NORTH",
                                    1.0f, "UNIT\nNO 12", 0, 101, "first\rsecond", "\xC9TAT-LONG",
                                    1.0f, std::nullopt));
  EXPECT_EQ("\"plants, north.dat\",1,gensal,7,\"HILL \"\"SIDE\"\" NORTH\",1,\"UNIT\nNO 12\",0,101,"
            "\"first\rsecond\",\xC3\x89TAT-LONG,1,\r\n",
            row);
}

TEST(FindingsCsv, ConsecutiveFindingsOfRecordsThatDifferInOneField) {
  // The writer makes the fields of a record once for its findings; a finding of the next record
  // must not take them, however little the records differ.
  const Finding first = make("a.dat", 12, Model::genrou, 102, "HILLSIDE", 18.0f, "2", 0, 209,
                             "lpd > 0.4*ld", "lpd", 0.8f, 0.74f);
  std::vector<Finding> findings(2, first);
  const auto then = [&](auto change) {
    Finding next = findings.back();
    change(next);
    findings.push_back(next);
    findings.push_back(next);
  };
  then([](Finding& f) { f.file = std::string("b.dat"); });
  then([](Finding& f) { f.line = 13; });
  then([](Finding& f) { f.model = Model::gensal; });
  then([](Finding& f) { f.bus = 103; });
  then([](Finding& f) { f.bus_name.back() = 'F'; });
  then([](Finding& f) { f.base_kv = -0.0f; });
  then([](Finding& f) { f.base_kv = 0.0f; });
  then([](Finding& f) { f.unit_id = std::string(1, '3'); });
  then([](Finding& f) { f.level = 1; });
  Sink out;
  FindingsCsv csv(out);
  std::string expected(findings_csv_header());
  for (const Finding& finding : findings) {
    csv.add(finding);
    append_findings_csv_row(expected, finding);
  }
  EXPECT_EQ(expected, out.text());
  EXPECT_NE(std::string::npos, out.text().find("b.dat,13,gensal,103,HILLSIDF,0,3,1,209"));
  EXPECT_NE(std::string::npos, out.text().find("b.dat,13,gensal,103,HILLSIDF,-0,2,0,209"));
}

TEST(FindingsCsv, ARowInABufferWithRoomAllocatesNothing) {
  std::string buffer;
  buffer.reserve(4096);
  const char* const data = buffer.data();
  for (int i = 0; i < 20; ++i) {
    append_findings_csv_row(buffer, make("big,plant.dat", 1000 + i, Model::genrou, 102,
                                         "HILL \"SIDE\"", 18.0f, "2 ", 0, 209, "lpd > 0.4*ld",
                                         "lpd", 0.8f, 0.74f));
  }
  EXPECT_EQ(data, buffer.data());
  EXPECT_LT(buffer.size(), 4096u);
}

}  // namespace
}  // namespace tpjconv
