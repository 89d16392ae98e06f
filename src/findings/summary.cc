#include "findings/summary.h"

#include <algorithm>
#include <tuple>

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

std::uint64_t hash_of(Model model, int code, std::string_view text) {
  std::uint64_t hash = 1469598103934665603ULL ^ (static_cast<std::uint64_t>(code) << 8) ^
                       static_cast<std::uint64_t>(model);
  for (const char c : text) hash = (hash ^ static_cast<unsigned char>(c)) * 1099511628211ULL;
  return hash;
}

}  // namespace

void RuleTally::count(Model model, int code, std::string_view text, int corrected) {
  Recent& recent = recent_[(reinterpret_cast<std::uintptr_t>(text.data()) >> 3 ^
                            static_cast<std::uintptr_t>(code)) % kRecent];
  Tally* tally = nullptr;
  if (recent.text == text.data() && recent.size == text.size() && recent.code == code &&
      recent.model == model && tallies_[recent.tally].text == text) {
    tally = &tallies_[recent.tally];
  } else {
    tally = &find(model, code, text);
    recent = {text.data(), text.size(), code, model,
              static_cast<std::uint32_t>(tally - tallies_.data())};
  }
  ++tally->lines;
  if (corrected > 0) ++tally->corrected;
  if (corrected < 0) tally->is_finding = false;
}

RuleTally::Tally& RuleTally::find(Model model, int code, std::string_view text) {
  const std::uint64_t hash = hash_of(model, code, text);
  std::size_t mask = slots_.size() - 1;
  std::size_t i = static_cast<std::size_t>(hash) & mask;
  for (; !slots_.empty() && slots_[i] != 0; i = (i + 1) & mask) {
    Tally& t = tallies_[slots_[i] - 1];
    if (t.hash == hash && t.model == model && t.code == code && t.text == text) return t;
  }
  tallies_.push_back(Tally{model, code, std::string(text), hash});
  // At most half full, so that a probe ends soon at a free slot.
  if (2 * tallies_.size() > slots_.size()) {
    slots_.assign(std::max<std::size_t>(64, 2 * slots_.size()), 0);
    mask = slots_.size() - 1;
    for (std::size_t k = 0; k < tallies_.size(); ++k) {
      std::size_t j = static_cast<std::size_t>(tallies_[k].hash) & mask;
      while (slots_[j] != 0) j = (j + 1) & mask;
      slots_[j] = static_cast<std::uint32_t>(k + 1);
    }
  } else {
    slots_[i] = static_cast<std::uint32_t>(tallies_.size());
  }
  return tallies_.back();
}

std::vector<RuleCount> RuleTally::rules() const {
  std::vector<RuleCount> rules;
  rules.reserve(tallies_.size());
  for (const Tally& t : tallies_) {
    rules.push_back(RuleCount{t.model, t.code, std::string(bare_text(t.text)), t.lines,
                              t.corrected, t.is_finding});
  }
  std::sort(rules.begin(), rules.end(), [](const RuleCount& a, const RuleCount& b) {
    return std::tie(a.model, a.code, a.rule) < std::tie(b.model, b.code, b.rule);
  });
  // Texts that differ only in their comma and blanks are one rule.
  std::vector<RuleCount> merged;
  for (RuleCount& rule : rules) {
    if (!merged.empty() && merged.back().model == rule.model && merged.back().code == rule.code &&
        merged.back().rule == rule.rule) {
      merged.back().count += rule.count;
      merged.back().corrected += rule.corrected;
      merged.back().finding = merged.back().finding && rule.finding;
    } else {
      merged.push_back(std::move(rule));
    }
  }
  return merged;
}

std::string summary_csv(const Totals& totals) {
  std::string text = "model,code,text,count,corrected\n";
  for (const Model model : kModels) {
    const auto m = static_cast<std::size_t>(model);
    const std::string name(model_name(model));
    text += name + ",read,records read," + std::to_string(totals.read[m]) + ",\n";
    text += name + ",changed,records changed," + std::to_string(totals.changed[m]) + ",\n";
    for (const RuleCount& rule : totals.rules) {
      if (rule.model != model) continue;
      std::string digits = std::to_string(rule.code);
      digits.insert(0, digits.size() < 3 ? 3 - digits.size() : 0, '0');
      text += name + ',' + digits + ',' + csv_field(rule.rule) + ',' +
              std::to_string(rule.count) + ',' +
              (rule.finding ? std::to_string(rule.corrected) : "") + '\n';
    }
  }
  return text;
}

}  // namespace tpjconv
