// Observers put together: several as one, and an observer as the place where warnings go.
#pragma once

#include <vector>

#include "conversion/bus_list.h"
#include "tpjconv/tpjconv.h"

namespace tpjconv {

// Hands everything to each observer of a list, in its order.
class ObserverList final : public Observer {
 public:
  void add(Observer& observer) { observers_.push_back(&observer); }
  bool empty() const { return observers_.empty(); }

  bool observes_findings() const override {
    for (const Observer* o : observers_) {
      if (o->observes_findings()) return true;
    }
    return false;
  }
  void finding(const Finding& finding) override {
    for (Observer* o : observers_) {
      if (o->observes_findings()) o->finding(finding);
    }
  }
  void warning(const Warning& warning) override {
    for (Observer* o : observers_) o->warning(warning);
  }
  void totals(const Totals& totals) override {
    for (Observer* o : observers_) o->totals(totals);
  }

 private:
  std::vector<Observer*> observers_;
};

// Hands the warnings to an observer (none: they are dropped).
class WarningsTo final : public WarningOut {
 public:
  explicit WarningsTo(Observer* observer) : observer_(observer) {}
  void warning(Warning&& warning) override {
    if (observer_ != nullptr) observer_->warning(warning);
  }

 private:
  Observer* observer_;
};

}  // namespace tpjconv
