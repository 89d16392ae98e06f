#include "conversion/record.h"

#include <algorithm>
#include <bit>
#include <vector>

#include "conversion/models.h"
#include "text/fields.h"

namespace tpjconv {

namespace {

// Separators of the header fields. The bus name and the unit ID stop only at quotes, commas,
// colons and tabs, so that blanks inside them are kept.
constexpr Separators kNameSeparators(" ,:\t");
constexpr Separators kNumberSeparators(" ,:\"\t");
constexpr Separators kQuotedSeparators(",:\"\t");

// Separators of the parameter list.
constexpr Separators kParamSeparators(", =\t");

}  // namespace

namespace {

// The five header fields as FieldCursor cuts them, each with its own separators; a field the
// header lacks is nothing, and so is every one after it.
struct HeaderFields {
  std::optional<std::string_view> model_name, bus_number, bus_name, base_kv, unit_id;
};

HeaderFields split_header(std::string_view text) {
  HeaderFields f;
  FieldCursor fields(text);
  f.model_name = fields.next(kNameSeparators);
  f.bus_number = fields.next(kNumberSeparators);
  f.bus_name = fields.next(kQuotedSeparators);
  f.base_kv = fields.next(kNumberSeparators);
  f.unit_id = fields.next(kQuotedSeparators);
  return f;
}

int bus_number_of(const HeaderFields& f) {
  if (f.bus_number) {
    if (const auto n = scan_int(*f.bus_number)) return *n;
  }
  return 0;
}

void unit_id_of(const HeaderFields& f, char* id) {
  if (!f.unit_id) return;
  id[0] = (*f.unit_id)[0];
  id[1] = f.unit_id->size() > 1 ? (*f.unit_id)[1] : ' ';
}

}  // namespace

RecordHeader read_header(std::string_view text) {
  const HeaderFields f = split_header(text);
  RecordHeader header;
  if (f.model_name) header.model_name = f.model_name->substr(0, 6);
  header.bus_number = bus_number_of(f);
  if (f.bus_name) header.bus_name = f.bus_name->substr(0, 9);
  if (f.base_kv) {
    if (const auto v = scan_float(*f.base_kv)) header.base_kv = *v;
  }
  unit_id_of(f, header.unit_id.data());
  return header;
}

int read_bus_number(std::string_view text) {
  FieldCursor fields(text);
  if (!fields.next(kNameSeparators)) return 0;
  if (const auto f = fields.next(kNumberSeparators)) {
    if (const auto n = scan_int(*f)) return *n;
  }
  return 0;
}

HeaderKey read_header_key(std::string_view text) {
  const HeaderFields f = split_header(text);
  HeaderKey key;
  key.bus_number = bus_number_of(f);
  if (f.bus_name) {
    key.bus_name_size = std::min(f.bus_name->size(), key.bus_name_chars.size());
    f.bus_name->copy(key.bus_name_chars.data(), key.bus_name_size);
  }
  unit_id_of(f, key.unit_id.data());
  return key;
}

void join_continuations(std::string& record, LineReader& input) {
  // Everything before the latest mark is free of marks, so the search goes on from there.
  std::size_t from = 0;
  for (;;) {
    const std::size_t mark = record.find('/', from);
    if (mark == std::string::npos) return;
    record[mark] = ' ';
    if (const auto line = input.next()) {
      record.resize(mark + 1);
      record.append(*line);
    }
    from = mark + 1;
  }
}

std::optional<std::size_t> header_length(std::string_view record) {
  const std::size_t colon = record.find(':');
  if (colon == std::string_view::npos) return std::nullopt;
  return colon + 1;
}

namespace {

bool same_name(std::string_view a, std::string_view b) {
  if (a.size() != b.size()) return false;
  for (std::size_t i = 0; i < a.size(); ++i) {
    const auto lower = [](char c) { return c >= 'A' && c <= 'Z' ? static_cast<char>(c + 32) : c; };
    if (lower(a[i]) != lower(b[i])) return false;
  }
  return true;
}

// The record's line end at `p`, the last thing in the text: LF or CR LF.
inline bool is_record_end(const char* p, const char* end) {
  return (*p == '\n' && p + 1 == end) || (*p == '\r' && p + 2 == end && p[1] == '\n');
}

// Reads the fields of a parameter list into the cells of a model's parameters, noting what a
// warning must tell: fields that are no numbers, numbers not wholly read or not finite, and
// fields after the model's last parameter.
class CellReader {
 public:
  // `text_end` is the end of the parameter text, where the record's line end stands.
  CellReader(Model model, const char* text_end, ParamTable& table, ParamList& list)
      : names_(parameter_names(model)), text_end_(text_end), table_(table), list_(list) {}

