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

// Sets `slot` to the string of `bytes` made valid UTF-8, reusing the room it has.
void set_text(Json& slot, std::string_view bytes) {
  if (!slot.is_string()) slot = "";
  std::string& held = slot.get_ref<std::string&>();
  held.clear();
  append_utf8(held, bytes);
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

}  // namespace

struct JsonRecord::Row {
  Row() {
    for (const char* key : {"file", "line", "model", "bus", "bus_name", "base_kv", "unit_id",
                            "level", "code", "rule", "parameter", "value", "corrected_to"}) {
      object[key] = nullptr;
    }
    // The members stay where they are: no key is added after this.
    file = &object["file"];
    line = &object["line"];
    model = &object["model"];
    bus = &object["bus"];
    bus_name = &object["bus_name"];
    base_kv = &object["base_kv"];
    unit_id = &object["unit_id"];
    level = &object["level"];
    code = &object["code"];
    rule = &object["rule"];
    parameter = &object["parameter"];
    value = &object["value"];
    corrected_to = &object["corrected_to"];
  }

  Json object;
  Json* file;
  Json* line;
  Json* model;
  Json* bus;
  Json* bus_name;
  Json* base_kv;
  Json* unit_id;
  Json* level;
  Json* code;
  Json* rule;
  Json* parameter;
  Json* value;
  Json* corrected_to;
};

JsonRecord::JsonRecord(Sink& out, const RunInfo& run) : out_(out), row_(std::make_unique<Row>()) {
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
  Row& row = *row_;
  set_text(*row.file, finding.file);
  *row.line = static_cast<std::int64_t>(finding.line);
  set_text(*row.model, model_name(finding.model));
  *row.bus = finding.bus;
  set_text(*row.bus_name, trim_blanks(finding.bus_name));
  set_number(*row.base_kv, finding.base_kv);
  set_text(*row.unit_id, trim_blanks(finding.unit_id));
  *row.level = finding.level;
  *row.code = finding.code;
  set_text(*row.rule, trim_blanks(finding.rule));
  set_text(*row.parameter, trim_blanks(finding.parameter));
  set_number(*row.value, finding.value);
  if (finding.corrected_to) {
    set_number(*row.corrected_to, *finding.corrected_to);
  } else {
    *row.corrected_to = nullptr;
  }
  line_.assign(any_finding_ ? ",\n" : "\n");
  line_ += row.object.dump();
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
