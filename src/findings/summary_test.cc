#include "findings/summary.h"

#include <string>
#include <vector>

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

// Many rules: each keeps its own count however many there are.
TEST(RuleTally, ManyRulesKeepTheirCounts) {
  RuleTally counts;
  std::vector<std::string> texts;
  for (int i = 0; i < 300; ++i) texts.push_back(",rule " + std::to_string(i));
  for (int round = 0; round < 3; ++round) {
    for (int i = 0; i < 300; ++i) {
      counts.count(kModels[static_cast<std::size_t>(i % 3)], 100 + i % 7, texts[i], i % 2);
    }
  }
  const std::vector<RuleCount> rules = counts.rules();
  ASSERT_EQ(300u, rules.size());
  long lines = 0, corrected = 0;
  for (const RuleCount& rule : rules) {
    EXPECT_EQ(3, rule.count) << rule.rule;
    lines += rule.count;
    corrected += rule.corrected;
  }
  EXPECT_EQ(900, lines);
  EXPECT_EQ(450, corrected);
}

}  // namespace
}  // namespace tpjconv
