#include "conversion/record_loop.h"

#include <optional>
#include <string>

#include "conversion/models.h"
#include "conversion/record.h"
#include "text/number_format.h"
#include "text/printable.h"

namespace tpjconv {

namespace {

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

// What a warning says about a field that was not read as the plain number it looks like.
std::string odd_number_warning(const OddNumber& odd) {
  return odd_number_text(odd.name, odd.text, odd.fit, shortest(odd.value));
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

// Hands on the warnings about how a record was read, one each.
void warn_about_reading(const ParamList& list, Model model, const ParamTable& table,
                        const HeaderKey& header, const RunContext& run, WarningOut& warnings) {
  const std::string name = record_name(model, header) + ": ";
  const auto warn = [&](const std::string& text) {
    warnings.warning(
        Warning{WarningKind::record, std::string(run.input_name), run.record_line, name + text});
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

void convert_records(LineReader& input, Sink* output, BusUse& bus_list,
                     const KisSettings& kis_settings, RunContext& run, WarningOut& warnings) {
  std::string record;
  std::string first_line;
  std::string mismatch;
  ParamTable table{};
  const bool no_list = bus_list.table().empty();
  // The lines between records are copied in runs, not one by one.
  const auto is_record = [](std::string_view line) { return recognised_model(line).has_value(); };
  while (const auto lines = input.next_lines(is_record)) {
    if (!lines->wanted) {
      if (output != nullptr) output->write(lines->text);
      continue;
    }
    const std::optional<std::string_view> line = lines->text;
    const auto model = recognised_model(*line);
    run.record_line = input.line_number();
    // The header comes from the first line alone, and only the bus list lookup needs it: an
    // empty list selects every record at check level 0 without looking.
    std::optional<HeaderKey> header;
    bool listed = true;
    if (!no_list) {
      // Most records are at buses the list does not name: the bus number settles those.
      listed = bus_list.table().lists_bus(read_bus_number(*line));
      if (listed) header = read_header_key(*line);
    } else {
      first_line.assign(*line);  // for a warning about the record; the join may change it
    }
    record.assign(*line);
    join_continuations(record, input);
    BusSelection selection{};
    if (!listed) {
      selection = {-1.0f, -1};  // what the lookup answers, without a warning
    } else if (header) {
      selection = bus_list.lookup(header->bus_number, header->unit_id_text(), header->bus_name(),
                                  mismatch);
      if (!mismatch.empty()) {
        warnings.warning(Warning{WarningKind::name_mismatch, std::string(run.input_name),
                                 run.record_line, std::move(mismatch), true});
        mismatch.clear();
      }
    }
    const int m = static_cast<int>(*model);
    if (selection.kis >= 0 && selection.check_level < 3 && kis_settings[m] >= 0) {
      const float kis = no_list ? kis_settings[m] : selection.kis;
      if (const auto length = header_length(record)) {
        ++run.counters.read[m];
        const ParamList list = read_param_list(record, *length, *model, table);
        if (has_warnings(list, *model)) {
          if (!header) header = read_header_key(first_line);
          warn_about_reading(list, *model, table, *header, run, warnings);
        }
        model_row(*model).convert(record, list.mva_base, table, *length, kis,
                                  selection.check_level, run);
      } else {
        warnings.warning(Warning{
            WarningKind::record, std::string(run.input_name), run.record_line,
            formatted("No colon in record at line %ld, not converted", run.record_line), true});
      }
    }
    if (output != nullptr) output->write(record);
  }
}

}  // namespace tpjconv
