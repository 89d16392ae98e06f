// Model records of a dynamic-data file: recognising them, reading the header, joining the
// continuation lines and reading the parameter list into the ParamTable.
#pragma once

#include <array>
#include <cstddef>
#include <optional>
#include <string>
#include <string_view>

#include "records/line_reader.h"

namespace tpjconv {

// The input models that are converted to gentpj, in the order in which they are tried and counted.
enum class Model { gensal = 0, gentpf = 1, genrou = 2 };
inline constexpr std::array<Model, 3> kModels = {Model::gensal, Model::gentpf, Model::genrou};
std::string_view model_name(Model model);

// The model whose name fills the first six characters of the line, if any.
std::optional<Model> recognised_model(std::string_view line);

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

// Reads the parameter list after the header into cells 0 to 19 of `table` (value and present).
// Returns the MVA base: the number after the mva word, -1 when there is none.
float read_param_list(std::string_view record, std::size_t header_length, ParamTable& table);

}  // namespace tpjconv
