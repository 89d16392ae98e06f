#include "text/line_reader.h"

#include <cstring>

namespace tpjconv {

namespace {
constexpr std::size_t kReadSize = 256 * 1024;
}

LineReader::LineReader(ByteSource& source) : source_(&source), buffer_(kReadSize) {
  data_ = buffer_.data();
}

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
  const IoResult result = source_->read(buffer_.data() + end_, buffer_.size() - end_);
  if (result.bytes > 0) {
    end_ += result.bytes;
    return true;
  }
  error_ = result.error;
  at_eof_ = true;
  return false;
}

std::optional<std::string_view> LineReader::next() {
  reading_ = true;
  std::size_t scanned = start_;
  for (;;) {
    const void* nl = std::memchr(data_ + scanned, '\n', end_ - scanned);
    if (nl != nullptr) {
      const std::size_t stop = static_cast<std::size_t>(static_cast<const char*>(nl) - data_) + 1;
      std::string_view line(data_ + start_, stop - start_);
      start_ = stop;
      ++line_number_;
      reading_ = false;
      return line;
    }
    const std::size_t scanned_len = end_ - start_;
    if (!fill()) break;
    scanned = start_ + scanned_len;
  }
  reading_ = false;
  if (start_ == end_) return std::nullopt;
  std::string_view line(data_ + start_, end_ - start_);
  start_ = end_;
  ++line_number_;
  return line;
}

}  // namespace tpjconv
