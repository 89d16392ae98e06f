#include <algorithm>
#include <cstring>

#include "tpjconv/io.h"

namespace tpjconv {

IoResult StringSource::read(char* buffer, std::size_t size) {
  const std::size_t n = std::min(size, text_.size());
  if (n > 0) std::memcpy(buffer, text_.data(), n);
  text_.remove_prefix(n);
  return {n, 0};
}

IoResult StringSink::write(const char* data, std::size_t size) {
  text_.append(data, size);
  return {size, 0};
}

}  // namespace tpjconv
