// Buffered output to a file descriptor or to a text in memory.
#pragma once

#include <string>
#include <string_view>

#include "tpjconv/io.h"

namespace tpjconv {

class Writer;

// Collects output and hands it to a byte sink (not owned) in large pieces, or keeps it in
// memory. The first failed write is kept in error(); later output is dropped.
class Sink {
 public:
  // Bytes gathered before they are handed on, unless the constructor is given another size.
  static constexpr std::size_t kDefaultPiece = std::size_t{1} << 20;

  explicit Sink(ByteSink& destination, std::size_t piece = kDefaultPiece);
  Sink();  // keeps everything in memory, see text()

  // Passes each write on at once, for the console, whose destination gathers them.
  struct EachWrite {};
  Sink(ByteSink& destination, EachWrite);

  Sink(const Sink&) = delete;
  Sink& operator=(const Sink&) = delete;
  ~Sink();

  void write(std::string_view text) {
    buffer_.append(text);
    if (destination_ != nullptr && buffer_.size() >= piece_) pass_on(true);
  }
  void put(char c) { write(std::string_view(&c, 1)); }

  // From now on the full pieces go to `writer` (which must outlive this sink) to be written on
  // its thread, while the output goes on.
  void write_through(Writer& writer);

  // Hands the collected output to the destination and waits until it is written; false once
  // any write has failed.
  bool flush();

  // The errno of the first failed write, or 0. With a writer, known for certain after flush().
  int error() const { return error_; }

  // What a memory sink has collected.
  const std::string& text() const { return buffer_; }

 private:
  // The room of the buffer: a last write may pass the piece.
  std::size_t room() const { return piece_ + 4096; }

  // Hands the collected output on without waiting for it to be written; `more` when output
  // goes on after it.
  void pass_on(bool more);

  ByteSink* destination_ = nullptr;
  std::size_t piece_ = kDefaultPiece;
  std::string buffer_;
  int error_ = 0;
  Writer* writer_ = nullptr;
  int lane_ = 0;
};

}  // namespace tpjconv
