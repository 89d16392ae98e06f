#include "run/record_loop.h"

#include <optional>
#include <string>

#include "models/genrou.h"
#include "models/gensal.h"
#include "models/gentpf.h"
#include "records/number_format.h"
#include "records/record.h"

namespace tpjconv {

namespace {

using Converter = void (*)(std::string&, float, ParamTable&, std::size_t, double, int,
                           RunContext&);

Converter converter_of(Model model) {
  switch (model) {
    case Model::gensal: return convert_gensal;
    case Model::gentpf: return convert_gentpf;
    case Model::genrou: return convert_genrou;
  }
  return nullptr;
}

}  // namespace

void convert_records(LineReader& input, Sink& output, const BusList& bus_list,
                     const KisSettings& kis_settings, RunContext& run, Sink& console) {
  std::string record;
  ParamTable table{};
  while (const auto line = input.next()) {
    const auto model = recognised_model(*line);
    if (!model) {
      output.write(*line);
      continue;
    }
    const long first_line = input.line_number();
    // The header comes from the first line alone, and only the bus list lookup needs it: an
    // empty list selects every record at check level 0 without looking.
    std::optional<RecordHeader> header;
    if (!bus_list.empty()) header = read_header(*line);
    record.assign(*line);
    join_continuations(record, input);
    const BusSelection selection =
        header ? bus_list.lookup(header->bus_number, header->unit_id, header->bus_name, console)
               : BusSelection{};
    const int m = static_cast<int>(*model);
    if (selection.kis >= 0 && selection.check_level < 3 && kis_settings[m] >= 0) {
      const float kis = bus_list.empty() ? kis_settings[m] : selection.kis;
      if (const auto length = header_length(record)) {
        ++run.counters.read[m];
        const float mva_base = read_param_list(record, *length, table);
        converter_of(*model)(record, mva_base, table, *length, kis, selection.check_level, run);
      } else {
        console.write(formatted("No colon in record at line %ld, not converted\n", first_line));
      }
    }
    output.write(record);
  }
}

}  // namespace tpjconv
