// Fuzz target: record reading alone, and the rewrite of each record by its converter.
//
// Input: a first line of settings "LEVEL|KIS|TCMIN|CHUNK|GROW", then a dynamic-data text.
//   LEVEL  the check level given to every converter; empty: the records take -1, 0, 1, 2 in turn.
//   KIS    the Kis given to every converter (default 0.3); TCMIN the run's tcmin (default 0.025).
//   CHUNK  when above 0, the text is also read from a socket that hands it out in pieces of this
//          many bytes, and must give the same lines.
//   GROW   how often each "~" of the text repeats the byte before it.
//
// Checked, against small re-statements of the formats written for this target: the physical
// lines; the record recognition; the five header fields; the joined record; the header length;
// the MVA base, the 20 parameter cells (value, present, not a number) and whether the record was
// read by name or by position, and why; and for every record with a colon, the rewritten
// gentpj line (header kept, parameter text as printf writes it from the new values, line end
// kept), the old and new values, the check-log lines (label first), the report block (as printf
// writes it from the old and new values, present exactly when a reported record has findings)
// and the records-changed counter.

#include <unistd.h>

#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

#include "conversion/frame.h"
#include "conversion/models.h"
#include "conversion/record.h"
#include "findings/check_log.h"
#include "input.h"
#include "properties.h"
#include "reference.h"
#include "text/line_reader.h"
#include "text/number_format.h"
#include "text/sink.h"

