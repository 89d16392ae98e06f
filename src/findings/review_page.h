// The review page of a run: one self-contained HTML file (no network, nothing beside it) with
// the run's settings and totals, a chart of the findings per rule drawn as inline SVG (there
// without JavaScript, and in print), every finding in a table that inline JavaScript renders
// in pages from data embedded once as JSON, and the warnings grouped by kind.
//
// The data are written while the findings come, so that the page costs little memory whatever
// the size of the run: in parts in the page's head (script elements of class "findings-part",
// each with the texts, records and findings that came after the part before), and a last part
// (the element "findings-data") with the rest, the chart's bars and the rules. Texts, records
// and rules are numbered across the parts; a run of few findings has the last part alone.
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

#include <array>
#include <optional>
#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "conversion/frame.h"
#include "findings/observed.h"
#include "findings/run_info.h"
#include "findings/text.h"
#include "findings/text_ids.h"
#include "text/sink.h"
#include "tpjconv/findings.h"

namespace tpjconv {

// How much of the data a page gathers before writing it, and how many texts of records it
// remembers so as to write each once; the tests make them small.
struct ReviewPageLimits {
  std::size_t part = std::size_t{1} << 18;  // bytes of a part of the data
  std::size_t record_texts = std::size_t{1} << 14;
};

// Takes findings as Finding values or straight from the conversion's events (a listener of a
// run, without a Finding made); the page is the same either way.
class ReviewPage final : public FindingListener {
 public:
  // The page is written to `out` (which must outlive this writer) as the findings come and by
  // finish(); `time` is the time of the run as the page shows it.
  ReviewPage(Sink& out, RunInfo run, std::string time, ReviewPageLimits limits = {});

  // The finding's data go into the page in parts, each written once it is full; what is kept
  // is the part being filled, some texts of records, the counts of each rule and the warnings.
  void add(const Finding& finding);
  void add(const Warning& warning);
  // The finding of `event`, as add() takes it; other check-log lines add nothing.
  void finding(const FindingEvent& event) override;

  // Writes the rest of the page. Nothing is written after it.
  void finish(const Totals& totals, const Outcome& outcome);

  // The bytes kept for the findings, for the memory figures of the tests.
  std::size_t bytes_kept() const;

 private:
  // A rule as findings name it: model, code, rule text and parameter, and its findings.
  struct Rule {
    std::int32_t model;
    std::int32_t code;
    std::uint32_t text;       // text
    std::uint32_t parameter;  // text
    std::string text_bytes;   // as given, without padding blanks
    std::string parameter_bytes;
    long count = 0;
    long corrected = 0;
    std::uint32_t next = kNone;  // the next rule of the same model and code
  };
  static constexpr std::uint32_t kNone = 0xFFFFFFFFu;
  // The codes looked up directly, per model; others through the list of rules.
  static constexpr std::int32_t kCodes = 1000;

  // The data gathered since the last part was written: the new texts and the columns of the
  // records and findings, each a list of JSON values without its brackets.
  struct Part {
    std::string texts;
    TextBuffer records[7];   // file, line, bus, name, kv, unit, level
    TextBuffer findings[4];  // record, rule, value, to
    std::size_t record_count = 0;
    std::size_t finding_count = 0;
    std::size_t text_count = 0;
    std::size_t bytes() const;
    std::size_t capacity() const;
    void clear();
  };

  void start_page();
  void write_part();
  // The part's records and findings, as the members "records" and "findings" of its object.
  void write_columns();
  void add_record(const FindingRecord& record);
  // Adds a finding of the record added last, of rule `id`.
  void add_finding(std::uint32_t id, float value, const std::optional<float>& corrected_to);
  // The id of the rule of `model` and `code` with that text and parameter (without padding
  // blanks), added when new.
  std::uint32_t rule_of(Model model, int code, std::string_view text, std::string_view parameter);
  // The id of a text of a record, a bus name or unit ID without its padding blanks: the same
  // for the same bytes while the text is remembered. record_text() looks first among the last
  // few texts it was given.
  std::uint32_t record_text(std::string_view bytes);
  std::uint32_t text_of_record(std::string_view bytes);
  // The id of a text of a rule: the same for the same bytes in the whole run.
  std::uint32_t rule_text(std::string_view bytes);
  std::uint32_t new_text(std::string_view utf8);

  Sink& out_;
  RunInfo run_;
  std::string time_;
  ReviewPageLimits limits_;
  Part part_;
  std::uint32_t texts_ = 0;     // texts given an id so far
  std::uint32_t records_ = 0;   // records with findings so far
  std::vector<Rule> rules_;
  std::vector<std::uint32_t> first_rule_;  // per model and code below kCodes, or kNone
  // The texts of the records with their ids, at most limits_.record_texts of them.
  TextIds record_texts_;
  // The last texts record_text() was given, with their ids.
  struct Recent {
    std::string given;
    std::uint32_t id = kNone;
  };
  std::array<Recent, 8> recent_;
  std::size_t next_recent_ = 0;
  std::vector<std::pair<std::string, std::uint32_t>> rule_texts_;
  Finding last_;  // the record of the finding before
  EventRecords event_records_;
  // The rule of the last finding event of each model and code below kCodes, by the event's rule
  // text and parameter slot.
  struct EventRule {
    std::uint32_t id = kNone;
    Position slot = Position::mbase;
    std::string text;
  };
  std::vector<EventRule> event_rules_;
  std::uint32_t last_file_ = kNone;  // the id of last_.file
  std::uint32_t last_name_ = kNone;  // the id of last_.bus_name
  std::vector<Warning> warnings_;
  std::string scratch_;
  bool started_ = false;
  bool finished_ = false;
};

}  // namespace tpjconv
