// The findings as data: each check-log line that is a finding made into a Finding for an
// Observer, only while someone observes; and the pieces of a Finding read from a finding event,
// for the writers that take the events themselves.
#pragma once

#include <string_view>

#include "conversion/frame.h"
#include "conversion/record.h"
#include "tpjconv/tpjconv.h"

namespace tpjconv {

// The fields of a Finding that all the findings of one record share, as views.
struct FindingRecord {
  std::string_view file;
  long line = 0;
  Model model = Model::gensal;
  int bus = 0;
  std::string_view bus_name;  // without its padding blanks
  float base_kv = 0.0f;
  std::string_view unit_id;   // without its padding blanks
  int level = 0;
};

// The record of each finding event, its header read once for the findings of a record.
class EventRecords {
 public:
  // Whether `event` is on another record than the event before; record() is then that record's.
  bool next(const FindingEvent& event);
  // The record of the last event given to next(); valid until the next call.
  const FindingRecord& record() const { return record_; }
  // Forgets the record, so that the next event reads its header again.
  void forget() { of_ = nullptr; }

 private:
  const Conversion* of_ = nullptr;
  long line_ = -1;
  RecordHeader header_;
  FindingRecord record_;
};

// The record of the Finding before, to tell when the next is of another record: the writers that
// take Finding values make the fields of a record once for its findings.
class LastFindingRecord {
 public:
  // Whether `finding` is of another record than the one before (or the first); then it is kept.
  bool next(const Finding& finding);
  // Forgets the record, so that the next finding is of another one.
  void forget() { has_record_ = false; }

 private:
  Finding record_;  // its rule fields unused
  bool has_record_ = false;
};

// A finding event's rule text as Finding::rule holds it: without its leading comma and trailing
// blanks.
std::string_view rule_text_of(const FindingEvent& event);

class ObservedFindings final : public FindingListener {
 public:
  explicit ObservedFindings(Observer& observer) : observer_(observer) {}
  void finding(const FindingEvent& event) override;

 private:
  Observer& observer_;
  EventRecords records_;
  Finding finding_;  // kept from finding to finding with the room of its texts
};

}  // namespace tpjconv
