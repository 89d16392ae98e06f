#include "run/bus_list.h"

#include "records/fields.h"
#include "records/number_format.h"

namespace tpjconv {

namespace {

constexpr Separators kBusSeparators(" ,\"\t");

// Compares like strncmp over `n` characters: texts end early at a zero character, and a record
// text shorter than `n` counts as ended there.
bool same_text(const char* entry, std::string_view record, std::size_t n) {
  for (std::size_t i = 0; i < n; ++i) {
    const char b = i < record.size() ? record[i] : '\0';
    if (entry[i] != b) return false;
    if (b == '\0') return true;
  }
  return true;
}

void warn(Sink& console, std::string_view kind, int bus_number, const BusEntry& entry,
          std::string_view bus_name, std::string_view unit_id) {
  std::string line(kind);
  line += formatted(" %12d, [", bus_number);
  append_text(line, std::string_view(entry.bus_name.data(), entry.bus_name.size()), 8, 8);
  line += "] [";
  append_text(line, std::string_view(entry.unit_id.data(), entry.unit_id.size()), 2, 2);
  line += "] [";
  append_text(line, bus_name, 8, 8);
  line += "] [";
  append_text(line, unit_id, 2, 2);
  line += "] \n";
  console.write(line);
}

}  // namespace

BusEntry parse_bus_line(std::string_view line) {
  BusEntry entry;
  entry.unit_id = {'\0', ' '};
  FieldCursor fields(line);
  const auto number = fields.next(kBusSeparators);
  if (number) {
    if (const auto n = scan_int(*number)) entry.bus_number = *n;
  }
  const auto id = number ? fields.next(kBusSeparators) : std::nullopt;
  if (!id) return entry;
  entry.unit_id = {(*id)[0], id->size() > 1 ? (*id)[1] : ' '};

  const auto level = fields.next(kBusSeparators);
  if (!level) return entry;
  if (const auto n = scan_int(*level)) entry.check_level = *n;

  const auto kis = fields.next(kBusSeparators);
  if (!kis) return entry;
  if (const auto v = scan_float(*kis)) entry.kis = *v;

  const auto name = fields.next(kBusSeparators);
  if (!name) return entry;
  // The name is the eight characters from the start of the fifth field, so that a quoted name
  // keeps its inner blanks. The separator that ended the field, tabs, commas and anything past
  // the end of the text read as blanks.
  const std::size_t start = static_cast<std::size_t>(name->data() - line.data());
  const std::size_t field_end = fields.last_field_end();
  for (std::size_t i = 0; i < entry.bus_name.size(); ++i) {
    const std::size_t at = start + i;
    char c = at < line.size() ? line[at] : ' ';
    if (at == field_end || c == '\t' || c == ',' || c == '\0') c = ' ';
    entry.bus_name[i] = c;
  }
  return entry;
}

BusList BusList::load(LineReader& input) {
  BusList list;
  if (!input.next()) return list;  // the heading
  while (const auto line = input.next()) list.add(parse_bus_line(*line));
  return list;
}

namespace {

// The key of a bus number and unit ID. Unit IDs compare as texts of at most two characters that
// end early at a zero character, so whatever follows one is left out of the key.
std::uint64_t bus_and_id_key(int bus_number, char first, char second) {
  if (first == '\0') second = '\0';
  return (std::uint64_t{static_cast<std::uint32_t>(bus_number)} << 16) |
         (std::uint64_t{static_cast<unsigned char>(first)} << 8) |
         static_cast<unsigned char>(second);
}

}  // namespace

void BusList::add(const BusEntry& entry) {
  const auto index = static_cast<std::uint32_t>(entries_.size());
  entries_.push_back(entry);
  first_by_bus_and_id_.try_emplace(
      bus_and_id_key(entry.bus_number, entry.unit_id[0], entry.unit_id[1]), index);
  last_by_bus_[entry.bus_number] = index;
}

BusSelection BusList::lookup(int bus_number, std::string_view unit_id, std::string_view bus_name,
                             Sink& console) const {
  if (entries_.empty()) return {0.0f, 0};
  const char first = unit_id.empty() ? '\0' : unit_id[0];
  const char second = unit_id.size() > 1 ? unit_id[1] : '\0';
  const auto found = first_by_bus_and_id_.find(bus_and_id_key(bus_number, first, second));
  if (found != first_by_bus_and_id_.end()) {
    const BusEntry& entry = entries_[found->second];
    if (!same_text(entry.bus_name.data(), bus_name, 8)) {
      warn(console, "Name    mismatch", bus_number, entry, bus_name, unit_id);
    }
    return {entry.kis, entry.check_level};
  }
  const auto last = last_by_bus_.find(bus_number);
  if (last != last_by_bus_.end()) {
    warn(console, "Name/ID mismatch", bus_number, entries_[last->second], bus_name, unit_id);
  }
  return {-1.0f, -1};
}

}  // namespace tpjconv
