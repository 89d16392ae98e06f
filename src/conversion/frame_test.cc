#include "conversion/frame.h"

#include <string>

#include <gtest/gtest.h>

#include "findings/check_log.h"

namespace tpjconv {
namespace {

using enum Position;

constexpr char kLabel[] = "gensal, 1234        , \"BUSNAME \", 13.80   , \"1 \"";

WorkingValues clean_machine(float mva_base) {
  //       mbase     tpdo  tppdo  tpqo  tppqo h     d     ld    lq    lpd   lpq
  return {mva_base, 5.0f, 0.05f, 0.0f, 0.1f, 3.0f, 0.0f, 1.8f, 1.7f, 0.3f, 1.7f,
          // lppd lppq   ll     s1    s12   ra      rcomp xcomp accel
          0.25f, 0.25f, 0.15f, 0.1f, 0.3f, 0.003f, 0.0f, 0.0f, 0.5f};
}

struct Harness {
  Sink check_log, report;
  CheckLog log{check_log};
  ModelCounters counters;
  RunContext run{0.025f, &report, counters, {&log}};
  ParamTable table{};
  std::string record = "gensal 1234 \"BUSNAME \" 13.80 \"1 \" : #9 mva=100 /\r\n 5.0 0.05\r\n";
  std::size_t header_length = record.find(':') + 1;
};

// Zero and minus zero compare equal but print apart: each column shows its own sign, and the
// line ends as for an unchanged value. Found by fuzzing with Kis -0.
TEST(Conversion, ZeroAndMinusZeroEachPrintTheirOwnSign) {
  Harness t;
  WorkingValues start = clean_machine(100.0f);
  start[+d] = -0.0f;
  Conversion c(Model::gensal, t.record, t.table, t.header_length, -0.0, 0, t.run, start);
  c.rule(true, 101, ",d set to 0", d, 0.0);
  c.finish();
  const std::string& report = t.report.text();
  EXPECT_NE(std::string::npos, report.find("\n    d,   -0.0000  ,    0.0000\n")) << report;
  EXPECT_NE(std::string::npos, report.find("\n  kis,    0.0000  ,   -0.0000\n")) << report;
  EXPECT_TRUE(t.record.ends_with(" 0.50 -0.0000\r\n")) << t.record;
}

// A check-log line longer than the room kept for it on the stack is written whole.
TEST(Conversion, ALongCheckLogLineIsWrittenWhole) {
  Harness t;
  const std::string text = "," + std::string(600, 'x');
  Conversion c(Model::gentpf, t.record, t.table, t.header_length, 0.3, 1, t.run,
               clean_machine(100.0f));
  c.rule(true, 109, text, lpd);
  c.finish();
  EXPECT_EQ(std::string(kCheckLogHeader) + kLabel + " ,109,  " + text + "\n", t.check_log.text());
}

TEST(Conversion, CorrectsLogsAndReportsAtCheckLevelZero) {
  Harness t;
  Conversion c(Model::gentpf, t.record, t.table, t.header_length, 0.3, 0, t.run,
               clean_machine(100.0f));
  EXPECT_EQ(kLabel, c.label());
  c.rule(true, 109, ",lpd > 0.6*ld", lpd, 0.2);
  EXPECT_EQ(0.2f, c[lpd]);  // stored rounded to 32 bits
  c.rule(true, 109, ",lpd < 0.125", lpd, 0.125);
  c.rule(false, 116, ",Improper Ra", ra, 0.0);
  c.rule(true, 208, ",suspect high Ld", lq);
  c.finish();

  EXPECT_EQ(std::string(kCheckLogHeader) + kLabel + " ,109,  ,lpd > 0.6*ld\n" +
                kLabel + " ,109,  ,lpd > 0.6*ld,lpd < 0.125\n" +
                kLabel + " ,208,  ,suspect high Ld\n",
            t.check_log.text());
  // One line in place of the continuation, two blanks before accel, the CR LF kept.
  EXPECT_EQ("gentpj 1234 \"BUSNAME \" 13.80 \"1 \" : #9 mva=100.000   5.000 0.050 0.0000 0.1000  "
            "3.000 0.00 1.8000 1.7000 0.1250 1.7000 0.2500 0.2500 0.1500 0.1000 0.3000 0.0030  "
            "0.0000  0.0000  0.50 0.3000\r\n",
            t.record);
  EXPECT_EQ(std::string("\n") + kLabel + "\n" +
                "         ,gentpf      ,gentpj\n"
                "mbase,    100.00  ,    100.00\n"
                " tpdo,    5.0000  ,    5.0000\n"
                "tppdo,    0.0500  ,    0.0500\n"
                " tpqo,    0.0000  ,    0.0000\n"
                "tppqo,    0.1000  ,    0.1000\n"
                "    h,    3.0000  ,    3.0000\n"
                "    d,    0.0000  ,    0.0000\n"
                "   ld,    1.8000  ,    1.8000\n"
                "   lq,    1.7000  ,    1.7000\n"
                "  lpd,    0.3000  ,    0.1250  , ,lpd > 0.6*ld,lpd < 0.125\n"
                "  lpq,    1.7000  ,    1.7000\n"
                " lppd,    0.2500  ,    0.2500\n"
                " lppq,    0.2500  ,    0.2500\n"
                "   ll,    0.1500  ,    0.1500\n"
                "   s1,    0.1000  ,    0.1000\n"
                "  s12,    0.3000  ,    0.3000\n"
                "   ra,    0.0030  ,    0.0030\n"
                "rcomp,    0.0000  ,    0.0000\n"
                "xcomp,    0.0000  ,    0.0000\n"
                "accel,    0.5000  ,    0.5000\n"
                "  kis,    0.0000  ,    0.3000 , ,Entered Kis\n",
            t.report.text());
  EXPECT_EQ(0.3f, t.table[+lpd].before);
  EXPECT_EQ(0.125f, t.table[+lpd].value);
  EXPECT_EQ(0.0f, t.table[+kis].before);
  EXPECT_EQ(0.3f, t.table[+kis].value);
  EXPECT_EQ(1, t.counters.changed[1]);
}

TEST(Conversion, LabelComesFromTheTextBeforeTheFirstColonOnly) {
  Harness t;
  t.record = "gensal 5 \"A:B\" 1.0 \"1\" : 1\n";
  t.header_length = t.record.find(':') + 1;
  Conversion c(Model::gensal, t.record, t.table, t.header_length, 0.0, 0, t.run,
               clean_machine(-1.0f));
  EXPECT_EQ("gensal, 5           , \"A       \", 0.00    , \"  \"", c.label());
  c.finish();
  EXPECT_TRUE(t.record.starts_with("gentpj 5 \"A: #9  5.000"));
}

// A number wider than its report column is shown whole in both columns, its digits as in the
// converted record.
TEST(Conversion, ANumberWiderThanItsReportColumnIsShownWhole) {
  Harness t;
  WorkingValues start = clean_machine(100.0f);
  start[+ld] = 1234567.0f;
  Conversion c(Model::gentpf, t.record, t.table, t.header_length, 0.3, 0, t.run, start);
  c.rule(true, 109, ",lpd > 0.6*ld", lpd, 0.2);
  c.finish();
  EXPECT_NE(std::string::npos, t.report.text().find("\n   ld,1234567.0000  ,1234567.0000\n"))
      << t.report.text();
  EXPECT_NE(std::string::npos, t.record.find(" 0.00 1234567.0000 1.7000 ")) << t.record;
}

// A report block larger than the room kept for it on the stack is written whole.
TEST(Conversion, ALongReportBlockIsWrittenWhole) {
  Harness t;
  const std::string text = "," + std::string(9000, 'x');
  Conversion c(Model::gentpf, t.record, t.table, t.header_length, 0.3, 0, t.run,
               clean_machine(100.0f));
  c.rule(true, 109, text, lpd, 0.2);
  c.finish();
  const std::string& report = t.report.text();
  EXPECT_NE(std::string::npos, report.find("\n  lpd,    0.3000  ,    0.2000  , " + text + "\n"))
      << report.substr(0, 400);
  EXPECT_TRUE(report.ends_with("\n  kis,    0.0000  ,    0.3000 , ,Entered Kis\n"));
}

}  // namespace
}  // namespace tpjconv
