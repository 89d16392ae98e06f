// Reading a text file line by line, whatever the length of its lines.
#pragma once

#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "platform/file.h"

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

}  // namespace tpjconv
