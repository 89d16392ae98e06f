#include "findings/findings_csv.h"

#include <algorithm>
#include <cstdint>
#include <cstring>

#include "findings/text.h"

namespace tpjconv {

namespace {

// Whether `text` is ASCII without a comma, a quote, CR or LF: eight bytes at a time.
bool plain(std::string_view text) {
  constexpr std::uint64_t kOnes = 0x0101010101010101u;
  constexpr std::uint64_t kHighs = 0x8080808080808080u;
  // Bytes of `word` equal to `c` have their high bit set in the result, where `word` is ASCII.
  const auto equal = [](std::uint64_t word, char c) {
    const std::uint64_t x = word ^ (kOnes * static_cast<unsigned char>(c));
    return (x - kOnes) & ~x & kHighs;
  };
  std::size_t i = 0;
  for (; i + 8 <= text.size(); i += 8) {
    std::uint64_t word;
    std::memcpy(&word, text.data() + i, sizeof word);
    if (((word & kHighs) | equal(word, ',') | equal(word, '"') | equal(word, '\r') |
         equal(word, '\n')) != 0) {
      return false;
    }
  }
  for (; i < text.size(); ++i) {
    const char c = text[i];
    if (static_cast<unsigned char>(c) >= 0x80 || c == ',' || c == '"' || c == '\r' || c == '\n') {
      return false;
    }
  }
  return true;
}

// Appends a text field: as UTF-8, and in double quotes with its quotes doubled when it holds a
// comma, a quote, CR or LF. ASCII without those (nearly every field) is copied as it is; any
// other text is appended first and quoted where it stands.
void append_field(std::string& out, std::string_view text) {
  if (plain(text)) {
    out.append(text);
    return;
  }
  const std::size_t at = out.size();
  append_utf8(out, text);
  const std::string_view field(out.data() + at, out.size() - at);
  if (field.find_first_of(",\"\r\n") == std::string_view::npos) return;
  const auto quotes = static_cast<std::size_t>(std::count(field.begin(), field.end(), '"'));
  const std::size_t old_end = out.size();
  out.resize(old_end + quotes + 2);
  // From the back: the closing quote, then each byte, a quote doubled, then the opening quote.
  std::size_t to = out.size();
  out[--to] = '"';
  for (std::size_t from = old_end; from > at;) {
    const char c = out[--from];
    out[--to] = c;
    if (c == '"') out[--to] = '"';
  }
  out[--to] = '"';
}

}  // namespace

std::string_view findings_csv_header() {
  return "file,line,model,bus,bus_name,base_kv,unit_id,level,code,rule,parameter,value,"
         "corrected_to\r\n";
}

namespace {

// The fields of the record the finding is on, with the comma after them: the same for every
// finding of one record.
void append_record_fields(std::string& out, const FindingRecord& finding) {
  append_field(out, finding.file);
  out += ',';
  append_integer(out, finding.line);
  out += ',';
  out += model_name(finding.model);
  out += ',';
  append_integer(out, finding.bus);
  out += ',';
  append_field(out, trim_blanks(finding.bus_name));
  out += ',';
  append_float(out, finding.base_kv);
  out += ',';
  append_field(out, trim_blanks(finding.unit_id));
  out += ',';
  append_integer(out, finding.level);
  out += ',';
}

FindingRecord record_of(const Finding& finding) {
  return FindingRecord{finding.file,    finding.line,    finding.model,   finding.bus,
                       finding.bus_name, finding.base_kv, finding.unit_id, finding.level};
}

// The fields of the rule, with the comma after them.
void append_rule_fields(std::string& out, int code, std::string_view rule,
                        std::string_view parameter) {
  append_code(out, code);
  out += ',';
  append_field(out, trim_blanks(rule));
  out += ',';
  append_field(out, trim_blanks(parameter));
  out += ',';
}

// The fields of the values, and the line end, at `out`, which has room for kValueRoom
// characters. Returns the end.
constexpr std::size_t kValueRoom = 2 * kNumberRoom + 3;
char* write_value_fields(char* out, float value, const std::optional<float>& corrected_to) {
  out = write_float(out, value);
  *out++ = ',';
  if (corrected_to) out = write_float(out, *corrected_to);
  *out++ = '\r';
  *out++ = '\n';
  return out;
}

void append_value_fields(std::string& out, float value, const std::optional<float>& corrected_to) {
  char text[kValueRoom];
  out.append(text, static_cast<std::size_t>(write_value_fields(text, value, corrected_to) - text));
}

}  // namespace

void append_findings_csv_row(std::string& out, const Finding& finding) {
  append_record_fields(out, record_of(finding));
  append_rule_fields(out, finding.code, finding.rule, finding.parameter);
  append_value_fields(out, finding.value, finding.corrected_to);
}

FindingsCsv::FindingsCsv(Sink& out) : out_(out) { out_.write(findings_csv_header()); }

void FindingsCsv::add(const Finding& finding) {
  // A record's findings come one after another: the fields of its record are made once.
  if (last_record_.next(finding)) {
    event_records_.forget();
    record_fields_.clear();
    append_record_fields(record_fields_, record_of(finding));
  }
  row_.assign(record_fields_);
  append_rule_fields(row_, finding.code, finding.rule, finding.parameter);
  append_value_fields(row_, finding.value, finding.corrected_to);
  out_.write(row_);
}

const std::string& FindingsCsv::rule_fields(const FindingEvent& event) {
  // A code has one rule text and parameter nearly always: the fields of the last are kept.
  if (rules_.empty()) rules_.resize(kCodes);
  RuleFields& rule =
      event.code >= 0 && event.code < kCodes ? rules_[static_cast<std::size_t>(event.code)]
                                             : other_;
  if (!rule.made || rule.slot != event.slot || !same_bytes(rule.text, event.text)) {
    rule.made = true;
    rule.slot = event.slot;
    rule.text.assign(event.text);
    rule.fields.clear();
    append_rule_fields(rule.fields, event.code, rule_text_of(event), position_name(event.slot));
  }
  return rule.fields;
}

void FindingsCsv::finding(const FindingEvent& event) {
  if (!event.is_finding) return;
  if (event_records_.next(event)) {
    last_record_.forget();
    record_fields_.clear();
    append_record_fields(record_fields_, event_records_.record());
  }
  out_.write(record_fields_);
  out_.write(rule_fields(event));
  char values[kValueRoom];
  const char* const end = write_value_fields(values, event.value, event.corrected_to);
  out_.write(std::string_view(values, static_cast<std::size_t>(end - values)));
}

}  // namespace tpjconv