  // Cell k, below 20, holds `value`, read from a plain short number: the common field.
  void take(std::size_t k, float value) {
    table_[k].value = value;
    table_[k].present = 1;
    list_.given |= std::uint32_t{1} << k;
  }

  // Reads `field` into cell k, for k below 20; only counts it beyond. A field that is no number
  // keeps the placeholder and is noted.
  void read(std::string_view field, std::size_t k) {
    const bool at_end = field.data() + field.size() == text_end_;
    const std::string_view text = without_record_end(field, at_end);
    // The lone line end after a last blank or comma is no field of its own.
    const bool line_end_alone = at_end && text.empty();
    if (k >= 20) {
      if (!line_end_alone) ++after_twenty_;
      return;
    }
    if (k >= names_.size() && line_end_alone) line_end_unused_ = true;
    const FieldNumber number = read_number_field(text);
    if (number.fit == NumberFit::none) {
      list_.not_numbers |= std::uint32_t{1} << k;
    } else {
      table_[k].value = number.value;
      if (number.fit != NumberFit::whole && k < names_.size()) {
        list_.odd_numbers.push_back({names_[k], std::string(text), number.value, number.fit});
      }
    }
    table_[k].present = 1;
    list_.given |= std::uint32_t{1} << k;
  }

  // Reads the number after the mva word: the MVA base, -1 when it is no number.
  void read_mva(std::string_view field) {
    const char* const end = field.data() + field.size();
    float value = 0.0f;
    if (const char* stop = scan_short_decimal(field.data(), end, value);
        stop != nullptr && (stop == end || (end == text_end_ && is_record_end(stop, end)))) {
      list_.mva_base = value;
      return;
    }
    const std::string_view text = without_record_end(field, end == text_end_);
    const FieldNumber number = read_number_field(text);
    list_.mva_base = number.fit == NumberFit::none ? -1.0f : number.value;
    if (number.fit != NumberFit::whole && !text.empty()) {
      list_.odd_numbers.push_back({"mva", std::string(text), list_.mva_base, number.fit});
    }
  }

  // After the last field: counts the fields after the model's last parameter.
  void finish() {
    list_.unused_fields = static_cast<std::size_t>(std::popcount(list_.given >> names_.size())) -
                          (line_end_unused_ ? 1 : 0) + after_twenty_;
  }

