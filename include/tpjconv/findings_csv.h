// The findings file: CSV after RFC 4180 (CR LF line ends, a field in double quotes only when it
// holds a comma, a quote or a line end, its quotes doubled), in UTF-8, a header row and then one
// row per finding, in the order the findings came.
#pragma once

#include <string>
#include <string_view>

#include "tpjconv/export.h"
#include "tpjconv/findings.h"

namespace tpjconv {

// The header row, with its CR LF:
// file,line,model,bus,bus_name,base_kv,unit_id,level,code,rule,parameter,value,corrected_to
TPJCONV_API std::string_view findings_csv_header();

// Appends the row of `finding`, with its CR LF, to `out`: the code as three digits, numbers in
// the shortest form that reads back as the same 32-bit value ("inf", "-inf" or "nan" when not
// finite), corrected_to empty when the value was not corrected, the bus name, unit ID, rule and
// parameter without their padding blanks, and every text in UTF-8 (a byte that is no part of a
// UTF-8 sequence is read as Latin-1). Allocates nothing when `out` has room for the row.
TPJCONV_API void append_findings_csv_row(std::string& out, const Finding& finding);

}  // namespace tpjconv
