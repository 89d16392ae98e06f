// Buffered output to a file descriptor or to a text in memory.
#pragma once

#include <string>
#include <string_view>

namespace tpjconv {

// Collects output and writes it to a file descriptor (not owned) in large pieces, or keeps it in
// memory. The first failed write is kept in error(); later output is dropped.
class Sink {
 public:
  explicit Sink(int fd);
  Sink();  // keeps everything in memory, see text()

  Sink(const Sink&) = delete;
  Sink& operator=(const Sink&) = delete;
  ~Sink();

  void write(std::string_view text) {
    buffer_.append(text);
    if (fd_ >= 0 && buffer_.size() >= kFlushSize) flush();
  }
  void put(char c) { write(std::string_view(&c, 1)); }

  // Hands the collected output to the file descriptor; false once any write has failed.
  bool flush();

  // The errno of the first failed write, or 0.
  int error() const { return error_; }

  // What a memory sink has collected.
  const std::string& text() const { return buffer_; }

 private:
  static constexpr std::size_t kFlushSize = 1 << 20;

  int fd_ = -1;
  std::string buffer_;
  int error_ = 0;
};

}  // namespace tpjconv
