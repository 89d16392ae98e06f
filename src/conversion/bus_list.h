// The bus numbers file: which generators to convert, with their check level and Kis.
#pragma once

#include <array>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "text/fields.h"
#include "text/line_reader.h"
#include "tpjconv/findings.h"

namespace tpjconv {

// One data line of the bus numbers file. Texts are fixed-width and not terminated; a zero
// character ends them early, as in a C string.
struct BusEntry {
  int bus_number = -1;
  std::array<char, 2> unit_id{};
  int check_level = 0;  // 0 check and correct, 1 check and report, 2 silent, 3 and more: leave alone
  float kis = 0.0f;     // negative: leave alone
  std::array<char, 8> bus_name{};
};

// A number field read only in part (text after the number, a hexadecimal number) or as a value
// that is not finite. Empty text when the field is wholly a number, or no number at all.
struct OddBusField {
  std::string text;  // the field, without the line's own line end
  NumberFit fit = NumberFit::whole;
  std::string value;  // the value used, as the warning shows it
};

// A data line as read: its entry, the fields that are there but hold no number, and those that
// are numbers only in part.
struct BusLine {
  BusEntry entry;
  bool has_unit_id = false;
  std::string bad_bus_number;  // the field's text when it is not a number, else empty
  std::string bad_check_level;
  std::string bad_kis;
  OddBusField odd_bus_number;
  OddBusField odd_check_level;
  OddBusField odd_kis;
};

// Reads one data line of the bus numbers file.
BusLine read_bus_line(std::string_view line);
inline BusEntry parse_bus_line(std::string_view line) { return read_bus_line(line).entry; }

// Entry numbers by a 64-bit key, in one array probed from the key's hash: a lookup, hit or miss,
// costs about one memory access. Keys are below 2^63.
class EntryIndex {
 public:
  // The entry of `key`, or nullptr.
  const std::uint32_t* find(std::uint64_t key) const {
    if (slots_.empty()) return nullptr;
    for (std::size_t i = slot_of(key);; i = (i + 1) & mask_) {
      const Slot& slot = slots_[i];
      if (slot.key == key) return &slot.entry;
      if (slot.key == kFree) return nullptr;
    }
  }
  // Stores `entry` for `key` unless it has one (`replace` false) or in any case; false when the
  // key had an entry.
  bool put(std::uint64_t key, std::uint32_t entry, bool replace);

 private:
  static constexpr std::uint64_t kFree = ~std::uint64_t{0};
  struct Slot {
    std::uint64_t key = kFree;
    std::uint32_t entry = 0;
  };
  std::size_t slot_of(std::uint64_t key) const {
    return static_cast<std::size_t>((key * 0x9e3779b97f4a7c15ULL) >> shift_);
  }
  std::vector<Slot> slots_;
  std::size_t mask_ = 0;
  int shift_ = 64;
  std::size_t used_ = 0;
};

// The answer of a lookup: Kis -1 and check level -1 when the generator is not in the list.
struct BusSelection {
  float kis = 0.0f;
  int check_level = 0;
};

// Hands on the warnings of the reading: each one as it is found.
class WarningOut {
 public:
  virtual ~WarningOut() = default;
  virtual void warning(Warning&& warning) = 0;
};

// The entries in file order, with an index on bus number and unit ID. Unit IDs compare without
// the blanks before and after them, so " 1", "1 " and "1" are one ID. Built by load() or add(),
// then only read: which entries a conversion used is kept by its BusUse.
class BusTable {
 public:
  // Reads a bus numbers file: the first line is a heading, every further line one entry. Fields
  // that hold no number or are not wholly one, and entries listed twice, are handed to
  // `warnings`, naming `file_name`.
  static BusTable load(LineReader& input, std::string_view file_name, WarningOut& warnings);

  // Adds an entry read from line `line` of the file; false when its bus number and unit ID are
  // listed already, so that it will never be used.
  bool add(const BusLine& line, long line_number = 0);
  bool add(const BusEntry& entry) {
    BusLine line;
    line.entry = entry;
    line.has_unit_id = entry.unit_id[0] != '\0';
    return add(line);
  }

  std::size_t size() const { return entries_.size(); }
  bool empty() const { return entries_.empty(); }

  // True when some entry can select a record: it has a unit ID, and is the first with its bus
  // number and unit ID.
  bool names_a_generator() const { return usable_ > 0; }

  // True when some entry has this bus number. A record at a bus the list does not name is not
  // in it, and a lookup would say no more than that.
  bool lists_bus(int bus_number) const { return last_by_bus_.find(bus_key(bus_number)) != nullptr; }

 private:
  friend class BusUse;
  struct Use {
    long line = 0;
    bool candidate = false;  // reported when unused: the first with its bus and unit ID, and
                             // not reported already
  };

  static std::uint64_t bus_key(int bus_number) { return static_cast<std::uint32_t>(bus_number); }

  std::vector<BusEntry> entries_;
  std::vector<Use> uses_;
  std::size_t usable_ = 0;
  // The first entry in file order for each bus number and unit ID, and the last entry for each
  // bus number, which the "Name/ID mismatch" warning names.
  EntryIndex first_by_bus_and_id_;
  EntryIndex last_by_bus_;
};

// The lookups of one conversion in a BusTable, and the entries they used.
class BusUse {
 public:
  explicit BusUse(const BusTable& table) : table_(table), used_(table.size(), 0) {}

  const BusTable& table() const { return table_; }

  // The Kis and check level of the generator at `bus_number` with `unit_id`: the first entry in
  // file order with both wins, and counts as used. A name mismatch is written to `mismatch`
  // (the warning's text), which is left as it is otherwise. An empty table gives Kis 0 and check
  // level 0.
  BusSelection lookup(int bus_number, std::string_view unit_id, std::string_view bus_name,
                      std::string& mismatch);

  // Hands the entries that no lookup used to `warnings`, in file order: the first ten by line,
  // then how many more. Entries reported while loading are left out.
  void report_unused(std::string_view file_name, WarningOut& warnings) const;

 private:
  const BusTable& table_;
  std::vector<char> used_;
};

}  // namespace tpjconv
