// The library's failures through its public header: memory running out in a caller's sink or
// observer, a read and a write failing together, and conversions of files whose outputs cannot
// be created, locked or put in place. Each is an error value, and no earlier file is changed.
#include <unistd.h>

#include <algorithm>
#include <cctype>
#include <cerrno>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <functional>
#include <new>
#include <set>
#include <string>

#include <gtest/gtest.h>

#include "tool_process.h"
#include "tpjconv/tpjconv.h"

namespace fs = std::filesystem;

namespace tpjconv {
namespace {

using testing::read_file;

// A genrou record with one finding, tpdo 1.5 below 2.0 (code 201), at check level 0.
constexpr char kRecord[] =
    "genrou 7 \"G7      \" 22.00 \"1 \" : #9 mva=100 1.5 0.05 0.4 0.05 3.0 0.0 1.8 1.7 0.3 0.6 "
    "0.25 0.15 0.1 0.3 0.003 0.0 0.0\n";
constexpr char kLogLines[] =
    "Model   Bus            Name        Bkv       ID   Cod    Error\n"
    "genrou, 7           , \"G7      \", 22.00   , \"1 \" ,201,  ,tpdo < 2.0 \n";

const Options kAllModels{{0.3f, 0.3f, 0.3f}};

// A sink whose memory runs out at its first write, as a string's does when none is left.
class OutOfMemorySink final : public ByteSink {
 public:
  IoResult write(const char*, std::size_t) override {
    ++writes;
    throw std::bad_alloc();
  }
  int close() override { return 0; }
  int writes = 0;
};

class FullSink final : public ByteSink {
 public:
  IoResult write(const char*, std::size_t) override { return {0, ENOSPC}; }
  int close() override { return 0; }
};

class BrokenSource final : public ByteSource {
 public:
  IoResult read(char*, std::size_t) override { return {0, EIO}; }
};

void expect_out_of_memory(const Result<Totals>& r, const std::string& message,
                          const std::string& file, long line) {
  ASSERT_FALSE(r.ok()) << message;
  EXPECT_EQ(ErrorKind::out_of_memory, r.error().kind);
  EXPECT_EQ(ENOMEM, r.error().os_error);
  EXPECT_EQ(message, r.error().message);
  EXPECT_EQ(file, r.error().file);
  EXPECT_EQ(line, r.error().line);
}

// Memory that runs out in the caller's sink is the out-of-memory error, whether it runs out while
// the records are converted (a full piece handed on) or when the last bytes are written out.
TEST(LibraryErrors, ASinkOutOfMemoryIsAnErrorValue) {
  {
    OutOfMemorySink sink;
    expect_out_of_memory(convert_text(kRecord, "in.dat", nullptr, kAllModels, {&sink}),
                         "out of memory", "", 0);
    EXPECT_EQ(1, sink.writes);
  }
  {
    // More than a piece of output: the first piece goes to the sink while a later record is
    // converted.
    std::string input;
    while (input.size() < (std::size_t{3} << 19)) input += kRecord;
    OutOfMemorySink sink;
    const Result<Totals> r = convert_text(input, "in.dat", nullptr, kAllModels, {&sink});
    ASSERT_FALSE(r.ok());
    EXPECT_EQ(ErrorKind::out_of_memory, r.error().kind);
    EXPECT_EQ("in.dat", r.error().file);
    EXPECT_GT(r.error().line, 1);
    EXPECT_EQ("out of memory at line " + std::to_string(r.error().line) + " of in.dat",
              r.error().message);
    EXPECT_EQ(1, sink.writes);
  }
}

// An input that cannot be read is the error even when the sinks fail too: the read failed first.
TEST(LibraryErrors, AReadErrorComesBeforeAWriteError) {
  BrokenSource source;
  FullSink full;
  const Result<Totals> r = convert(source, "in.dat", nullptr, kAllModels, {&full, &full, &full});
  ASSERT_FALSE(r.ok());
  EXPECT_EQ(ErrorKind::read, r.error().kind);
  EXPECT_EQ(EIO, r.error().os_error);
  EXPECT_EQ("cannot read in.dat: " + std::string(std::strerror(EIO)), r.error().message);
}

// Without a converted file the lines between records go nowhere; the record is still checked.
TEST(LibraryErrors, LinesBetweenRecordsWithoutAConvertedFile) {
  StringSink check_log;
  const Result<Totals> r = convert_text(std::string("comment\n") + kRecord + "0 /end\n", "in.dat",
                                        nullptr, kAllModels, {nullptr, &check_log});
  ASSERT_TRUE(r.ok()) << r.error().message;
  EXPECT_EQ(kLogLines, check_log.text());
  EXPECT_EQ(1, r->read[2]);
  EXPECT_EQ(1, r->changed[2]);
}

// What an observer of a conversion of files does: runs out of memory at a finding or a warning,
// or changes the files around the run once the records are done.
class Meddler final : public Observer {
 public:
  void finding(const Finding&) override {
    if (fail_at_finding) throw std::bad_alloc();
  }
  void warning(const Warning& w) override {
    warnings += w.text + "\n";
    if (fail_at_warning) throw std::bad_alloc();
  }
  void totals(const Totals&) override {
    if (at_totals) at_totals();
  }
  bool fail_at_finding = false;
  bool fail_at_warning = false;
  std::function<void()> at_totals;
  std::string warnings;
};

// A directory with the files of an earlier run in sub/.
class LibraryFileErrors : public ::testing::Test {
 protected:
  void SetUp() override {
    dir_ = fs::temp_directory_path() / ("tpjconv_library_errors_" + std::to_string(getpid()) +
                                        "_" + current_test());
    fs::remove_all(dir_);
    fs::create_directories(dir_ / "sub");
    write("in.dat", kRecord);
    for (const char* name : kOutputs) write(std::string("sub/") + name, earlier(name));
  }
  void TearDown() override {
    if (!HasFailure()) fs::remove_all(dir_);
  }
  static std::string current_test() {
    return ::testing::UnitTest::GetInstance()->current_test_info()->name();
  }
  static std::string earlier(const std::string& name) {
    return "from the run before: " + name + "\n";
  }
  void write(const std::string& name, const std::string& text) {
    std::ofstream(dir_ / name, std::ios::binary) << text;
  }
  std::string path(const std::string& name) const { return (dir_ / name).string(); }
  FileRun all_outputs() const {
    return {path("in.dat"), std::nullopt, path("sub/out.dat"), path("sub/check.log"),
            path("sub/report.txt")};
  }
  // The names in `sub`: the earlier files and nothing else, each as it was.
  void expect_earlier_files_kept(const fs::path& sub) {
    std::set<std::string> names;
    for (const auto& entry : fs::directory_iterator(sub)) {
      names.insert(entry.path().filename().string());
    }
    EXPECT_EQ((std::set<std::string>{"out.dat", "check.log", "report.txt"}), names);
    for (const char* name : kOutputs) EXPECT_EQ(earlier(name), read_file(sub / name)) << name;
  }

