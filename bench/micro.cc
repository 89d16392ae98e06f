// tpjconv_micro: the per-record path of tpjconv under Google Benchmark, on a few typical records
// of each model.
//
//   parse/NAME        reading the parameter list of the record into the ParamTable
//   convert/NAME      parameter list, converter and the gentpj line, at check level 0
//   convert_level2/NAME  the same at check level 2 (no check log, no report)
//   record/NAME       the whole road of the record from the input text: line, model, header,
//                     continuation lines, parameter list, converter
//   lookup            one bus numbers file lookup in a list of 30000 entries
//   scan_float/TEXT   reading one number field as "%f" does
//   append_fixed      formatting the twenty numbers of a gentpj line
//
// items_per_second is records (or numbers) per second. The check log and the report go to
// in-memory sinks, emptied every 4096 records.

#include <benchmark/benchmark.h>

#include <array>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "conversion/bus_list.h"
#include "conversion/frame.h"
#include "conversion/models.h"
#include "conversion/record.h"
#include "findings/check_log.h"
#include "text/fields.h"
#include "text/line_reader.h"
#include "text/number_format.h"
#include "text/sink.h"

namespace {

using namespace tpjconv;

struct Sample {
  const char* name;
  std::string_view text;  // one record, with its continuation lines and line ends
};

// Typical machine records, as the benchmark file writes them.
constexpr std::array<Sample, 9> kSamples = {{
    {"gensal_clean",
     "gensal    1039 \"CORBAY  \"  24.00 \"1 \" : #9 mva=259.0 4.26 0.046 0.099 4.42 0.0 1.227 "
     "0.775 0.490 0.384 0.300 0.243 0.572 0.0022 0.0 0.00\n"},
    {"gensal_3_findings",  // tppdo below tcmin, ll above 0.95 lppd, improper ra
     "gensal    1039 \"CORBAY  \"  24.00 \"2 \" : #9 mva=267.2 7.46 0.020 0.054 2.97 0.0 0.864 "
     "0.498 0.302 0.229 0.229 0.153 0.217 0.0600 0.0 0.00\n"},
    {"gentpf_clean",
     "gentpf    1001 \"BARCAS  \"  24.00 \"1 \" : #9 mva=1096.1 9.37 0.052 1.247 0.089 3.13 0.0 "
     "1.862 1.688 0.211 0.428 0.173 0.173 0.133 0.045 0.372 0.0043 0.0 0.00\n"},
    {"gentpf_3_findings",  // tpdo below 2, lpq above 0.75 lq, xcomp above 0.2
     "gentpf    1001 \"BARCAS  \"  24.00 \"2 \" : #9 mva=1096.1 1.50 0.052 1.247 0.089 3.13 0.0 "
     "1.862 1.688 0.211 1.350 0.173 0.173 0.133 0.045 0.372 0.0043 0.0 0.25\n"},
    {"genrou_round_clean",
     "genrou    1013 \"DENCOR  \"  18.00 \"1 \" : #9 mva=618.0 7.20 0.050 0.945 0.082 3.37 0.0 "
     "1.585 1.491 0.241 0.560 0.197 0.129 0.092 0.432 0.0059 0.0 0.00\n"},
    {"genrou_round_3_findings",  // lpd above 0.4 ld, tppqo below tcmin, rcomp above 0.01
     "genrou    1013 \"DENCOR  \"  18.00 \"2 \" : #9 mva=618.0 7.20 0.050 0.945 0.015 3.37 0.0 "
     "1.585 1.491 0.713 0.560 0.197 0.129 0.092 0.432 0.0059 0.02 0.00\n"},
    {"genrou_salient_clean",
     "genrou    1025 \"FALTAM  \"  15.75 \"2 \" : #9 mva=326.5 7.67 0.042 0.000 0.100 2.89 0.0 "
     "0.819 0.536 0.271 0.536 0.224 0.134 0.159 0.233 0.0039 0.0 0.00\n"},
    {"genrou_keywords",
     "genrou    1029 \"MARYOR  \"  24.00 \"1 \" : #9 mva=383.6 \"tpdo\" 7.72 \"tppdo\" 0.050 "
     "\"tpqo\" 0.870 \"tppqo\" 0.087 \"h\" 4.89 \"d\" 0.0 \"ld\" 1.970 \"lq\" 1.841 \"lpd\" 0.275 "
     "\"lpq\" 0.541 \"lppd\" 0.219 \"ll\" 0.180 \"s1\" 0.175 \"s12\" 0.553 \"ra\" 0.0040 "
     "\"rcomp\" 0.0 \"xcomp\" 0.00\n"},
    {"genrou_three_lines",
     "genrou    1029 \"MARYOR  \"  24.00 \"2 \" : #9 mva=35.6 5.80 0.037 0.650 0.088 3.94 0.0 /\n"
     "     1.848 1.774 0.264 0.574 0.208 0.171 /\n"
     "     0.084 0.247 0.0026 0.0 0.00\n"},
}};

Converter converter_of(std::string_view text) { return model_row(*recognised_model(text)).convert; }

// The check log and report of a run, kept in memory and emptied now and then.
struct Harness {
  std::optional<Sink> check_log{std::in_place};
  std::optional<Sink> report{std::in_place};
  ModelCounters counters;
  CheckLog log{*check_log};
  RunContext run{0.025f, &*report, counters, {&log}};

