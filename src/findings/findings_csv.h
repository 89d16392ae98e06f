// The findings file of a run, written as the findings come: the header row first, then one row
// per finding (the format is that of tpjconv/findings_csv.h).
#pragma once

#include <string>

#include "text/sink.h"
#include "tpjconv/findings.h"
#include "tpjconv/findings_csv.h"

namespace tpjconv {

class FindingsCsv {
 public:
  // Writes the header row to `out`, which must outlive this writer.
  explicit FindingsCsv(Sink& out);

  // Writes the row of `finding`.
  void add(const Finding& finding);

 private:
  Sink& out_;
  std::string row_;  // the row being made; its room is kept from row to row
  // The record of the finding before (its rule fields unused), and its fields as written.
  Finding record_;
  bool has_record_ = false;
  std::string record_fields_;
};

}  // namespace tpjconv
