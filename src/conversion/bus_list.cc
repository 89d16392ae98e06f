#include "conversion/bus_list.h"

#include <bit>

#include "text/fields.h"
#include "text/number_format.h"
#include "text/printable.h"

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

// The text of a name mismatch warning, with the blank that ends it.
void mismatch_text(std::string& line, std::string_view kind, int bus_number,
                   const BusEntry& entry, std::string_view bus_name, std::string_view unit_id) {
  line.assign(kind);
  line += formatted(" %12d, [", bus_number);
  append_text(line, std::string_view(entry.bus_name.data(), entry.bus_name.size()), 8, 8);
  line += "] [";
  append_text(line, std::string_view(entry.unit_id.data(), entry.unit_id.size()), 2, 2);
  line += "] [";
  append_text(line, bus_name, 8, 8);
  line += "] [";
  append_text(line, unit_id, 2, 2);
  line += "] ";
}

bool ends_line(std::string_view field, std::string_view line) {
  return field.data() + field.size() == line.data() + line.size();
}

// The line end of a line whose last field ended before it is no field; a carriage return before
// more fields is text.
bool is_line_end(std::string_view field, std::string_view line) {
  return ends_line(field, line) && tpjconv::is_line_end(field);
}

// A field's text for a message, without the line end it may carry.
std::string field_text(std::string_view field, std::string_view line) {
  return std::string(ends_line(field, line) ? without_line_end(field) : field);
}

// The field without the line's own line end (one LF, or CR LF), which is never text.
std::string_view own_text(std::string_view field, std::string_view line) {
  return without_record_end(field, ends_line(field, line));
}

bool is_digit(char c) { return static_cast<unsigned char>(c - '0') < 10; }

// Whether `text` is one to nine digits: wholly a number, as nearly every field of a list is.
bool plain_int(std::string_view text) {
  if (text.empty() || text.size() > 9) return false;
  for (const char c : text) {
    if (!is_digit(c)) return false;
  }
  return true;
}

// Whether `text` is digits with a point and digits after it or not, 20 characters at most:
// wholly a finite number.
bool plain_decimal(std::string_view text) {
  if (text.empty() || text.size() > 20) return false;
  std::size_t i = 0;
  while (i < text.size() && is_digit(text[i])) ++i;
  if (i == 0) return false;
  if (i == text.size()) return true;
  if (text[i] != '.' || ++i == text.size()) return false;
  while (i < text.size() && is_digit(text[i])) ++i;
  return i == text.size();
}

// Notes a field read as a whole number that is not wholly one.
void note_int(OddBusField& odd, std::string_view field, std::string_view line, int value) {
  const std::string_view text = own_text(field, line);
  if (plain_int(text)) return;
  const NumberFit fit = int_field_fit(text);
  if (fit == NumberFit::whole) return;
  odd = {std::string(text), NumberFit::not_wholly, std::to_string(value)};
}

// Notes a field read as a number that is not wholly a number, or not a finite one.
void note_float(OddBusField& odd, std::string_view field, std::string_view line, float value) {
  const std::string_view text = own_text(field, line);
  if (plain_decimal(text)) return;
  const NumberFit fit = read_number_field(text).fit;
  if (fit == NumberFit::whole) return;
  odd = {std::string(text), fit == NumberFit::not_finite ? fit : NumberFit::not_wholly,
         shortest(value)};
}

}  // namespace

bool EntryIndex::put(std::uint64_t key, std::uint32_t entry, bool replace) {
  // At most half full, so that a miss ends soon at a free slot.
  if (2 * (used_ + 1) > slots_.size()) {
    std::vector<Slot> old = std::move(slots_);
    slots_.assign(old.empty() ? 1024 : 2 * old.size(), Slot{});
    mask_ = slots_.size() - 1;
    shift_ = 64 - std::countr_zero(slots_.size());
    used_ = 0;
    for (const Slot& slot : old) {
      if (slot.key != kFree) put(slot.key, slot.entry, true);
    }
  }
  for (std::size_t i = slot_of(key);; i = (i + 1) & mask_) {
    Slot& slot = slots_[i];
    if (slot.key == key) {
      if (replace) slot.entry = entry;
      return false;
    }
    if (slot.key == kFree) {
      slot = {key, entry};
      ++used_;
      return true;
    }
  }
}

BusLine read_bus_line(std::string_view line) {
  BusLine read;
  BusEntry& entry = read.entry;
  entry.unit_id = {'\0', ' '};
  FieldCursor fields(line);
  const auto number = fields.next(kBusSeparators);
  if (number) {
    if (const auto n = scan_int(*number)) {
      entry.bus_number = *n;
      note_int(read.odd_bus_number, *number, line, *n);
    } else if (!is_line_end(*number, line)) {
      read.bad_bus_number = field_text(*number, line);
    }
  }
  const auto id = number ? fields.next(kBusSeparators) : std::nullopt;
  if (!id) return read;
  entry.unit_id = {(*id)[0], id->size() > 1 ? (*id)[1] : ' '};
  read.has_unit_id = entry.unit_id[0] != '\0';

  const auto level = fields.next(kBusSeparators);
  if (!level) return read;
  if (const auto n = scan_int(*level)) {
    entry.check_level = *n;
    note_int(read.odd_check_level, *level, line, *n);
  } else if (!is_line_end(*level, line)) {
    read.bad_check_level = field_text(*level, line);
  }

  const auto kis = fields.next(kBusSeparators);
  if (!kis) return read;
  if (const auto v = scan_float(*kis)) {
    entry.kis = *v;
    note_float(read.odd_kis, *kis, line, *v);
  } else if (!is_line_end(*kis, line)) {
    read.bad_kis = field_text(*kis, line);
  }

  const auto name = fields.next(kBusSeparators);
  if (!name) return read;
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
  return read;
}