  static constexpr const char* kOutputs[] = {"out.dat", "check.log", "report.txt"};
  fs::path dir_;
};

void expect_error(const Result<Totals>& r, ErrorKind kind, int os_error,
                  const std::string& message) {
  ASSERT_FALSE(r.ok()) << message;
  EXPECT_EQ(kind, r.error().kind) << message;
  EXPECT_EQ(os_error, r.error().os_error) << message;
  EXPECT_EQ(message, r.error().message);
}

// Memory that runs out in the observer: the error, and the new files removed.
TEST_F(LibraryFileErrors, OutOfMemoryInTheObserverKeepsTheEarlierFiles) {
  Meddler at_finding;
  at_finding.fail_at_finding = true;
  expect_out_of_memory(convert_files(all_outputs(), kAllModels, &at_finding),
                       "out of memory at line 1 of " + path("in.dat"), path("in.dat"), 1);
  expect_earlier_files_kept(dir_ / "sub");

  // The warning that the bus numbers file selects nothing comes before any record is read.
  write("bus.txt", "bus id level kis name\n8\n");
  FileRun files = all_outputs();
  files.bus_file = path("bus.txt");
  Meddler at_warning;
  at_warning.fail_at_warning = true;
  expect_out_of_memory(convert_files(files, kAllModels, &at_warning), "out of memory", "", 0);
  EXPECT_EQ("BUSFILE " + path("bus.txt") + " lists no generator: no record is converted\n",
            at_warning.warnings);
  expect_earlier_files_kept(dir_ / "sub");

  // Without an observer the same list converts nothing and says nothing.
  const Result<Totals> r = convert_files(files, kAllModels);
  ASSERT_TRUE(r.ok()) << r.error().message;
  EXPECT_EQ(kRecord, read_file(dir_ / "sub/out.dat"));
  // Only the records selected are counted as read.
  EXPECT_EQ(0, r->read[2]);
  EXPECT_EQ(0, r->changed[2]);
}

// The new file beside an output is made under the first free one of 100 hidden names; when all
// are taken (here by files of this very process, which are no leftovers), nothing is written.
TEST_F(LibraryFileErrors, EveryHiddenNameTakenIsTheCreateError) {
  std::string host(256, '\0');
  ASSERT_EQ(0, gethostname(host.data(), host.size()));
  host.resize(std::min<std::size_t>(std::strlen(host.c_str()), 64));
  for (char& c : host) {
    if (!std::isalnum(static_cast<unsigned char>(c)) && c != '.' && c != '-' && c != '_') c = '_';
  }
  if (host.empty()) host = "unknown";
  const std::string stem = ".check.log.tpjconv-" + host + "-" + std::to_string(getpid()) + "-";
  fs::create_directories(dir_ / "taken");
  for (int n = 0; n < 100; ++n) write("taken/" + stem + std::to_string(n), "taken\n");
  write("taken/check.log", earlier("check.log"));
  FileRun files = all_outputs();
  files.check_log = path("taken/check.log");
  expect_error(convert_files(files, kAllModels), ErrorKind::create, EEXIST,
               "cannot create a new file beside " + path("taken/check.log") +
                   ": all 100 hidden names for it are taken; nothing written");
  expect_earlier_files_kept(dir_ / "sub");
  EXPECT_EQ(earlier("check.log"), read_file(dir_ / "taken/check.log"));
  EXPECT_EQ(101, std::distance(fs::directory_iterator(dir_ / "taken"), fs::directory_iterator()));
  EXPECT_EQ("taken\n", read_file(dir_ / "taken" / (stem + "99")));
}

// The outputs' directory gone before it is locked: the error, and nothing put in place.
TEST_F(LibraryFileErrors, ADirectoryThatCannotBeLockedReplacesNothing) {
  Meddler mover;
  mover.at_totals = [&] { fs::rename(dir_ / "sub", dir_ / "moved"); };
  expect_error(convert_files(all_outputs(), kAllModels, &mover), ErrorKind::replace, ENOENT,
               "cannot lock " + path("sub") + ": " +
                   std::strerror(ENOENT) + "; no file was replaced");
  EXPECT_FALSE(fs::exists(dir_ / "sub"));
  // The earlier files went with the directory, as they were; so did the new files, which the
  // failed run could no longer find by their names.
  for (const char* name : kOutputs) EXPECT_EQ(earlier(name), read_file(dir_ / "moved" / name));
}

// An output that cannot be replaced: the outputs put in place before it are put back.
TEST_F(LibraryFileErrors, AnOutputThatCannotBeReplacedPutsTheOthersBack) {
  Meddler blocker;
  blocker.at_totals = [&] {
    fs::remove(dir_ / "sub/out.dat");
    fs::create_directories(dir_ / "sub/out.dat");
    write("sub/out.dat/inside", "a directory now\n");
  };
  expect_error(convert_files(all_outputs(), kAllModels, &blocker), ErrorKind::replace, EISDIR,
               "cannot replace " + path("sub/out.dat") + ": " + std::strerror(EISDIR) +
                   "; no file was replaced");
  for (const char* name : {"check.log", "report.txt"}) {
    EXPECT_EQ(earlier(name), read_file(dir_ / "sub" / name)) << name;
  }
  EXPECT_EQ("a directory now\n", read_file(dir_ / "sub/out.dat/inside"));
  EXPECT_EQ(3, std::distance(fs::directory_iterator(dir_ / "sub"), fs::directory_iterator()));
}

}  // namespace
}  // namespace tpjconv
