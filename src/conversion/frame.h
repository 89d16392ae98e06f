// The conversion frame that the converters share: working values, the record label, findings
// with their notes, handed to the listeners as check-log lines, the rewritten gentpj record, the
// old and new values in the ParamTable, and the comparison-report block.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <optional>
#include <utility>
#include <vector>

#include "conversion/record.h"
#include "text/sink.h"
#include "tpjconv/findings.h"

namespace tpjconv {

// The 21 values of a gentpj record, in record order. A position indexes the ParamTable cell, the
// working value and the note slot that belong to it; +p is that index.
enum class Position : int {
  mbase, tpdo, tppdo, tpqo, tppqo, h, d, ld, lq, lpd, lpq,
  lppd, lppq, ll, s1, s12, ra, rcomp, xcomp, accel, kis,
};
constexpr int operator+(Position p) { return static_cast<int>(p); }
inline constexpr int kPositions = 21;

// The gentpj name of a position: "mbase", "tpdo", ... "kis".
std::string_view position_name(Position p);

// Records read (handed to a converter) and records changed (with findings and a report block),
// per input model.
struct ModelCounters {
  std::array<int, kModelCount> read{};
  std::array<int, kModelCount> changed{};
};

class Conversion;

// One line of the check log, as a conversion hands it to those that listen: a finding, or the
// salient-pole line that is no finding. The texts live as long as the call.
struct FindingEvent {
  Conversion& conversion;  // the record's conversion: its model, label, header and place
  int code;
  std::string_view text;  // the rule's own text, with its leading comma: ",lq >  ld"
  std::string_view note;  // the note of the line: a blank and the texts of the slot so far
  Position slot;
  float value;                        // the slot's value when the rule judged it
  std::optional<float> corrected_to;  // the value the rule set, when it corrected it
  bool is_finding;                    // false for the salient-pole line
};

// Gets each check-log line of a run as it is made: the check log, the rule counts, the findings
// as data.
class FindingListener {
 public:
  virtual ~FindingListener() = default;
  virtual void finding(const FindingEvent& event) = 0;
};

// What the converters share with the run: tcmin, the report stream (none: no report), the
// counters, those that listen to the check-log lines, and the place of the record converted.
struct RunContext {
  float tcmin = 0.025f;
  Sink* report = nullptr;
  ModelCounters& counters;
  std::vector<FindingListener*> listeners = {};
  std::string_view input_name = {};
  long record_line = 0;  // the first line of the record being converted
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
  float operator[](Position p) const { return values_[+p]; }

  float tcmin() const { return run_.tcmin; }

  // A rule with a correction: when `failed`, a finding with `code` and `text` on the note slot of
  // `slot`; at check level 0 the value of `slot` then becomes `fix`, rounded to 32 bits.
  // Most rules pass: that much is decided here, inline.
  void rule(bool failed, int code, std::string_view text, Position slot, double fix) {
    if (failed) failed_rule(code, text, slot, fix);
  }

  // A rule without correction.
  void rule(bool failed, int code, std::string_view text, Position slot) {
    if (failed) finding(code, text, slot, std::nullopt);
  }

  // A check-log line with `code` and `text` that is no finding, written when reports are asked
  // for: it counts in neither the findings nor the note slots.
  void log(int code, std::string_view text);

  Model model() const { return model_; }
  int check_level() const { return check_level_; }
  // The record's header, as read before the record is rewritten.
  std::string_view header() const { return std::string_view(record_).substr(0, header_length_); }
  std::string_view input_name() const { return run_.input_name; }
  long line() const { return run_.record_line; }

  // Rewrites the record as gentpj, stores the new values and writes the report block.
  void finish();

  // The record label, made from the header when first needed: most records have no finding and
  // never show it.
  const std::string& label();

 private:
  void failed_rule(int code, std::string_view text, Position slot, double fix);
  void finding(int code, std::string_view text, Position slot, std::optional<float> fix);
  // Where each number stands in the gentpj parameter text: offset and length.
  using NumberSpans = std::array<std::pair<std::uint16_t, std::uint16_t>, 21>;
  void write_report_block(std::string_view text, const NumberSpans& spans);

  Model model_;
  std::string& record_;
  ParamTable& table_;
  std::size_t header_length_;
  double kis_;
  RunContext& run_;
  int check_level_;
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
