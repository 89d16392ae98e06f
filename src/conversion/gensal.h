// The gensal converter: a salient-pole machine record becomes a gentpj record.
#pragma once

#include <cstddef>
#include <string>

#include "conversion/frame.h"
#include "conversion/record.h"

namespace tpjconv {

// Maps the fifteen gensal parameters onto the gentpj positions, runs the sixteen gensal rules
// (codes 101 to 118) and rewrites `record` in place.
void convert_gensal(std::string& record, float mva_base, ParamTable& table,
                    std::size_t header_length, double kis, int check_level, RunContext& run);

}  // namespace tpjconv
