// The library through its public header alone: conversions in memory and of files, what the
// observer gets, every error it returns, and two conversions at once on two threads.
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <new>
#include <string>
#include <thread>
#include <vector>

#include <gtest/gtest.h>

#include "same_bytes.h"
#include "tool_process.h"
#include "tpjconv/tpjconv.h"

namespace fs = std::filesystem;

namespace tpjconv {
namespace {

using testing::read_file;
using testing::same_bytes;

// One genrou record that breaks one rule: tpdo 1.5 is below 2.0 (code 201); every other value
// passes the round-rotor rules (lq 1.7 within ld 1.8 and 0.6 * ld, lpd 0.3 below 0.4 * ld,
// lppd 0.25 below 0.95 * lpd, lppq = lppd, ll 0.15 below 0.95 * lppd).
constexpr char kRecord[] =
    "genrou 7 \"G7      \" 22.00 \"1 \" : #9 mva=100 1.5 0.05 0.4 0.05 3.0 0.0 1.8 1.7 0.3 0.6 "
    "0.25 0.15 0.1 0.3 0.003 0.0 0.0\n";
constexpr char kLogLine[] =
    "genrou, 7           , \"G7      \", 22.00   , \"1 \" ,201,  ,tpdo < 2.0 \n";
constexpr char kLogHeading[] = "Model   Bus            Name        Bkv       ID   Cod    Error\n";

Options all_models(float kis) { return Options{{kis, kis, kis}}; }

// Keeps what it is handed, in order, as one line per call.
class Recorder final : public Observer {
 public:
  void finding(const Finding& f) override {
    findings.push_back(f);
    calls += "finding\n";
  }
  void warning(const Warning& w) override {
    warnings.push_back(w);
    calls += "warning " + w.text + "\n";
  }
  void totals(const Totals& t) override {
    totals_seen = t;
    calls += "totals\n";
  }
  std::vector<Finding> findings;
  std::vector<Warning> warnings;
  Totals totals_seen;
  std::string calls;
};

TEST(Library, AFindingCarriesTheRecordTheRuleAndBothValues) {
  const std::string input = std::string("a line before\n") + kRecord;
  StringSink output, check_log, report;
  Recorder seen;
  const Result<Totals> totals = convert_text(input, "in.dat", nullptr, all_models(0.3f),
                                             {&output, &check_log, &report}, &seen);
  ASSERT_TRUE(totals.ok()) << totals.error().message;
  EXPECT_EQ(std::string(kLogHeading) + kLogLine, check_log.text());
  ASSERT_EQ(1u, seen.findings.size());
  const Finding& f = seen.findings[0];
  EXPECT_EQ("in.dat", f.file);
  EXPECT_EQ(2, f.line);
  EXPECT_EQ(Model::genrou, f.model);
  EXPECT_EQ(7, f.bus);
  EXPECT_EQ("G7", f.bus_name);
  EXPECT_EQ(22.0f, f.base_kv);
  EXPECT_EQ("1", f.unit_id);
  EXPECT_EQ(0, f.level);
  EXPECT_EQ(201, f.code);
  EXPECT_EQ("tpdo < 2.0", f.rule);
  EXPECT_EQ("tpdo", f.parameter);
  EXPECT_EQ(1.5f, f.value);
  ASSERT_TRUE(f.corrected());
  EXPECT_EQ(2.0f, *f.corrected_to);
  // The totals come once, after the last record, and are what the conversion returns.
  EXPECT_EQ("finding\ntotals\n", seen.calls);
  EXPECT_EQ((std::array<int, 3>{0, 0, 1}), totals->read);
  EXPECT_EQ((std::array<int, 3>{0, 0, 1}), totals->changed);
  ASSERT_EQ(1u, totals->rules.size());
  EXPECT_EQ(Model::genrou, totals->rules[0].model);
  EXPECT_EQ(201, totals->rules[0].code);
  EXPECT_EQ("tpdo < 2.0", totals->rules[0].rule);
  EXPECT_EQ(1, totals->rules[0].count);
  EXPECT_EQ(1, totals->rules[0].corrected);
  EXPECT_EQ(seen.totals_seen.read, totals->read);
  // The converted record: tpdo written as 2.000 in its six columns, the other lines as they were.
  EXPECT_TRUE(output.text().starts_with("a line before\ngentpj 7 \"G7      \" 22.00 \"1 \" : #9 "
                                        "mva=100.000   2.000 0.050"))
      << output.text();
  EXPECT_NE(std::string::npos,
            report.text().find(" tpdo,    1.5000  ,    2.0000  , ,tpdo < 2.0 \n"))
      << report.text();
}

TEST(Library, ABusListSetsTheCheckLevelAndIsReportedWhereUnused) {
  const Result<BusList> list = BusList::from_text(
      "bus id level kis name\n7 \"1 \" 1 0.2 \"G7      \"\n8 \"1 \" 0 0.3 \"G8      \"\n"
      "x \"1 \" 0 0.3 \"G9      \"\n",
      "bus.txt");
  ASSERT_TRUE(list.ok());
  EXPECT_EQ(3u, list->size());
  EXPECT_TRUE(list->names_a_generator());
  EXPECT_EQ("bus.txt", list->file_name());
  ASSERT_EQ(1u, list->warnings().size());
  EXPECT_EQ(WarningKind::bus_file, list->warnings()[0].kind);
  EXPECT_EQ(4, list->warnings()[0].line);
  EXPECT_EQ("bus number \"x\" is not a number; -1 used", list->warnings()[0].text);

  StringSink output;
  Recorder seen;
  const Result<Totals> totals =
      convert_text(kRecord, "in.dat", &*list, all_models(0.3f), {&output}, &seen);
  ASSERT_TRUE(totals.ok());
  // Check level 1: found and reported, not corrected.
  ASSERT_EQ(1u, seen.findings.size());
  EXPECT_EQ(1, seen.findings[0].level);
  EXPECT_FALSE(seen.findings[0].corrected());
  EXPECT_EQ(0, totals->rules[0].corrected);
  // The entry for bus 8 matched no record: after the totals.
  EXPECT_EQ("finding\ntotals\nwarning bus 8 unit ID \"1 \" matched no record\n", seen.calls);
  EXPECT_EQ(WarningKind::unused_entry, seen.warnings.back().kind);
  EXPECT_EQ(3, seen.warnings.back().line);
  // The Kis of the entry is the one written.
  EXPECT_NE(std::string::npos, output.text().find(" 0.2000\n")) << output.text();
}

// A number of the bus numbers file read only in part is a warning of the list, which every
// client sees, with the value used.
TEST(Library, ABusListNumberNotWhollyANumberIsAWarningOfTheList) {
  const Result<BusList> list = BusList::from_text(
      "bus id level kis name\n7 \"1 \" 0 0.25abc \"G7      \"\n8x \"1 \" 0 1e39 \"G8      \"\n",
      "bus.txt");
  ASSERT_TRUE(list.ok());
  ASSERT_EQ(3u, list->warnings().size());
  for (const Warning& w : list->warnings()) {
    EXPECT_EQ(WarningKind::bus_file, w.kind);
    EXPECT_EQ("bus.txt", w.file);
  }
  EXPECT_EQ(2, list->warnings()[0].line);
  EXPECT_EQ("Kis \"0.25abc\" is not wholly a number; 0.25 used", list->warnings()[0].text);
  EXPECT_EQ(3, list->warnings()[1].line);
  EXPECT_EQ("bus number \"8x\" is not wholly a number; 8 used", list->warnings()[1].text);
  EXPECT_EQ("Kis \"1e39\" is not a finite 32-bit number; inf used", list->warnings()[2].text);
  StringSink output;
  const Result<Totals> totals = convert_text(kRecord, "in.dat", &*list, all_models(0.3f),
                                             {&output});
  ASSERT_TRUE(totals.ok());
  // The Kis used is the one written.
  EXPECT_NE(std::string::npos, output.text().find(" 0.2500\n")) << output.text();
}

// What the command line writes and what the library writes in memory are the same bytes.
TEST(Library, ConvertTextGivesTheCommandLinesFiles) {
  const fs::path source = fs::path(TPJCONV_SOURCE_DIR) / "examples";
  const fs::path work = fs::temp_directory_path() / ("tpjconv_library_" + std::to_string(getpid()));
  fs::remove_all(work);
  fs::create_directories(work);
  ASSERT_EQ(0, testing::run_tool(work,
                                 {(source / "plant.dat").string(), (source / "plant.bus").string(),
                                  "out.dat", "0.3", "0.3", "0.3", "check.log", "report.txt"},
                                 "/dev/null", work / "stdout", work / "stderr"));
  const Result<BusList> list = BusList::from_text(read_file(source / "plant.bus"),
                                                  (source / "plant.bus").string());
  ASSERT_TRUE(list.ok());
  StringSink output, check_log, report;
  const Result<Totals> totals =
      convert_text(read_file(source / "plant.dat"), (source / "plant.dat").string(), &*list,
                   all_models(0.3f), {&output, &check_log, &report});
  ASSERT_TRUE(totals.ok());
  EXPECT_TRUE(same_bytes(read_file(work / "out.dat"), output.text()));
  EXPECT_TRUE(same_bytes(read_file(work / "check.log"), check_log.text()));
  EXPECT_TRUE(same_bytes(read_file(work / "report.txt"), report.text()));
  fs::remove_all(work);
}

// Fails after `limit` bytes: with an errno, or by running out of memory.
class FailingSource final : public ByteSource {
 public:
  FailingSource(std::string text, std::size_t limit, int error)
      : text_(std::move(text)), limit_(limit), error_(error) {}
  IoResult read(char* buffer, std::size_t size) override {
    if (done_ >= limit_) {
      if (error_ == ENOMEM) throw std::bad_alloc();
      return {0, error_};
    }
    const std::size_t n = std::min({size, limit_ - done_, text_.size() - done_});
    std::copy_n(text_.data() + done_, n, buffer);
    done_ += n;
    return {n, 0};
  }

