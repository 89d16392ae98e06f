// Model records of a dynamic-data file: recognising them, reading the header, joining the
// continuation lines and reading the parameter list into the ParamTable.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "text/fields.h"
#include "text/line_reader.h"
#include "tpjconv/findings.h"

namespace tpjconv {

// The parameters of a model's record, in the order the record gives them.
std::span<const std::string_view> parameter_names(Model model);

// How many of those parameters the converter takes as parsed, so that an absent one enters the
// checks as the placeholder. gensal's last five are 0 when absent and are not counted.
std::size_t required_parameters(Model model);

// The model whose name fills the first six characters of the line, if any. Asked of every line
// of the file, most of which do not begin with "gen".
inline std::optional<Model> recognised_model(std::string_view line) {
  if (line.size() < 6) return std::nullopt;
  for (const Model model : kModels) {
    const std::string_view name = model_name(model);
    if (line[0] == name[0] && line.substr(0, 6) == name) return model;
  }
  return std::nullopt;
}

// The five header fields of a record. A field the header lacks, or a number field that does not
// hold a number, keeps the fresh value given here.
struct RecordHeader {
  std::string model_name;       // at most 6 characters
  int bus_number = 0;
  std::string bus_name;         // at most 9 characters
  float base_kv = 0.0f;
  std::string unit_id = "  ";   // exactly 2 characters
};

// Splits the header at the start of `text` into its five fields.
RecordHeader read_header(std::string_view text);

// The header fields that find a record in the bus list, as read_header() reads them, copied out
// of the text without the base kV: the lookup made for every record.
struct HeaderKey {
  int bus_number = 0;
  std::array<char, 9> bus_name_chars{};
  std::size_t bus_name_size = 0;
  std::array<char, 2> unit_id{' ', ' '};

  std::string_view bus_name() const { return {bus_name_chars.data(), bus_name_size}; }
  std::string_view unit_id_text() const { return {unit_id.data(), unit_id.size()}; }
};
HeaderKey read_header_key(std::string_view text);

// The bus number alone, as read_header() reads it.
int read_bus_number(std::string_view text);

// Extends `record` with its continuation lines: each "/" becomes a blank and the next physical
// line takes the place of whatever followed it.
void join_continuations(std::string& record, LineReader& input);

// One parameter cell: `present` is 1 when the record gave a field for it.
struct ParamSlot {
  float value = 0.0f;
  float before = 0.0f;
  int present = 0;
};

// Cells 0 to 19 hold the parameters in input order; the converters reuse all 21 cells by gentpj
// position.
using ParamTable = std::array<ParamSlot, 21>;

// The placeholder value of a parameter the record does not give.
inline constexpr float kAbsentValue = 78.0f;

// The index of the first character after the record's first colon, or nothing without a colon.
std::optional<std::size_t> header_length(std::string_view record);

// How a record whose parameters carry names in double quotes ("tpdo" 8.0 ...) was read.
enum class NamedForm {
  none,         // no names: read by position
  by_name,      // every name is one of the model's, once: each number went to its name's cell
  by_position,  // a name the model lacks, a name given twice, a number without a name or a name
                // without a number: read by position, as a record without names
};

// Why a record with names was read by position, and the field that made it so.
enum class NameProblem { unknown_name, repeated_name, number_without_name, name_without_number };

// A field of the model's parameters, or the number after the mva word, that is not read as the
// plain finite number it looks like: part of it read, or a value that is not finite.
struct OddNumber {
  std::string_view name;  // the parameter's name, or "mva"
  std::string text;       // the field, without the record's line end
  float value = 0.0f;     // the value used
  NumberFit fit = NumberFit::not_wholly;  // not_wholly or not_finite; none only for the mva number
};

// The parameter list as read: the MVA base and what the reading noticed on the way.
struct ParamList {
  float mva_base = -1.0f;  // the number after the mva word, -1 when there is none
  std::uint32_t given = 0;        // bit k: the record gave a field for cell k
  std::uint32_t not_numbers = 0;  // bit k: cell k holds a field that is not a number
  NamedForm form = NamedForm::none;
  NameProblem problem = NameProblem::unknown_name;  // when read by position
  std::string problem_field;  // when read by position: the field in question, line end removed
  std::vector<OddNumber> odd_numbers;  // in the order of the text
  std::size_t unused_fields = 0;  // fields after the model's last parameter, the lone line end
                                  // after a last blank or comma not counted
};

// Reads the parameter list after the header into cells 0 to 19 of `table` (value and present).
// Fields are taken in order, one quoted field skipped before each; when the record names its
// parameters and every name is one of `model`'s, each number goes to the cell of its name.
ParamList read_param_list(std::string_view record, std::size_t header_length, Model model,
                          ParamTable& table);

}  // namespace tpjconv
