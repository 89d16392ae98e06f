// The findings as data: each check-log line that is a finding made into a Finding for an
// Observer, only while someone observes.
#pragma once

#include "conversion/frame.h"
#include "tpjconv/tpjconv.h"

namespace tpjconv {

class ObservedFindings final : public FindingListener {
 public:
  explicit ObservedFindings(Observer& observer) : observer_(observer) {}
  void finding(const FindingEvent& event) override;

 private:
  Observer& observer_;
  Finding finding_;  // kept from finding to finding with the room of its texts
  const Conversion* header_of_ = nullptr;  // the conversion whose header finding_ holds
  long header_line_ = -1;
};

}  // namespace tpjconv
