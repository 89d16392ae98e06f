// A bus numbers table and the lookups of one conversion in it, with its warnings written on a
// console as the tool shows them: what the tests of the bus list compare.
#pragma once

#include <optional>
#include <string>
#include <string_view>
#include <utility>

#include "cli/diagnostics.h"
#include "conversion/bus_list.h"
#include "text/line_reader.h"
#include "text/sink.h"

namespace tpjconv::testing {

// Writes each warning as the console shows it.
class ConsoleWarnings final : public WarningOut {
 public:
  explicit ConsoleWarnings(Sink& console) : console_(console) {}
  void warning(Warning&& w) override { console_.write(console_line(w)); }

 private:
  Sink& console_;
};

class ConsoleBusList {
 public:
  ConsoleBusList() = default;
  ConsoleBusList(ConsoleBusList&& other) noexcept : table_(std::move(other.table_)) {}
  ConsoleBusList& operator=(ConsoleBusList&& other) noexcept {
    use_.reset();
    table_ = std::move(other.table_);
    return *this;
  }

  static ConsoleBusList load(LineReader& input, std::string_view file_name, Sink& console) {
    ConsoleWarnings warnings(console);
    ConsoleBusList list;
    list.table_ = BusTable::load(input, file_name, warnings);
    return list;
  }
  bool add(const BusEntry& entry) {
    use_.reset();
    return table_.add(entry);
  }
  bool add(const BusLine& line, long number = 0) {
    use_.reset();
    return table_.add(line, number);
  }
  std::size_t size() const { return table_.size(); }
  bool empty() const { return table_.empty(); }
  bool names_a_generator() const { return table_.names_a_generator(); }
  bool lists_bus(int bus) const { return table_.lists_bus(bus); }
  BusSelection lookup(int bus, std::string_view id, std::string_view name, Sink& console) {
    std::string mismatch;
    const BusSelection selection = use().lookup(bus, id, name, mismatch);
    if (!mismatch.empty()) console.write(mismatch + "\n");
    return selection;
  }
  void report_unused(std::string_view file_name, Sink& console) {
    ConsoleWarnings warnings(console);
    use().report_unused(file_name, warnings);
  }

 private:
  BusUse& use() {
    if (!use_) use_.emplace(table_);
    return *use_;
  }
  BusTable table_;
  std::optional<BusUse> use_;
};

}  // namespace tpjconv::testing