  void empty_now_and_then(std::int64_t i) {
    if ((i & 4095) == 0) {
      check_log.emplace();
      report.emplace();
    }
  }
};

// The joined record, as the record loop hands it to the converters.
std::string joined(std::string_view text) {
  LineReader reader(text);
  std::string record(*reader.next());
  join_continuations(record, reader);
  return record;
}

void parse(benchmark::State& state, const Sample& sample) {
  const std::string record = joined(sample.text);
  const std::size_t length = *header_length(record);
  const Model model = *recognised_model(record);
  ParamTable table{};
  for (auto _ : state) {
    benchmark::DoNotOptimize(read_param_list(record, length, model, table));
    benchmark::ClobberMemory();
  }
  state.SetItemsProcessed(state.iterations());
}

void convert(benchmark::State& state, const Sample& sample, int check_level) {
  const std::string record = joined(sample.text);
  const std::size_t length = *header_length(record);
  const Model model = *recognised_model(record);
  const Converter converter = converter_of(record);
  Harness harness;
  ParamTable table{};
  std::string buffer;
  buffer.reserve(2000);
  std::int64_t i = 0;
  for (auto _ : state) {
    harness.empty_now_and_then(i++);
    buffer.assign(record);
    const ParamList list = read_param_list(buffer, length, model, table);
    converter(buffer, list.mva_base, table, length, 0.3, check_level, harness.run);
    benchmark::DoNotOptimize(buffer.data());
    benchmark::ClobberMemory();
  }
  state.SetItemsProcessed(state.iterations());
}

void whole_record(benchmark::State& state, const Sample& sample) {
  Harness harness;
  ParamTable table{};
  std::string buffer;
  buffer.reserve(2000);
  std::int64_t i = 0;
  for (auto _ : state) {
    harness.empty_now_and_then(i++);
    LineReader input(sample.text);
    const std::string_view line = *input.next();
    const Model model = *recognised_model(line);
    const RecordHeader header = read_header(line);
    benchmark::DoNotOptimize(header.bus_number);
    buffer.assign(line);
    join_continuations(buffer, input);
    const std::size_t length = *header_length(buffer);
    const ParamList list = read_param_list(buffer, length, model, table);
    model_row(model).convert(buffer, list.mva_base, table, length, 0.3, 0, harness.run);
    benchmark::DoNotOptimize(buffer.data());
    benchmark::ClobberMemory();
  }
  state.SetItemsProcessed(state.iterations());
}

void lookup(benchmark::State& state) {
  // 30000 entries on 12000 buses of one to four units, as a large bus numbers file has.
  BusTable list;
  std::vector<int> buses;
  for (int e = 0, bus = 1000; e < 30000; ++bus) {
    for (int unit = 0; unit < 1 + bus % 4 && e < 30000; ++unit, ++e) {
      BusEntry entry;
      entry.bus_number = bus * 7;
      entry.unit_id = {static_cast<char>('1' + unit), ' '};
      entry.check_level = e % 10 < 6 ? 0 : 1;
      entry.kis = 0.3f;
      entry.bus_name = {'H', 'I', 'L', 'L', 'S', 'I', 'D', 'E'};
      list.add(entry);
    }
    buses.push_back(bus * 7);
  }
  BusUse use(list);
  std::string mismatch;
  std::size_t k = 0;
  for (auto _ : state) {
    const int bus = buses[k];
    k = k + 7919 < buses.size() ? k + 7919 : (k + 7919) % buses.size();
    benchmark::DoNotOptimize(use.lookup(bus, "1 ", "HILLSIDE", mismatch));
  }
  state.SetItemsProcessed(state.iterations());
}

void scan(benchmark::State& state, std::string_view field) {
  for (auto _ : state) benchmark::DoNotOptimize(scan_float(field));
  state.SetItemsProcessed(state.iterations());
}

void append_numbers(benchmark::State& state) {
  // The twenty numbers of a gentpj line, with their widths and precisions.
  constexpr std::array<double, 20> kValues = {7.2,   0.05,  0.945, 0.082, 3.37,  0.0,  1.585,
                                              1.491, 0.241, 0.56,  0.197, 0.197, 0.129, 0.092,
                                              0.432, 0.0059, 0.0,  0.0,   0.5,   0.3};
  constexpr std::array<std::array<int, 2>, 20> kFormat = {{{6, 3}, {4, 3}, {6, 4}, {6, 4},
                                                           {6, 3}, {4, 2}, {6, 4}, {6, 4},
                                                           {6, 4}, {6, 4}, {6, 4}, {6, 4},
                                                           {6, 4}, {6, 4}, {6, 4}, {6, 4},
                                                           {7, 4}, {7, 4}, {4, 2}, {6, 4}}};
  std::vector<float> values(kValues.begin(), kValues.end());  // the 32-bit values, widened
  std::string line;
  line.reserve(400);
  for (auto _ : state) {
    line.clear();
    for (std::size_t p = 0; p < values.size(); ++p) {
      line += ' ';
      append_fixed(line, values[p], kFormat[p][0], kFormat[p][1]);
    }
    benchmark::DoNotOptimize(line.data());
    benchmark::ClobberMemory();
  }
  state.SetItemsProcessed(state.iterations() * static_cast<std::int64_t>(values.size()));
}

}  // namespace