 private:
  std::string text_;
  std::size_t limit_;
  int error_;
  std::size_t done_ = 0;
};

class FailingSink final : public ByteSink {
 public:
  IoResult write(const char*, std::size_t) override { return {0, ENOSPC}; }
  int close() override { return 0; }
};

TEST(Library, EachFailureIsAnErrorValue) {
  std::string input;
  for (int i = 0; i < 3; ++i) input += kRecord;
  StringSink output;
  {
    FailingSource source(input, std::string(kRecord).size() + 10, EIO);
    const Result<Totals> r = convert(source, "in.dat", nullptr, all_models(0.3f), {&output});
    ASSERT_FALSE(r.ok());
    EXPECT_EQ(ErrorKind::read, r.error().kind);
    EXPECT_EQ(EIO, r.error().os_error);
    EXPECT_EQ("in.dat", r.error().file);
    EXPECT_EQ("cannot read in.dat: " + std::string(std::strerror(EIO)), r.error().message);
  }
  {
    FailingSource source(input, 2 * std::string(kRecord).size(), ENOMEM);
    const Result<Totals> r = convert(source, "in.dat", nullptr, all_models(0.3f), {&output});
    ASSERT_FALSE(r.ok());
    EXPECT_EQ(ErrorKind::out_of_memory, r.error().kind);
    EXPECT_EQ(3, r.error().line);
    EXPECT_EQ("out of memory at line 3 of in.dat", r.error().message);
  }
  {
    FailingSink full;
    const Result<Totals> r = convert_text(input, "in.dat", nullptr, all_models(0.3f), {&full});
    ASSERT_FALSE(r.ok());
    EXPECT_EQ(ErrorKind::write, r.error().kind);
    EXPECT_EQ(ENOSPC, r.error().os_error);
    EXPECT_EQ("cannot write the converted file: " + std::string(std::strerror(ENOSPC)),
              r.error().message);
  }
  for (const Options& bad : {Options{{-0.1f}}, Options{{std::nullopt, 1.0f / 0.0f}},
                             Options{{}, 0.0f / 0.0f}}) {
    const Result<Totals> r = convert_text(input, "in.dat", nullptr, bad, {&output});
    ASSERT_FALSE(r.ok());
    EXPECT_EQ(ErrorKind::invalid_argument, r.error().kind);
  }
  {
    FailingSource source("heading\n1 1 0 0.3 A\n", 12, EIO);
    const Result<BusList> r = BusList::load(source, "bus.txt");
    ASSERT_FALSE(r.ok());
    EXPECT_EQ(ErrorKind::read, r.error().kind);
    EXPECT_EQ("bus.txt", r.error().file);
  }
  {
    FailingSource source("heading\n1 1 0 0.3 A\n2 1 0 0.3 B\n", 20, ENOMEM);
    const Result<BusList> r = BusList::load(source, "bus.txt");
    ASSERT_FALSE(r.ok());
    EXPECT_EQ(ErrorKind::out_of_memory, r.error().kind);
    // The heading and one entry were read; the next line was being read.
    EXPECT_EQ("out of memory at line 3 of bus.txt", r.error().message);
  }
}

// The messages of errors and warnings are one line each: a file name shows its line ends and
// control characters escaped, while the error and the warning keep the name as it is.
TEST(Library, MessagesShowFileNamesEscaped) {
  const std::string odd = "in\n\x1b[2J.dat", shown = "in\\n\\x1b[2J.dat";
  {
    FailingSource source(std::string(kRecord) + kRecord, 10, EIO);
    const Result<Totals> r = convert(source, odd, nullptr, all_models(0.3f), {});
    ASSERT_FALSE(r.ok());
    EXPECT_EQ(odd, r.error().file);
    EXPECT_EQ("cannot read " + shown + ": " + std::string(std::strerror(EIO)), r.error().message);
  }
  {
    FailingSource source(std::string(kRecord) + kRecord, 10, ENOMEM);
    const Result<Totals> r = convert(source, odd, nullptr, all_models(0.3f), {});
    ASSERT_FALSE(r.ok());
    EXPECT_EQ("out of memory at line 1 of " + shown, r.error().message);
  }
  {
    const FileRun files{"/nonexistent/" + odd, std::nullopt, "/nonexistent/out.dat",
                        std::nullopt, std::nullopt};
    const Result<Totals> r = convert_files(files, all_models(0.3f));
    ASSERT_FALSE(r.ok());
    EXPECT_EQ("/nonexistent/" + shown + ": " + std::string(std::strerror(ENOENT)),
              r.error().message);
  }
}

// A directory for the conversions of files, with the files of an earlier run.
class LibraryFiles : public ::testing::Test {
 protected:
  void SetUp() override {
    dir_ = fs::temp_directory_path() / ("tpjconv_library_files_" + std::to_string(getpid()));
    fs::remove_all(dir_);
    fs::create_directories(dir_);
    write("in.dat", kRecord);
    for (const char* name : {"out.dat", "check.log", "report.txt"}) {
      write(name, std::string("from the run before: ") + name + "\n");
    }
  }
  void TearDown() override {
    if (!HasFailure()) fs::remove_all(dir_);
  }
  void write(const std::string& name, const std::string& text) {
    std::ofstream(dir_ / name, std::ios::binary) << text;
  }
  std::string path(const std::string& name) const { return (dir_ / name).string(); }
  void expect_earlier_files_kept() {
    for (const char* name : {"out.dat", "check.log", "report.txt"}) {
      EXPECT_EQ(std::string("from the run before: ") + name + "\n", read_file(dir_ / name));
    }
    EXPECT_EQ(4, std::distance(fs::directory_iterator(dir_), fs::directory_iterator()));
  }
  fs::path dir_;
};

TEST_F(LibraryFiles, WritesTheFilesAskedForAndNoOther) {
  const FileRun files{path("in.dat"), std::nullopt, path("out.dat"), path("check.log"),
                      std::nullopt};
  Recorder seen;
  const Result<Totals> totals = convert_files(files, all_models(0.3f), &seen);
  ASSERT_TRUE(totals.ok()) << totals.error().message;
  EXPECT_EQ(1u, seen.findings.size());
  EXPECT_EQ(std::string(kLogHeading) + kLogLine, read_file(dir_ / "check.log"));
  EXPECT_TRUE(read_file(dir_ / "out.dat").starts_with("gentpj 7 "));
  // Not asked for: left as it was.
  EXPECT_EQ("from the run before: report.txt\n", read_file(dir_ / "report.txt"));
  EXPECT_EQ(4, std::distance(fs::directory_iterator(dir_), fs::directory_iterator()));
}

// A bus numbers file whose entries select no record is said so, and nothing is converted.
TEST_F(LibraryFiles, ABusNumbersFileThatListsNoGeneratorIsAWarning) {
  write("bus.txt", "bus id level kis name\n8\n");
  const FileRun files{path("in.dat"), path("bus.txt"), path("out.dat"), std::nullopt,
                      std::nullopt};
  Recorder seen;
  const Result<Totals> totals = convert_files(files, all_models(0.3f), &seen);
  ASSERT_TRUE(totals.ok());
  EXPECT_EQ("warning BUSFILE " + path("bus.txt") + " lists no generator: no record is converted\n"
            "totals\n",
            seen.calls);
  EXPECT_EQ(kRecord, read_file(dir_ / "out.dat"));
  // Without an observer the warning goes nowhere, and the files are the same.
  write("out.dat", "from the run before: out.dat\n");
  ASSERT_TRUE(convert_files(files, all_models(0.3f), nullptr).ok());
  EXPECT_EQ(kRecord, read_file(dir_ / "out.dat"));
}

// A file that cannot be read or written to the end: the error, and the earlier files kept.
TEST_F(LibraryFiles, AReadOrWriteThatFailsIsTheErrorAndKeepsTheEarlierFiles) {
  // Reading a process's memory from its start fails with EIO.
  const std::string unreadable = "/proc/self/mem";
  struct {
    FileRun files;
    ErrorKind kind;
    std::string message;
  } cases[] = {
      {{unreadable, std::nullopt, path("out.dat"), path("check.log"), path("report.txt")},
       ErrorKind::read,
       "cannot read " + unreadable + ": " + std::strerror(EIO)},
      {{path("in.dat"), unreadable, path("out.dat"), path("check.log"), path("report.txt")},
       ErrorKind::read,
       "cannot read " + unreadable + ": " + std::strerror(EIO)},
      {{path("in.dat"), std::nullopt, path("out.dat"), "/dev/full", path("report.txt")},
       ErrorKind::write,
       "cannot write /dev/full: " + std::string(std::strerror(ENOSPC))},
  };
  for (const auto& [files, kind, message] : cases) {
    Recorder seen;
    const Result<Totals> totals = convert_files(files, all_models(0.3f), &seen);
    ASSERT_FALSE(totals.ok()) << message;
    EXPECT_EQ(kind, totals.error().kind) << message;
    EXPECT_EQ(message, totals.error().message);
    expect_earlier_files_kept();
  }
}

// An empty list selects every record, as no list does.
TEST(Library, AnEmptyBusListSelectsEveryRecord) {
  const BusList empty;
  EXPECT_EQ(0u, empty.size());
  EXPECT_TRUE(empty.empty());
  EXPECT_FALSE(empty.names_a_generator());
  EXPECT_EQ("", empty.file_name());
  EXPECT_TRUE(empty.warnings().empty());
  StringSink check_log;
  Recorder seen;
  const Result<Totals> totals =
      convert_text(kRecord, "in.dat", &empty, all_models(0.3f), {nullptr, &check_log}, &seen);
  ASSERT_TRUE(totals.ok());
  EXPECT_EQ(std::string(kLogHeading) + kLogLine, check_log.text());
  EXPECT_EQ(1u, seen.findings.size());
}

// A list loaded from a text says, as a file does, when it selects no record; one made by no
// loading does not.
TEST(Library, ALoadedBusListThatSelectsNoRecordIsAWarningInMemoryToo) {
  struct {
    std::string bus_text;
    std::string calls;
  } cases[] = {
      {"bus id level kis name\n8\n",
       "warning BUSFILE bus.txt lists no generator: no record is converted\ntotals\n"},
      {"",
       "warning BUSFILE bus.txt lists no generator: every record of the enabled models is "
       "converted at check level 0\nfinding\ntotals\n"},
      {"bus id level kis name\n7 \"1 \" 0 0.3 \"G7      \"\n", "finding\ntotals\n"},
  };
  for (const auto& [bus_text, calls] : cases) {
    const Result<BusList> list = BusList::from_text(bus_text, "bus.txt");
    ASSERT_TRUE(list.ok());
    Recorder seen;
    ASSERT_TRUE(convert_text(kRecord, "in.dat", &*list, all_models(0.3f), {}, &seen).ok());
    EXPECT_EQ(calls, seen.calls) << bus_text;
  }
  const BusList unloaded;
  Recorder seen;
  ASSERT_TRUE(convert_text(kRecord, "in.dat", &unloaded, all_models(0.3f), {}, &seen).ok());
  EXPECT_EQ("finding\ntotals\n", seen.calls);
}

// Only the outputs asked for are written, and a conversion needs no observer.
TEST(Library, OutputsNotAskedForAreNotWritten) {
  StringSink report;
  const Result<Totals> totals =
      convert_text(kRecord, "in.dat", nullptr, all_models(0.3f), {nullptr, nullptr, &report});
  ASSERT_TRUE(totals.ok());
  EXPECT_EQ(1, totals->changed[2]);
  EXPECT_TRUE(report.text().starts_with("\ngenrou, 7 ")) << report.text();
  const Result<Totals> none = convert_text(kRecord, "in.dat", nullptr, Options{}, {});
  ASSERT_TRUE(none.ok());
  EXPECT_EQ(0, none->read[2]);
  EXPECT_TRUE(none->rules.empty());
  EXPECT_EQ(std::string(TPJCONV_PROJECT_VERSION), version());
}

TEST_F(LibraryFiles, ARefusedOrFailedConversionChangesNoFile) {
  const std::string missing = path("missing.dat");
  struct {
    FileRun files;
    ErrorKind kind;
    std::string message;
  } cases[] = {
      {{missing, std::nullopt, path("out.dat"), std::nullopt, std::nullopt},
       ErrorKind::open,
       missing + ": " + std::strerror(ENOENT)},
      {{path("in.dat"), missing, path("out.dat"), std::nullopt, std::nullopt},
       ErrorKind::open,
       missing + ": " + std::strerror(ENOENT)},
      {{path("in.dat"), std::nullopt, path("out.dat"), path("out.dat"), std::nullopt},
       ErrorKind::collision,
       "CHECKLOG " + path("out.dat") + " is the same file as OUTPUT " + path("out.dat") +
           "; nothing written"},
      {{path("in.dat"), std::nullopt, path("out.dat"), path("check.log"), path("no/report.txt")},
       ErrorKind::create,
       "cannot create REPORT " + path("no/report.txt") + ": " + std::strerror(ENOENT) +
           "; nothing written"},
  };
  for (const auto& [files, kind, message] : cases) {
    const Result<Totals> totals = convert_files(files, all_models(0.3f));
    ASSERT_FALSE(totals.ok()) << message;
    EXPECT_EQ(kind, totals.error().kind) << message;
    EXPECT_EQ(message, totals.error().message);
    expect_earlier_files_kept();
  }
  const FileRun plain{path("in.dat"), std::nullopt, path("out.dat"), std::nullopt, std::nullopt};
  const Result<Totals> bad = convert_files(plain, Options{{-1.0f}});
  ASSERT_FALSE(bad.ok());
  EXPECT_EQ(ErrorKind::invalid_argument, bad.error().kind);
}

// The input of a conversion on a thread: the bundled example, many times over, so that the two
// conversions overlap.
std::string repeated_example(int times, const std::string& extra) {
  const std::string one = read_file(fs::path(TPJCONV_SOURCE_DIR) / "examples" / "plant.dat");
  std::string text;
  for (int i = 0; i < times; ++i) text += one;
  return text + extra;
}

struct Outcome {
  std::string output, check_log, report;
  std::vector<Finding> findings;
  std::vector<Warning> warnings;
  bool ok = false;
};

Outcome convert_one(const std::string& text, const BusList& list) {
  StringSink output, check_log, report;
  Recorder seen;
  Outcome outcome;
  outcome.ok = convert_text(text, "in.dat", &list, all_models(0.3f),
                            {&output, &check_log, &report}, &seen)
                   .ok();
  outcome.output = output.take();
  outcome.check_log = check_log.take();
  outcome.report = report.take();
  outcome.findings = std::move(seen.findings);
  outcome.warnings = std::move(seen.warnings);
  return outcome;
}

void expect_same(const Outcome& a, const Outcome& b) {
  EXPECT_TRUE(a.ok && b.ok);
  EXPECT_TRUE(same_bytes(a.output, b.output));
  EXPECT_TRUE(same_bytes(a.check_log, b.check_log));
  EXPECT_TRUE(same_bytes(a.report, b.report));
  EXPECT_EQ(a.findings.size(), b.findings.size());
  EXPECT_EQ(a.warnings.size(), b.warnings.size());
  for (std::size_t i = 0; i < std::min(a.warnings.size(), b.warnings.size()); ++i) {
    EXPECT_EQ(a.warnings[i].text, b.warnings[i].text);
  }
}

// Two conversions on two threads of one process, sharing one bus list, give the bytes of two
// conversions one after the other.
TEST(Library, TwoConversionsAtOnceGiveTheBytesOfTwoInARow) {
  const Result<BusList> list = BusList::from_text(
      read_file(fs::path(TPJCONV_SOURCE_DIR) / "examples" / "plant.bus"), "plant.bus");
  ASSERT_TRUE(list.ok());
  const std::string first = repeated_example(300, "");
  const std::string second = repeated_example(200, kRecord);
  const Outcome first_alone = convert_one(first, *list);
  const Outcome second_alone = convert_one(second, *list);
  EXPECT_FALSE(first_alone.findings.empty());
  Outcome first_at_once, second_at_once;
  std::thread a([&] { first_at_once = convert_one(first, *list); });
  std::thread b([&] { second_at_once = convert_one(second, *list); });
  a.join();
  b.join();
  expect_same(first_alone, first_at_once);
  expect_same(second_alone, second_at_once);
}

}  // namespace
}  // namespace tpjconv
