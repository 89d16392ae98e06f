#include "records/line_reader.h"

#include <sys/wait.h>
#include <unistd.h>

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

TEST(LineReader, ReadsLinesOfAnyLengthFromAFileDescriptor) {
  // Lines longer than the read size, NUL bytes, and no final line end.
  const std::string long_line = std::string(700000, 'x') + "\n";
  const std::string text = "short\n" + long_line + std::string("a\0b\n", 4) + "tail";
  int fds[2];
  ASSERT_EQ(0, pipe(fds));
  std::string lines_seen;
  pid_t pid = fork();
  if (pid == 0) {
    close(fds[0]);
    for (std::size_t done = 0; done < text.size();) {
      const std::size_t piece = std::min<std::size_t>(4096, text.size() - done);
      const ssize_t n = write(fds[1], text.data() + done, piece);
      if (n <= 0) _exit(1);
      done += static_cast<std::size_t>(n);
    }
    _exit(0);
  }
  close(fds[1]);
  LineReader reader(fds[0]);
  const auto lines = all_lines(reader);
  close(fds[0]);
  waitpid(pid, nullptr, 0);
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

TEST(LineReader, KeepsAReadError) {
  LineReader reader(-1);
  EXPECT_EQ(std::nullopt, reader.next());
  EXPECT_NE(0, reader.error());
}

}  // namespace
}  // namespace tpjconv
