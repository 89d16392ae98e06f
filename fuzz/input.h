// How the fuzz targets cut their input: a first line of settings separated by "|", then the
// texts. A "~" in a text repeats the byte before it, as often as the grow setting says, so that a
// short input can stand for very long lines.
#pragma once

#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdlib>
#include <string>
#include <string_view>
#include <thread>
#include <vector>

#include "platform/file.h"
#include "properties.h"

namespace input {

inline constexpr std::size_t kMaxGrown = 320u << 10;

struct Parts {
  std::vector<std::string> settings;  // the fields of the first line, each cut at a zero byte
  std::string_view body;              // everything after the first line
};

inline Parts cut(const unsigned char* data, std::size_t size) {
  const std::string_view all(reinterpret_cast<const char*>(data), size);
  const std::size_t nl = all.find('\n');
  const std::string_view first = all.substr(0, nl);
  Parts parts;
  parts.body = nl == std::string_view::npos ? std::string_view() : all.substr(nl + 1);
  std::size_t start = 0;
  for (;;) {
    const std::size_t bar = first.find('|', start);
    std::string field(first.substr(start, bar == std::string_view::npos ? bar : bar - start));
    field = field.substr(0, field.find('\0'));
    parts.settings.push_back(field);
    if (bar == std::string_view::npos) break;
    start = bar + 1;
  }
  return parts;
}

// The setting at `index` as a whole number within [0, limit], or `fallback`.
inline long number(const Parts& p, std::size_t index, long fallback, long limit) {
  if (index >= p.settings.size() || p.settings[index].empty()) return fallback;
  long v = std::strtol(p.settings[index].c_str(), nullptr, 10);
  if (v < 0) v = 0;
  return v > limit ? limit : v;
}

// Splits `body` at its first "%%\n": the text before it, and the text after it. Without the mark
// the first text is empty.
inline void split_body(std::string_view body, std::string_view& first, std::string_view& second) {
  const std::size_t mark = body.find("%%\n");
  if (mark == std::string_view::npos) {
    first = std::string_view();
    second = body;
  } else {
    first = body.substr(0, mark);
    second = body.substr(mark + 3);
  }
}

// Each "~" becomes `times` copies of the byte before it (an "x" at the start); nothing changes
// when `times` is 0. The result is cut at kMaxGrown bytes.
inline std::string grow(std::string_view text, long times) {
  if (times <= 0) return std::string(text);
  std::string out;
  for (std::size_t i = 0; i < text.size() && out.size() < kMaxGrown; ++i) {
    if (text[i] != '~') {
      out += text[i];
      continue;
    }
    const char c = out.empty() ? 'x' : out.back();
    out.append(static_cast<std::size_t>(times), c);
  }
  if (out.size() > kMaxGrown) out.resize(kMaxGrown);
  return out;
}

// Reads a descriptor, as the tool's files are read: a stand-in written for the targets.
class DescriptorSource final : public tpjconv::ByteSource {
 public:
  explicit DescriptorSource(int fd) : fd_(fd) {}
  tpjconv::IoResult read(char* buffer, std::size_t size) override {
    for (;;) {
      const ssize_t n = ::read(fd_, buffer, size);
      if (n >= 0) return {static_cast<std::size_t>(n), 0};
      if (errno != EINTR) return {0, errno};
    }
  }

 private:
  int fd_;
};

// Hands `read` the reading end of a socket that delivers `text` in pieces of `chunk` bytes, so
// that lines arrive split across reads; returns what `read` returns.
template <class Read>
auto through_socket(const std::string& text, std::size_t chunk, Read read) {
  int fds[2];
  FUZZ_CHECK(socketpair(AF_UNIX, SOCK_SEQPACKET | SOCK_CLOEXEC, 0, fds) == 0);
  std::thread writer([&] {
    for (std::size_t at = 0; at < text.size(); at += chunk) {
      const std::size_t n = std::min(chunk, text.size() - at);
      FUZZ_CHECK(send(fds[1], text.data() + at, n, MSG_NOSIGNAL) == static_cast<ssize_t>(n));
    }
    close(fds[1]);
  });
  auto result = read(fds[0]);
  writer.join();
  close(fds[0]);
  return result;
}

}  // namespace input
