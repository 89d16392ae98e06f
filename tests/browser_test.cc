// The review page in a real browser: headless Chromium from the distribution opens the page,
// runs its script and dumps the resulting DOM, which these tests read: the table's count and
// rows, the rows a query-string filter leaves, the chart's bars, and that texts from the input
// ran nothing; for pages of test data and for the pages the tool writes for a corpus file, a
// generated file and the bundled example. Screenshots are saved under the build folder. Without
// Chromium the tests skip and say why; the page's data is checked without a browser by the
// ReviewPage and ToolReviewPage tests.
#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <map>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "findings/review_page.h"
#include "findings/test_findings.h"
#include "generated_input.h"
#include "tool_process.h"

namespace fs = std::filesystem;

namespace {

using tpjconv::Finding;
using tpjconv::Model;
using tpjconv::testing::make_finding;

const fs::path kChromium = "/usr/bin/chromium";
const fs::path kDir = fs::path(TPJCONV_BUILD_DIR) / "browser_test";

// A table row of the dumped DOM: each cell's text by its column key.
using Row = std::map<std::string, std::string>;

std::string unescape(std::string_view html) {
  std::string text;
  for (std::size_t i = 0; i < html.size(); ++i) {
    if (html[i] != '&') {
      text += html[i];
      continue;
    }
    const std::size_t end = html.find(';', i);
    const std::string_view entity = html.substr(i, end - i + 1);
    text += entity == "&lt;" ? "<" : entity == "&gt;" ? ">" : entity == "&amp;" ? "&"
          : entity == "&quot;" ? "\"" : entity == "&nbsp;" ? "\xC2\xA0" : std::string(entity);
    i = end;
  }
  return text;
}

// The text of the element with `id`, which holds text only.
std::string text_of(const std::string& dom, const std::string& id) {
  const std::size_t at = dom.find("id=\"" + id + "\"");
  if (at == std::string::npos) return "(no #" + id + ")";
  const std::size_t start = dom.find('>', at) + 1;
  return unescape(std::string_view(dom).substr(start, dom.find('<', start) - start));
}

std::vector<Row> table_rows(const std::string& dom) {
  std::vector<Row> rows;
  const std::size_t body = dom.find("<tbody id=\"rows\">");
  const std::size_t end = dom.find("</tbody>", body);
  if (body == std::string::npos || end == std::string::npos) return rows;
  const std::string_view part = std::string_view(dom).substr(body, end - body);
  for (std::size_t tr = part.find("<tr>"); tr != std::string_view::npos;
       tr = part.find("<tr>", tr + 1)) {
    Row row;
    const std::size_t tr_end = part.find("</tr>", tr);
    for (std::size_t td = part.find("<td data-col=\"", tr); td < tr_end;
         td = part.find("<td data-col=\"", td + 1)) {
      const std::size_t key = td + 14;
      const std::size_t open = part.find('>', key) + 1;
      row[std::string(part.substr(key, part.find('"', key) - key))] =
          unescape(part.substr(open, part.find("</td>", open) - open));
    }
    rows.push_back(row);
  }
  return rows;
}

std::size_t count_of(const std::string& text, const std::string& part) {
  std::size_t count = 0;
  for (std::size_t at = text.find(part); at != std::string::npos; at = text.find(part, at + 1)) {
    ++count;
  }
  return count;
}

class Browser : public ::testing::Test {
 protected:
  void SetUp() override {
    if (access(kChromium.c_str(), X_OK) != 0) {
      GTEST_SKIP() << "no " << kChromium << " (Debian: apt-get install chromium): the page is "
                   << "not opened in a browser; the ReviewPage tests check its data without one";
    }
    fs::create_directories(kDir);
  }

  // Runs Chromium headless on `page` with `query` and the `what` arguments.
  void chromium(const fs::path& page, const std::string& query,
                std::vector<std::string> what, const fs::path& out) {
    const std::string name = ::testing::UnitTest::GetInstance()->current_test_info()->name();
    const fs::path profile = kDir / ("profile_" + name);
    std::vector<std::string> args = {"--headless", "--no-sandbox", "--disable-gpu",
                                      "--disable-dev-shm-usage", "--no-first-run",
                                      "--user-data-dir=" + profile.string(),
                                      "--virtual-time-budget=5000"};
    args.insert(args.end(), what.begin(), what.end());
    args.push_back("file://" + fs::absolute(page).string() + query);
    const fs::path err = kDir / (name + ".stderr");
    const int status = tpjconv::testing::run_program(kChromium, args, kDir, out, err, 30);
    fs::remove_all(profile);
    ASSERT_EQ(0, status) << "chromium " << (status < 0 ? "timed out" : "failed") << ", see "
                         << err;
  }

