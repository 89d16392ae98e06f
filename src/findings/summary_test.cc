#include "findings/summary.h"

#include <gtest/gtest.h>

namespace tpjconv {
namespace {

std::string csv(const RuleTally& tally, std::array<int, 3> read, std::array<int, 3> changed) {
  return summary_csv(Totals{read, changed, tally.rules()});
}

TEST(RuleTally, RowsByModelCodeAndTextWithTheirCounts) {
  RuleTally counts;
  counts.count(Model(2), 212, ",lppq <> lppd ", 1);
  counts.count(Model(2), 212, ",lppq > 0.9*lpq ", 0);
  counts.count(Model(2), 212, ",lppq <> lppd ", 0);
  counts.count(Model(2), 0, ",Salient pole generator ???", -1);
  counts.count(Model(0), 108, ",lq >  ld", 1);
  counts.count(Model(2), 9, ",a, \"quoted\" text", 0);
  EXPECT_EQ(
      "model,code,text,count,corrected\n"
      "gensal,read,records read,4,\n"
      "gensal,changed,records changed,1,\n"
      "gensal,108,lq >  ld,1,1\n"
      "gentpf,read,records read,0,\n"
      "gentpf,changed,records changed,0,\n"
      "genrou,read,records read,7,\n"
      "genrou,changed,records changed,3,\n"
      "genrou,000,Salient pole generator ???,1,\n"
      "genrou,009,\"a, \"\"quoted\"\" text\",1,0\n"
      "genrou,212,lppq <> lppd,2,1\n"
      "genrou,212,lppq > 0.9*lpq,1,0\n",
      csv(counts, {4, 0, 7}, {1, 0, 3}));
}

// A text without the leading comma of a rule's text is shown as it is; a finding of one model
// leaves the rows of the others as they were.
TEST(RuleTally, TextsWithoutALeadingCommaAndTrailingBlanks) {
  RuleTally counts;
  counts.count(Model(1), 307, "tppqo < tcmin  ", 1);
  counts.count(Model(1), 307, ",tppqo < tcmin", 0);
  EXPECT_EQ(
      "model,code,text,count,corrected\n"
      "gensal,read,records read,0,\n"
      "gensal,changed,records changed,0,\n"
      "gentpf,read,records read,2,\n"
      "gentpf,changed,records changed,2,\n"
      "gentpf,307,tppqo < tcmin,2,1\n"
      "genrou,read,records read,0,\n"
      "genrou,changed,records changed,0,\n",
      csv(counts, {0, 2, 0}, {0, 2, 0}));
}

}  // namespace
}  // namespace tpjconv
