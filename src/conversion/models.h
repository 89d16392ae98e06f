// The model table: one row for each input model, with everything the reading, the conversion and
// the outputs need to know of it. A model is its own file (its parameters and its converter) and
// one row here.
#pragma once

#include <cstddef>
#include <span>
#include <string>
#include <string_view>

#include "conversion/frame.h"
#include "conversion/record.h"
#include "tpjconv/findings.h"

namespace tpjconv {

// Rewrites `record` (its header `header_length` long) as gentpj from the parameters read into
// `table`, running the model's rules at `check_level` with `kis`.
using Converter = void (*)(std::string& record, float mva_base, ParamTable& table,
                           std::size_t header_length, double kis, int check_level,
                           RunContext& run);

struct ModelRow {
  Model model;
  std::span<const std::string_view> parameters;  // in the order the record gives them
  std::size_t required;           // taken as parsed, the placeholder when absent; any after
                                  // them are 0 when absent
  Converter convert;
  std::string_view report_heading;   // the model's name in the report block's heading
  std::string_view accel_separator;  // what stands before accel in the gentpj record line
};

// The row of `model`.
const ModelRow& model_row(Model model);

}  // namespace tpjconv
