// The outputs of a run that are made of its findings and warnings: the findings file, the JSON
// record and the review page, as one observer. It also counts the run's warnings, for --strict.
#pragma once

#include <memory>
#include <string>
#include <vector>

#include "findings/findings_csv.h"
#include "findings/json_record.h"
#include "findings/review_page.h"
#include "findings/run_info.h"
#include "text/sink.h"
#include "tpjconv/tpjconv.h"

namespace tpjconv {

// "converted", or with --strict and a warning "converted, but the input needs a look", status 3.
Outcome outcome_of(bool strict, long warnings);

class FindingsOutputs final : public Observer {
 public:
  // The outputs are attached once their files can be written; the warnings that come before
  // are kept and handed to them by start().
  void attach_findings(Sink& out);
  void attach_json(Sink& out, const RunInfo& run);
  void attach_page(Sink& out, const RunInfo& run, std::string time);
  void start();

  // The outputs that take the findings straight from the conversion: the findings file and the
  // page. The JSON record takes them as Finding values, through finding().
  std::vector<FindingListener*> listeners();

  bool observes_findings() const override;
  void finding(const Finding& finding) override;
  void warning(const Warning& warning) override;

  // Ends the JSON record and writes the review page.
  void finish(const Totals& totals, const Outcome& outcome);

  // The warnings of the run so far.
  long warnings() const { return warnings_; }

 private:
  std::unique_ptr<FindingsCsv> findings_;
  std::unique_ptr<JsonRecord> json_;
  std::unique_ptr<ReviewPage> page_;
  std::vector<Warning> early_;  // the warnings before start()
  bool started_ = false;
  long warnings_ = 0;
};

}  // namespace tpjconv
