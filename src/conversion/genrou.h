// The genrou converter: a round-rotor or salient-pole machine record becomes a gentpj record.
#pragma once

#include <cstddef>
#include <string>
#include <string_view>

#include "conversion/frame.h"
#include "conversion/record.h"

namespace tpjconv {

// The parameters of a genrou record, in the order the record gives them.
inline constexpr std::string_view kGenrouParameters[] = {"tpdo", "tppdo", "tpqo", "tppqo", "h",
                                                        "d",    "ld",    "lq",   "lpd",   "lpq",
                                                        "lppd", "ll",    "s1",   "s12",   "ra",
                                                        "rcomp", "xcomp"};

// Maps the seventeen genrou parameters onto the gentpj positions, classes the machine as
// round-rotor (codes 201 to 218) or salient-pole (208, 251 to 268), runs the rules of that path
// and rewrites `record` in place.
void convert_genrou(std::string& record, float mva_base, ParamTable& table,
                    std::size_t header_length, double kis, int check_level, RunContext& run);

}  // namespace tpjconv
