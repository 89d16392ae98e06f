// The findings summary: how many check-log lines each rule of each model wrote, and how many of
// them had their value corrected, as a CSV text a spreadsheet reads as columns.
#pragma once

#include <array>
#include <map>
#include <string>
#include <string_view>
#include <tuple>

namespace tpjconv {

class FindingCounts {
 public:
  // One check-log line of model `model` (0 gensal, 1 gentpf, 2 genrou) with `code` and the rule's
  // own `text`. `corrected` is 1 when its value was corrected, 0 when not, -1 for a line that is
  // no finding (it has no correction to count).
  void count(int model, int code, std::string_view text, int corrected);

  // The CSV text: a header, then per model (gensal, gentpf, genrou) its records read and
  // changed, and one row per rule that wrote a line, by code and then by text.
  std::string csv(const std::array<int, 3>& read, const std::array<int, 3>& changed) const;

 private:
  struct Tally {
    long lines = 0;
    long corrected = 0;
    bool is_finding = true;
  };
  std::map<std::tuple<int, int, std::string>, Tally> tallies_;
};

}  // namespace tpjconv
