// The gentpf converter: a machine record with its own q-axis data becomes a gentpj record.
#pragma once

#include <cstddef>
#include <string>

#include "conversion/frame.h"
#include "conversion/record.h"

namespace tpjconv {

// Maps the eighteen gentpf parameters onto the gentpj positions, runs the seventeen gentpf rules
// (codes 301 to 324) and rewrites `record` in place.
void convert_gentpf(std::string& record, float mva_base, ParamTable& table,
                    std::size_t header_length, double kis, int check_level, RunContext& run);

}  // namespace tpjconv