namespace {

// A unit ID as compared: at most two characters that end early at a zero character, without the
// blanks before and after them.
std::array<char, 2> bare_unit_id(char first, char second) {
  if (first == '\0') second = '\0';
  if (first == ' ') {
    first = second;
    second = '\0';
  }
  if (second == ' ') second = '\0';
  if (first == ' ') first = '\0';
  return {first, second};
}

std::uint64_t bus_and_id_key(int bus_number, std::array<char, 2> id) {
  return (std::uint64_t{static_cast<std::uint32_t>(bus_number)} << 16) |
         (std::uint64_t{static_cast<unsigned char>(id[0])} << 8) |
         static_cast<unsigned char>(id[1]);
}

std::string unit_id_text(const std::array<char, 2>& id) {
  return quoted(std::string_view(id.data(), id[0] == '\0' ? 0 : id[1] == '\0' ? 1 : 2));
}

}  // namespace

BusTable BusTable::load(LineReader& input, std::string_view file_name, WarningOut& warnings) {
  const auto warn = [&](long line, std::string text) {
    warnings.warning(Warning{WarningKind::bus_file, std::string(file_name), line, std::move(text)});
  };
  BusTable list;
  if (!input.next()) return list;  // the heading
  while (const auto text = input.next()) {
    const long line = input.line_number();
    const BusLine read = read_bus_line(*text);
    const auto warn_odd = [&](std::string_view name, const OddBusField& odd) {
      if (!odd.text.empty()) warn(line, odd_number_text(name, odd.text, odd.fit, odd.value));
    };
    if (!read.bad_bus_number.empty()) {
      warn(line, "bus number " + quoted(read.bad_bus_number) + " is not a number; -1 used");
    }
    warn_odd("bus number", read.odd_bus_number);
    if (!read.bad_check_level.empty()) {
      warn(line, "check level " + quoted(read.bad_check_level) + " is not a number; 0 used");
    }
    warn_odd("check level", read.odd_check_level);
    if (!read.bad_kis.empty()) {
      warn(line, "Kis " + quoted(read.bad_kis) + " is not a number; 0 used");
    }
    warn_odd("Kis", read.odd_kis);
    if (!list.add(read, line)) {
      const BusEntry& e = read.entry;
      const std::uint32_t* first = list.first_by_bus_and_id_.find(
          bus_and_id_key(e.bus_number, bare_unit_id(e.unit_id[0], e.unit_id[1])));
      warn(line, "bus " + std::to_string(e.bus_number) + " unit ID " + unit_id_text(e.unit_id) +
                     " is listed again; line " + std::to_string(list.uses_[*first].line) +
                     " is used");
    }
  }
  return list;
}

bool BusTable::add(const BusLine& line, long line_number) {
  const auto index = static_cast<std::uint32_t>(entries_.size());
  const BusEntry& entry = line.entry;
  entries_.push_back(entry);
  last_by_bus_.put(bus_key(entry.bus_number), index, true);
  Use use{line_number, false};
  // An entry without a unit ID matches no record, whatever its bus number.
  bool fresh = true;
  if (line.has_unit_id) {
    fresh = first_by_bus_and_id_.put(
        bus_and_id_key(entry.bus_number, bare_unit_id(entry.unit_id[0], entry.unit_id[1])), index,
        false);
    if (fresh) ++usable_;
    // A bus number that is no number was reported as it was read.
    use.candidate = fresh && line.bad_bus_number.empty();
  }
  uses_.push_back(use);
  return fresh;
}

BusSelection BusUse::lookup(int bus_number, std::string_view unit_id, std::string_view bus_name,
                            std::string& mismatch) {
  if (table_.entries_.empty()) return {0.0f, 0};
  const char first = unit_id.empty() ? '\0' : unit_id[0];
  const char second = unit_id.size() > 1 ? unit_id[1] : '\0';
  if (const std::uint32_t* found = table_.first_by_bus_and_id_.find(
          bus_and_id_key(bus_number, bare_unit_id(first, second)))) {
    const BusEntry& entry = table_.entries_[*found];
    used_[*found] = 1;
    if (!same_text(entry.bus_name.data(), bus_name, 8)) {
      mismatch_text(mismatch, "Name    mismatch", bus_number, entry, bus_name, unit_id);
    }
    return {entry.kis, entry.check_level};
  }
  if (const std::uint32_t* last = table_.last_by_bus_.find(BusTable::bus_key(bus_number))) {
    mismatch_text(mismatch, "Name/ID mismatch", bus_number, table_.entries_[*last], bus_name,
                  unit_id);
  }
  return {-1.0f, -1};
}

void BusUse::report_unused(std::string_view file_name, WarningOut& warnings) const {
  constexpr std::size_t kShown = 10;
  std::size_t unused = 0;
  for (std::size_t i = 0; i < table_.entries_.size(); ++i) {
    if (!table_.uses_[i].candidate || used_[i] != 0) continue;
    if (++unused > kShown) continue;
    warnings.warning(Warning{WarningKind::unused_entry, std::string(file_name),
                             table_.uses_[i].line,
                             "bus " + std::to_string(table_.entries_[i].bus_number) +
                                 " unit ID " + unit_id_text(table_.entries_[i].unit_id) +
                                 " matched no record"});
  }
  if (unused > kShown) {
    warnings.warning(Warning{WarningKind::unused_entry, std::string(file_name), 0,
                             std::to_string(unused - kShown) +
                                 (unused - kShown == 1 ? " more entry" : " more entries") +
                                 " matched no record"});
  }
}

}  // namespace tpjconv
