#include "library/observers.h"

#include <string>

#include <gtest/gtest.h>

namespace tpjconv {
namespace {

class Named final : public Observer {
 public:
  Named(std::string name, bool findings, std::string& calls)
      : name_(std::move(name)), findings_(findings), calls_(calls) {}
  bool observes_findings() const override { return findings_; }
  void finding(const Finding& f) override { calls_ += name_ + " finding " + f.rule + "\n"; }
  void warning(const Warning& w) override { calls_ += name_ + " warning " + w.text + "\n"; }
  void totals(const Totals&) override { calls_ += name_ + " totals\n"; }

 private:
  std::string name_;
  bool findings_;
  std::string& calls_;
};

// Each observer of the list gets everything in the list's order; the findings only those that
// observe them, and the list observes them when one does.
TEST(ObserverList, HandsEachCallToEveryObserverInOrder) {
  std::string calls;
  Named console("console", false, calls), csv("csv", true, calls);
  ObserverList list;
  EXPECT_TRUE(list.empty());
  list.add(console);
  EXPECT_FALSE(list.observes_findings());
  list.add(csv);
  EXPECT_TRUE(list.observes_findings());
  Finding f;
  f.rule = "lq >  ld";
  list.finding(f);
  list.warning(Warning{WarningKind::record, "in.dat", 3, "odd"});
  list.totals(Totals{});
  WarningsTo to_list(&list);
  to_list.warning(Warning{WarningKind::files, "", 0, "removed"});
  WarningsTo to_none(nullptr);
  to_none.warning(Warning{WarningKind::files, "", 0, "dropped"});
  EXPECT_EQ(
      "csv finding lq >  ld\n"
      "console warning odd\ncsv warning odd\n"
      "console totals\ncsv totals\n"
      "console warning removed\ncsv warning removed\n",
      calls);
}

}  // namespace
}  // namespace tpjconv
