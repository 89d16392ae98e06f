#include "findings/summary.h"

#include "conversion/record.h"

namespace tpjconv {

namespace {

// A CSV field: in double quotes, with its quotes doubled, only when it holds a comma, a quote
// or a line end.
std::string csv_field(std::string_view text) {
  if (text.find_first_of(",\"\r\n") == std::string_view::npos) return std::string(text);
  std::string field = "\"";
  for (const char c : text) {
    if (c == '"') field += '"';
    field += c;
  }
  field += '"';
  return field;
}

// A rule's text as the summary shows it: without its leading comma and trailing blanks.
std::string_view bare_text(std::string_view text) {
  if (text.starts_with(',')) text.remove_prefix(1);
  while (text.ends_with(' ')) text.remove_suffix(1);
  return text;
}

}  // namespace

void FindingCounts::count(int model, int code, std::string_view text, int corrected) {
  Tally& tally = tallies_[{model, code, std::string(bare_text(text))}];
  ++tally.lines;
  if (corrected > 0) ++tally.corrected;
  if (corrected < 0) tally.is_finding = false;
}

std::string FindingCounts::csv(const std::array<int, 3>& read,
                               const std::array<int, 3>& changed) const {
  std::string text = "model,code,text,count,corrected\n";
  for (const Model model : kModels) {
    const int m = static_cast<int>(model);
    const std::string name(model_name(model));
    text += name + ",read,records read," + std::to_string(read[m]) + ",\n";
    text += name + ",changed,records changed," + std::to_string(changed[m]) + ",\n";
    for (auto it = tallies_.lower_bound({m, 0, ""});
         it != tallies_.end() && std::get<0>(it->first) == m; ++it) {
      const int code = std::get<1>(it->first);
      const Tally& tally = it->second;
      std::string digits = std::to_string(code);
      digits.insert(0, digits.size() < 3 ? 3 - digits.size() : 0, '0');
      text += name + ',' + digits + ',' + csv_field(std::get<2>(it->first)) + ',' +
              std::to_string(tally.lines) + ',' +
              (tally.is_finding ? std::to_string(tally.corrected) : "") + '\n';
    }
  }
  return text;
}

}  // namespace tpjconv