  std::string dump_dom(const fs::path& page, const std::string& query = "") {
    const fs::path out = kDir / (std::string(::testing::UnitTest::GetInstance()
                                                 ->current_test_info()->name()) + ".dom.html");
    chromium(page, query, {"--dump-dom"}, out);
    return tpjconv::testing::read_file(out);
  }
};

// 250 findings of four rules, the last on a record whose bus name and rule text try to run
// script: 120 of genrou 208 (90 corrected), 80 of genrou 202, 49 of gensal 113 at level 1 with
// values from 0.5 to 0.98 in no order, and one of genrou 209.
std::vector<Finding> many_findings() {
  std::vector<Finding> findings;
  for (int i = 0; i < 120; ++i) {
    const bool corrected = i < 90;
    findings.push_back(make_finding("big.dat", 10 + 3 * i, Model::genrou, 1000 + i,
                                    "GEN " + std::to_string(i), 22.0f, "1", corrected ? 0 : 1,
                                    208, "lq >  ld", "lq", 1.9f,
                                    corrected ? std::optional<float>(1.8f) : std::nullopt));
  }
  for (int i = 0; i < 80; ++i) {
    findings.push_back(make_finding("big.dat", 400 + 3 * i, Model::genrou, 2000 + i, "PLANT B",
                                    13.8f, "2", 0, 202, "tppdo < tcmin", "tppdo", 0.02f, 0.025f));
  }
  for (int i = 0; i < 49; ++i) {
    findings.push_back(make_finding("big.dat", 700 + 3 * i, Model::gensal, 3000 + i, "SAL",
                                    13.8f, "1", 1, 113, "ll > 0.95*lppd", "ll",
                                    0.5f + 0.01f * static_cast<float>(i * 37 % 49), std::nullopt));
  }
  findings.push_back(make_finding("big.dat", 999, Model::genrou, 666,
                                  "</script><script>document.title='PWNED';var p=document."
                                  "createElement('p');p.id='pwned';document.body.appendChild(p)"
                                  "</script>",
                                  22.0f, "1", 0, 209, tpjconv::testing::kHostileText, "lpd", 0.5f,
                                  0.4f));
  return findings;
}

// Writes the page of `findings` under the build folder, named after the test.
fs::path write_page(const std::vector<Finding>& findings,
                    tpjconv::ReviewPageLimits limits = {}) {
  tpjconv::Sink out;
  tpjconv::ReviewPage page(out, tpjconv::testing::plant_run(), "2024-05-06 07:08:09", limits);
  for (const Finding& finding : findings) page.add(finding);
  page.add(tpjconv::Warning{tpjconv::WarningKind::record, "big.dat", 30, "missing lpd"});
  tpjconv::Totals totals;
  totals.read = {49, 0, 201};
  totals.changed = {0, 0, 170};
  page.finish(totals, tpjconv::Outcome{0, "converted"});
  const fs::path path =
      kDir / (std::string(::testing::UnitTest::GetInstance()->current_test_info()->name()) +
              ".html");
  std::ofstream(path, std::ios::binary) << out.text();
  return path;
}

TEST_F(Browser, TableHoldsEveryFindingInPagesSortedAndTheChartOneBarPerRule) {
  const fs::path page = write_page(many_findings());
  const std::string dom = dump_dom(page);
  EXPECT_EQ("250", text_of(dom, "count"));
  EXPECT_EQ("1", text_of(dom, "page"));
  EXPECT_EQ("3", text_of(dom, "pages"));
  const std::vector<Row> rows = table_rows(dom);
  ASSERT_EQ(100u, rows.size());
  EXPECT_EQ(11u, rows.front().size());
  // In the order given: the first of genrou 208, corrected.
  EXPECT_EQ((Row{{"line", "10"}, {"model", "genrou"}, {"bus", "1000"}, {"name", "GEN 0"},
                 {"unit", "1"}, {"level", "0"}, {"code", "208"}, {"rule", "lq >  ld"},
                 {"parameter", "lq"}, {"value", "1.9"}, {"corrected", "1.8"}}),
            rows.front());
  EXPECT_EQ(4u, count_of(dom, "data-bar=\""));
  // The last page holds the rest; sorted by value, smallest first, it holds the largest.
  const std::string last = dump_dom(page, "?page=3&sort=value");
  EXPECT_EQ("3", text_of(last, "page"));
  const std::vector<Row> largest = table_rows(last);
  ASSERT_EQ(50u, largest.size());
  for (std::size_t i = 1; i < largest.size(); ++i) {
    EXPECT_LE(std::stod(largest[i - 1].at("value")), std::stod(largest[i].at("value")));
  }
  EXPECT_EQ("1.9", largest.back().at("value"));
  EXPECT_EQ(1u, count_of(last, "aria-sort=\"ascending\""));
}

TEST_F(Browser, QueryStringFiltersToOneRuleOrModel) {
  const fs::path page = write_page(many_findings());
  const std::string dom = dump_dom(page, "?rule=genrou%20202%20tppdo%20%3C%20tcmin");
  EXPECT_EQ("80", text_of(dom, "count"));
  const std::vector<Row> rows = table_rows(dom);
  ASSERT_EQ(80u, rows.size());
  for (const Row& row : rows) {
    EXPECT_EQ("genrou", row.at("model"));
    EXPECT_EQ("202", row.at("code"));
    EXPECT_EQ("tppdo < tcmin", row.at("rule"));
  }
  // The selected bar is marked, and the rule's select shows it.
  EXPECT_EQ(1u, count_of(dom, "class=\"selected\""));
  // Sorted by value, largest first.
  const std::string sorted = dump_dom(page, "?model=gensal&sort=-value");
  EXPECT_EQ("49", text_of(sorted, "count"));
  const std::vector<Row> gensal = table_rows(sorted);
  ASSERT_EQ(49u, gensal.size());
  for (std::size_t i = 1; i < gensal.size(); ++i) {
    EXPECT_EQ("gensal", gensal[i].at("model"));
    EXPECT_GE(std::stod(gensal[i - 1].at("value")), std::stod(gensal[i].at("value")));
  }
  EXPECT_EQ(1u, count_of(sorted, "aria-sort=\"descending\""));
}

TEST_F(Browser, ABusNameThatEndsTheScriptRunsNothing) {
  const fs::path page = write_page(many_findings());
  const std::string dom = dump_dom(page, "?q=666");
  EXPECT_NE(std::string::npos, dom.find("<title>Conversion review: plant.dat</title>"));
  EXPECT_EQ(std::string::npos, dom.find("id=\"pwned\""));
  EXPECT_EQ(std::string::npos, dom.find("<img"));
  EXPECT_EQ("1", text_of(dom, "count"));
  const std::vector<Row> rows = table_rows(dom);
  ASSERT_EQ(1u, rows.size());
  EXPECT_EQ("</script><script>document.title='PWNED';var p=document.createElement('p');"
            "p.id='pwned';document.body.appendChild(p)</script>",
            rows.front().at("name"));
  EXPECT_EQ(tpjconv::testing::kHostileText, rows.front().at("rule"));
}

TEST_F(Browser, Screenshot) {
  const fs::path page = write_page(many_findings());
  const fs::path png = kDir / "review.png";
  fs::remove(png);
  chromium(page, "", {"--window-size=1280,2000", "--screenshot=" + png.string()},
           kDir / "screenshot.stdout");
  const std::string image = tpjconv::testing::read_file(png);
  ASSERT_GT(image.size(), 8u) << png;
  EXPECT_EQ("\x89PNG\r\n\x1a\n", image.substr(0, 8));
}

// The rules of a run's summary that are findings: "model code text" (as the page's rule filter
// names them) and their counts.
std::map<std::string, long> finding_rules(const fs::path& summary) {
  std::map<std::string, long> rules;
  const std::vector<std::string> rows =
      tpjconv::testing::lines_of(tpjconv::testing::read_file(summary));
  for (std::size_t i = 1; i < rows.size(); ++i) {
    const std::string& row = rows[i];
    const std::size_t model_end = row.find(',');
    const std::size_t code_end = row.find(',', model_end + 1);
    const std::string code = row.substr(model_end + 1, code_end - model_end - 1);
    if (code == "read" || code == "changed" || code == "000") continue;
    const std::size_t corrected_at = row.rfind(',');
    const std::size_t count_at = row.rfind(',', corrected_at - 1);
    rules[row.substr(0, model_end) + " " + code + " " +
          row.substr(code_end + 1, count_at - code_end - 1)] =
        std::stol(row.substr(count_at + 1, corrected_at - count_at - 1));
  }
  return rules;
}

std::string query_value(const std::string& text) {
  static constexpr char kHex[] = "0123456789ABCDEF";
  std::string out;
  for (const char c : text) {
    const auto byte = static_cast<unsigned char>(c);
    if (std::isalnum(byte) || c == '-' || c == '_' || c == '.' || c == '~') {
      out += c;
    } else {
      out += '%';
      out += kHex[byte >> 4];
      out += kHex[byte & 15];
    }
  }
  return out;
}

// A run of the tool that writes a review page, with its findings file and summary.
// The data in many small parts, with bus names written again under new ids: the page joins
// them, and sorts a name written under several ids as one name, in the order of the check log.
TEST_F(Browser, DataInManyPartsJoined) {
  std::vector<Finding> findings;
  for (int i = 0; i < 90; ++i) {
    findings.push_back(make_finding("big.dat", 10 + i, Model::genrou, 1000 + i,
                                    std::string("NAME ") + "ABC"[i % 3], 22.0f, "1", 0, 208,
                                    "lq >  ld", "lq", 1.9f, 1.8f));
  }
  const fs::path page = write_page(findings, tpjconv::ReviewPageLimits{512, 2});
  ASSERT_GT(count_of(tpjconv::testing::read_file(page), "class=\"findings-part\""), 3u);
  const std::string dom = dump_dom(page, "?sort=-name");
  EXPECT_EQ("90", text_of(dom, "count"));
  const std::vector<Row> rows = table_rows(dom);
  ASSERT_EQ(90u, rows.size());
  for (std::size_t i = 0; i < rows.size(); ++i) {
    const std::size_t group = i / 30, first = 2 - group;  // C, then B, then A
    EXPECT_EQ(std::string("NAME ") + "ABC"[first], rows[i].at("name")) << i;
    EXPECT_EQ(std::to_string(10 + first + 3 * (i % 30)), rows[i].at("line")) << i;
  }
}

struct ToolPage {
  fs::path page;
  std::map<std::string, long> rules;  // the summary's rules that are findings
  long findings = 0;                  // the rows of the findings file
};

// Runs the tool with `args` followed by every model at Kis 0.3, the findings file, summary and
// page of the run, in `work`; the page is named `name` under the test folder. Paths of the run
// are relative to `work`: `out` is where its other outputs go, seen from there.
ToolPage run_for_page(const fs::path& work, const fs::path& out, std::vector<std::string> args,
                      const std::string& name) {
  ToolPage run;
  run.page = kDir / (name + ".html");
  const std::string to = out.string() + "/";
  args.insert(args.begin(), "--yes");
  for (const std::string& arg :
       {to + "out.dat", std::string("0.3"), std::string("0.3"), std::string("0.3"),
        to + "check.log", to + "report.txt", std::string("--findings"), to + "findings.csv",
        std::string("--summary"), to + "summary.csv", std::string("--html"),
        fs::relative(kDir / (name + ".html"), work).string()}) {
    args.push_back(arg);
  }
  const fs::path result = kDir / ("run_" + name);
  const int status = tpjconv::testing::run_tool(work, args, "/dev/null", result / "stdout",
                                                result / "stderr");
  EXPECT_EQ(0, status) << tpjconv::testing::read_file(result / "stderr");
  run.rules = finding_rules(result / "summary.csv");
  run.findings = static_cast<long>(
      tpjconv::testing::lines_of(tpjconv::testing::read_file(result / "findings.csv")).size()) - 1;
  return run;
}

// Runs the tool on a copy of `input` ("in.dat") with no bus numbers file.
ToolPage tool_page(const fs::path& input, const std::string& name) {
  const fs::path work = kDir / ("run_" + name);
  fs::remove_all(work);
  fs::create_directories(work);
  fs::copy_file(input, work / "in.dat");
  return run_for_page(work, ".", {"in.dat", "none"}, name);
}

class ToolPages : public Browser {
 protected:
  // The page holds every finding and one bar per rule of the summary; filtered by each of
  // `rules` through the query string it holds exactly that rule's findings.
  void check(const ToolPage& run, const std::vector<std::string>& rules) {
    ASSERT_GT(run.findings, 0);
    const std::string dom = dump_dom(run.page);
    EXPECT_EQ(std::to_string(run.findings), text_of(dom, "count"));
    EXPECT_EQ(std::min<std::size_t>(100, run.findings), table_rows(dom).size());
    EXPECT_EQ(run.rules.size(), count_of(dom, "data-bar=\""));
    for (const std::string& rule : rules) {
      SCOPED_TRACE(rule);
      ASSERT_EQ(1u, run.rules.count(rule));
      const long count = run.rules.at(rule);
      const std::string filtered = dump_dom(run.page, "?rule=" + query_value(rule));
      EXPECT_EQ(std::to_string(count), text_of(filtered, "count"));
      const std::vector<Row> rows = table_rows(filtered);
      EXPECT_EQ(std::min<std::size_t>(100, count), rows.size());
      for (const Row& row : rows) {
        EXPECT_EQ(rule, row.at("model") + " " + row.at("code") + " " + row.at("rule"));
      }
    }
  }
};

TEST_F(ToolPages, ACorpusFile) {
  if (!fs::is_directory(TPJCONV_CORPUS_DIR)) {
    GTEST_SKIP() << "the shared corpus of real dynamic-data files is not at " TPJCONV_CORPUS_DIR;
  }
  const ToolPage run =
      tool_page(fs::path(TPJCONV_CORPUS_DIR) / "poland2746.dat", "corpus_poland2746");
  ASSERT_FALSE(run.rules.empty());
  // The rule with the fewest findings: a filter that leaves a few rows of many.
  auto fewest = run.rules.begin();
  for (auto it = run.rules.begin(); it != run.rules.end(); ++it) {
    if (it->second < fewest->second) fewest = it;
  }
  check(run, {fewest->first});
}

TEST_F(ToolPages, AGeneratedFileOfThreeThousandGenerators) {
  const fs::path input = kDir / "generated.dat";
  std::ofstream(input, std::ios::binary) << tpjconv::testing::generated_input(3000);
  const ToolPage run = tool_page(input, "generated");
  // 250 of gensal 102, 750 of 113; 205 of genrou 201, 750 of 202, 450 of 209.
  EXPECT_EQ(2405, run.findings);
  EXPECT_EQ(5u, run.rules.size());
  // A rule with more findings than a page of the table shows.
  check(run, {"genrou 209 lpd > 0.4*ld"});
}

TEST_F(ToolPages, AGeneratedFileShowsMarkupAsText) {
  const fs::path input = kDir / "generated_markup.dat";
  std::ofstream(input, std::ios::binary) << tpjconv::testing::generated_input(3000);
  const ToolPage run = tool_page(input, "generated_markup");
  // A bus name with markup shows as text.
  const std::string dom = dump_dom(run.page, "?q=1000");
  const std::vector<Row> rows = table_rows(dom);
  ASSERT_FALSE(rows.empty());
  EXPECT_EQ("<i>&amp;", rows.front().at("name"));
  EXPECT_EQ(std::string::npos, dom.find("<i>&amp;"));
  const fs::path png = kDir / "generated_review.png";
  fs::remove(png);
  chromium(run.page, "", {"--window-size=1280,1600", "--screenshot=" + png.string()},
           kDir / "generated_screenshot.stdout");
  EXPECT_EQ("\x89PNG\r\n\x1a\n", tpjconv::testing::read_file(png).substr(0, 8));
}

// The picture of the README: the page of the bundled example, run as the README runs it.
TEST_F(ToolPages, TheBundledExampleAndItsScreenshot) {
  // Run from the source tree, so that the page names the files as the README does.
  const fs::path source = TPJCONV_SOURCE_DIR;
  const fs::path result = kDir / "run_plant_review";
  fs::remove_all(result);
  fs::create_directories(result);
  const ToolPage run = run_for_page(source, fs::relative(result, source),
                                    {"examples/plant.dat", "examples/plant.bus"}, "plant_review");
  EXPECT_EQ(4, run.findings);
  // The filters are checked on the larger pages: two runs of Chromium here, as the others.
  check(run, {});
  const fs::path png = kDir / "plant_review.png";
  fs::remove(png);
  chromium(run.page, "", {"--window-size=1100,1500", "--screenshot=" + png.string()},
           kDir / "plant_screenshot.stdout");
  EXPECT_EQ("\x89PNG\r\n\x1a\n", tpjconv::testing::read_file(png).substr(0, 8));
}

}  // namespace
