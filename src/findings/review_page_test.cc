#include "findings/review_page.h"

#include <cmath>
#include <functional>
#include <limits>

#include <gtest/gtest.h>
#include <nlohmann/json.hpp>

#include "findings/test_findings.h"
#include "findings/test_page_data.h"
#include "tpjconv/findings_csv.h"

namespace tpjconv {
namespace {

using testing::kHostileName;
using testing::kHostileText;
using testing::make_finding;
using testing::mixed_findings;
using testing::plant_run;
using testing::embedded_data;
using testing::rows_of_data;

Totals plant_totals() {
  Totals totals;
  totals.read = {2, 1, 3};
  totals.changed = {1, 0, 2};
  totals.rules = {{Model::genrou, 0, "Salient pole generator ???", 1, 0, false}};
  return totals;
}

std::string page_of(const std::vector<Finding>& findings, const std::vector<Warning>& warnings,
                    RunInfo run = plant_run()) {
  Sink out;
  ReviewPage page(out, std::move(run), "2024-05-06 07:08:09");
  for (const Finding& finding : findings) page.add(finding);
  for (const Warning& warning : warnings) page.add(warning);
  page.finish(plant_totals(), Outcome{0, "converted"});
  return out.text();
}

std::string rows_of(const std::vector<Finding>& findings) {
  std::string rows;
  for (const Finding& finding : findings) append_findings_csv_row(rows, finding);
  return rows;
}

TEST(ReviewPage, EmbeddedDataHoldsExactlyTheFindingsGiven) {
  std::vector<Finding> findings = mixed_findings();
  // A record whose findings are not next to each other, and one that differs from the one
  // before in its unit ID alone.
  findings.push_back(findings.front());
  findings.push_back(findings.front());
  findings.back().unit_id = "3";
  const std::string data = embedded_data(page_of(findings, {}));
  ASSERT_FALSE(data.empty());
  ASSERT_TRUE(nlohmann::json::accept(data)) << data;
  EXPECT_EQ(rows_of(findings), rows_of_data(data));
  // Nothing in it can end its script element or be read as markup: ASCII only, and no <, >, &.
  for (const char c : data) {
    ASSERT_TRUE(static_cast<unsigned char>(c) < 0x80 && c != '<' && c != '>' && c != '&')
        << "byte " << static_cast<int>(static_cast<unsigned char>(c)) << " in " << data;
  }
  EXPECT_NE(std::string::npos, data.find("\\u003c/script\\u003e"));
  EXPECT_NE(std::string::npos, data.find("\\u2028"));
}

TEST(ReviewPage, NoFindingsNoBarsAndEmptyData) {
  const std::string page = page_of({}, {});
  EXPECT_NE(std::string::npos, page.find("<p>No record broke a rule.</p>"));
  EXPECT_EQ(std::string::npos, page.find("<svg"));
  EXPECT_NE(std::string::npos, page.find("<p>No warnings.</p>"));
  EXPECT_NE(std::string::npos,
            page.find("<strong>0 findings</strong>: 0 corrected, 0 not corrected. "
                      "<strong>0 warnings</strong>."));
  const std::string data = embedded_data(page);
  EXPECT_EQ("{\"texts\":[],\n\"bars\":{\"model\":[],\"code\":[],\"text\":[],\"count\":[],"
            "\"corrected\":[]},\n\"rules\":{\"bar\":[],\"parameter\":[]},\n"
            "\"records\":{\"file\":[],\"line\":[],\"bus\":[],\"name\":[],\"kv\":[],\"unit\":[],"
            "\"level\":[]},\n\"findings\":{\"record\":[],\"rule\":[],\"value\":[],\"to\":[]}}",
            data);
}

TEST(ReviewPage, InputTextsAreEscapedEverywhere) {
  RunInfo run = plant_run();
  run.input = "<b>\"in\".dat";
  run.bus_file = "bus</title>.txt";
  run.arguments = {run.input, *run.bus_file, "o'ut.dat"};
  const std::string page =
      page_of(mixed_findings(),
              {{WarningKind::name_mismatch, "", 0, kHostileName},
               {WarningKind::record, "<i>.dat", 9, kHostileText}},
              run);
  // The only script elements are the page's own two.
  std::size_t scripts = 0;
  for (std::size_t at = page.find("<script"); at != std::string::npos;
       at = page.find("<script", at + 1)) {
    ++scripts;
  }
  EXPECT_EQ(2u, scripts);
  EXPECT_EQ(std::string::npos, page.find("<img"));
  EXPECT_EQ(std::string::npos, page.find("<b>"));
  EXPECT_EQ(std::string::npos, page.find("<i>"));
  EXPECT_EQ(std::string::npos, page.find("</title>.txt"));
  EXPECT_NE(std::string::npos,
            page.find("<title>Conversion review: &lt;b&gt;&quot;in&quot;.dat</title>"));
  EXPECT_NE(std::string::npos, page.find("<dt>Bus numbers file</dt><dd><code>bus&lt;/title&gt;"
                                         ".txt</code></dd>"));
  EXPECT_NE(std::string::npos, page.find("<code>o&#39;ut.dat</code>"));
  EXPECT_NE(std::string::npos,
            page.find("<li><span class=\"where mono\">&lt;i&gt;.dat:9:</span> <span class=\"text "
                      "mono\">&lt;img src=x onerror=&quot;document.title=&#39;PWNED&#39;&quot;&gt; "
                      "&amp; &quot;x&quot;</span></li>"));
  EXPECT_NE(std::string::npos,
            page.find("<li><span class=\"text mono\">Q&quot;uo\\te\x01\x1f&lt;/script&gt;&lt;"
                      "script&gt;document.title=&#39;PWNED&#39;&lt;/script&gt;\xE2\x80\xA8\xC3\x89"
                      "</span></li>"));
  // The hostile rule text in the chart: label, title and key, all escaped.
  EXPECT_NE(std::string::npos, page.find("data-key=\"genrou 209 &lt;img src=x onerror=&quot;"));
  EXPECT_NE(std::string::npos, page.find("?rule=genrou%20209%20%3Cimg%20src%3Dx%20onerror%3D%22"));
}

TEST(ReviewPage, ChartHasOneBarPerRuleLongestFirstWithItsCounts) {
  std::vector<Finding> findings;
  const auto add = [&](int n, int code, const std::string& rule, bool corrected) {
    for (int i = 0; i < n; ++i) {
      findings.push_back(make_finding("in.dat", 10 + static_cast<long>(findings.size()),
                                      Model::genrou, 7, "G7", 22.0f, "1", corrected ? 0 : 1,
                                      code, rule, "lq", 1.8f,
                                      corrected ? std::optional<float>(1.7f) : std::nullopt));
    }
  };
  add(2, 201, "tpdo < 2.0", false);
  add(3, 208, "lq >  ld", true);
  add(1, 208, "lq < 0.6*ld", true);
  add(1, 208, "lq >  ld", false);
  const std::string page = page_of(findings, {});
  // Three bars: lq > ld (4: 3 corrected, 1 not), tpdo < 2.0 (2, not corrected), lq < 0.6*ld
  // (1, corrected); 440 pixels for the longest. The salient-pole line of the totals is no bar.
  std::size_t bars = 0;
  for (std::size_t at = page.find("data-bar=\""); at != std::string::npos;
       at = page.find("data-bar=\"", at + 1)) {
    ++bars;
  }
  EXPECT_EQ(3u, bars);
  EXPECT_EQ(std::string::npos, page.find("genrou 000"));
  EXPECT_NE(
      std::string::npos,
      page.find(
          "<a href=\"?rule=genrou%20208%20lq%20%3E%20%20ld#findings\" data-bar=\"0\" "
          "data-key=\"genrou 208 lq &gt;  ld\" aria-label=\"genrou 208 lq &gt;  ld: 4 findings, "
          "3 corrected, 1 not corrected\"><title>genrou 208 lq &gt;  ld: 4 findings, 3 corrected, "
          "1 not corrected</title><rect class=\"hit\" x=\"1\" y=\"35\" width=\"828\" "
          "height=\"24\"/><text class=\"label\" x=\"292\" y=\"52\" text-anchor=\"end\">genrou "
          "208 lq &gt;  ld</text><rect class=\"corrected\" x=\"300\" y=\"38\" width=\"330\" "
          "height=\"18\"/><text class=\"in-corrected\" x=\"465\" y=\"52\" "
          "text-anchor=\"middle\">3</text><rect class=\"uncorrected\" x=\"630\" y=\"38\" "
          "width=\"110\" height=\"18\"/><text class=\"in-uncorrected\" x=\"685\" y=\"52\" "
          "text-anchor=\"middle\">1</text><text class=\"total\" x=\"746\" y=\"52\">4</text></a>"))
      << page;
  // The second row 26 pixels lower: 2 of 4 is 220 pixels, none corrected.
  EXPECT_NE(std::string::npos,
            page.find("data-bar=\"1\" data-key=\"genrou 201 tpdo &lt; 2.0\""));
  EXPECT_NE(std::string::npos,
            page.find("<rect class=\"uncorrected\" x=\"300\" y=\"64\" width=\"220\" "
                      "height=\"18\"/><text class=\"in-uncorrected\" x=\"410\" y=\"78\" "
                      "text-anchor=\"middle\">2</text><text class=\"total\" x=\"526\" "
                      "y=\"78\">2</text></a>"));
  // The third: 1 of 4 is 110 pixels, corrected.
  EXPECT_NE(std::string::npos,
            page.find("data-bar=\"2\" data-key=\"genrou 208 lq &lt; 0.6*ld\""));
  EXPECT_NE(std::string::npos,
            page.find("<rect class=\"corrected\" x=\"300\" y=\"90\" width=\"110\" "
                      "height=\"18\"/><text class=\"in-corrected\" x=\"355\" y=\"104\" "
                      "text-anchor=\"middle\">1</text><text class=\"total\" x=\"416\" "
                      "y=\"104\">1</text></a>"));
  EXPECT_NE(std::string::npos, page.find("width=\"830\" height=\"118\" viewBox=\"0 0 830 118\""));
  // The rule filter lists the bars by model, code and text, with their counts.
  EXPECT_NE(std::string::npos,
            page.find("<option value=\"genrou 201 tpdo &lt; 2.0\">genrou 201 tpdo &lt; 2.0 (2)"
                      "</option><option value=\"genrou 208 lq &lt; 0.6*ld\">genrou 208 lq &lt; "
                      "0.6*ld (1)</option><option value=\"genrou 208 lq &gt;  ld\">genrou 208 lq "
                      "&gt;  ld (4)</option></select>"));
}

TEST(ReviewPage, HeadingSaysTheSettingsTotalsAndCounts) {
  const std::string page = page_of(mixed_findings(), {{WarningKind::record, "plant.dat", 30, "w"}});
  for (const char* part : {
           "<h1>Conversion review: plant.dat</h1>\n<p class=\"outcome\">Outcome: converted "
           "(status 0)</p>",
           "<dt>Input</dt><dd><code>plant.dat</code></dd>\n<dt>Bus numbers file</dt><dd><code>"
           "plant.bus</code></dd>\n<dt>Kis</dt><dd>gensal 0.3; gentpf not converted; genrou "
           "0.25</dd>\n<dt>tcmin</dt><dd>0.025</dd>\n<dt>Time of the run</dt><dd>2024-05-06 "
           "07:08:09</dd>\n<dt>Tool</dt><dd>tpjconv 1.0.0</dd>\n<dt>Arguments</dt><dd><code>"
           "plant.dat</code> <code>plant.bus</code> <code>out.dat</code> <code>0.3</code> "
           "<code>-1</code> <code>0.25</code></dd>",
           "<tr><th scope=\"row\">gensal</th><td class=\"num\">2</td><td class=\"num\">1</td>"
           "</tr>\n<tr><th scope=\"row\">gentpf</th><td class=\"num\">1</td>"
           "<td class=\"num\">0</td></tr>\n<tr><th scope=\"row\">genrou</th>"
           "<td class=\"num\">3</td><td class=\"num\">2</td></tr>\n"
           "<tr><th scope=\"row\">all</th><td class=\"num\">6</td><td class=\"num\">3</td></tr>",
           // Five findings: four corrected (one of them to inf), the level-1 one not.
           "<strong>5 findings</strong>: 4 corrected, 1 not corrected. <strong>1 warning</strong>.",
           "<span id=\"count\">5</span> of 5 findings match",
       }) {
    EXPECT_NE(std::string::npos, page.find(part)) << part;
  }
  RunInfo run = plant_run();
  run.bus_file.reset();
  Sink out;
  ReviewPage failed(out, run, "t");
  failed.finish(Totals{}, Outcome{1, "the output file could not be written"});
  EXPECT_NE(std::string::npos,
            out.text().find("<p class=\"outcome failed\">Outcome: the output file could not be "
                            "written (status 1)</p>"));
  EXPECT_NE(std::string::npos, out.text().find("<dt>Bus numbers file</dt><dd>none: every "
                                               "generator of the enabled models</dd>"));
}

TEST(ReviewPage, WarningsGroupedByKindInAFixedOrder) {
  const std::string page = page_of(
      {}, {{WarningKind::unused_entry, "plant.bus", 8, "bus 104 unit ID \"1 \" matched no record"},
           {WarningKind::record, "plant.dat", 12, "missing lpd"},
           {WarningKind::settings, "", 0, "KIS_GENSAL \"0,3\" is not a number; 0 used"},
           {WarningKind::record, "plant.dat", 30, "read by position"},
           {WarningKind::name_mismatch, "", 0, "Name    mismatch          302, [RIVERTN ] [1 ] "},
           {WarningKind::bus_file, "plant.bus", 0, "lists no generator"}});
  const std::size_t start = page.find("<h2 id=\"warnings-h\">Warnings</h2>\n");
  const std::size_t end = page.find("</section>", start);
  ASSERT_NE(std::string::npos, start);
  EXPECT_EQ(
      "<h2 id=\"warnings-h\">Warnings</h2>\n"
      "<h3>Arguments and settings (1)</h3>\n<ul class=\"warnings\">\n"
      "<li><span class=\"text mono\">KIS_GENSAL &quot;0,3&quot; is not a number; 0 used</span>"
      "</li>\n</ul>\n"
      "<h3>Lines of the bus numbers file (1)</h3>\n<ul class=\"warnings\">\n"
      "<li><span class=\"where mono\">plant.bus:</span> <span class=\"text mono\">lists no "
      "generator</span></li>\n</ul>\n"
      "<h3>Records not read as meant (2)</h3>\n<ul class=\"warnings\">\n"
      "<li><span class=\"where mono\">plant.dat:12:</span> <span class=\"text mono\">missing "
      "lpd</span></li>\n"
      "<li><span class=\"where mono\">plant.dat:30:</span> <span class=\"text mono\">read by "
      "position</span></li>\n</ul>\n"
      "<h3>Bus names or unit IDs that differ from the bus numbers file (1)</h3>\n"
      "<ul class=\"warnings\">\n<li><span class=\"text mono\">Name    mismatch          302, "
      "[RIVERTN ] [1 ] </span></li>\n</ul>\n"
      "<h3>Bus numbers file entries that matched no record (1)</h3>\n<ul class=\"warnings\">\n"
      "<li><span class=\"where mono\">plant.bus:8:</span> <span class=\"text mono\">bus 104 unit "
      "ID &quot;1 &quot; matched no record</span></li>\n</ul>\n",
      page.substr(start, end - start));
}

// A page of many findings: the data in parts, and nothing kept but the part being filled, the
// texts remembered and the rules, whatever the number of findings.
TEST(ReviewPage, WritesTheDataAsTheFindingsComeAndKeepsLittle) {
  Sink out;
  ReviewPage page(out, plant_run(), "t");
  const int records = 40000;
  const int per_record = 5;
  std::size_t kept_at_half = 0;
  for (int r = 0; r < records; ++r) {
    for (int k = 0; k < per_record; ++k) {
      page.add(make_finding("big.dat", 10 * r, Model::genrou, 1000 + r,
                            "BUS " + std::to_string(r), 22.0f, "1", 0, 201 + k,
                            "rule " + std::to_string(k), "lq", 1.0f, 2.0f));
    }
    if (r == records / 2) kept_at_half = page.bytes_kept();
  }
  EXPECT_GT(out.text().size(), std::size_t{2} << 20);  // most of the data, before the end
  const std::size_t kept = page.bytes_kept();
  // The part (256 KiB, in columns that may have twice that room) and 16384 bus names remembered.
  EXPECT_LT(kept, std::size_t{3} << 20) << kept;
  EXPECT_LT(kept, kept_at_half + (std::size_t{1} << 19)) << kept << " against " << kept_at_half;
  page.finish(Totals{}, Outcome{0, "converted"});
  EXPECT_NE(std::string::npos, out.text().find("<span id=\"count\">200000</span>"));
  EXPECT_NE(std::string::npos, out.text().find("<strong>200000 findings</strong>: 200000 corrected"));
}

// With small parts and few texts remembered, the data come in many parts, texts again under new
// ids: the parts joined hold exactly the findings given, escaped as in one part.
TEST(ReviewPage, DataInPartsHoldExactlyTheFindingsGiven) {
  std::vector<Finding> findings;
  for (int round = 0; round < 40; ++round) {
    for (Finding finding : mixed_findings()) {
      finding.line += 100 * round;
      findings.push_back(std::move(finding));
    }
  }
  Sink out;
  ReviewPage page(out, plant_run(), "t", ReviewPageLimits{512, 3});
  for (const Finding& finding : findings) page.add(finding);
  page.finish(plant_totals(), Outcome{0, "converted"});
  const std::vector<std::string> parts = testing::embedded_parts(out.text());
  ASSERT_GT(parts.size(), 10u);
  EXPECT_EQ(rows_of(findings), testing::rows_of_page(out.text()));
  for (const std::string& data : parts) {
    ASSERT_TRUE(nlohmann::json::accept(data)) << data;
    for (const char c : data) {
      ASSERT_TRUE(static_cast<unsigned char>(c) < 0x80 && c != '<' && c != '>' && c != '&')
          << "byte " << static_cast<int>(static_cast<unsigned char>(c)) << " in " << data;
    }
  }
  // The parts are in the head, before the page's own script and the heading.
  const std::string& text = out.text();
  EXPECT_LT(text.rfind(testing::kPartStart), text.find("</head>"));
  EXPECT_NE(std::string::npos, text.find("<strong>" + std::to_string(findings.size()) +
                                         " findings</strong>"));
}

// Findings of one record share its entry only while every field of its header is the same,
// compared by bits: a base kV of -0 is not 0.
TEST(ReviewPage, ARecordIsToldApartByEachFieldOfItsHeader) {
  const Finding base = make_finding("in.dat", 12, Model::genrou, 102, "HILLSIDE", 0.0f, "2 ", 0,
                                    209, "lpd > 0.4*ld", "lpd", 0.8f, 0.74f);
  // Each finding differs from the one before it in one field only.
  std::vector<Finding> findings;
  const auto differing = [&](const std::function<void(Finding&)>& change) {
    findings.push_back(base);
    findings.push_back(base);
    change(findings.back());
  };
  differing([](Finding& f) { f.line = 13; });
  differing([](Finding& f) { f.bus = 103; });
  differing([](Finding& f) {
    f.level = 1;
    f.corrected_to.reset();
  });
  differing([](Finding& f) { f.base_kv = -0.0f; });
  differing([](Finding& f) { f.file = "other.dat"; });
  differing([](Finding& f) { f.bus_name = "VALLEY"; });
  differing([](Finding& f) { f.unit_id = "3 "; });
  const std::string page = page_of(findings, {});
  // The JSON reader takes the data's -0 for 0; the data's own text keeps the sign.
  std::vector<Finding> read_back = findings;
  read_back[7].base_kv = 0.0f;
  EXPECT_EQ(rows_of(read_back), rows_of_data(embedded_data(page)));
  const nlohmann::json data = nlohmann::json::parse(embedded_data(page));
  EXPECT_EQ(14u, data["records"]["line"].size());
  EXPECT_NE(std::string::npos, page.find("\"kv\":[0,0,0,0,0,0,0,-0,0,0,0,0,0,0]")) << page;
}

// Rules of one model and code with one text are one bar, however many parameters they name.
TEST(ReviewPage, OneBarForARuleTextWhateverTheParameter) {
  const std::vector<Finding> findings = {
      make_finding("in.dat", 12, Model::genrou, 7, "G7", 22.0f, "1", 0, 212, "lppq <> lppd",
                   "lppq", 0.3f, 0.25f),
      make_finding("in.dat", 12, Model::genrou, 7, "G7", 22.0f, "1", 0, 212, "lppq <> lppd",
                   "lppd", 0.25f, std::nullopt),
      make_finding("in.dat", 30, Model::genrou, 8, "G8", 22.0f, "1", 0, 212, "lppq <> lppd",
                   "lppq", 0.4f, 0.35f),
  };
  const std::string page = page_of(findings, {{WarningKind::files, "", 0, "removed x"}});
  EXPECT_EQ(rows_of(findings), rows_of_data(embedded_data(page)));
  const nlohmann::json data = nlohmann::json::parse(embedded_data(page));
  EXPECT_EQ(2u, data["rules"]["bar"].size());
  EXPECT_EQ(nlohmann::json::parse("[3]"), data["bars"]["count"]);
  EXPECT_EQ(nlohmann::json::parse("[2]"), data["bars"]["corrected"]);
  EXPECT_NE(std::string::npos,
            page.find("<strong>3 findings</strong>: 2 corrected, 1 not corrected. "
                      "<strong>1 warning</strong>."));
  EXPECT_NE(std::string::npos,
            page.find("<h3>Files of the run (1)</h3>\n<ul class=\"warnings\">\n<li><span "
                      "class=\"text mono\">removed x</span></li>\n</ul>\n"));
}

// Codes beyond the rule tables (findings given through the library) are rules as the others: one
// bar for each model, code and text.
TEST(ReviewPage, CodesBeyondTheTablesAreToldApartByModelCodeAndText) {
  const std::vector<Finding> findings = {
      make_finding("in.dat", 12, Model::genrou, 7, "G7", 22.0f, "1", 0, 209, "lpd > 0.4*ld",
                   "lpd", 0.8f, 0.7f),
      make_finding("in.dat", 12, Model::genrou, 7, "G7", 22.0f, "1", 0, 100000, "x > y", "x",
                   1.0f, 0.5f),
      make_finding("in.dat", 13, Model::genrou, 7, "G7", 22.0f, "2", 0, 100000, "x > y", "x",
                   2.0f, std::nullopt),
      make_finding("in.dat", 14, Model::gensal, 8, "G8", 22.0f, "1", 0, 100000, "x > y", "x",
                   3.0f, 1.5f),
      make_finding("in.dat", 15, Model::genrou, 9, "G9", 22.0f, "1", 0, -7, "z < w", "z", 4.0f,
                   std::nullopt),
      make_finding("in.dat", 16, Model::genrou, 9, "G9", 22.0f, "1", 0, -7, "z < w", "z", 5.0f,
                   std::nullopt),
  };
  const std::string page = page_of(findings, {});
  EXPECT_EQ(rows_of(findings), rows_of_data(embedded_data(page)));
  const nlohmann::json data = nlohmann::json::parse(embedded_data(page));
  EXPECT_EQ(4u, data["rules"]["bar"].size());
  EXPECT_EQ(nlohmann::json::parse("[2,2,1,1]"), data["bars"]["count"]) << data["bars"];
}

// A bar's link carries its key percent-encoded, all but letters, digits and -_.~; a label longer
// than 36 bytes is cut before the character at its 36th byte, never inside it, and ends in an
// ellipsis.
TEST(ReviewPage, BarLinksEncodeTheKeyAndLabelsAreCutAtACharacter) {
  const std::string long_text = std::string(23, 'a') + "\xC3\x89" + "bcd";
  const std::vector<Finding> findings = {
      make_finding("in.dat", 12, Model::genrou, 7, "G7", 22.0f, "1", 0, 208, "AZaz09-_.~/+",
                   "lq", 1.8f, 1.7f),
      make_finding("in.dat", 12, Model::genrou, 7, "G7", 22.0f, "1", 0, 209, long_text, "lpd",
                   0.8f, 0.7f),
  };
  const std::string page = page_of(findings, {});
  EXPECT_NE(std::string::npos, page.find("<a href=\"?rule=genrou%20208%20AZaz09-_.~%2F%2B#"));
  EXPECT_NE(std::string::npos, page.find("text-anchor=\"end\">genrou 208 AZaz09-_.~/+</text>"));
  // "genrou 209 " and 23 letters are 34 bytes; the 36th is the second byte of the É.
  EXPECT_NE(std::string::npos, page.find("text-anchor=\"end\">genrou 209 " +
                                         std::string(23, 'a') + "\xE2\x80\xA6</text>"))
      << page;
  EXPECT_NE(std::string::npos, page.find("<a href=\"?rule=genrou%20209%20" +
                                         std::string(23, 'a') + "%C3%89bcd#"));
}

// Once written, the page takes nothing more: findings, warnings and another finish() are
// ignored.
TEST(ReviewPage, NothingIsAddedOrWrittenAfterTheEnd) {
  Sink out;
  ReviewPage page(out, plant_run(), "t");
  page.add(mixed_findings().front());
  page.finish(plant_totals(), Outcome{0, "converted"});
  const std::string written = out.text();
  const std::size_t kept = page.bytes_kept();
  page.add(mixed_findings().back());
  page.add(Warning{WarningKind::record, "in.dat", 3, "late"});
  page.finish(plant_totals(), Outcome{1, "failed"});
  EXPECT_EQ(written, out.text());
  EXPECT_EQ(kept, page.bytes_kept());
  EXPECT_NE(std::string::npos,
            written.find("<strong>1 finding</strong>: 1 corrected, 0 not corrected. "
                         "<strong>0 warnings</strong>."));
}

// A text too long to be held in place in its string counts in the bytes kept.
TEST(ReviewPage, LongTextsCountInTheBytesKept) {
  const auto kept_with_name = [](const std::string& name) {
    Sink out;
    ReviewPage page(out, plant_run(), "t");
    page.add(make_finding("in.dat", 12, Model::genrou, 7, name, 22.0f, "1", 0, 208, "lq >  ld",
                          "lq", 1.8f, 1.7f));
    return page.bytes_kept();
  };
  EXPECT_GE(kept_with_name(std::string(1000, 'N')), kept_with_name("N") + 1000);
}

// A count goes inside its part of a bar only where it fits: 1 of 60 is 7 pixels wide, and its
// count stands after the bar alone.
TEST(ReviewPage, ACountThatDoesNotFitItsBarStandsAfterIt) {
  std::vector<Finding> findings;
  for (int i = 0; i < 61; ++i) {
    findings.push_back(make_finding("in.dat", 10 + i, Model::genrou, 7, "G7", 22.0f, "1", 0,
                                    i < 60 ? 201 : 208, i < 60 ? "tpdo < 2.0" : "lq >  ld", "lq",
                                    1.8f, 1.7f));
  }
  const std::string page = page_of(findings, {});
  EXPECT_NE(std::string::npos,
            page.find("<rect class=\"corrected\" x=\"300\" y=\"38\" width=\"440\" height=\"18\"/>"
                      "<text class=\"in-corrected\" x=\"520\" y=\"52\" text-anchor=\"middle\">60"
                      "</text><text class=\"total\" x=\"746\" y=\"52\">60</text></a>"))
      << page;
  EXPECT_NE(std::string::npos,
            page.find("<rect class=\"corrected\" x=\"300\" y=\"64\" width=\"7\" height=\"18\"/>"
                      "<text class=\"total\" x=\"313\" y=\"78\">1</text></a>"))
      << page;
}

}  // namespace
}  // namespace tpjconv
