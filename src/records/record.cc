#include "records/record.h"

#include <algorithm>
#include <vector>

#include "records/fields.h"

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

constexpr std::string_view kGensalNames[] = {"tpdo", "tppdo", "tppqo", "h",  "d",
                                             "ld",   "lq",    "lpd",   "lppd", "ll",
                                             "s1",   "s12",   "ra",    "rcomp", "xcomp"};
constexpr std::string_view kGentpfNames[] = {"tpdo", "tppdo", "tpqo", "tppqo", "h",   "d",
                                             "ld",   "lq",    "lpd",  "lpq",   "lppd", "lppq",
                                             "ll",   "s1",    "s12",  "ra",    "rcomp", "xcomp"};
constexpr std::string_view kGenrouNames[] = {"tpdo", "tppdo", "tpqo", "tppqo", "h",    "d",
                                             "ld",   "lq",    "lpd",  "lpq",   "lppd", "ll",
                                             "s1",   "s12",   "ra",   "rcomp", "xcomp"};

bool same_name(std::string_view a, std::string_view b) {
  if (a.size() != b.size()) return false;
  for (std::size_t i = 0; i < a.size(); ++i) {
    const auto lower = [](char c) { return c >= 'A' && c <= 'Z' ? static_cast<char>(c + 32) : c; };
    if (lower(a[i]) != lower(b[i])) return false;
  }
  return true;
}

// Reads `field` into cell k; a field that is no number keeps the placeholder and is noted.
void read_cell(std::string_view field, std::size_t k, ParamTable& table, ParamList& list) {
  if (const auto v = scan_float(field)) {
    table[k].value = *v;
  } else {
    list.not_numbers |= std::uint32_t{1} << k;
  }
  table[k].present = 1;
  list.given |= std::uint32_t{1} << k;
}

// Fills cells 0 to 19 from the fields in order, skipping one quoted field before each.
// `field` is the field in hand, `next` hands out the following ones.
template <typename Next>
void read_by_position(std::optional<std::string_view> field, Next next, ParamTable& table,
                      ParamList& list) {
  for (std::size_t k = 0; k < 20; ++k) {
    if (k > 0) field = next();
    if (field && field->starts_with('"')) field = next();
    if (!field) break;
    read_cell(*field, k, table, list);
  }
}

// read_by_position() for a list without quotes, where every field is a cell: the fields are
// walked and their numbers read in one pass over the text. A field that is a plain short number
// ending at a separator is read as it is scanned; any other field is cut out as FieldCursor cuts
// it and read by read_cell(). `first` is the first field after the "#" and "mva" fields.
void read_in_place(std::string_view text, std::optional<std::string_view> first,
                   ParamTable& table, ParamList& list) {
  if (!first) return;
  const char* p = first->data();
  const char* const end = text.data() + text.size();
  for (std::size_t k = 0; k < 20; ++k) {
    while (p < end && kParamSeparators.contains(*p)) ++p;
    if (p >= end) break;
    float value = 0.0f;
    const char* stop = scan_short_decimal(p, end, value);
    if (stop != nullptr && stop > p && (stop == end || kParamSeparators.contains(*stop))) {
      table[k].value = value;
      table[k].present = 1;
      list.given |= std::uint32_t{1} << k;
    } else {
      stop = p + 1;
      while (stop < end && !kParamSeparators.contains(*stop)) ++stop;
      read_cell(std::string_view(p, static_cast<std::size_t>(stop - p)), k, table, list);
    }
    p = stop < end ? stop + 1 : stop;
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
  switch (model) {
    case Model::gensal: return kGensalNames;
    case Model::gentpf: return kGentpfNames;
    case Model::genrou: return kGenrouNames;
  }
  return {};
}

std::size_t required_parameters(Model model) {
  return model == Model::gensal ? 10 : parameter_names(model).size();
}

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

  FieldCursor fields(text);
  const auto next = [&fields] { return fields.next(kParamSeparators); };
  auto field = next();
  if (field && field->starts_with('#')) field = next();

  if (field && field->substr(0, 3) == "mva") {
    if (const auto number = next()) list.mva_base = scan_float(*number).value_or(-1.0f);
    field = next();
  }

  for (std::size_t k = 0; k < 20; ++k) table[k] = ParamSlot{kAbsentValue, table[k].before, 0};

  if (!has_quotes) {
    read_in_place(text, field, table, list);
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
      if (cell != kAccel) read_cell(number, cell, table, list);
    }
    return list;
  }
  if (named) list.form = NamedForm::by_position;
  std::size_t at = 0;
  const auto next_in_rest = [&]() -> std::optional<std::string_view> {
    if (at < rest.size()) return rest[at++];
    return std::nullopt;
  };
  read_by_position(next_in_rest(), next_in_rest, table, list);
  return list;
}

}  // namespace tpjconv
