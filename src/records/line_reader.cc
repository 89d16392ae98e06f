#include "records/line_reader.h"

#include <unistd.h>

#include <cerrno>
#include <cstring>

namespace tpjconv {

namespace {
constexpr std::size_t kReadSize = 256 * 1024;
}

LineReader::LineReader(int fd) : fd_(fd), buffer_(kReadSize) { data_ = buffer_.data(); }

LineReader::LineReader(std::string_view text)
    : data_(text.empty() ? "" : text.data()), end_(text.size()), at_eof_(true) {}

bool LineReader::fill() {
  if (at_eof_) return false;
  if (start_ > 0) {
    std::memmove(buffer_.data(), buffer_.data() + start_, end_ - start_);
    end_ -= start_;
    start_ = 0;
  }
  if (buffer_.size() - end_ < kReadSize / 2) buffer_.resize(buffer_.size() * 2);
  data_ = buffer_.data();
  for (;;) {
    const ssize_t n = ::read(fd_, buffer_.data() + end_, buffer_.size() - end_);
    if (n > 0) {
      end_ += static_cast<std::size_t>(n);
      return true;
    }
    if (n < 0 && errno == EINTR) continue;
    if (n < 0) error_ = errno;
    at_eof_ = true;
    return false;
  }
}

std::optional<std::string_view> LineReader::next() {
  std::size_t scanned = start_;
  for (;;) {
    const void* nl = std::memchr(data_ + scanned, '\n', end_ - scanned);
    if (nl != nullptr) {
      const std::size_t stop = static_cast<std::size_t>(static_cast<const char*>(nl) - data_) + 1;
      std::string_view line(data_ + start_, stop - start_);
      start_ = stop;
      ++line_number_;
      return line;
    }
    const std::size_t scanned_len = end_ - start_;
    if (!fill()) break;
    scanned = start_ + scanned_len;
  }
  if (start_ == end_) return std::nullopt;
  std::string_view line(data_ + start_, end_ - start_);
  start_ = end_;
  ++line_number_;
  return line;
}

}  // namespace tpjconv