int main(int argc, char** argv) {
  for (const Sample& s : kSamples) {
    benchmark::RegisterBenchmark(("parse/" + std::string(s.name)).c_str(), parse, s);
  }
  for (const Sample& s : kSamples) {
    benchmark::RegisterBenchmark(("convert/" + std::string(s.name)).c_str(), convert, s, 0);
  }
  for (const Sample& s : kSamples) {
    if (std::string_view(s.name).ends_with("findings")) {
      benchmark::RegisterBenchmark(("convert_level2/" + std::string(s.name)).c_str(), convert, s,
                                   2);
    }
  }
  for (const Sample& s : kSamples) {
    benchmark::RegisterBenchmark(("record/" + std::string(s.name)).c_str(), whole_record, s);
  }
  benchmark::RegisterBenchmark("lookup", lookup);
  for (const std::string_view field : {"0.0", "1.585", "0.0059", "1096.1", "-0.87", "0.00625\n"}) {
    std::string name = "scan_float/";
    for (const char c : field) name += c == '\n' ? std::string("\\n") : std::string(1, c);
    benchmark::RegisterBenchmark(name.c_str(), scan, field);
  }
  benchmark::RegisterBenchmark("append_fixed", append_numbers);

  benchmark::Initialize(&argc, argv);
  if (benchmark::ReportUnrecognizedArguments(argc, argv)) return 1;
  benchmark::RunSpecifiedBenchmarks();
  benchmark::Shutdown();
  return 0;
}
