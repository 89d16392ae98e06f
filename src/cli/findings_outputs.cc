#include "cli/findings_outputs.h"

#include <utility>

namespace tpjconv {

Outcome outcome_of(bool strict, long warnings) {
  if (strict && warnings > 0) return Outcome{3, "converted, but the input needs a look"};
  return Outcome{0, "converted"};
}

void FindingsOutputs::attach_findings(Sink& out) { findings_ = std::make_unique<FindingsCsv>(out); }

void FindingsOutputs::attach_json(Sink& out, const RunInfo& run) {
  json_ = std::make_unique<JsonRecord>(out, run);
}

void FindingsOutputs::attach_page(Sink& out, const RunInfo& run, std::string time) {
  page_ = std::make_unique<ReviewPage>(out, run, std::move(time));
}

void FindingsOutputs::start() {
  started_ = true;
  for (const Warning& warning : early_) {
    if (json_) json_->add(warning);
    if (page_) page_->add(warning);
  }
  early_.clear();
  early_.shrink_to_fit();
}

std::vector<FindingListener*> FindingsOutputs::listeners() {
  std::vector<FindingListener*> listeners;
  if (findings_) listeners.push_back(findings_.get());
  if (page_) listeners.push_back(page_.get());
  return listeners;
}

bool FindingsOutputs::observes_findings() const { return json_ != nullptr; }

void FindingsOutputs::finding(const Finding& finding) {
  if (json_) json_->add(finding);
}

void FindingsOutputs::warning(const Warning& warning) {
  ++warnings_;
  if (!started_) {
    early_.push_back(warning);
    return;
  }
  if (json_) json_->add(warning);
  if (page_) page_->add(warning);
}

void FindingsOutputs::finish(const Totals& totals, const Outcome& outcome) {
  if (json_) json_->finish(totals, outcome);
  if (page_) page_->finish(totals, outcome);
}

}  // namespace tpjconv
