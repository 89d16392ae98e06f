#include "records/line_reader.h"

#include <algorithm>
#include <optional>
#include <string>
#include <vector>

#include <gtest/gtest.h>

namespace tpjconv {
namespace {

std::vector<std::string> all_lines(LineReader& reader) {
  std::vector<std::string> lines;
  while (const auto line = reader.next()) lines.emplace_back(*line);
  return lines;
}

TEST(LineReader, KeepsLineEndsAndTheLastLineWithoutOne) {
  LineReader reader(std::string_view("a\r\nb\n\nc", 7));
  EXPECT_EQ((std::vector<std::string>{"a\r\n", "b\n", "\n", "c"}), all_lines(reader));
  EXPECT_EQ(4, reader.line_number());
  LineReader empty(std::string_view(""));
  EXPECT_EQ(std::nullopt, empty.next());
}

// A source that hands out its text in pieces of at most 4096 bytes, as a pipe does, and then
// fails with `error` if one is given.
class Pieces : public ByteSource {
 public:
  Pieces(std::string text, int error) : text_(std::move(text)), error_(error) {}
  IoResult read(char* buffer, std::size_t size) override {
    const std::size_t n = std::min({size, std::size_t{4096}, text_.size() - done_});
    if (n == 0) return {0, error_};
    text_.copy(buffer, n, done_);
    done_ += n;
    return {n, 0};
  }

 private:
  std::string text_;
  std::size_t done_ = 0;
  int error_;
};

TEST(LineReader, ReadsLinesOfAnyLengthFromASource) {
  // Lines longer than the read size, NUL bytes, and no final line end.
  const std::string long_line = std::string(700000, 'x') + "\n";
  const std::string text = "short\n" + long_line + std::string("a\0b\n", 4) + "tail";
  Pieces source(text, 0);
  LineReader reader(source);
  const auto lines = all_lines(reader);
  ASSERT_EQ(4u, lines.size());
  EXPECT_EQ("short\n", lines[0]);
  EXPECT_EQ(long_line, lines[1]);
  EXPECT_EQ(std::string("a\0b\n", 4), lines[2]);
  EXPECT_EQ("tail", lines[3]);
  EXPECT_EQ(0, reader.error());
}

// Found by fuzzing: a default string_view has no data pointer at all, and memchr must never be
// handed a null pointer, not even for zero bytes.
TEST(LineReader, EmptyViewWithoutDataHasNoLines) {
  LineReader reader{std::string_view()};
  EXPECT_EQ(std::nullopt, reader.next());
  EXPECT_EQ(std::nullopt, reader.next());
  EXPECT_EQ(0, reader.line_number());
}

// Runs of unwanted lines, and each wanted line alone: together the same lines, counted alike,
// whatever pieces the text arrives in.
TEST(LineReader, HandsOutRunsOfLinesBetweenTheWantedOnes) {
  std::string text;
  for (int i = 0; i < 3000; ++i) {
    text += i % 7 == 0 ? "gen " : "other ";
    text += std::string(static_cast<std::size_t>(i % 300), 'x') + "\n";
  }
  text += "gen last, without a line end";
  const auto wanted = [](std::string_view line) { return line.starts_with("gen"); };
  for (const bool pieces : {false, true}) {
    Pieces source(text, 0);
    std::optional<LineReader> from_source, from_text;
    LineReader& reader = pieces ? from_source.emplace(source) : from_text.emplace(text);
    std::string joined;
    long wanted_lines = 0;
    while (const auto lines = reader.next_lines(wanted)) {
      ASSERT_FALSE(lines->text.empty());
      if (lines->wanted) {
        ++wanted_lines;
        EXPECT_TRUE(lines->text.starts_with("gen"));
        EXPECT_EQ(std::string_view::npos, lines->text.substr(0, lines->text.size() - 1).find('\n'));
      } else {
        EXPECT_TRUE(lines->text.ends_with("\n"));
        std::size_t at = 0;
        for (std::size_t nl; (nl = lines->text.find('\n', at)) != std::string_view::npos;) {
          EXPECT_FALSE(wanted(lines->text.substr(at, nl + 1 - at)));
          at = nl + 1;
        }
      }
      joined += lines->text;
    }
    EXPECT_EQ(text, joined);
    EXPECT_EQ(3001, reader.line_number());
    EXPECT_EQ(3000 / 7 + 2, wanted_lines);
  }
}

TEST(LineReader, AReadErrorEndsTheLinesAndIsKept) {
  Pieces source("first\nsecond, cut off", 5);
  LineReader reader(source);
  EXPECT_EQ("first\n", reader.next());
  // What was read before the error is still a line.
  EXPECT_EQ("second, cut off", reader.next());
  EXPECT_EQ(std::nullopt, reader.next());
  EXPECT_EQ(5, reader.error());
}

}  // namespace
}  // namespace tpjconv
