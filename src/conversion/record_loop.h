// The record loop: one pass over the dynamic-data file, converting the selected generator records.
#pragma once

#include <array>

#include "conversion/bus_list.h"
#include "conversion/frame.h"
#include "text/line_reader.h"
#include "text/sink.h"

namespace tpjconv {

// The Kis of each model, in the order of kModels; negative: the model is not converted.
using KisSettings = std::array<float, kModelCount>;

// Copies every line of `input` to `output` (none: nothing written). A record of a model of the
// model table is written as one line with its continuation lines joined; when it is selected by
// `bus_list` and its model is enabled, it is converted to gentpj first. Counts go to
// run.counters, check-log lines to run.listeners; warnings go to `warnings`, naming the input
// as run.input_name with the line of the record.
void convert_records(LineReader& input, Sink* output, BusUse& bus_list,
                     const KisSettings& kis_settings, RunContext& run, WarningOut& warnings);

}  // namespace tpjconv
