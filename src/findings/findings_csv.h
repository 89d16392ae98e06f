// The findings file of a run, written as the findings come: the header row first, then one row
// per finding (the format is that of tpjconv/findings_csv.h).
#pragma once

#include <string>
#include <vector>

#include "conversion/frame.h"
#include "findings/observed.h"
#include "text/sink.h"
#include "tpjconv/findings.h"
#include "tpjconv/findings_csv.h"

namespace tpjconv {

// Takes findings as Finding values or straight from the conversion's events (a listener of a
// run, without a Finding made); the rows are the same either way.
class FindingsCsv final : public FindingListener {
 public:
  // Writes the header row to `out`, which must outlive this writer.
  explicit FindingsCsv(Sink& out);

  // Writes the row of `finding`.
  void add(const Finding& finding);

  // Writes the row of the finding of `event`; other check-log lines write none.
  void finding(const FindingEvent& event) override;

 private:
  // The fields of the rule of `event` with the comma after them: "209,lpd > 0.4*ld,lpd,".
  const std::string& rule_fields(const FindingEvent& event);

  Sink& out_;
  std::string row_;  // the row being made; its room is kept from row to row
  // The record of the finding before, and its fields as written.
  LastFindingRecord last_record_;
  EventRecords event_records_;
  std::string record_fields_;
  // The rule fields of the last rule of each code below kCodes: its text, parameter and fields.
  struct RuleFields {
    bool made = false;
    Position slot = Position::mbase;
    std::string text;
    std::string fields;
  };
  static constexpr int kCodes = 1000;
  std::vector<RuleFields> rules_;
  RuleFields other_;  // for a code beyond those
};

}  // namespace tpjconv
