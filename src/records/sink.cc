#include "records/sink.h"

namespace tpjconv {

Sink::Sink(ByteSink& destination) : destination_(&destination) {
  buffer_.reserve(kFlushSize + 4096);
}

Sink::Sink() = default;

Sink::~Sink() { flush(); }

bool Sink::flush() {
  if (destination_ == nullptr) return error_ == 0;
  if (error_ == 0 && !buffer_.empty()) {
    const IoResult result = destination_->write(buffer_.data(), buffer_.size());
    if (result.error != 0) error_ = result.error;
  }
  buffer_.clear();
  return error_ == 0;
}

}  // namespace tpjconv
