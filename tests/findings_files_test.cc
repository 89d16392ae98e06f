// The findings file, the JSON record and --strict over every end-to-end case: each case run
// again with the new options must give one findings row per finding line of its check log, a
// JSON document that a strict parser reads and that holds the same findings and rules as the
// findings file and the summary, and under --strict status 3 exactly where the console shows a
// warning, with every file as the case expects it. And the review pages the tool writes hold the
// rows of its findings file, without a browser.
#include <unistd.h>

#include <algorithm>
#include <cstdint>
#include <filesystem>
#include <limits>
#include <fstream>
#include <map>
#include <regex>
#include <string>
#include <vector>

#include <gtest/gtest.h>
#include <nlohmann/json.hpp>

#include "findings/test_page_data.h"
#include "generated_input.h"
#include "tool_process.h"
#include "tpjconv/findings_csv.h"

namespace fs = std::filesystem;

namespace {

using tpjconv::testing::lines_of;
using tpjconv::testing::read_file;
using tpjconv::testing::start_tool;
using tpjconv::testing::wait_tool;

// Parses numbers as 32-bit floats, as the record writes them, so that each reads back exactly.
using Json = nlohmann::basic_json<std::map, std::vector, std::string, bool, std::int64_t,
                                  std::uint64_t, float>;

// The records of an RFC 4180 text with CR LF line ends; a field in quotes may hold anything.
std::vector<std::vector<std::string>> csv_records(const std::string& text) {
  std::vector<std::vector<std::string>> records;
  std::vector<std::string> record;
  std::string field;
  bool quoted = false;
  for (std::size_t i = 0; i < text.size(); ++i) {
    const char c = text[i];
    if (quoted) {
      if (c != '"') {
        field += c;
      } else if (i + 1 < text.size() && text[i + 1] == '"') {
        field += '"';
        ++i;
      } else {
        quoted = false;
      }
    } else if (c == '"') {
      quoted = true;
    } else if (c == ',') {
      record.push_back(std::move(field));
      field.clear();
    } else if (c == '\r' && i + 1 < text.size() && text[i + 1] == '\n') {
      record.push_back(std::move(field));
      field.clear();
      records.push_back(std::move(record));
      record.clear();
      ++i;
    } else {
      field += c;
    }
  }
  EXPECT_TRUE(field.empty() && record.empty() && !quoted) << "the last row has no CR LF";
  return records;
}

// The text between the line ends of a CSV text, each ended by CR LF.
std::vector<std::string> crlf_lines(const std::string& text) {
  std::vector<std::string> lines;
  for (std::size_t at = 0; at < text.size();) {
    const std::size_t end = text.find("\r\n", at);
    if (end == std::string::npos) break;
    lines.push_back(text.substr(at, end - at + 2));
    at = end + 2;
  }
  return lines;
}

float number_of(const Json& value) {
  if (value.is_number()) return value.get<float>();
  const std::string text = value.get<std::string>();
  if (text == "nan") return std::numeric_limits<float>::quiet_NaN();
  return text == "inf" ? std::numeric_limits<float>::infinity()
                       : -std::numeric_limits<float>::infinity();
}

// A finding of the JSON record as the library hands it on.
tpjconv::Finding finding_of(const Json& j) {
  tpjconv::Finding f;
  f.file = j.at("file").get<std::string>();
  f.line = j.at("line").get<long>();
  const std::string model = j.at("model").get<std::string>();
  EXPECT_TRUE(model == "gensal" || model == "gentpf" || model == "genrou") << model;
  f.model = model == "gensal"   ? tpjconv::Model::gensal
            : model == "gentpf" ? tpjconv::Model::gentpf
                                : tpjconv::Model::genrou;
  f.bus = j.at("bus").get<int>();
  f.bus_name = j.at("bus_name").get<std::string>();
  f.base_kv = number_of(j.at("base_kv"));
  f.unit_id = j.at("unit_id").get<std::string>();
  f.level = j.at("level").get<int>();
  f.code = j.at("code").get<int>();
  f.rule = j.at("rule").get<std::string>();
  f.parameter = j.at("parameter").get<std::string>();
  f.value = number_of(j.at("value"));
  if (!j.at("corrected_to").is_null()) f.corrected_to = number_of(j.at("corrected_to"));
  return f;
}

// A copy of a case's files (all but expected/) in a fresh folder: its `work` folder.
struct CaseCopy {
  fs::path root;
  fs::path work;
  std::vector<std::string> args;
  fs::path stdin_path;

