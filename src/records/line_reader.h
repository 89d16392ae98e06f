// Reading a text file line by line, whatever the length of its lines.
#pragma once

#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace tpjconv {

// Hands out the physical lines of an open file descriptor (not owned) or of a text in memory
// (not copied; it must outlive the reader). A line carries its own line end (LF or CR LF); the
// last line of a file may have none. A read error ends the lines and is kept in error().
class LineReader {
 public:
  explicit LineReader(int fd);
  explicit LineReader(std::string_view text);
  explicit LineReader(std::string&& text) = delete;  // the text would die before the reader

  // The next line, valid until the next call; nothing at the end of the input.
  std::optional<std::string_view> next();

  // How many lines next() has handed out: the 1-based number of the latest one.
  long line_number() const { return line_number_; }

  // The errno of a failed read, or 0.
  int error() const { return error_; }

 private:
  bool fill();

  int fd_ = -1;
  std::vector<char> buffer_;
  const char* data_ = nullptr;  // the unread text starts at data_ + start_
  std::size_t start_ = 0;
  std::size_t end_ = 0;
  bool at_eof_ = false;
  long line_number_ = 0;
  int error_ = 0;
};

}  // namespace tpjconv
