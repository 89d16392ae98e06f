#include "findings/json_record.h"

#include <unistd.h>

#include <cmath>
#include <cstdint>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <limits>
#include <map>
#include <optional>
#include <vector>

#include <gtest/gtest.h>
#include <nlohmann/json.hpp>

#include "findings/findings_csv.h"
#include "findings/test_findings.h"
#include "tool_process.h"

namespace tpjconv {
namespace {

namespace fs = std::filesystem;
using testing::kHostileName;
using testing::kHostileText;
using testing::make_finding;
using testing::mixed_findings;
using testing::plant_run;

Totals plant_totals() {
  Totals totals;
  totals.read = {2, 1, 3};
  totals.changed = {1, 1, 1};
  totals.rules = {{Model::gensal, 113, "ll > 0.95*lppd", 1, 1, true},
                  {Model::genrou, 0, "Salient pole generator ???", 1, 0, false},
                  {Model::genrou, 209, "lpd > 0.4*ld", 1, 1, true}};
  return totals;
}

TEST(JsonRecord, TheWholeDocumentOfARun) {
  Sink out;
  {
    JsonRecord record(out, plant_run());
    record.add(make_finding("plant.dat", 12, Model::genrou, 102, "HILLSIDE", 18.0f, "2 ", 0, 209,
                            "lpd > 0.4*ld", "lpd", 0.8f,
                            static_cast<float>(0.4 * static_cast<double>(1.85f))));
    record.add(make_finding("plant.dat", 30, Model::gensal, 301, "RIVERTON", 13.8f, "1 ", 1, 113,
                            "ll > 0.95*lppd ", "ll", 0.25f, std::nullopt));
    record.add(Warning{WarningKind::record, "plant.dat", 30,
                       "gensal record at bus 301, unit ID \"1 \": missing ll; 78.0 used"});
    record.add(Warning{WarningKind::settings, "", 0, "KIS_GENSAL \"0,3\" is not a number; 0 used"});
    record.add(Warning{WarningKind::unused_entry, "plant.bus", 8,
                       "bus 104 unit ID \"1 \" matched no record"});
    record.finish(plant_totals(), Outcome{0, "converted"});
  }
  EXPECT_EQ(
      "{\"tool\":\"tpjconv\",\"version\":\"1.0.0\",\n"
      "\"arguments\":[\"plant.dat\",\"plant.bus\",\"out.dat\",\"0.3\",\"-1\",\"0.25\"],\n"
      "\"settings\":{\"input\":\"plant.dat\",\"bus_file\":\"plant.bus\","
      "\"kis\":{\"gensal\":0.3,\"gentpf\":null,\"genrou\":0.25},\"tcmin\":0.025},\n"
      "\"findings\":[\n"
      "{\"file\":\"plant.dat\",\"line\":12,\"model\":\"genrou\",\"bus\":102,"
      "\"bus_name\":\"HILLSIDE\",\"base_kv\":18.0,\"unit_id\":\"2\",\"level\":0,\"code\":209,"
      "\"rule\":\"lpd > 0.4*ld\",\"parameter\":\"lpd\",\"value\":0.8,\"corrected_to\":0.74},\n"
      "{\"file\":\"plant.dat\",\"line\":30,\"model\":\"gensal\",\"bus\":301,"
      "\"bus_name\":\"RIVERTON\",\"base_kv\":13.8,\"unit_id\":\"1\",\"level\":1,\"code\":113,"
      "\"rule\":\"ll > 0.95*lppd\",\"parameter\":\"ll\",\"value\":0.25,\"corrected_to\":null}\n"
      "],\n"
      "\"warnings\":[\n"
      "{\"kind\":\"record\",\"file\":\"plant.dat\",\"line\":30,"
      "\"text\":\"gensal record at bus 301, unit ID \\\"1 \\\": missing ll; 78.0 used\"},\n"
      "{\"kind\":\"settings\",\"file\":null,\"line\":null,"
      "\"text\":\"KIS_GENSAL \\\"0,3\\\" is not a number; 0 used\"},\n"
      "{\"kind\":\"unused_entry\",\"file\":\"plant.bus\",\"line\":8,"
      "\"text\":\"bus 104 unit ID \\\"1 \\\" matched no record\"}\n"
      "],\n"
      "\"totals\":{\"gensal\":{\"read\":2,\"changed\":1},\"gentpf\":{\"read\":1,\"changed\":1},"
      "\"genrou\":{\"read\":3,\"changed\":1}},\n"
      "\"rules\":[\n"
      "{\"model\":\"gensal\",\"code\":113,\"rule\":\"ll > 0.95*lppd\",\"finding\":true,"
      "\"count\":1,\"corrected\":1},\n"
      "{\"model\":\"genrou\",\"code\":0,\"rule\":\"Salient pole generator ???\","
      "\"finding\":false,\"count\":1,\"corrected\":null},\n"
      "{\"model\":\"genrou\",\"code\":209,\"rule\":\"lpd > 0.4*ld\",\"finding\":true,"
      "\"count\":1,\"corrected\":1}\n"
      "],\n"
      "\"outcome\":{\"status\":0,\"text\":\"converted\"}}\n",
      out.text());
}

TEST(JsonRecord, ARunWithoutFindingsOrWarningsAndNothingAfterTheEnd) {
  Sink out;
  RunInfo run;
  run.version = "1.0.0";
  run.arguments = {"in.dat", "none", "out.dat"};
  run.input = "in.dat";
  JsonRecord record(out, run);
  record.finish(Totals{}, Outcome{0, "converted"});
  const std::string done = out.text();
  record.add(make_finding("in.dat", 1, Model::gensal, 1, "A", 1.0f, "1", 0, 101, "r", "p", 1.0f,
                          std::nullopt));
  record.add(Warning{WarningKind::record, "in.dat", 1, "late"});
  record.finish(Totals{}, Outcome{1, "again"});
  EXPECT_EQ(done, out.text());
  EXPECT_EQ(
      "{\"tool\":\"tpjconv\",\"version\":\"1.0.0\",\n"
      "\"arguments\":[\"in.dat\",\"none\",\"out.dat\"],\n"
      "\"settings\":{\"input\":\"in.dat\",\"bus_file\":null,"
      "\"kis\":{\"gensal\":null,\"gentpf\":null,\"genrou\":null},\"tcmin\":0.025},\n"
      "\"findings\":[\n],\n\"warnings\":[\n],\n"
      "\"totals\":{\"gensal\":{\"read\":0,\"changed\":0},\"gentpf\":{\"read\":0,\"changed\":0},"
      "\"genrou\":{\"read\":0,\"changed\":0}},\n"
      "\"rules\":[\n],\n"
      "\"outcome\":{\"status\":0,\"text\":\"converted\"}}\n",
      done);
  EXPECT_TRUE(nlohmann::json::accept(done));
}

// The document of the mixed findings, with hostile texts in the warnings and settings as well.
std::string hostile_document() {
  Sink out;
  RunInfo run = plant_run();
  run.input = "\xC9t\xE9.dat";
  run.arguments.front() = run.input;
  JsonRecord record(out, run);
  for (const Finding& finding : mixed_findings()) record.add(finding);
  record.add(Warning{WarningKind::name_mismatch, "", 0, kHostileName});
  record.add(Warning{WarningKind::bus_file, "b\"us\\.txt", 3, kHostileText});
  Totals totals = plant_totals();
  totals.rules.front().rule = kHostileText;
  record.finish(totals, Outcome{3, "converted, but the input needs a look"});
  return out.text();
}

TEST(JsonRecord, HostileTextsParseStrictlyAndComeBackAsUtf8) {
  const std::string text = hostile_document();
  nlohmann::json doc;
  ASSERT_NO_THROW(doc = nlohmann::json::parse(text)) << text;
  const std::string name_utf8 =
      "Q\"uo\\te\x01\x1f</script><script>document.title='PWNED'</script>\xE2\x80\xA8\xC3\x89";
  EXPECT_EQ("\xC3\x89t\xC3\xA9.dat", doc["settings"]["input"]);
  EXPECT_EQ("\xC3\x89t\xC3\xA9.dat", doc["arguments"][0]);
  const auto& findings = doc["findings"];
  ASSERT_EQ(5u, findings.size());
  EXPECT_EQ(name_utf8, findings[3]["bus_name"]);
  EXPECT_EQ("\\\"", findings[3]["unit_id"]);
  EXPECT_EQ("-inf", findings[3]["value"]);
  EXPECT_EQ("inf", findings[3]["corrected_to"]);
  EXPECT_EQ(1e-5f, findings[3]["base_kv"].get<float>());
  EXPECT_EQ(kHostileText, findings[4]["rule"]);
  EXPECT_EQ("nan", findings[4]["value"]);
  EXPECT_EQ(0.1f, findings[4]["corrected_to"].get<float>());
  EXPECT_EQ(0.74f, findings[0]["corrected_to"].get<float>());
  EXPECT_TRUE(findings[2]["corrected_to"].is_null());
  EXPECT_EQ(name_utf8, doc["warnings"][0]["text"]);
  EXPECT_EQ("name_mismatch", doc["warnings"][0]["kind"]);
  EXPECT_EQ("b\"us\\.txt", doc["warnings"][1]["file"]);
  EXPECT_EQ(kHostileText, doc["rules"][0]["rule"]);
  EXPECT_EQ(3, doc["outcome"]["status"]);
  // Control bytes are escaped, never written raw.
  EXPECT_EQ(std::string::npos, text.find('\x01'));
  EXPECT_NE(std::string::npos, text.find("\\u0001\\u001f"));
}

// Parses the JSON record with Python's json module, refusing what is no JSON (NaN, Infinity,
// keys twice), reads the findings file with its csv module, and compares them field by field;
// numbers as 32-bit values.
constexpr const char* kCompare = R"py(
import csv, json, struct, sys

def refuse(name):
    raise ValueError('not JSON: ' + name)

def once(pairs):
    keys = [key for key, _ in pairs]
    if len(keys) != len(set(keys)):
        raise ValueError('a key twice: %r' % keys)
    return dict(pairs)

with open(sys.argv[1], encoding='utf-8') as f:
    doc = json.load(f, parse_constant=refuse, object_pairs_hook=once)
with open(sys.argv[2], encoding='utf-8', newline='') as f:
    rows = list(csv.reader(f, strict=True))
f32 = lambda x: struct.unpack('<f', struct.pack('<f', x))[0]
header = rows[0]
assert header == ['file', 'line', 'model', 'bus', 'bus_name', 'base_kv', 'unit_id', 'level',
                  'code', 'rule', 'parameter', 'value', 'corrected_to'], header
assert len(rows) - 1 == len(doc['findings']), (len(rows), len(doc['findings']))
for row, finding in zip(rows[1:], doc['findings']):
    assert list(finding) == header, list(finding)
    for key, text in zip(header, row):
        value = finding[key]
        if key in ('line', 'bus', 'level'):
            assert int(text) == value, (key, text, value)
        elif key == 'code':
            assert text == '%03d' % value, (key, text, value)
        elif key in ('base_kv', 'value', 'corrected_to'):
            if value is None:
                assert text == '', (key, text)
            elif isinstance(value, str):
                assert value in ('inf', '-inf', 'nan') and text == value, (key, text, value)
            else:
                assert f32(float(text)) == f32(value), (key, text, value)
        else:
            assert text == value, (key, text, value)
for key in ('tool', 'version', 'arguments', 'settings', 'findings', 'warnings', 'totals',
            'rules', 'outcome'):
    assert key in doc, key
print('same', len(rows) - 1)
)py";

// Each finding line is written by hand: its texts are escaped as the strict parser's own writer
// escapes them, and its numbers read back as the same floats, over the whole range of floats,
// whole numbers with ".0" as in the rest of the document.
// Each finding carries the members of its own record, however little that record differs from
// the one before; settings that are no number are written as texts.
TEST(JsonRecord, EachFindingHasTheMembersOfItsOwnRecord) {
  const float nan = std::numeric_limits<float>::quiet_NaN();
  const float inf = std::numeric_limits<float>::infinity();
  const Finding base = make_finding("a.dat", 5, Model::genrou, 7, "G7", 22.0f, "1", 0, 209,
                                    "lpd > 0.4*ld", "lpd", 0.9f, 0.72f);
  std::vector<Finding> findings = {base, base};
  const auto changed = [&](auto change) {
    Finding f = findings.back();
    change(f);
    findings.push_back(f);
  };
  changed([](Finding& f) { f.line = 6; });
  changed([](Finding& f) { f.bus = 8; });
  changed([](Finding& f) { f.level = 1; });
  changed([](Finding& f) { f.model = Model::gensal; });
  changed([](Finding& f) { f.base_kv = 13.8f; });
  changed([](Finding& f) { f.base_kv = 0.0f; });
  changed([](Finding& f) { f.base_kv = -0.0f; });
  changed([&](Finding& f) { f.base_kv = nan; });
  changed([&](Finding& f) { f.base_kv = nan; });
  changed([](Finding& f) { f.file = "b.dat"; });
  changed([](Finding& f) { f.bus_name = "G8"; });
  changed([](Finding& f) { f.unit_id = "2"; });
  RunInfo run = plant_run();
  run.kis = {inf, -inf, nan};
  run.tcmin = nan;
  Sink out;
  {
    JsonRecord record(out, run);
    for (const Finding& f : findings) record.add(f);
    for (const WarningKind kind : {WarningKind::record, WarningKind::name_mismatch,
                                   WarningKind::bus_file, WarningKind::unused_entry,
                                   WarningKind::settings, WarningKind::files}) {
      record.add(Warning{kind, "", 0, "w"});
    }
    record.finish(plant_totals(), Outcome{0, "converted"});
  }
  const nlohmann::json doc = nlohmann::json::parse(out.text());
  ASSERT_EQ(findings.size(), doc["findings"].size());
  for (std::size_t i = 0; i < findings.size(); ++i) {
    SCOPED_TRACE(i);
    const Finding& f = findings[i];
    const nlohmann::json& j = doc["findings"][i];
    EXPECT_EQ(f.file, j["file"]);
    EXPECT_EQ(f.line, j["line"]);
    EXPECT_EQ(model_name(f.model), j["model"].get<std::string>());
    EXPECT_EQ(f.bus, j["bus"]);
    EXPECT_EQ(f.bus_name, j["bus_name"]);
    EXPECT_EQ(f.unit_id, j["unit_id"]);
    EXPECT_EQ(f.level, j["level"]);
    if (std::isnan(f.base_kv)) {
      EXPECT_EQ("nan", j["base_kv"]);
    } else {
      const float kv = j["base_kv"].get<float>();
      EXPECT_EQ(0, std::memcmp(&kv, &f.base_kv, sizeof kv)) << f.base_kv;
    }
  }
  EXPECT_EQ((nlohmann::json{{"gensal", "inf"}, {"gentpf", "-inf"}, {"genrou", "nan"}}),
            doc["settings"]["kis"]);
  EXPECT_EQ("nan", doc["settings"]["tcmin"]);
  std::vector<std::string> kinds;
  for (const auto& w : doc["warnings"]) kinds.push_back(w["kind"]);
  EXPECT_EQ((std::vector<std::string>{"record", "name_mismatch", "bus_file", "unused_entry",
                                      "settings", "files"}),
            kinds);
}

TEST(JsonRecord, FindingLinesReadBackExactly) {
  using Floats = nlohmann::basic_json<std::map, std::vector, std::string, bool, std::int64_t,
                                      std::uint64_t, float>;
  std::string every_control;
  for (char c = 1; c < 0x20; ++c) every_control += c;
  every_control += "\x7f\"\\/";
  std::vector<float> values = {0.0f, -0.0f, 18.0f, -2.0f, 1e-5f, 1e10f, 3.4028235e38f,
                               1.4e-45f, 0.1f, 123456.7f, 16777216.0f};
  for (std::uint32_t bits = 0x00012345u; bits < 0x7f000000u; bits += 0x00f1f1f1u) {
    float value;
    std::memcpy(&value, &bits, sizeof value);
    values.push_back(value);
    values.push_back(-value);
  }
  Sink out;
  {
    JsonRecord record(out, plant_run());
    for (std::size_t i = 0; i < values.size(); ++i) {
      // Two findings a line; some records differ from the one before in their unit ID alone.
      record.add(make_finding("p\x01.dat", static_cast<long>(i / 2), Model::gentpf, 7,
                              every_control, 1.5f, i % 3 == 0 ? "1" : "2", 0, 301, every_control,
                              "lq",
                              values[i], i % 2 == 0 ? std::optional<float>(values[i] * 0.5f)
                                                    : std::nullopt));
    }
    record.finish(plant_totals(), Outcome{0, "converted"});
  }
  const Floats doc = Floats::parse(out.text());
  ASSERT_EQ(values.size(), doc["findings"].size());
  const std::string escaped = nlohmann::json(every_control).dump();
  std::size_t lines_checked = 0;
  for (std::size_t i = 0; i < values.size(); ++i) {
    const Floats& f = doc["findings"][i];
    EXPECT_EQ("p\x01.dat", f["file"].get<std::string>());
    EXPECT_EQ(every_control, f["bus_name"].get<std::string>());
    EXPECT_EQ(every_control, f["rule"].get<std::string>());
    const float value = f["value"].get<float>();
    EXPECT_EQ(0, std::memcmp(&value, &values[i], sizeof value)) << values[i];
    EXPECT_EQ(i % 3 == 0 ? "1" : "2", f["unit_id"].get<std::string>());
    if (i % 2 == 0) {
      EXPECT_EQ(values[i] * 0.5f, f["corrected_to"].get<float>());
    } else {
      EXPECT_TRUE(f["corrected_to"].is_null());
    }
    ++lines_checked;
  }
  EXPECT_GT(lines_checked, 200u);
  // The texts as the parser's writer writes them, and a whole number with ".0".
  EXPECT_NE(std::string::npos, out.text().find("\"bus_name\":" + escaped + ",\"base_kv\":1.5,"));
  EXPECT_NE(std::string::npos, out.text().find("\"value\":18.0,"));
  EXPECT_NE(std::string::npos, out.text().find("\"file\":\"p\\u0001.dat\""));
}

TEST(JsonRecord, PythonReadsTheSameFindingsAsFromTheFindingsFile) {
  const fs::path python = "/usr/bin/python3";
  if (access(python.c_str(), X_OK) != 0) {
    GTEST_SKIP() << "no " << python << " (Debian: apt-get install python3): the JSON record "
                 << "is parsed by nlohmann's strict parser only";
  }
  const fs::path dir = fs::temp_directory_path() / ("tpjconv_json_" + std::to_string(getpid()));
  fs::create_directories(dir);
  std::ofstream(dir / "run.json", std::ios::binary) << hostile_document();
  Sink csv_text;
  {
    FindingsCsv csv(csv_text);
    for (const Finding& finding : mixed_findings()) csv.add(finding);
  }
  std::ofstream(dir / "findings.csv", std::ios::binary) << csv_text.text();
  const int status = testing::run_program(python, {"-c", kCompare, "run.json", "findings.csv"},
                                          dir, dir / "out.txt", dir / "err.txt", 60);
  EXPECT_EQ(0, status) << testing::read_file(dir / "err.txt");
  EXPECT_EQ("same 5\n", testing::read_file(dir / "out.txt"));
  if (!HasFailure()) fs::remove_all(dir);
}

// A destination that counts what reaches it.
class CountingSink final : public ByteSink {
 public:
  IoResult write(const char*, std::size_t size) override {
    bytes += size;
    return {size, 0};
  }
  int close() override { return 0; }
  std::size_t bytes = 0;
};

TEST(JsonRecord, FindingsAreWrittenAsTheyComeNotKept) {
  CountingSink file;
  Sink out(file);
  JsonRecord record(out, plant_run());
  const Finding finding = mixed_findings().front();
  Sink one;
  {
    JsonRecord single(one, plant_run());
    single.add(finding);
  }
  const std::size_t line_size = one.text().size() - one.text().find("\n{\"file\"");
  const int count = 40000;  // several times the sink's piece of 1 MiB
  for (int i = 0; i < count; ++i) record.add(finding);
  // All but the last piece has reached the file before the end of the run.
  EXPECT_GE(file.bytes + (std::size_t{1} << 20) + line_size, line_size * count);
  record.finish(plant_totals(), Outcome{0, "converted"});
  ASSERT_TRUE(out.flush());
  EXPECT_GT(file.bytes, line_size * count);
}

}  // namespace
}  // namespace tpjconv
