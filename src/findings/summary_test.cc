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

// The tally of a text is found again by where the text is only when its length, code, model and
// bytes are the same too: another model, a code 64 apart (the same cache slot), a shorter text at
// the same place and a buffer that now holds another text are rules of their own. Each is
// counted right after the one it differs from in that alone.
TEST(RuleTally, ATextAtTheSamePlaceCountsApartWhenItDiffers) {
  RuleTally counts;
  std::string buffer = ",lq >  ld";
  counts.count(Model::gensal, 108, buffer, 1);
  counts.count(Model::gentpf, 108, buffer, 0);
  counts.count(Model::gensal, 108 + 64, buffer, 0);
  counts.count(Model::gensal, 172, std::string_view(buffer).substr(0, 4), 0);
  counts.count(Model::gensal, 108, buffer, 0);
  buffer[1] = 'x';
  counts.count(Model::gensal, 108, buffer, 1);
  buffer[1] = 'l';
  counts.count(Model::gensal, 108, buffer, 0);
  EXPECT_EQ(
      "model,code,text,count,corrected\n"
      "gensal,read,records read,6,\n"
      "gensal,changed,records changed,2,\n"
      "gensal,108,lq >  ld,3,1\n"
      "gensal,108,xq >  ld,1,1\n"
      "gensal,172,lq,1,0\n"
      "gensal,172,lq >  ld,1,0\n"
      "gentpf,read,records read,1,\n"
      "gentpf,changed,records changed,0,\n"
      "gentpf,108,lq >  ld,1,0\n"
      "genrou,read,records read,0,\n"
      "genrou,changed,records changed,0,\n",
      csv(counts, {6, 1, 0}, {2, 0, 0}));
}

// Rules whose hashes are equal stay apart: the hash starts from the model, so that gensal with
// the byte 1 and gentpf with the byte 0 hash alike.
TEST(RuleTally, RulesWithTheSameHashCountApart) {
  RuleTally counts;
  const std::string one(1, '\1'), zero(1, '\0');
  for (int i = 0; i < 3; ++i) counts.count(Model::gensal, 5, one, 1);
  counts.count(Model::gentpf, 5, zero, 0);
  const std::vector<RuleCount> rules = counts.rules();
  ASSERT_EQ(2u, rules.size());
  EXPECT_EQ(Model::gensal, rules[0].model);
  EXPECT_EQ(one, rules[0].rule);
  EXPECT_EQ(3, rules[0].count);
  EXPECT_EQ(3, rules[0].corrected);
  EXPECT_EQ(Model::gentpf, rules[1].model);
  EXPECT_EQ(zero, rules[1].rule);
  EXPECT_EQ(1, rules[1].count);
  EXPECT_EQ(0, rules[1].corrected);
}

// Lines that are one rule once their comma and blanks are gone make a finding only when every
// one of them is a finding, whichever comes first.
TEST(RuleTally, ARuleIsAFindingOnlyWhenEachOfItsLinesIs) {
  RuleTally counts;
  counts.count(Model::genrou, 0, ",Salient pole generator ???", -1);
  counts.count(Model::genrou, 0, "Salient pole generator ???  ", 1);
  counts.count(Model::genrou, 1, ",x", 1);
  counts.count(Model::genrou, 1, "x ", -1);
  counts.count(Model::genrou, 2, ",y", 1);
  counts.count(Model::genrou, 2, "y ", 0);
  EXPECT_EQ(
      "model,code,text,count,corrected\n"
      "gensal,read,records read,0,\n"
      "gensal,changed,records changed,0,\n"
      "gentpf,read,records read,0,\n"
      "gentpf,changed,records changed,0,\n"
      "genrou,read,records read,3,\n"
      "genrou,changed,records changed,3,\n"
      "genrou,000,Salient pole generator ???,2,\n"
      "genrou,001,x,2,\n"
      "genrou,002,y,2,1\n",
      csv(counts, {0, 0, 3}, {0, 0, 3}));
}

}  // namespace
}  // namespace tpjconv
