// The record loop: one pass over the dynamic-data file, converting the selected generator records.
#pragma once

#include <array>
#include <string_view>

#include "conversion/frame.h"
#include "text/line_reader.h"
#include "text/sink.h"
#include "conversion/bus_list.h"

namespace tpjconv {

// The Kis given on the command line for gensal, gentpf and genrou; negative disables the model.
using KisSettings = std::array<float, 3>;

// Copies every line of `input` to `output`. A gensal, gentpf or genrou record is written as one
// line with its continuation lines joined; when it is selected by the bus list and its model is
// enabled, it is converted to gentpj first. Counts go to run.counters; warnings go to `console`,
// naming the input as `input_name` with the line of the record.
void convert_records(LineReader& input, std::string_view input_name, Sink& output,
                     BusList& bus_list, const KisSettings& kis_settings, RunContext& run,
                     Sink& console);

}  // namespace tpjconv
