// The findings a review page embeds, read back for the tests: the data between its script tags,
// its parts joined, and its findings as the rows of the findings file.
#pragma once

#include <limits>
#include <string>
#include <string_view>
#include <vector>

#include <nlohmann/json.hpp>

#include "tpjconv/findings.h"
#include "tpjconv/findings_csv.h"

namespace tpjconv::testing {

inline constexpr std::string_view kDataStart =
    "<script type=\"application/json\" id=\"findings-data\">";

inline constexpr std::string_view kPartStart =
    "<script type=\"application/json\" class=\"findings-part\">";

// The data of the last part, which holds the bars and rules.
inline std::string embedded_data(const std::string& page) {
  const std::size_t start = page.find(kDataStart);
  if (start == std::string::npos) return "";
  const std::size_t from = start + kDataStart.size();
  return page.substr(from, page.find("</script>", from) - from);
}

// The data of every part, the last one last.
inline std::vector<std::string> embedded_parts(const std::string& page) {
  std::vector<std::string> parts;
  for (std::size_t start = page.find(kPartStart); start != std::string::npos;
       start = page.find(kPartStart, start + 1)) {
    const std::size_t from = start + kPartStart.size();
    parts.push_back(page.substr(from, page.find("</script>", from) - from));
  }
  parts.push_back(embedded_data(page));
  return parts;
}

// The data of the page as one document of the last part's form: the texts, records and findings
// of the parts one after another.
inline std::string joined_data(const std::string& page) {
  nlohmann::json whole;
  for (const std::string& part : embedded_parts(page)) {
    const nlohmann::json d = nlohmann::json::parse(part);
    for (const auto& text : d["texts"]) whole["texts"].push_back(text);
    for (const char* group : {"records", "findings"}) {
      for (const auto& [column, values] : d[group].items()) {
        auto& to = whole[group][column];
        if (to.is_null()) to = nlohmann::json::array();
        for (const auto& value : values) to.push_back(value);
      }
    }
    if (d.contains("bars")) {
      whole["bars"] = d["bars"];
      whole["rules"] = d["rules"];
    }
  }
  if (whole["texts"].is_null()) whole["texts"] = nlohmann::json::array();
  return whole.dump();
}

inline float data_number(const nlohmann::json& value) {
  if (value.is_number()) return value.get<float>();
  const std::string text = value.get<std::string>();
  if (text == "nan") return std::numeric_limits<float>::quiet_NaN();
  return text == "inf" ? std::numeric_limits<float>::infinity()
                       : -std::numeric_limits<float>::infinity();
}

// The findings the data of a page (its last part, or its parts joined) hold, as the findings
// file would write them.
inline std::string rows_of_data(const std::string& data) {
  const nlohmann::json d = nlohmann::json::parse(data);
  const auto& texts = d["texts"];
  const auto& bars = d["bars"];
  const auto& rules = d["rules"];
  const auto& records = d["records"];
  const auto& findings = d["findings"];
  std::string rows;
  for (std::size_t i = 0; i < findings["record"].size(); ++i) {
    const std::size_t r = findings["record"][i];
    const std::size_t u = findings["rule"][i];
    const std::size_t b = rules["bar"][u];
    Finding f;
    f.file = texts[records["file"][r].get<std::size_t>()];
    f.line = records["line"][r];
    f.model = static_cast<Model>(bars["model"][b].get<int>());
    f.bus = records["bus"][r];
    f.bus_name = texts[records["name"][r].get<std::size_t>()];
    f.base_kv = data_number(records["kv"][r]);
    f.unit_id = texts[records["unit"][r].get<std::size_t>()];
    f.level = records["level"][r];
    f.code = bars["code"][b];
    f.rule = texts[bars["text"][b].get<std::size_t>()];
    f.parameter = texts[rules["parameter"][u].get<std::size_t>()];
    f.value = data_number(findings["value"][i]);
    if (!findings["to"][i].is_null()) f.corrected_to = data_number(findings["to"][i]);
    append_findings_csv_row(rows, f);
  }
  return rows;
}

// The findings of every part of the page.
inline std::string rows_of_page(const std::string& page) { return rows_of_data(joined_data(page)); }

}  // namespace tpjconv::testing
