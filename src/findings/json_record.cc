#include "findings/json_record.h"

#include <cmath>
#include <cstdint>

#include <nlohmann/json.hpp>

#include "findings/text.h"

namespace tpjconv {

namespace {

// Objects keep their keys in the order written, and numbers are written as 32-bit floats, in
// the shortest form that reads back as the same float.
using Json = nlohmann::basic_json<nlohmann::ordered_map, std::vector, std::string, bool,
                                  std::int64_t, std::uint64_t, float>;

// A text as a JSON string: valid UTF-8, every other byte read as Latin-1.
Json text(std::string_view bytes) {
  std::string utf8;
  append_utf8(utf8, bytes);
  return utf8;
}

// A number, or "inf", "-inf" or "nan" where JSON has no number for it.
void set_number(Json& slot, float value) {
  if (std::isfinite(value)) {
    slot = value;
  } else {
    slot = std::isnan(value) ? "nan" : value > 0 ? "inf" : "-inf";
  }
}

Json number(float value) {
  Json slot;
  set_number(slot, value);
  return slot;
}

constexpr std::string_view kind_name(WarningKind kind) {
  switch (kind) {
    case WarningKind::record: return "record";
    case WarningKind::name_mismatch: return "name_mismatch";
    case WarningKind::bus_file: return "bus_file";
    case WarningKind::unused_entry: return "unused_entry";
    case WarningKind::settings: return "settings";
    case WarningKind::files: return "files";
  }
  return "record";
}

// Appends `"key":value` to `out`.
void append_member(std::string& out, std::string_view key, const Json& value) {
  out += '"';
  out += key;
  out += "\":";
  out += value.dump();
}


// Appends `bytes` as a JSON string, as the document's other strings are written: made valid
// UTF-8 (through `scratch`), with the quote, the backslash and the control characters escaped
// (\b \t \n \f \r, the others as \u00xx), every other character as it is.
void append_json_string(std::string& out, std::string_view bytes, std::string& scratch) {
  bool plain = true;
  for (const char c : bytes) {
    const auto byte = static_cast<unsigned char>(c);
    if (byte < 0x20 || byte >= 0x80 || c == '"' || c == '\\') {
      plain = false;
      break;
    }
  }
  out += '"';
  if (plain) {
    out += bytes;
    out += '"';
    return;
  }
  scratch.clear();
  append_utf8(scratch, bytes);
  static constexpr char kHex[] = "0123456789abcdef";
  for (const char c : scratch) {
    const auto byte = static_cast<unsigned char>(c);
    switch (c) {
      case '"': out += "\\\""; break;
      case '\\': out += "\\\\"; break;
      case '\b': out += "\\b"; break;
      case '\t': out += "\\t"; break;
      case '\n': out += "\\n"; break;
      case '\f': out += "\\f"; break;
      case '\r': out += "\\r"; break;
      default:
        if (byte < 0x20) {
          out += "\\u00";
          out += kHex[byte >> 4];
          out += kHex[byte & 15];
        } else {
          out += c;
        }
    }
  }
  out += '"';
}

// Appends a number as the document's other numbers: the shortest form that reads back as the
// same float, with ".0" after a whole number; "inf", "-inf" or "nan" as a string.
void append_json_number(std::string& out, float value) {
  if (!std::isfinite(value)) {
    out += '"';
    append_float(out, value);
    out += '"';
    return;
  }
  const std::size_t at = out.size();
  append_float(out, value);
  if (out.find_first_of(".e", at) == std::string::npos) out += ".0";
}

}  // namespace

JsonRecord::JsonRecord(Sink& out, const RunInfo& run) : out_(out) {
  Json arguments = Json::array();
  for (const std::string& argument : run.arguments) arguments.push_back(text(argument));
  Json kis = Json::object();
  for (const Model model : kModels) {
    const auto& setting = run.kis[static_cast<int>(model)];
    kis[std::string(model_name(model))] = setting ? number(*setting) : Json();
  }
  Json settings = Json::object();
  settings["input"] = text(run.input);
  settings["bus_file"] = run.bus_file ? text(*run.bus_file) : Json();
  settings["kis"] = std::move(kis);
  settings["tcmin"] = number(run.tcmin);

  std::string head = "{";
  append_member(head, "tool", "tpjconv");
  head += ',';
  append_member(head, "version", text(run.version));
  head += ",\n";
  append_member(head, "arguments", arguments);
  head += ",\n";
  append_member(head, "settings", settings);
  head += ",\n\"findings\":[";
  out_.write(head);
}

JsonRecord::~JsonRecord() = default;

void JsonRecord::add(const Finding& finding) {
  if (finished_) return;
  // The record's members, made once for the findings of a record.
  if (last_record_.next(finding)) {
    std::string& r = record_members_;
    r.assign("{\"file\":");
    append_json_string(r, finding.file, text_);
    r += ",\"line\":";
    append_integer(r, finding.line);
    r += ",\"model\":\"";
    r += model_name(finding.model);
    r += "\",\"bus\":";
    append_integer(r, finding.bus);
    r += ",\"bus_name\":";
    append_json_string(r, trim_blanks(finding.bus_name), text_);
    r += ",\"base_kv\":";
    append_json_number(r, finding.base_kv);
    r += ",\"unit_id\":";
    append_json_string(r, trim_blanks(finding.unit_id), text_);
    r += ",\"level\":";
    append_integer(r, finding.level);
  }
  line_.assign(any_finding_ ? ",\n" : "\n");
  line_ += record_members_;
  line_ += ",\"code\":";
  append_integer(line_, finding.code);
  line_ += ",\"rule\":";
  append_json_string(line_, trim_blanks(finding.rule), text_);
  line_ += ",\"parameter\":";
  append_json_string(line_, trim_blanks(finding.parameter), text_);
  line_ += ",\"value\":";
  append_json_number(line_, finding.value);
  line_ += ",\"corrected_to\":";
  if (finding.corrected_to) {
    append_json_number(line_, *finding.corrected_to);
  } else {
    line_ += "null";
  }
  line_ += '}';
  out_.write(line_);
  any_finding_ = true;
}

void JsonRecord::add(const Warning& warning) {
  if (finished_) return;
  Json object = Json::object();
  object["kind"] = kind_name(warning.kind);
  object["file"] = warning.file.empty() ? Json() : text(warning.file);
  object["line"] = warning.line == 0 ? Json() : Json(static_cast<std::int64_t>(warning.line));
  object["text"] = text(warning.text);
  warnings_ += warnings_.empty() ? "\n" : ",\n";
  warnings_ += object.dump();
}

void JsonRecord::finish(const Totals& totals, const Outcome& outcome) {
  if (finished_) return;
  finished_ = true;
  std::string tail = "\n],\n\"warnings\":[";
  tail += warnings_;
  tail += "\n],\n";

  Json per_model = Json::object();
  for (const Model model : kModels) {
    const int m = static_cast<int>(model);
    Json counts = Json::object();
    counts["read"] = totals.read[m];
    counts["changed"] = totals.changed[m];
    per_model[std::string(model_name(model))] = std::move(counts);
  }
  append_member(tail, "totals", per_model);
  tail += ",\n\"rules\":[";
  bool first = true;
  for (const RuleCount& rule : totals.rules) {
    Json object = Json::object();
    object["model"] = model_name(rule.model);
    object["code"] = rule.code;
    object["rule"] = text(trim_blanks(rule.rule));
    object["finding"] = rule.finding;
    object["count"] = static_cast<std::int64_t>(rule.count);
    object["corrected"] = rule.finding ? Json(static_cast<std::int64_t>(rule.corrected)) : Json();
    tail += first ? "\n" : ",\n";
    tail += object.dump();
    first = false;
  }
  tail += "\n],\n";
  Json result = Json::object();
  result["status"] = outcome.status;
  result["text"] = text(outcome.text);
  append_member(tail, "outcome", result);
  tail += "}\n";
  out_.write(tail);
}

}  // namespace tpjconv
