// What a conversion finds, as data: the findings of the check log, the warnings of the console
// and the totals of a run. Plain structs; every text is a copy that outlives the conversion.
#pragma once

#include <array>
#include <cstddef>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace tpjconv {

// The input models that are converted to gentpj, in the order in which they are tried, counted
// and reported.
enum class Model { gensal = 0, gentpf = 1, genrou = 2 };
inline constexpr std::size_t kModelCount = 3;
inline constexpr std::array<Model, kModelCount> kModels = {Model::gensal, Model::gentpf,
                                                           Model::genrou};

// "gensal", "gentpf" or "genrou".
constexpr std::string_view model_name(Model model) {
  return model == Model::gensal ? "gensal" : model == Model::gentpf ? "gentpf" : "genrou";
}

// One finding: a rule that a record broke, as its check-log line shows it. Findings at check
// level 2 write no check-log line and are not reported.
struct Finding {
  std::string file;       // the input's name, as the run was given it
  long line = 0;          // the record's first line in the input, from 1
  Model model = Model::gensal;
  int bus = 0;            // the bus number of the record header
  std::string bus_name;   // the bus name of the header, without its padding blanks
  float base_kv = 0.0f;
  std::string unit_id;    // the unit ID of the header, without its padding blanks
  int level = 0;          // the check level the record was converted at (0 or 1 here)
  int code = 0;           // the three-digit code of the check-log line
  std::string rule;       // the rule's own text, without its leading comma and trailing blanks
  std::string parameter;  // the gentpj parameter the rule judges: "lq", "tppdo", ...
  float value = 0.0f;     // that parameter's value when the rule judged it
  std::optional<float> corrected_to;  // the value the rule set, when it corrected it

  bool corrected() const { return corrected_to.has_value(); }
};

// What a warning is about, for readers that group them.
enum class WarningKind {
  record,         // a record not read as meant: numbers missing or not numbers, names, no colon
  name_mismatch,  // a record's bus name or unit ID differs from its bus numbers file entry
  bus_file,       // a line of the bus numbers file: a field that is no number, an entry twice
  unused_entry,   // a bus numbers file entry that matched no record
  settings,       // the arguments and settings of the run
  files,          // the files of the run: new files that interrupted runs left, removed
};

// One warning. The console shows it as "tpjconv: FILE:LINE: TEXT" ("tpjconv: FILE: TEXT" without
// a line, "tpjconv: TEXT" without a file), or as its text alone when `text_alone` is set: the
// lines of a name mismatch and of a record without a colon, which the console shows so.
struct Warning {
  WarningKind kind = WarningKind::record;
  std::string file;  // empty when the warning concerns no file
  long line = 0;     // 0 when it concerns no line
  std::string text;
  bool text_alone = false;
};

// The check-log lines of one rule of one model, as the findings summary counts them.
struct RuleCount {
  Model model = Model::gensal;
  int code = 0;
  std::string rule;     // as in Finding::rule
  long count = 0;       // check-log lines
  long corrected = 0;   // of those, the findings whose value was corrected
  bool finding = true;  // false for the salient-pole line 000, which is no finding
};

// The totals of a conversion.
struct Totals {
  std::array<int, kModelCount> read{};     // records handed to a converter, per model
  std::array<int, kModelCount> changed{};  // records with findings and a report block, per model
  std::vector<RuleCount> rules;  // by model, then code, then rule text
};

}  // namespace tpjconv
