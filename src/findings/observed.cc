#include "findings/observed.h"

#include "conversion/record.h"
#include "findings/text.h"

namespace tpjconv {

namespace {

// A rule's text without its leading comma and trailing blanks.
std::string_view bare_text(std::string_view text) {
  if (text.starts_with(',')) text.remove_prefix(1);
  while (text.ends_with(' ')) text.remove_suffix(1);
  return text;
}

}  // namespace

void ObservedFindings::finding(const FindingEvent& event) {
  if (!event.is_finding) return;
  const Conversion& c = event.conversion;
  Finding& f = finding_;
  // The header is read once for the findings of a record.
  if (header_of_ != &c || header_line_ != c.line()) {
    const RecordHeader header = read_header(c.header());
    f.file.assign(c.input_name());
    f.line = c.line();
    f.model = c.model();
    f.bus = header.bus_number;
    f.bus_name.assign(trim_blanks(header.bus_name));
    f.base_kv = header.base_kv;
    f.unit_id.assign(trim_blanks(header.unit_id));
    f.level = c.check_level();
    header_of_ = &c;
    header_line_ = c.line();
  }
  f.code = event.code;
  f.rule.assign(bare_text(event.text));
  f.parameter.assign(position_name(event.slot));
  f.value = event.value;
  f.corrected_to = event.corrected_to;
  observer_.finding(f);
}

}  // namespace tpjconv
