// The conversion frame that the gensal, gentpf and genrou converters share: working values, the
// record label, findings with their notes and check-log lines, the rewritten gentpj record, the
// old and new values in the ParamTable, and the comparison-report block.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <utility>

#include "conversion/record.h"
#include "text/sink.h"
#include "findings/summary.h"

namespace tpjconv {

// The 21 values of a gentpj record, in record order. A position indexes the ParamTable cell, the
// working value and the note slot that belong to it.
enum Position : int {
  mbase, tpdo, tppdo, tpqo, tppqo, h, d, ld, lq, lpd, lpq,
  lppd, lppq, ll, s1, s12, ra, rcomp, xcomp, accel, kis,
};

// Records read (handed to a converter) and records changed (with findings and a report block),
// per input model.
struct ModelCounters {
  std::array<int, 3> read{};
  std::array<int, 3> changed{};
};

// What the converters share with the run: tcmin, the check log and comparison report streams,
// the counters, and the findings summary when one is asked for.
struct RunContext {
  float tcmin = 0.025f;
  Sink& check_log;
  Sink& report;
  ModelCounters& counters;
  FindingCounts* finding_counts = nullptr;
};

// The values of positions 0 to 19 as a converter builds them from the parameter list.
using WorkingValues = std::array<float, 20>;

// One record's conversion. Construction sets the flags from the check level and stores the old
// values in the ParamTable; the converter then runs its rules and calls finish(), which rewrites
// the record and writes the report block.
class Conversion {
 public:
  Conversion(Model model, std::string& record, ParamTable& table, std::size_t header_length,
             double kis, int check_level, RunContext& run, const WorkingValues& start);

  // The working value of a position, as the rules before have left it.
  float operator[](Position p) const { return values_[p]; }

  float tcmin() const { return run_.tcmin; }

  // A rule with a correction: when `failed`, a finding with `code` and `text` on the note slot of
  // `slot`; at check level 0 the value of `slot` then becomes `fix`, rounded to 32 bits.
  // Most rules pass: that much is decided here, inline.
  void rule(bool failed, int code, std::string_view text, Position slot, double fix) {
    if (failed) failed_rule(code, text, slot, fix);
  }

  // A rule without correction.
  void rule(bool failed, int code, std::string_view text, Position slot) {
    if (failed) finding(code, text, slot, false);
  }

  // A check-log line with `code` and `text` that is no finding, written when reports are asked
  // for: it counts in neither the findings nor the note slots.
  void log(int code, std::string_view text);

  // Rewrites the record as gentpj, stores the new values and writes the report block.
  void finish();

  // The record label, made from the header when first needed: most records have no finding and
  // never show it.
  const std::string& label();

 private:
  void failed_rule(int code, std::string_view text, Position slot, double fix);
  void finding(int code, std::string_view text, Position slot, bool corrects);
  void write_log_line(int code, std::string_view note);
  // Where each number stands in the gentpj parameter text: offset and length.
  using NumberSpans = std::array<std::pair<std::uint16_t, std::uint16_t>, 21>;
  void write_report_block(std::string_view text, const NumberSpans& spans);

  Model model_;
  std::string& record_;
  ParamTable& table_;
  std::size_t header_length_;
  double kis_;
  RunContext& run_;
  bool report_;
  bool correct_;
  WorkingValues values_;
  std::string label_;  // empty until label() makes it
  // The note slots of positions 0 to 19, the only ones findings name (the other twelve of the
  // 32 keep their blank and are never shown): empty until a finding, a single blank.
  std::array<std::string, 20> notes_;
  int findings_ = 0;
};

}  // namespace tpjconv
