#include "findings/observed.h"

#include <cstring>

#include "findings/text.h"

namespace tpjconv {

bool LastFindingRecord::next(const Finding& finding) {
  // The base voltage by its bits: -0 and 0 are told apart, as they are written.
  if (has_record_ && finding.line == record_.line && finding.bus == record_.bus &&
      finding.model == record_.model && finding.level == record_.level &&
      std::memcmp(&finding.base_kv, &record_.base_kv, sizeof(float)) == 0 &&
      finding.file == record_.file && finding.bus_name == record_.bus_name &&
      finding.unit_id == record_.unit_id) {
    return false;
  }
  record_.file = finding.file;
  record_.line = finding.line;
  record_.model = finding.model;
  record_.bus = finding.bus;
  record_.bus_name = finding.bus_name;
  record_.base_kv = finding.base_kv;
  record_.unit_id = finding.unit_id;
  record_.level = finding.level;
  has_record_ = true;
  return true;
}

bool EventRecords::next(const FindingEvent& event) {
  const Conversion& c = event.conversion;
  if (of_ == &c && line_ == c.line()) return false;
  of_ = &c;
  line_ = c.line();
  header_ = read_header(c.header());
  record_.file = c.input_name();
  record_.line = c.line();
  record_.model = c.model();
  record_.bus = header_.bus_number;
  record_.bus_name = trim_blanks(header_.bus_name);
  record_.base_kv = header_.base_kv;
  record_.unit_id = trim_blanks(header_.unit_id);
  record_.level = c.check_level();
  return true;
}

std::string_view rule_text_of(const FindingEvent& event) {
  std::string_view text = event.text;
  if (text.starts_with(',')) text.remove_prefix(1);
  while (text.ends_with(' ')) text.remove_suffix(1);
  return text;
}

void ObservedFindings::finding(const FindingEvent& event) {
  if (!event.is_finding) return;
  Finding& f = finding_;
  if (records_.next(event)) {
    const FindingRecord& r = records_.record();
    f.file.assign(r.file);
    f.line = r.line;
    f.model = r.model;
    f.bus = r.bus;
    f.bus_name.assign(r.bus_name);
    f.base_kv = r.base_kv;
    f.unit_id.assign(r.unit_id);
    f.level = r.level;
  }
  f.code = event.code;
  f.rule.assign(rule_text_of(event));
  f.parameter.assign(position_name(event.slot));
  f.value = event.value;
  f.corrected_to = event.corrected_to;
  observer_.finding(f);
}

}  // namespace tpjconv
