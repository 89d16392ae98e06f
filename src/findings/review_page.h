// The review page of a run: one self-contained HTML file (no network, nothing beside it) with
// the run's settings and totals, a chart of the findings per rule drawn as inline SVG (there
// without JavaScript, and in print), every finding in a table that inline JavaScript renders
// in pages from data embedded once as JSON, and the warnings grouped by kind.
//
// The page's query string sets the table's filters, so that a link (or a test) opens it
// filtered:
//   model=genrou               the findings of one model
//   code=208                   the findings of one check code
//   rule=genrou 208 lq >  ld   the findings of one bar of the chart: model, code and rule text
//   q=102                      a bus number (exactly) or a part of a bus name (any case)
//   sort=value, sort=-value    the column to sort by (line, model, bus, name, unit, level, code,
//                              rule, parameter, value, corrected), "-" for descending
//   page=3                     the page of the table to show, from 1
//
// Every text from the input is escaped: in the HTML as entities, in the embedded JSON with
// "<", ">", "&" and every character beyond ASCII as \u escapes, so that no text can end the
// script element that holds it.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <unordered_map>
#include <utility>
#include <vector>

#include "findings/run_info.h"
#include "text/sink.h"
#include "tpjconv/findings.h"

namespace tpjconv {

class ReviewPage {
 public:
  // The page is written to `out` (which must outlive this writer) by finish(); `time` is the
  // time of the run as the page shows it.
  ReviewPage(Sink& out, RunInfo run, std::string time);

  // Keeps the finding in compact form until finish(): 16 bytes, and 32 more for each record
  // that has findings, and each distinct text once.
  void add(const Finding& finding);
  void add(const Warning& warning);

  // Writes the page. Nothing is written after it.
  void finish(const Totals& totals, const Outcome& outcome);

  // The bytes the kept findings take, for the memory figures of the tests.
  std::size_t bytes_kept() const;

 private:
  // A record with findings: where it is and how its header names it.
  struct Record {
    std::int64_t line;
    std::int32_t bus;
    float base_kv;
    std::uint32_t file;      // text
    std::uint32_t bus_name;  // text
    std::uint32_t unit_id;   // text
    std::int32_t level;
  };
  // A rule as findings name it: model, code, rule text and parameter.
  struct Rule {
    std::int32_t model;
    std::int32_t code;
    std::uint32_t text;       // text
    std::uint32_t parameter;  // text
  };
  struct Kept {
    std::uint32_t record;
    std::uint32_t rule;  // with kCorrected set when the value was corrected
    float value;
    float corrected_to;
  };
  static constexpr std::uint32_t kCorrected = 0x80000000u;

  std::uint32_t text_id(std::string_view bytes, bool trim);

  Sink& out_;
  RunInfo run_;
  std::string time_;
  std::vector<Kept> findings_;
  std::vector<Record> records_;
  std::vector<Rule> rules_;
  std::vector<std::pair<std::string, std::string>> rule_bytes_;  // text, parameter as given
  std::unordered_map<std::uint64_t, std::vector<std::uint32_t>> rules_by_code_;  // model, code
  Finding last_;  // the record of the finding before
  std::vector<const std::string*> texts_;                   // the keys of text_ids_
  std::unordered_map<std::string, std::uint32_t> text_ids_;
  std::vector<Warning> warnings_;
  std::string scratch_;
  bool finished_ = false;
};

}  // namespace tpjconv
