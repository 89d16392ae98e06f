#include "records/sink.h"

#include <unistd.h>

#include <cerrno>

namespace tpjconv {

Sink::Sink(int fd) : fd_(fd) { buffer_.reserve(kFlushSize + 4096); }

Sink::Sink() = default;

Sink::~Sink() { flush(); }

bool Sink::flush() {
  if (fd_ < 0) return error_ == 0;
  std::size_t done = 0;
  while (error_ == 0 && done < buffer_.size()) {
    const ssize_t n = ::write(fd_, buffer_.data() + done, buffer_.size() - done);
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) {
      error_ = n < 0 ? errno : EIO;
      break;
    }
    done += static_cast<std::size_t>(n);
  }
  buffer_.clear();
  return error_ == 0;
}

}  // namespace tpjconv
