// The BusList: which generators to convert, with their check level and Kis, from the bus numbers
// file.
#pragma once

#include <array>
#include <cstdint>
#include <string_view>
#include <unordered_map>
#include <vector>

#include "records/line_reader.h"
#include "records/sink.h"

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

// The answer of a lookup: Kis -1 and check level -1 when the generator is not in the list.
struct BusSelection {
  float kis = 0.0f;
  int check_level = 0;
};

// Reads one data line of the bus numbers file.
BusEntry parse_bus_line(std::string_view line);

// The entries in file order, with an index on bus number and unit ID.
class BusList {
 public:
  // Reads a bus numbers file: the first line is a heading, every further line one entry.
  static BusList load(LineReader& input);

  void add(const BusEntry& entry);
  std::size_t size() const { return entries_.size(); }
  bool empty() const { return entries_.empty(); }

  // The Kis and check level of the generator at `bus_number` with `unit_id`: the first entry in
  // file order with both wins. Name mismatches are reported on `console`. An empty list gives
  // Kis 0 and check level 0.
  BusSelection lookup(int bus_number, std::string_view unit_id, std::string_view bus_name,
                      Sink& console) const;

 private:
  std::vector<BusEntry> entries_;
  // The first entry in file order for each bus number and unit ID, and the last entry for each
  // bus number, which the "Name/ID mismatch" warning names.
  std::unordered_map<std::uint64_t, std::uint32_t> first_by_bus_and_id_;
  std::unordered_map<int, std::uint32_t> last_by_bus_;
};

}  // namespace tpjconv