  CaseCopy(const fs::path& dir, const std::string& what)
      : root(fs::temp_directory_path() /
             ("tpjconv_" + what + "_" + std::to_string(getpid()) + "_" +
              dir.filename().string())),
        work(root / "work"),
        args(lines_of(read_file(dir / "args"))),
        stdin_path(fs::exists(dir / "stdin") ? dir / "stdin" : fs::path("/dev/null")) {
    fs::remove_all(root);
    fs::create_directories(work);
    for (const auto& file : fs::directory_iterator(dir)) {
      if (file.path().filename() != "expected") {
        fs::copy(file.path(), work / file.path().filename(), fs::copy_options::recursive);
      }
    }
  }
  ~CaseCopy() { fs::remove_all(root); }

  int run(const std::vector<std::string>& options) const {
    std::vector<std::string> all = options;
    all.insert(all.end(), args.begin(), args.end());
    return wait_tool(start_tool(work, all, {stdin_path, root / "stdout", root / "stderr"}));
  }
};

std::vector<fs::path> case_dirs() {
  std::vector<fs::path> dirs;
  for (const auto& entry : fs::directory_iterator(TPJCONV_CASES_DIR)) {
    if (fs::exists(entry.path() / "args")) dirs.push_back(entry.path());
  }
  std::sort(dirs.begin(), dirs.end());
  return dirs;
}

bool has_option(const std::vector<std::string>& args, const std::string& option) {
  for (const std::string& arg : args) {
    if (arg == option || arg.starts_with(option + "=")) return true;
  }
  return false;
}

// Whether a console line is a warning: one of the tool's own messages, or a legacy line about
// a name mismatch ("Name/ID mismatch", "Name    mismatch", ...) or a record without a colon.
bool is_warning(const std::string& line) {
  return line.starts_with("tpjconv: ") || line.starts_with("No colon in record") ||
         (line.size() > 16 && line.compare(8, 8, "mismatch") == 0);
}

TEST(FindingsFiles, OneRowPerCheckLogFindingAndTheJsonHoldsTheSameInEveryCase) {
  int compared = 0;
  int rows_compared = 0;
  for (const fs::path& dir : case_dirs()) {
    const CaseCopy copy(dir, "findings");
    const std::vector<std::string>& args = copy.args;
    // The cases that write a check log to a file of their own, and whose run succeeds.
    if (args.size() < 7 || args[6].empty() || !fs::exists(dir / "expected" / args[6])) continue;
    if (has_option(args, "--summary")) continue;
    if (read_file(dir / "expected" / "status") != "0\n") continue;
    SCOPED_TRACE(dir.filename().string());
    ASSERT_EQ(0, copy.run({"--findings", "findings.csv", "--json", "run.json", "--summary",
                           "summary.csv"}))
        << read_file(copy.root / "stderr");
    // The case's own files are as it expects them.
    EXPECT_EQ(read_file(dir / "expected" / args[6]), read_file(copy.work / args[6]));
    ++compared;

    // The check log's finding lines: model, bus, bus name, unit ID, code and text, as the
    // findings file writes them (texts without their padding blanks).
    std::vector<std::vector<std::string>> from_log;
    const std::vector<std::string> lines = lines_of(read_file(copy.work / args[6]));
    for (std::size_t i = 1; i < lines.size(); ++i) {
      // MODEL, BUS         , "NAME", KV      , "ID" ,CODE,  ,TEXT
      const std::string& line = lines[i];
      const std::size_t name_at = line.find('"') + 1;
      const std::size_t name_end = line.find("\", ", name_at);
      const std::size_t id_end = line.find("\" ,", name_end + 1);
      const std::size_t id_at = line.rfind('"', id_end - 1) + 1;
      const std::string code = line.substr(id_end + 3, 3);
      if (code == "000") continue;
      const auto trimmed = [](std::string text) {
        while (text.ends_with(' ')) text.pop_back();
        while (text.starts_with(' ')) text.erase(0, 1);
        return text;
      };
      from_log.push_back({line.substr(0, 6), trimmed(line.substr(8, 12)),
                          trimmed(line.substr(name_at, name_end - name_at)),
                          trimmed(line.substr(id_at, id_end - id_at)), code,
                          trimmed(line.substr(line.rfind(',') + 1))});
    }
    const std::string csv = read_file(copy.work / "findings.csv");
    const auto records = csv_records(csv);
    ASSERT_FALSE(records.empty());
    EXPECT_EQ(records[0], (std::vector<std::string>{"file", "line", "model", "bus", "bus_name",
                                                    "base_kv", "unit_id", "level", "code", "rule",
                                                    "parameter", "value", "corrected_to"}));
    std::vector<std::vector<std::string>> from_csv;
    for (std::size_t i = 1; i < records.size(); ++i) {
      ASSERT_EQ(13u, records[i].size()) << i;
      const auto& r = records[i];
      from_csv.push_back({r[2], r[3], r[4], r[6], r[8], r[9]});
      EXPECT_EQ(args[0], r[0]);
    }
    EXPECT_EQ(from_log, from_csv);
    rows_compared += static_cast<int>(from_csv.size());

    // The JSON record: strictly valid, and each finding the same row of the findings file.
    const Json doc = Json::parse(read_file(copy.work / "run.json"));  // throws when not JSON
    const Json& findings = doc.at("findings");
    const std::vector<std::string> csv_lines = crlf_lines(csv);
    ASSERT_EQ(csv_lines.size(), findings.size() + 1);
    for (std::size_t i = 0; i < findings.size(); ++i) {
      std::string row;
      tpjconv::append_findings_csv_row(row, finding_of(findings[i]));
      EXPECT_EQ(csv_lines[i + 1], row);
    }
    EXPECT_EQ(0, doc.at("outcome").at("status").get<int>());
    EXPECT_EQ("converted", doc.at("outcome").at("text").get<std::string>());
    EXPECT_EQ(args[0], doc.at("settings").at("input").get<std::string>());

    // Every warning of the console, in its order.
    std::vector<std::string> console_warnings;
    for (const std::string& line : lines_of(read_file(copy.root / "stderr"))) {
      if (is_warning(line)) console_warnings.push_back(line);
    }
    const Json& warnings = doc.at("warnings");
    ASSERT_EQ(console_warnings.size(), warnings.size());
    for (std::size_t i = 0; i < warnings.size(); ++i) {
      const std::string text = warnings[i].at("text").get<std::string>();
      EXPECT_TRUE(console_warnings[i].ends_with(text)) << console_warnings[i] << "\n" << text;
      if (console_warnings[i].starts_with("tpjconv: ") && !warnings[i].at("line").is_null()) {
        const std::string where = ":" + std::to_string(warnings[i].at("line").get<long>()) + ": ";
        EXPECT_NE(std::string::npos, console_warnings[i].find(where))
            << console_warnings[i];
      }
    }

    // Its rules are the summary's rows, and its totals the summary's records read and changed.
    std::vector<std::string> rules_of_json;
    for (const Json& rule : doc.at("rules")) {
      std::string code = std::to_string(rule.at("code").get<int>());
      code.insert(0, 3 - code.size(), '0');
      rules_of_json.push_back(rule.at("model").get<std::string>() + "," + code + "," +
                              rule.at("rule").get<std::string>() + "," +
                              std::to_string(rule.at("count").get<long>()) + "," +
                              (rule.at("corrected").is_null()
                                   ? std::string()
                                   : std::to_string(rule.at("corrected").get<long>())));
      EXPECT_EQ(code != "000", rule.at("finding").get<bool>());
    }
    std::vector<std::string> rules_of_summary;
    const std::vector<std::string> summary = lines_of(read_file(copy.work / "summary.csv"));
    for (std::size_t i = 1; i < summary.size(); ++i) {
      const std::string& row = summary[i];
      const std::string model = row.substr(0, 6);
      if (row.compare(7, 5, "read,") == 0 || row.compare(7, 8, "changed,") == 0) {
        const std::string what = row.compare(7, 5, "read,") == 0 ? "read" : "changed";
        const std::string count = row.substr(row.rfind(',', row.size() - 2) + 1);
        EXPECT_EQ(count, std::to_string(doc.at("totals").at(model).at(what).get<int>()) + ",")
            << row;
        continue;
      }
      rules_of_summary.push_back(row);
    }
    EXPECT_EQ(rules_of_summary, rules_of_json);
  }
  EXPECT_GT(compared, 80);
  EXPECT_GT(rows_compared, 150);
}

TEST(Strict, StatusThreeExactlyWhereTheRunWarnsAndEveryFileAsWithout) {
  int warned = 0;
  int clean = 0;
  for (const fs::path& dir : case_dirs()) {
    // The runs that succeed and convert: not those that stop at the prompt.
    if (read_file(dir / "expected" / "status") != "0\n") continue;
    const std::string expected_err = read_file(dir / "expected" / "stderr");
    if (expected_err.find("nothing converted") != std::string::npos) continue;
    const CaseCopy copy(dir, "strict");
    if (has_option(copy.args, "--help") || has_option(copy.args, "-h") ||
        has_option(copy.args, "--version")) {
      continue;
    }
    SCOPED_TRACE(dir.filename().string());
    bool warns = false;
    for (const std::string& line : lines_of(expected_err)) warns = warns || is_warning(line);
    EXPECT_EQ(warns ? 3 : 0, copy.run({"--strict"}));
    (warns ? warned : clean) += 1;
    // The console and every file as the case expects them.
    EXPECT_EQ(expected_err, read_file(copy.root / "stderr"));
    EXPECT_EQ(read_file(dir / "expected" / "stdout"), read_file(copy.root / "stdout"));
    for (const auto& entry : fs::directory_iterator(dir / "expected")) {
      const std::string name = entry.path().filename().string();
      if (name == "status" || name == "stdout" || name == "stderr") continue;
      EXPECT_EQ(read_file(entry.path()), read_file(copy.work / name)) << name;
    }
  }
  EXPECT_GT(warned, 5);
  EXPECT_GT(clean, 50);
}

// The page the tool writes embeds exactly the findings of its findings file, for the bundled
// example, every corpus file and a generated file of 3000 generators; the page states the time
// of the run and the outcome.
TEST(ToolReviewPage, EmbedsTheRowsOfTheFindingsFile) {
  const fs::path root =
      fs::temp_directory_path() / ("tpjconv_tool_page_" + std::to_string(getpid()));
  fs::remove_all(root);
  fs::create_directories(root);
  std::vector<std::pair<fs::path, std::string>> inputs = {
      {fs::path(TPJCONV_SOURCE_DIR) / "examples" / "plant.dat",
       (fs::path(TPJCONV_SOURCE_DIR) / "examples" / "plant.bus").string()}};
  // The shared corpus, where it is there (the corpus test says when it is not).
  if (fs::is_directory(TPJCONV_CORPUS_DIR)) {
    for (const auto& entry : fs::directory_iterator(TPJCONV_CORPUS_DIR)) {
      if (entry.path().extension() == ".dat") inputs.emplace_back(entry.path(), "none");
    }
    ASSERT_GT(inputs.size(), 4u);
  }
  std::ofstream(root / "generated.dat", std::ios::binary)
      << tpjconv::testing::generated_input(3000);
  inputs.emplace_back(root / "generated.dat", "none");
  const std::regex time_of_run(
      R"(<dd>\d{4}-\d\d-\d\dT\d\d:\d\d:\d\d[+-]\d\d:\d\d</dd>)");
  long rows = 0;
  for (const auto& [input, bus_file] : inputs) {
    SCOPED_TRACE(input.string());
    const int status = wait_tool(start_tool(
        root,
        {"--yes", "--strict", input.string(), bus_file, "out.dat", "0.3", "0.3", "0.3",
         "check.log", "report.txt", "--findings", "findings.csv", "--html", "page.html"},
        {"/dev/null", root / "stdout", root / "stderr"}));
    const std::string console = read_file(root / "stderr");
    bool warned = false;
    for (const std::string& line : lines_of(console)) warned = warned || is_warning(line);
    ASSERT_EQ(warned ? 3 : 0, status) << console;
    const std::string page = read_file(root / "page.html");
    const std::string csv = read_file(root / "findings.csv");
    const std::size_t header_end = csv.find("\r\n") + 2;
    EXPECT_EQ(csv.substr(header_end),
              tpjconv::testing::rows_of_page(page));
    rows += static_cast<long>(crlf_lines(csv).size()) - 1;
    EXPECT_TRUE(std::regex_search(page, time_of_run));
    EXPECT_NE(std::string::npos,
              page.find(warned ? "converted, but the input needs a look (status 3)"
                               : "converted (status 0)"));
  }
  EXPECT_GT(rows, 2000);
  fs::remove_all(root);
}

// A page asked alone gets the findings and every warning: those of the bus numbers file, said
// before the outputs are open, and those said at the end.
TEST(ToolReviewPage, APageAloneHasTheFindingsAndEveryWarning) {
  const fs::path root =
      fs::temp_directory_path() / ("tpjconv_page_alone_" + std::to_string(getpid()));
  fs::remove_all(root);
  fs::create_directories(root);
  std::ofstream(root / "in.dat", std::ios::binary)
      << "genrou 7 \"G7      \" 22.00 \"1 \" : #9 mva=100 4.0 0.02 0.4 0.05 3.0 0.0 1.8 1.7 0.9 "
         "0.5 0.25 0.2 0.1 0.3 0.06 0.0 0.3\n";
  std::ofstream(root / "b.bus", std::ios::binary)
      << " Bus  ID  Level  Kis  Name\n 7, \"1 \", x, 0.3, \"G7      \"\n"
         " 9, \"1 \", 0, 0.3, \"G9      \"\n";
  const std::vector<std::string> args = {"--yes", "in.dat", "b.bus", "out.dat", "0.3", "0.3",
                                         "0.3", "check.log", "report.txt"};
  std::vector<std::string> page_alone = args, with_findings = args;
  page_alone.insert(page_alone.end(), {"--html", "page.html"});
  with_findings.insert(with_findings.end(), {"--findings", "findings.csv"});
  ASSERT_EQ(0, wait_tool(start_tool(root, page_alone, {"/dev/null", root / "o", root / "e"})))
      << read_file(root / "e");
  const std::string page = read_file(root / "page.html");
  ASSERT_EQ(0, wait_tool(start_tool(root, with_findings, {"/dev/null", root / "o", root / "e"})))
      << read_file(root / "e");
  const std::string csv = read_file(root / "findings.csv");
  EXPECT_GT(crlf_lines(csv).size(), 2u);
  EXPECT_EQ(csv.substr(csv.find("\r\n") + 2), tpjconv::testing::rows_of_page(page));
  EXPECT_NE(std::string::npos,
            page.find("<li><span class=\"where mono\">b.bus:2:</span> <span class=\"text mono\">"
                      "check level &quot;x&quot; is not a number; 0 used</span></li>\n"));
  EXPECT_NE(std::string::npos,
            page.find("<li><span class=\"where mono\">b.bus:3:</span> <span class=\"text mono\">"
                      "bus 9 unit ID &quot;1 &quot; matched no record</span></li>\n"));
  fs::remove_all(root);
}

}  // namespace
