// The gentpf converter: a machine record with its own q-axis data becomes a gentpj record.
#pragma once

#include <cstddef>
#include <string>
#include <string_view>

#include "conversion/frame.h"
#include "conversion/record.h"

namespace tpjconv {

// The parameters of a gentpf record, in the order the record gives them.
inline constexpr std::string_view kGentpfParameters[] = {"tpdo", "tppdo", "tpqo", "tppqo", "h",
                                                        "d",    "ld",    "lq",   "lpd",   "lpq",
                                                        "lppd", "lppq",  "ll",   "s1",    "s12",
                                                        "ra",   "rcomp", "xcomp"};

// Maps the eighteen gentpf parameters onto the gentpj positions, runs the seventeen gentpf rules
// (codes 301 to 324) and rewrites `record` in place.
void convert_gentpf(std::string& record, float mva_base, ParamTable& table,
                    std::size_t header_length, double kis, int check_level, RunContext& run);

}  // namespace tpjconv
