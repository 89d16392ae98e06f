#include "conversion/record_loop.h"

#include <charconv>
#include <optional>
#include <string>

#include "conversion/genrou.h"
#include "conversion/gensal.h"
#include "conversion/gentpf.h"
#include "text/number_format.h"
#include "conversion/record.h"
#include "cli/diagnostics.h"

namespace tpjconv {

namespace {

using Converter = void (*)(std::string&, float, ParamTable&, std::size_t, double, int,
                           RunContext&);

// The converter of each model, in the order of Model.
constexpr Converter kConverters[] = {convert_gensal, convert_gentpf, convert_genrou};

Converter converter_of(Model model) { return kConverters[static_cast<int>(model)]; }

std::string record_name(Model model, const HeaderKey& header) {
  return std::string(model_name(model)) + " record at bus " + std::to_string(header.bus_number) +
         ", unit ID " + quoted(header.unit_id_text());
}

std::string why_by_position(const ParamList& list, Model model) {
  const std::string field = printable(list.problem_field);
  switch (list.problem) {
    case NameProblem::unknown_name:
      return field + " is not a " + std::string(model_name(model)) + " parameter";
    case NameProblem::repeated_name: return field + " is named twice";
    case NameProblem::number_without_name: return field + " has no parameter name";
    case NameProblem::name_without_number: return field + " has no number after it";
  }
  return field;
}

// The parameters the converter takes as 78.0: required ones the record lacks, and any with a
// field that is not a number. Empty when there are none.
std::string placeholders_used(const ParamList& list, Model model, const ParamTable& table) {
  const auto names = parameter_names(model);
  std::string missing, not_numbers;
  for (std::size_t k = 0; k < names.size(); ++k) {
    std::string* into = nullptr;
    if (table[k].present == 0 && k < required_parameters(model)) into = &missing;
    if (table[k].present != 0 && (list.not_numbers >> k & 1) != 0) into = &not_numbers;
    if (into == nullptr) continue;
    if (!into->empty()) *into += ", ";
    *into += names[k];
  }
  if (missing.empty() && not_numbers.empty()) return {};
  std::string text;
  if (!missing.empty()) text = "missing " + missing;
  if (!not_numbers.empty()) text += (text.empty() ? "" : "; ") + ("not a number: " + not_numbers);
  return text + "; 78.0 used";
}

// The shortest text that reads back as `value`.
std::string shortest(float value) {
  char text[32];
  const auto end = std::to_chars(text, text + sizeof text, value).ptr;
  return std::string(text, end);
}

// What a warning says about a field that was not read as the plain number it looks like.
std::string odd_number_warning(const OddNumber& odd) {
  const char* const why = odd.fit == NumberFit::not_finite ? " is not a finite 32-bit number; "
                          : odd.fit == NumberFit::none     ? " is not a number; "
                                                           : " is not wholly a number; ";
  return std::string(odd.name) + " " + quoted(odd.text) + why + shortest(odd.value) + " used";
}

std::string unused_fields_warning(const ParamList& list, Model model) {
  const std::size_t n = list.unused_fields;
  return std::to_string(n) + (n == 1 ? " field after " : " fields after ") +
         std::string(parameter_names(model).back()) + (n == 1 ? " is" : " are") + " not used";
}

// True when the reading of a record needs a word on the console; most records need none.
bool has_warnings(const ParamList& list, Model model) {
  const std::uint32_t required = (std::uint32_t{1} << required_parameters(model)) - 1;
  return (list.given & required) != required || list.not_numbers != 0 ||
         list.form == NamedForm::by_position || !list.odd_numbers.empty() ||
         list.unused_fields > 0;
}

// Where a record begins: the input's name and the line.
struct Place {
  std::string_view file;
  long line;
};

// Writes the warnings about how a record was read, one line each.
void warn_about_reading(const ParamList& list, Model model, const ParamTable& table,
                        const HeaderKey& header, Place place, Sink& console) {
  const std::string name = record_name(model, header) + ": ";
  const auto warn = [&](const std::string& text) {
    say_at(console, place.file, place.line, name + text);
  };
  if (list.form == NamedForm::by_position) {
    warn(why_by_position(list, model) + "; read by position");
  }
  if (const std::string missing = placeholders_used(list, model, table); !missing.empty()) {
    warn(missing);
  }
  for (const OddNumber& odd : list.odd_numbers) warn(odd_number_warning(odd));
  if (list.unused_fields > 0) warn(unused_fields_warning(list, model));
}

}  // namespace

void convert_records(LineReader& input, std::string_view input_name, Sink& output,
                     BusList& bus_list, const KisSettings& kis_settings, RunContext& run,
                     Sink& console) {
  std::string record;
  std::string first_line;
  ParamTable table{};
  // The lines between records are copied in runs, not one by one.
  const auto is_record = [](std::string_view line) { return recognised_model(line).has_value(); };
  while (const auto lines = input.next_lines(is_record)) {
    if (!lines->wanted) {
      output.write(lines->text);
      continue;
    }
    const std::optional<std::string_view> line = lines->text;
    const auto model = recognised_model(*line);
    const long first_line_number = input.line_number();
    // The header comes from the first line alone, and only the bus list lookup needs it: an
    // empty list selects every record at check level 0 without looking.
    std::optional<HeaderKey> header;
    bool listed = true;
    if (!bus_list.empty()) {
      // Most records are at buses the list does not name: the bus number settles those.
      listed = bus_list.lists_bus(read_bus_number(*line));
      if (listed) header = read_header_key(*line);
    } else {
      first_line.assign(*line);  // for a warning about the record; the join may change it
    }
    record.assign(*line);
    join_continuations(record, input);
    const BusSelection selection =
        !listed  ? BusSelection{-1.0f, -1}  // what the lookup answers, without a warning
        : header ? bus_list.lookup(header->bus_number, header->unit_id_text(), header->bus_name(),
                                   console)
                 : BusSelection{};
    const int m = static_cast<int>(*model);
    if (selection.kis >= 0 && selection.check_level < 3 && kis_settings[m] >= 0) {
      const float kis = bus_list.empty() ? kis_settings[m] : selection.kis;
      if (const auto length = header_length(record)) {
        ++run.counters.read[m];
        const ParamList list = read_param_list(record, *length, *model, table);
        if (has_warnings(list, *model)) {
          if (!header) header = read_header_key(first_line);
          warn_about_reading(list, *model, table, *header, {input_name, first_line_number},
                             console);
        }
        converter_of(*model)(record, list.mva_base, table, *length, kis, selection.check_level,
                             run);
      } else {
        console.write(
            formatted("No colon in record at line %ld, not converted\n", first_line_number));
      }
    }
    output.write(record);
  }
}

}  // namespace tpjconv
