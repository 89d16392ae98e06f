// The ids of texts, looked up by their bytes: a table of open addressing over one array of
// slots, each holding a short text itself, so that a lookup touches one slot (the bytes of a
// longer text are held together in one buffer).
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace tpjconv {

class TextIds {
 public:
  static constexpr std::uint32_t kNone = 0xFFFFFFFFu;

  // The id given with `text`, or kNone.
  std::uint32_t find(std::string_view text) const;
  // Gives `text`, which is not in the table, the id `id`.
  void insert(std::string_view text, std::uint32_t id);

  std::size_t size() const { return used_; }
  // Forgets every text; the room stays.
  void clear();
  // The bytes the table holds.
  std::size_t bytes() const;

 private:
  static constexpr std::size_t kShort = 16;  // the longest text a slot holds itself
  struct Slot {
    std::uint32_t hash = 0;
    std::uint32_t id = kNone;  // kNone: free
    std::uint32_t size = 0;
    std::uint32_t at = 0;      // a longer text: where it starts in long_texts_
    char text[kShort] = {};    // a short text
  };
  static std::uint32_t hash_of(std::string_view text);
  std::string_view text_of(const Slot& slot) const;
  void grow();
  void place(const Slot& slot);

  std::vector<Slot> slots_;  // a power of two of them, at most half used
  std::size_t used_ = 0;
  std::string long_texts_;
};

}  // namespace tpjconv
