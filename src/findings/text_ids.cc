#include "findings/text_ids.h"

#include <algorithm>
#include <cstring>
#include <functional>
#include <limits>
#include <new>

namespace tpjconv {

std::uint32_t TextIds::hash_of(std::string_view text) {
  const std::size_t h = std::hash<std::string_view>{}(text);
  return static_cast<std::uint32_t>(h ^ (h >> 32));
}

std::string_view TextIds::text_of(const Slot& slot) const {
  if (slot.size <= kShort) return std::string_view(slot.text, slot.size);
  return std::string_view(long_texts_.data() + slot.at, slot.size);
}

std::uint32_t TextIds::find(std::string_view text) const {
  if (slots_.empty()) return kNone;
  const std::uint32_t hash = hash_of(text);
  const std::size_t mask = slots_.size() - 1;
  for (std::size_t i = hash & mask;; i = (i + 1) & mask) {
    const Slot& slot = slots_[i];
    if (slot.id == kNone) return kNone;
    if (slot.hash == hash && slot.size == text.size() && text_of(slot) == text) return slot.id;
  }
}

void TextIds::place(const Slot& slot) {
  const std::size_t mask = slots_.size() - 1;
  std::size_t i = slot.hash & mask;
  while (slots_[i].id != kNone) i = (i + 1) & mask;
  slots_[i] = slot;
}

void TextIds::grow() {
  std::vector<Slot> old(slots_.empty() ? 512 : 2 * slots_.size());
  old.swap(slots_);
  for (const Slot& slot : old) {
    if (slot.id != kNone) place(slot);
  }
}

void TextIds::insert(std::string_view text, std::uint32_t id) {
  constexpr std::size_t kMost = std::numeric_limits<std::uint32_t>::max();
  if (text.size() > kMost || long_texts_.size() > kMost - text.size()) throw std::bad_alloc();
  if (2 * (used_ + 1) > slots_.size()) grow();
  Slot slot;
  slot.hash = hash_of(text);
  slot.id = id;
  slot.size = static_cast<std::uint32_t>(text.size());
  if (text.size() <= kShort) {
    std::memcpy(slot.text, text.data(), text.size());
  } else {
    slot.at = static_cast<std::uint32_t>(long_texts_.size());
    long_texts_.append(text);
  }
  place(slot);
  ++used_;
}

void TextIds::clear() {
  std::fill(slots_.begin(), slots_.end(), Slot{});
  used_ = 0;
  long_texts_.clear();
}

std::size_t TextIds::bytes() const {
  return slots_.capacity() * sizeof(Slot) + long_texts_.capacity();
}

}  // namespace tpjconv