namespace {

using tpjconv::LineReader;

// The lines of `text` read from a socket that delivers it in pieces of `chunk` bytes.
std::vector<std::string> lines_through_socket(const std::string& text, std::size_t chunk) {
  return input::through_socket(text, chunk, [](int fd) {
    std::vector<std::string> lines;
    input::DescriptorSource source(fd);
    LineReader reader(source);
    while (const auto line = reader.next()) {
      lines.emplace_back(*line);
      FUZZ_CHECK(reader.line_number() == static_cast<long>(lines.size()));
    }
    FUZZ_CHECK(reader.error() == 0);
    return lines;
  });
}

// The number conversions of the record line, the report, the label and the console, against
// printf, on one value.
void check_fixed(double v) {
  static const int kForms[][2] = {{8, 3}, {6, 3}, {4, 3}, {6, 4}, {4, 2},
                                  {7, 4}, {10, 2}, {10, 4}, {14, 4}, {8, 2}};
  for (const auto& form : kForms) {
    for (const bool left : {false, true}) {
      std::string got;
      tpjconv::append_fixed(got, v, form[0], form[1], left);
      char fmt[16];
      std::snprintf(fmt, sizeof fmt, left ? "%%-%d.%df" : "%%%d.%df", form[0], form[1]);
      const std::string want = ref::printf_string(fmt, v);
      if (got != want) {
        std::fprintf(stderr, "%s of %a: \"%s\", printf \"%s\"\n", fmt, v, got.c_str(),
                     want.c_str());
      }
      FUZZ_CHECK(got == want);
    }
  }
}

bool differ(float a, float b) { return a != b; }  // as C compares them: NaN differs from itself

// How the record was read: by name, by position for its first field that breaks the pattern of
// names and numbers, or without names.
void check_form(const tpjconv::ParamList& got, const ref::Params& want) {
  using tpjconv::NamedForm;
  using tpjconv::NameProblem;
  switch (want.form) {
    case ref::Form::none: FUZZ_CHECK(got.form == NamedForm::none); break;
    case ref::Form::by_name: FUZZ_CHECK(got.form == NamedForm::by_name); break;
    case ref::Form::by_position: FUZZ_CHECK(got.form == NamedForm::by_position); break;
  }
  if (want.form != ref::Form::by_position) {
    FUZZ_CHECK(got.problem_field.empty());
    return;
  }
  switch (want.problem) {
    case ref::Problem::unknown_name: FUZZ_CHECK(got.problem == NameProblem::unknown_name); break;
    case ref::Problem::repeated_name: FUZZ_CHECK(got.problem == NameProblem::repeated_name); break;
    case ref::Problem::number_without_name:
      FUZZ_CHECK(got.problem == NameProblem::number_without_name);
      break;
    case ref::Problem::name_without_number:
      FUZZ_CHECK(got.problem == NameProblem::name_without_number);
      break;
    case ref::Problem::none: FUZZ_CHECK(false); break;
  }
  FUZZ_CHECK(got.problem_field == want.problem_field);
}

void check_header(const tpjconv::RecordHeader& got, const ref::Header& want) {
  FUZZ_CHECK(got.model_name == want.model_name);
  FUZZ_CHECK(got.bus_number == want.bus_number);
  FUZZ_CHECK(got.bus_name == want.bus_name);
  FUZZ_CHECK(ref::same_float(got.base_kv, want.base_kv));
  FUZZ_CHECK(got.unit_id == want.unit_id);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const input::Parts parts = input::cut(data, size);
  const auto& s = parts.settings;
  const bool fixed_level = s.size() > 0 && !s[0].empty();
  const long level_setting = fixed_level ? std::strtol(s[0].c_str(), nullptr, 10) : 0;
  const double kis = s.size() > 1 && !s[1].empty() ? std::strtod(s[1].c_str(), nullptr) : 0.3;
  const float tcmin = s.size() > 2 && !s[2].empty() ? std::strtof(s[2].c_str(), nullptr) : 0.025f;
  const long chunk = input::number(parts, 3, 0, 65536);
  const std::string text = input::grow(parts.body, input::number(parts, 4, 0, 300000));

  // Number formatting on the raw 32-bit and 64-bit patterns of the input's first bytes.
  for (std::size_t at = 0; at + 8 <= size && at < 128; at += 4) {
    float f;
    double d;
    std::memcpy(&f, data + at, 4);
    std::memcpy(&d, data + at, 8);
    check_fixed(f);
    check_fixed(d);
  }

  // Physical lines, from memory and from a descriptor.
  const std::vector<std::string_view> lines = ref::split_lines(text);
  {
    LineReader reader{std::string_view(text)};
    for (const std::string_view want : lines) {
      const auto got = reader.next();
      FUZZ_CHECK(got && *got == want);
    }
    FUZZ_CHECK(!reader.next());
  }
  if (chunk > 0) {
    const std::size_t piece =
        std::max<std::size_t>(static_cast<std::size_t>(chunk), text.size() / 20000 + 1);
    const std::vector<std::string> got = lines_through_socket(text, piece);
    FUZZ_CHECK(got.size() == lines.size());
    for (std::size_t i = 0; i < got.size(); ++i) FUZZ_CHECK(got[i] == lines[i]);
  }

  // Records, one by one, as the record loop reads them.
  const std::vector<ref::Item> items = ref::items(text);
  tpjconv::Sink check_log, report;
  tpjconv::ModelCounters counters;
  tpjconv::CheckLog log{check_log};
  tpjconv::RunContext run{tcmin, &report, counters, {&log}};
  tpjconv::ParamTable table{};
  LineReader reader{std::string_view(text)};
  std::size_t n = 0;
  int record_count = 0;
  while (const auto line = reader.next()) {
    FUZZ_CHECK(n < items.size());
    const ref::Item& item = items[n++];
    const auto model = tpjconv::recognised_model(*line);
    FUZZ_CHECK((model ? static_cast<int>(*model) : -1) == item.model);
    if (!model) {
      FUZZ_CHECK(*line == item.text);
      continue;
    }
    const int m = static_cast<int>(*model);
    check_header(tpjconv::read_header(*line), ref::header(item.first_line));
    std::string record(*line);
    tpjconv::join_continuations(record, reader);
    FUZZ_CHECK(record == item.text);
    // The join used up the physical lines up to the next item.
    FUZZ_CHECK(reader.line_number() ==
               (n < items.size() ? items[n].line_number - 1 : static_cast<long>(lines.size())));

    const auto length = tpjconv::header_length(record);
    const std::size_t colon = record.find(':');
    FUZZ_CHECK(length.has_value() == (colon != std::string::npos));
    if (!length) continue;
    FUZZ_CHECK(*length == colon + 1);
    const std::size_t hl = *length;

    const tpjconv::ParamList list = tpjconv::read_param_list(record, hl, *model, table);
    const float mva = list.mva_base;
    const ref::Params want = ref::params(record, hl, m);
    check_fixed(mva);
    for (int k = 0; k < 20; ++k) check_fixed(table[k].value);
    FUZZ_CHECK(ref::same_float(mva, want.mva_base));
    for (int k = 0; k < 20; ++k) {
      FUZZ_CHECK(table[k].present == want.present[k]);
      FUZZ_CHECK(ref::same_float(table[k].value, want.value[k]));
      FUZZ_CHECK(((list.not_numbers >> k) & 1) == (want.not_number[k] ? 1u : 0u));
    }
    check_form(list, want);
    FUZZ_CHECK(list.unused_fields == want.unused);
    FUZZ_CHECK(list.odd_numbers.size() == want.odd.size());
    for (std::size_t i = 0; i < want.odd.size() && i < list.odd_numbers.size(); ++i) {
      const tpjconv::OddNumber& odd = list.odd_numbers[i];
      FUZZ_CHECK(odd.name == want.odd[i].name && odd.text == want.odd[i].text);
      FUZZ_CHECK(ref::same_float(odd.value, want.odd[i].value));
      FUZZ_CHECK((odd.fit == tpjconv::NumberFit::not_wholly) ==
                 (want.odd[i].fit == ref::Fit::part));
      FUZZ_CHECK((odd.fit == tpjconv::NumberFit::not_finite) ==
                 (want.odd[i].fit == ref::Fit::not_finite));
      FUZZ_CHECK((odd.fit == tpjconv::NumberFit::none) == (want.odd[i].fit == ref::Fit::none));
    }

    const int level = fixed_level ? static_cast<int>(level_setting) : record_count % 4 - 1;
    ++record_count;
    const std::string joined = record;
    const std::size_t log_before = check_log.text().size();
    const std::size_t report_before = report.text().size();
    const tpjconv::ModelCounters counters_before = counters;
    tpjconv::model_row(*model).convert(record, mva, table, hl, kis, level, run);

    // The rewritten record.
    float values[20];
    for (int k = 0; k < 20; ++k) values[k] = table[k].value;
    const bool crlf = joined.ends_with("\r\n");
    const std::string want_record = "gentpj" + joined.substr(6, hl - 6) +
                                    ref::gentpj_params(m, values, kis, crlf);
    if (record != want_record) {
      std::fprintf(stderr, "record differs:\n%s%s", want_record.c_str(), record.c_str());
    }
    FUZZ_CHECK(record == want_record);

    // Old and new values.
    FUZZ_CHECK(ref::same_float(table[0].before, mva) && ref::same_float(table[0].value, mva));
    FUZZ_CHECK(table[19].before == 0.5f && table[19].value == 0.5f);
    FUZZ_CHECK(table[20].before == 0.0f);
    FUZZ_CHECK(ref::same_float(table[20].value, static_cast<float>(kis)));
    for (int k = 0; k < 20; ++k) FUZZ_CHECK(table[k].present == want.present[k]);
    if (level != 0) {
      for (int k = 0; k < 20; ++k) FUZZ_CHECK(ref::same_float(table[k].before, table[k].value));
    }

    // Check log, report and counter.
    const std::string label = ref::label(ref::header(std::string_view(joined).substr(0, hl)));
    const std::string new_log = check_log.text().substr(log_before);
    const std::string new_report = report.text().substr(report_before);
    std::vector<std::string> log_lines;
    std::vector<props::Block> unused;
    props::split_logs(new_log, log_lines, unused);
    FUZZ_CHECK(unused.empty());
    bool finding = false;
    for (const std::string& l : log_lines) {
      FUZZ_CHECK(l.starts_with(label + " ,"));
      if (!props::is_salient_note(l)) finding = true;
      else FUZZ_CHECK(l == label + " ,000,  ,Salient pole generator ???" && m == 2);
    }
    if (level >= 2) FUZZ_CHECK(log_lines.empty());
    const bool block = finding && level <= 1;
    for (int k = 0; k < 3; ++k) {
      FUZZ_CHECK(counters.read[k] == counters_before.read[k]);
      FUZZ_CHECK(counters.changed[k] == counters_before.changed[k] + (block && k == m ? 1 : 0));
    }
    if (!block) {
      FUZZ_CHECK(new_report.empty());
      continue;
    }
    std::vector<std::string> no_lines;
    std::vector<props::Block> blocks;
    props::split_logs(new_report, no_lines, blocks);
    FUZZ_CHECK(no_lines.empty() && blocks.size() == 1);
    const props::Block& b = blocks[0];
    FUZZ_CHECK(b.label == label && b.model == m);
    for (int p = 0; p <= 20; ++p) {
      const float before = table[p].before, after = table[p].value;
      const std::string numbers = ref::report_numbers(p, before, after);
      const std::string& got = b.lines[3 + p];
      FUZZ_CHECK(got.starts_with(numbers));
      const std::string rest = got.substr(numbers.size());
      if (!differ(before, after)) {
        FUZZ_CHECK(rest.empty());
      } else if (p == 20) {
        FUZZ_CHECK(rest == " , ,Entered Kis");
      } else {
        // The note slot: a blank, then the texts of the findings on this value.
        FUZZ_CHECK(rest.starts_with("  , ") && (rest.size() == 4 || rest[4] == ','));
      }
    }
    const std::array<int, 3> per_model = props::check_log_against_report(log_lines, blocks);
    FUZZ_CHECK(per_model[m] == 1);
  }
  FUZZ_CHECK(n == items.size());
  return 0;
}
