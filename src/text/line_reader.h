// Reading a text file line by line, whatever the length of its lines.
#pragma once

#include <cstring>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "tpjconv/io.h"

namespace tpjconv {

// Hands out the physical lines of a byte source (not owned) or of a text in memory
// (not copied; it must outlive the reader). A line carries its own line end (LF or CR LF); the
// last line of a file may have none. A read error ends the lines and is kept in error().
class LineReader {
 public:
  explicit LineReader(ByteSource& source);
  explicit LineReader(std::string_view text);
  explicit LineReader(std::string&& text) = delete;  // the text would die before the reader

  // The next line, valid until the next call; nothing at the end of the input.
  std::optional<std::string_view> next();

  // Lines in bulk, valid until the next call: the next line alone when `wanted(line)` holds for
  // it (`wanted` is then true), or else a run of one or more lines that it does not want, as far
  // as the lines held in memory go (`wanted` false). Nothing at the end of the input. Counts
  // every line as next() does.
  struct Lines {
    std::string_view text;
    bool wanted = false;
  };
  template <typename Wanted>
  std::optional<Lines> next_lines(const Wanted& wanted);

  // How many lines next() has handed out: the 1-based number of the latest one.
  long line_number() const { return line_number_; }

  // The line the reader is at: the latest one handed out, or the one that was being read when
  // reading it stopped with an exception.
  long current_line() const { return line_number_ + (reading_ ? 1 : 0); }

  // The errno of a failed read, or 0.
  int error() const { return error_; }

 private:
  bool fill();

  ByteSource* source_ = nullptr;
  std::vector<char> buffer_;
  const char* data_ = nullptr;  // the unread text starts at data_ + start_
  std::size_t start_ = 0;
  std::size_t end_ = 0;
  bool at_eof_ = false;
  long line_number_ = 0;
  bool reading_ = false;
  int error_ = 0;
};

template <typename Wanted>
std::optional<LineReader::Lines> LineReader::next_lines(const Wanted& wanted) {
  const std::size_t run_start = start_;
  for (;;) {
    const void* nl = end_ > start_ ? std::memchr(data_ + start_, '\n', end_ - start_) : nullptr;
    if (nl == nullptr) {
      // The last line is not whole in memory: hand out the run before reading moves it.
      if (start_ > run_start) return Lines{std::string_view(data_ + run_start, start_ - run_start)};
      const std::optional<std::string_view> line = next();  // reads on; also the last line
      if (!line) return std::nullopt;
      return Lines{*line, wanted(*line)};
    }
    const std::size_t stop = static_cast<std::size_t>(static_cast<const char*>(nl) - data_) + 1;
    const std::string_view line(data_ + start_, stop - start_);
    if (wanted(line)) {
      if (start_ > run_start) return Lines{std::string_view(data_ + run_start, start_ - run_start)};
      start_ = stop;
      ++line_number_;
      return Lines{line, true};
    }
    start_ = stop;
    ++line_number_;
  }
}

}  // namespace tpjconv
