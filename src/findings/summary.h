// The findings summary: how many check-log lines each rule of each model wrote, and how many of
// them had their value corrected; and the CSV text a spreadsheet reads as columns.
#pragma once

#include <array>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "conversion/frame.h"
#include "tpjconv/findings.h"

namespace tpjconv {

// Counts the check-log lines of a run by model, code and the rule's text.
class RuleTally final : public FindingListener {
 public:
  void finding(const FindingEvent& event) override {
    count(event.conversion.model(), event.code, event.text,
          !event.is_finding ? -1 : event.corrected_to ? 1 : 0);
  }

  // One check-log line of `model` with `code` and the rule's own `text`. `corrected` is 1 when
  // its value was corrected, 0 when not, -1 for a line that is no finding.
  void count(Model model, int code, std::string_view text, int corrected);

  // The counts by model, then code, then the text without its leading comma and trailing
  // blanks; lines whose texts differ only in those are one rule.
  std::vector<RuleCount> rules() const;

 private:
  struct Tally {
    Model model;
    int code;
    std::string text;
    std::uint64_t hash;
    long lines = 0;
    long corrected = 0;
    bool is_finding = true;
  };
  // The tally of a text at a place in memory, model and code, as found last: the rule tables'
  // texts stay where they are, so most lines are counted without hashing their text.
  struct Recent {
    const char* text = nullptr;
    std::size_t size = 0;
    int code = -1;
    Model model = Model::gensal;
    std::uint32_t tally = 0;
  };
  static constexpr std::size_t kRecent = 64;

  // The tally of `model`, `code` and `text`, made when there is none.
  Tally& find(Model model, int code, std::string_view text);

  std::vector<Tally> tallies_;
  std::vector<std::uint32_t> slots_;  // tally number + 1 by hash, 0 when free
  std::array<Recent, kRecent> recent_{};
};

// The CSV text: a header, then per model its records read and changed, and one row per rule
// that wrote a line, by code and then by text.
std::string summary_csv(const Totals& totals);

}  // namespace tpjconv
