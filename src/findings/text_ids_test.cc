#include "findings/text_ids.h"

#include <functional>
#include <string>
#include <unordered_map>
#include <vector>

#include <gtest/gtest.h>

namespace tpjconv {
namespace {

TEST(TextIds, FindsEachTextByItsBytesThroughGrowthAndClear) {
  TextIds ids;
  EXPECT_EQ(TextIds::kNone, ids.find("HILLSIDE"));
  // Enough texts to grow the slots several times; texts that are prefixes of one another, the
  // empty text and a text with a NUL are all told apart.
  // Texts held in a slot and longer ones (16 bytes and 17) alike.
  std::vector<std::string> texts = {"", std::string("A\0B", 3), "A", "AB", "HILLSIDE",
                                    "SIXTEEN BYTES OK", "SEVENTEEN BYTES!!", "SEVENTEEN BYTES!?",
                                    std::string(300, 'L')};
  for (int i = 0; i < 5000; ++i) texts.push_back("BUS " + std::to_string(i));
  for (std::size_t i = 0; i < texts.size(); ++i) {
    ids.insert(texts[i], static_cast<std::uint32_t>(7 * i));
    ASSERT_EQ(7 * i, ids.find(texts[i])) << i;
  }
  EXPECT_EQ(texts.size(), ids.size());
  for (std::size_t i = 0; i < texts.size(); ++i) EXPECT_EQ(7 * i, ids.find(texts[i])) << i;
  EXPECT_EQ(TextIds::kNone, ids.find(std::string_view("A\0", 2)));
  EXPECT_EQ(TextIds::kNone, ids.find("BUS 5000"));
  EXPECT_EQ(TextIds::kNone, ids.find("HILLSIDE "));
  EXPECT_EQ(TextIds::kNone, ids.find("SEVENTEEN BYTES!."));
  EXPECT_EQ(TextIds::kNone, ids.find(std::string(299, 'L')));

  const std::size_t bytes = ids.bytes();
  EXPECT_GE(bytes, 2 * texts.size() * 32 + 300);
  ids.clear();
  EXPECT_EQ(0u, ids.size());
  for (const std::string& text : texts) EXPECT_EQ(TextIds::kNone, ids.find(text));
  ids.insert("HILLSIDE", 3);
  EXPECT_EQ(3u, ids.find("HILLSIDE"));
  EXPECT_EQ(TextIds::kNone, ids.find("BUS 1"));
  EXPECT_EQ(bytes, ids.bytes());  // the room is kept
}

// Two texts whose hashes the table folds to the same 32 bits are still two texts. Such a pair is
// found among a few hundred thousand bus names (about ten are expected there).
TEST(TextIds, TextsOfTheSameHashAreToldApart) {
  const auto folded = [](const std::string& text) {
    const std::size_t h = std::hash<std::string_view>{}(text);
    return static_cast<std::uint32_t>(h ^ (h >> 32));
  };
  std::unordered_map<std::uint32_t, std::string> seen;
  std::string first, second;
  for (int i = 0; i < 400000 && second.empty(); ++i) {
    std::string text = "BUS " + std::to_string(i);
    const auto [at, added] = seen.emplace(folded(text), text);
    if (!added) {
      first = at->second;
      second = text;
    }
  }
  if (second.empty()) GTEST_SKIP() << "no two names of the same hash among those tried";
  TextIds ids;
  ids.insert(first, 1);
  EXPECT_EQ(TextIds::kNone, ids.find(second));
  ids.insert(second, 2);
  EXPECT_EQ(1u, ids.find(first));
  EXPECT_EQ(2u, ids.find(second));
}

}  // namespace
}  // namespace tpjconv
