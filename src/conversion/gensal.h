// The gensal converter: a salient-pole machine record becomes a gentpj record.
#pragma once

#include <cstddef>
#include <string>
#include <string_view>

#include "conversion/frame.h"
#include "conversion/record.h"

namespace tpjconv {

// The parameters of a gensal record, in the order the record gives them.
inline constexpr std::string_view kGensalParameters[] = {"tpdo", "tppdo", "tppqo", "h",    "d",
                                                        "ld",   "lq",    "lpd",   "lppd", "ll",
                                                        "s1",   "s12",   "ra",    "rcomp", "xcomp"};

// Maps the fifteen gensal parameters onto the gentpj positions, runs the sixteen gensal rules
// (codes 101 to 118) and rewrites `record` in place.
void convert_gensal(std::string& record, float mva_base, ParamTable& table,
                    std::size_t header_length, double kis, int check_level, RunContext& run);

}  // namespace tpjconv
