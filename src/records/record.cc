#include "records/record.h"

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

std::string_view model_name(Model model) {
  switch (model) {
    case Model::gensal: return "gensal";
    case Model::gentpf: return "gentpf";
    case Model::genrou: return "genrou";
  }
  return "";
}

std::optional<Model> recognised_model(std::string_view line) {
  const std::string_view head = line.substr(0, 6);
  for (const Model model : kModels) {
    if (head == model_name(model)) return model;
  }
  return std::nullopt;
}

RecordHeader read_header(std::string_view text) {
  RecordHeader header;
  FieldCursor fields(text);
  if (const auto f = fields.next(kNameSeparators)) header.model_name = f->substr(0, 6);
  if (const auto f = fields.next(kNumberSeparators)) {
    if (const auto n = scan_int(*f)) header.bus_number = *n;
  }
  if (const auto f = fields.next(kQuotedSeparators)) header.bus_name = f->substr(0, 9);
  if (const auto f = fields.next(kNumberSeparators)) {
    if (const auto v = scan_float(*f)) header.base_kv = *v;
  }
  if (const auto f = fields.next(kQuotedSeparators)) {
    header.unit_id[0] = (*f)[0];
    header.unit_id[1] = f->size() > 1 ? (*f)[1] : ' ';
  }
  return header;
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

float read_param_list(std::string_view record, std::size_t header_length, ParamTable& table) {
  // Blanks inside double quotes become underscores, so that a quoted name is one field. Most
  // parameter lists have no quotes and are read where they stand.
  std::string_view text = record.substr(header_length);
  std::string unquoted;
  if (text.find('"') != std::string_view::npos) {
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
  auto field = fields.next(kParamSeparators);
  if (field && field->starts_with('#')) field = fields.next(kParamSeparators);

  float mva_base = -1.0f;
  if (field && field->substr(0, 3) == "mva") {
    if (const auto number = fields.next(kParamSeparators)) {
      mva_base = scan_float(*number).value_or(-1.0f);
    }
    field = fields.next(kParamSeparators);
  }

  for (std::size_t k = 0; k < 20; ++k) table[k] = ParamSlot{kAbsentValue, table[k].before, 0};

  for (std::size_t k = 0; k < 20; ++k) {
    if (k > 0) field = fields.next(kParamSeparators);
    if (field && field->starts_with('"')) field = fields.next(kParamSeparators);
    if (!field) break;
    if (const auto v = scan_float(*field)) table[k].value = *v;
    table[k].present = 1;
  }
  return mva_base;
}

}  // namespace tpjconv
