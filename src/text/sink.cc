#include "text/sink.h"

#include <cerrno>

#include "text/writer.h"

namespace tpjconv {

Sink::Sink(ByteSink& destination, std::size_t piece) : destination_(&destination), piece_(piece) {
  buffer_.reserve(room());
}

Sink::Sink() = default;

Sink::Sink(ByteSink& destination, EachWrite) : destination_(&destination), piece_(1) {}

Sink::~Sink() { flush(); }

void Sink::write_through(Writer& writer) {
  if (destination_ == nullptr) return;
  writer_ = &writer;
  lane_ = writer.add(*destination_);
}

void Sink::pass_on(bool more) {
  if (error_ != 0 || buffer_.empty()) {
    buffer_.clear();
    return;
  }
  if (writer_ != nullptr) {
    // The buffer goes to the writer whole; one written before comes back in its place, or an
    // empty one that gets its room here, while output is still coming (never in a flush, which
    // a destructor calls).
    error_ = writer_->hand_over(lane_, buffer_);
    if (more && buffer_.capacity() < room()) buffer_.reserve(room());
    return;
  }
  // A destination that throws (a caller's sink out of memory) leaves the sink failed, so that
  // the bytes are not written again by a later flush, the destructor's among them, which must
  // not throw.
  error_ = ENOMEM;
  const IoResult result = destination_->write(buffer_.data(), buffer_.size());
  error_ = result.error;
  buffer_.clear();
}

bool Sink::flush() {
  if (destination_ == nullptr) return error_ == 0;
  pass_on(false);
  if (writer_ != nullptr) {
    error_ = writer_->wait(lane_);
  } else if (const int error = destination_->flush(); error != 0 && error_ == 0) {
    error_ = error;
  }
  return error_ == 0;
}

}  // namespace tpjconv
