// How the findings outputs write what a run hands them: texts as valid UTF-8 without their
// padding blanks, and numbers in the shortest form that reads back to the same value.
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstring>
#include <string>
#include <string_view>

namespace tpjconv {

// `text` without the blanks before and after it.
std::string_view trim_blanks(std::string_view text);

// Appends `bytes` to `out` as UTF-8: a valid UTF-8 sequence is copied, and every byte that is
// not part of one is read as Latin-1 and appended as the UTF-8 encoding of that character.
void append_utf8(std::string& out, std::string_view bytes);

// Appends the shortest decimal that reads back as the same 32-bit `value` ("0.3", "1e-05",
// "-2"); "inf", "-inf" or "nan" when it is not finite.
void append_float(std::string& out, float value);

// The most characters write_float() and write_integer() write.
inline constexpr std::size_t kNumberRoom = 32;

// Writes `value` as append_float() appends it, at `out`, which has room for kNumberRoom
// characters. Returns the end.
char* write_float(char* out, float value);

// Writes `value` in decimal at `out`, which has room for kNumberRoom characters. Returns the end.
char* write_integer(char* out, long long value);

// Whether `a` and `b` hold the same bytes; texts of 8 to 16 bytes, as rule texts are, compared
// by two words each without a call.
inline bool same_bytes(std::string_view a, std::string_view b) {
  if (a.size() != b.size()) return false;
  if (a.size() < 8 || a.size() > 16) return a == b;
  std::uint64_t a1, a2, b1, b2;
  std::memcpy(&a1, a.data(), 8);
  std::memcpy(&b1, b.data(), 8);
  std::memcpy(&a2, a.data() + a.size() - 8, 8);
  std::memcpy(&b2, b.data() + b.size() - 8, 8);
  return ((a1 ^ b1) | (a2 ^ b2)) == 0;
}

// Appends `value` in decimal.
void append_integer(std::string& out, long long value);

// A text that grows at its end, written through a pointer: room is made first, without filling
// it, and kept when the text is cleared.
class TextBuffer {
 public:
  // Room for `n` characters at the end; commit() then says where what was written there ends.
  char* room(std::size_t n) {
    if (bytes_.size() - size_ < n) grow(n);
    return bytes_.data() + size_;
  }
  void commit(const char* end) { size_ = static_cast<std::size_t>(end - bytes_.data()); }
  void append(std::string_view text) {
    char* const at = room(text.size());
    if (!text.empty()) std::memcpy(at, text.data(), text.size());
    size_ += text.size();
  }
  void put(char c) {
    *room(1) = c;
    ++size_;
  }
  std::string_view view() const { return std::string_view(bytes_.data(), size_); }
  std::size_t size() const { return size_; }
  std::size_t capacity() const { return bytes_.capacity(); }
  void clear() { size_ = 0; }

 private:
  void grow(std::size_t n);

  std::string bytes_;  // its size is the room; size_ of it are the text
  std::size_t size_ = 0;
};

// Appends a check code as three digits: "009", "213".
void append_code(std::string& out, int code);

}  // namespace tpjconv