 private:
  std::span<const std::string_view> names_;
  const char* text_end_;
  ParamTable& table_;
  ParamList& list_;
  std::size_t after_twenty_ = 0;  // fields after the twentieth
  bool line_end_unused_ = false;  // the lone line end is one of the fields after the parameters
};

// Fills cells 0 to 19 from the fields in order, skipping one quoted field before each, and
// counts the fields after the model's parameters. `field` is the field in hand, `next` hands out
// the following ones.
template <typename Next>
void read_by_position(std::optional<std::string_view> field, Next next, CellReader& cells) {
  for (std::size_t k = 0;; ++k) {
    if (k > 0) field = next();
    if (field && field->starts_with('"')) field = next();
    if (!field) break;
    cells.read(*field, k);
  }
}

// read_by_position() for a list without quotes, where every field is a cell: the fields are
// walked and their numbers read in one pass over the text. A field that is a plain short number
// ending at a separator or at the record's line end is read as it is scanned; any other field
// is cut out as FieldCursor cuts it and read by CellReader::read(). `first` is the first field
// after the "#" and "mva" fields.
void read_in_place(std::string_view text, std::optional<std::string_view> first,
                   CellReader& cells) {
  if (!first) return;
  const char* p = first->data();
  const char* const end = text.data() + text.size();
  const auto cut = [&p, end](std::size_t k, CellReader& into) {
    const char* stop = p + 1;
    while (stop < end && !kParamSeparators.contains(*stop)) ++stop;
    into.read(std::string_view(p, static_cast<std::size_t>(stop - p)), k);
    p = stop < end ? stop + 1 : stop;
  };
  for (std::size_t k = 0; k < 20; ++k) {
    while (p < end && kParamSeparators.contains(*p)) ++p;
    if (p >= end) return;
    float value = 0.0f;
    if (const char* stop = scan_short_decimal(p, end, value)) {
      if (stop < end && kParamSeparators.contains(*stop)) {
        cells.take(k, value);
        p = stop + 1;
        continue;
      }
      if (stop == end || is_record_end(stop, end)) {
        cells.take(k, value);
        return;
      }
    }
    cut(k, cells);
  }
  // The fields after the twentieth are only counted.
  for (std::size_t k = 20;; ++k) {
    while (p < end && kParamSeparators.contains(*p)) ++p;
    if (p >= end) return;
    cut(k, cells);
  }
}

constexpr std::size_t kAccel = 100;  // the cell of the accel name: none, its number is not used

// The cell of a parameter name of `model`, kAccel for accel, nothing for another word.
std::optional<std::size_t> cell_of(std::string_view name, Model model) {
  const auto names = parameter_names(model);
  for (std::size_t k = 0; k < names.size(); ++k) {
    if (same_name(name, names[k])) return k;
  }
  if (same_name(name, "accel")) return kAccel;
  return std::nullopt;
}

// Decides whether the fields can be read by their names: each a quoted name of the model,
// once, followed by its number. Fills `pairs` with cell and number when they can.
bool names_fit(const std::vector<std::string_view>& fields, Model model,
               std::vector<std::pair<std::size_t, std::string_view>>& pairs, ParamList& list) {
  std::uint32_t seen = 0;
  bool accel_seen = false;
  const auto problem = [&](NameProblem p, std::string_view field) {
    list.problem = p;
    list.problem_field = without_line_end(field);
    return false;
  };
  for (std::size_t i = 0; i < fields.size(); ++i) {
    const std::string_view field = fields[i];
    if (!field.starts_with('"')) {
      // The line end after a last blank or comma is no number.
      if (i + 1 == fields.size() && is_line_end(field)) break;
      return problem(NameProblem::number_without_name, field);
    }
    const std::string_view quoted = without_line_end(field);
    const std::string_view name =
        quoted.size() >= 2 && quoted.back() == '"' ? quoted.substr(1, quoted.size() - 2) : quoted;
    const auto cell = name.find('"') == std::string_view::npos ? cell_of(name, model) : std::nullopt;
    if (!cell) return problem(NameProblem::unknown_name, field);
    const bool repeated = *cell == kAccel ? accel_seen : (seen >> *cell & 1) != 0;
    if (repeated) return problem(NameProblem::repeated_name, field);
    if (*cell == kAccel) {
      accel_seen = true;
    } else {
      seen |= std::uint32_t{1} << *cell;
    }
    if (i + 1 == fields.size() || fields[i + 1].starts_with('"') || is_line_end(fields[i + 1])) {
      return problem(NameProblem::name_without_number, field);
    }
    pairs.emplace_back(*cell, fields[++i]);
  }
  return true;
}

}  // namespace

std::span<const std::string_view> parameter_names(Model model) {
  return model_row(model).parameters;
}

std::size_t required_parameters(Model model) { return model_row(model).required; }

ParamList read_param_list(std::string_view record, std::size_t header_length, Model model,
                          ParamTable& table) {
  ParamList list;
  // Blanks inside double quotes become underscores, so that a quoted name is one field. Most
  // parameter lists have no quotes and are read where they stand.
  std::string_view text = record.substr(header_length);
  std::string unquoted;
  const bool has_quotes = text.find('"') != std::string_view::npos;
  if (has_quotes) {
    unquoted.assign(text);
    bool quoted = false;
    for (char& c : unquoted) {
      if (c == '"') {
        quoted = !quoted;
      } else if (quoted && c == ' ') {
        c = '_';
      }
    }
    text = unquoted;
  }

  CellReader cells(model, text.data() + text.size(), table, list);
  FieldCursor fields(text);
  const auto next = [&fields] { return fields.next(kParamSeparators); };
  auto field = next();
  if (field && field->starts_with('#')) field = next();

  if (field && field->substr(0, 3) == "mva") {
    if (const auto number = next()) cells.read_mva(*number);
    field = next();
  }

  for (std::size_t k = 0; k < 20; ++k) table[k] = ParamSlot{kAbsentValue, table[k].before, 0};

  if (!has_quotes) {
    read_in_place(text, field, cells);
    cells.finish();
    return list;
  }

  // Quotes: the fields may be parameter names. Gather the rest of the list to look at it whole.
  std::vector<std::string_view> rest;
  for (; field; field = next()) rest.push_back(*field);
  const bool named =
      std::any_of(rest.begin(), rest.end(), [](std::string_view f) { return f.starts_with('"'); });
  std::vector<std::pair<std::size_t, std::string_view>> pairs;
  if (named && names_fit(rest, model, pairs, list)) {
    list.form = NamedForm::by_name;
    for (const auto& [cell, number] : pairs) {
      if (cell != kAccel) cells.read(number, cell);
    }
    cells.finish();
    return list;
  }
  if (named) list.form = NamedForm::by_position;
  std::size_t at = 0;
  const auto next_in_rest = [&]() -> std::optional<std::string_view> {
    if (at < rest.size()) return rest[at++];
    return std::nullopt;
  };
  read_by_position(next_in_rest(), next_in_rest, cells);
  cells.finish();
  return list;
}

}  // namespace tpjconv
