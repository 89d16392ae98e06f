#include "text/line_reader.h"

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

// A source that hands out its text in pieces of at most `piece` bytes (4096, as a pipe does), and
// then fails with `error` if one is given.
class Pieces : public ByteSource {
 public:
  Pieces(std::string text, int error, std::size_t piece = 4096)
      : text_(std::move(text)), error_(error), piece_(piece) {}
  IoResult read(char* buffer, std::size_t size) override {
    const std::size_t n = std::min({size, piece_, text_.size() - done_});
    if (n == 0) return {0, error_};
    text_.copy(buffer, n, done_);
    done_ += n;
    return {n, 0};
  }

 private:
  std::string text_;
  std::size_t done_ = 0;
  int error_;
  std::size_t piece_;
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

// CR LF line ends wherever a read ends: between the CR and the LF, just before the CR, just
// after the LF. Pieces of every size from 1 to 9 bytes put a read boundary at every place of
// these short lines; the lines and their count stay the same, by next() and by next_lines().
TEST(LineReader, CrLfSplitByAReadBoundaryEndsOneLine) {
  const std::string text = "a\r\n\r\nbc\r\ngen d\r\n\r\r\ngen\r\nefg\r\nh";
  const std::vector<std::string> expected = {"a\r\n",   "\r\n",       "bc\r\n",   "gen d\r\n",
                                             "\r\r\n",  "gen\r\n",    "efg\r\n",  "h"};
  const auto wanted = [](std::string_view line) { return line.starts_with("gen"); };
  for (std::size_t piece = 1; piece <= 9; ++piece) {
    SCOPED_TRACE(piece);
    Pieces by_line(text, 0, piece);
    LineReader reader(by_line);
    EXPECT_EQ(expected, all_lines(reader));
    EXPECT_EQ(8, reader.line_number());

    Pieces in_runs(text, 0, piece);
    LineReader runs(in_runs);
    std::string joined;
    std::vector<std::string> wanted_lines;
    while (const auto lines = runs.next_lines(wanted)) {
      joined += lines->text;
      if (lines->wanted) wanted_lines.emplace_back(lines->text);
    }
    EXPECT_EQ(text, joined);
    EXPECT_EQ((std::vector<std::string>{"gen d\r\n", "gen\r\n"}), wanted_lines);
    EXPECT_EQ(8, runs.line_number());
  }
}

// The same where the reader's own buffer ends: a source that fills every read it is given puts
// the CR of a line at the last byte of the first read and its LF at the first of the next.
TEST(LineReader, CrLfAtTheEndOfTheFirstBufferEndsOneLine) {
  for (const std::size_t first_read : {std::size_t{256} * 1024, std::size_t{4096}}) {
    SCOPED_TRACE(first_read);
    const std::string before(first_read - 3, 'x');
    const std::string text = "x\n" + before + "\r\ngen next\r\nlast\r\n";
    Pieces source(text, 0, first_read == 4096 ? 4096 : std::size_t(-1));
    LineReader reader(source);
    const auto lines = all_lines(reader);
    ASSERT_EQ(4u, lines.size());
    EXPECT_EQ(before.size() + 2, lines[1].size());
    EXPECT_TRUE(lines[1].ends_with("x\r\n"));
    EXPECT_EQ("gen next\r\n", lines[2]);
    EXPECT_EQ("last\r\n", lines[3]);

    Pieces again(text, 0, first_read == 4096 ? 4096 : std::size_t(-1));
    LineReader runs(again);
    std::string joined;
    int wanted = 0;
    const auto is_gen = [](std::string_view line) { return line.starts_with("gen"); };
    while (const auto l = runs.next_lines(is_gen)) {
      joined += l->text;
      if (l->wanted) {
        ++wanted;
        EXPECT_EQ("gen next\r\n", l->text);
      }
    }
    EXPECT_EQ(1, wanted);
    EXPECT_TRUE(joined == text);
    EXPECT_EQ(4, runs.line_number());
  }
}

}  // namespace
}  // namespace tpjconv
