// Where a conversion reads its bytes and where it writes them: interfaces a caller implements,
// and the in-memory ones, a text read and a text collected.
#pragma once

#include <cstddef>
#include <string>
#include <string_view>

#include "tpjconv/export.h"

namespace tpjconv {

// What one read or write moved, or the error (an errno value) that stopped it.
struct IoResult {
  std::size_t bytes = 0;
  int error = 0;
};

// Where a reader takes its bytes from.
class TPJCONV_API ByteSource {
 public:
  virtual ~ByteSource() = default;
  // Up to `size` bytes; no bytes and no error at the end of the input.
  virtual IoResult read(char* buffer, std::size_t size) = 0;
};

// Where a writer hands its bytes.
class TPJCONV_API ByteSink {
 public:
  virtual ~ByteSink() = default;
  // Writes all of `data`, or stops at the first error.
  virtual IoResult write(const char* data, std::size_t size) = 0;
  // Returns once what was written has reached its destination: 0, or the errno.
  virtual int flush() { return 0; }
  // Ends the writing: 0, or the errno of a failed close.
  virtual int close() = 0;
};

// Reads a text in memory, which must outlive it.
class TPJCONV_API StringSource final : public ByteSource {
 public:
  explicit StringSource(std::string_view text) : text_(text) {}
  IoResult read(char* buffer, std::size_t size) override;

 private:
  std::string_view text_;
};

// Collects what is written in a string.
class TPJCONV_API StringSink final : public ByteSink {
 public:
  IoResult write(const char* data, std::size_t size) override;
  int close() override { return 0; }
  const std::string& text() const { return text_; }
  std::string take() { return std::move(text_); }

 private:
  std::string text_;
};

}  // namespace tpjconv
