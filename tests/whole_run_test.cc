// Whole runs of the built tool where the files around it matter: signals in the middle of a run,
// two runs on one output, memory running out, closed standard streams, and outputs that are the
// same file as another file of the run through links or standard output.
#include <signal.h>
#include <sys/stat.h>
#include <unistd.h>

#include <chrono>
#include <filesystem>
#include <fstream>
#include <map>
#include <set>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include <gtest/gtest.h>

#include "conversion/bus_list.h"
#include "run_fixture.h"
#include "same_bytes.h"
#include "text/line_reader.h"
#include "text/sink.h"
#include "tool_process.h"

namespace fs = std::filesystem;

namespace {

using tpjconv::testing::lines_of;
using tpjconv::testing::read_file;
using tpjconv::testing::same_bytes;
using tpjconv::testing::start_tool;
using tpjconv::testing::ToolStreams;
using tpjconv::testing::wait_tool;

constexpr std::string_view kRecord = tpjconv::testing::kFindingsRecord;
using tpjconv::testing::kEarlierFiles;

class WholeRun : public tpjconv::testing::RunDirectory {
 protected:
  WholeRun() : RunDirectory("tpjconv_whole_") {}

  ToolStreams streams(const std::string& in = "/dev/null") const {
    return {in, root_ / "stdout", root_ / "stderr"};
  }

  int run(const std::vector<std::string>& args, const std::string& in = "/dev/null") {
    const int status = wait_tool(start_tool(work_, args, streams(in)));
    console_ = read_file(root_ / "stderr");
    return status;
  }

  std::string console_;
};

const std::vector<std::string> kArgs = {"-y", "in.dat", "none", "out.dat", "0.3", "0.3", "0.3",
                                        "check.log", "report.txt"};

// Waits until a new file beside out.dat holds at least `bytes`; false when the run ended first.
bool wait_for_new_output(const fs::path& dir, std::uintmax_t bytes, int pid) {
  for (int i = 0; i < 200000; ++i) {
    for (const auto& entry : fs::directory_iterator(dir)) {
      const std::string name = entry.path().filename().string();
      std::error_code ec;
      if (name.starts_with(".out.dat.tpjconv-") && fs::file_size(entry.path(), ec) >= bytes) {
        return true;
      }
    }
    int status = 0;
    if (waitpid(pid, &status, WNOHANG) == pid) return false;
    std::this_thread::sleep_for(std::chrono::microseconds(200));
  }
  return false;
}

TEST_F(WholeRun, ASignalInTheMiddleOfARunKeepsTheEarlierFilesAndLeavesNothing) {
  write_records("in.dat", 60);
  const std::set<std::string> before = {"in.dat", "out.dat", "check.log", "report.txt"};
  const std::pair<int, std::uintmax_t> moments[] = {
      {SIGINT, 1 << 20}, {SIGTERM, 8 << 20}, {SIGHUP, 30 << 20}};
  for (const auto& [signal_number, bytes] : moments) {
    SCOPED_TRACE(signal_number);
    write_earlier_files();
    const int pid = start_tool(work_, kArgs, streams());
    ASSERT_TRUE(wait_for_new_output(work_, bytes, pid)) << "the run ended before the signal";
    kill(pid, signal_number);
    EXPECT_EQ(128 + signal_number, wait_tool(pid));
    expect_earlier_files_kept();
    EXPECT_EQ(before, names());
  }
}

TEST_F(WholeRun, TwoRunsOnOneOutputEachLeaveACompleteFile) {
  write_records("long.dat", 12);
  write("short.dat", "# a short file\n" + std::string(kRecord));
  // Each run alone first, for the files it leaves.
  std::vector<std::string> alone[2];
  const char* inputs[2] = {"long.dat", "short.dat"};
  for (int i = 0; i < 2; ++i) {
    std::vector<std::string> args = kArgs;
    args[1] = inputs[i];
    ASSERT_EQ(0, run(args));
    for (const auto& name : kEarlierFiles) alone[i].push_back(read_file(work_ / name));
  }
  // Then both at once, the short one starting while the long one writes.
  std::vector<std::string> long_args = kArgs, short_args = kArgs;
  long_args[1] = "long.dat";
  short_args[1] = "short.dat";
  const int first = start_tool(work_, long_args, streams());
  ASSERT_TRUE(wait_for_new_output(work_, 1 << 20, first));
  const int second =
      start_tool(work_, short_args, {"/dev/null", root_ / "stdout2", root_ / "stderr2"});
  EXPECT_EQ(0, wait_tool(second));
  EXPECT_EQ(0, wait_tool(first));
  for (std::size_t f = 0; f < kEarlierFiles.size(); ++f) {
    const std::string now = read_file(work_ / kEarlierFiles[f]);
    // The long run finished last: its files are there, whole.
    EXPECT_TRUE(now == alone[0][f]) << kEarlierFiles[f] << " is not the long run's";
  }
  EXPECT_EQ((std::set<std::string>{"long.dat", "short.dat", "out.dat", "check.log", "report.txt"}),
            names());
}

TEST_F(WholeRun, RunningOutOfMemoryEndsWithAMessageAndKeepsTheEarlierFiles) {
#if defined(__SANITIZE_ADDRESS__) || defined(__SANITIZE_THREAD__)
  GTEST_SKIP() << "the sanitizer needs more address space than the limit leaves";
#endif
  // One line of 96 MB: holding it takes more than the 64 MB the run may map.
  {
    std::ofstream out(work_ / "in.dat", std::ios::binary);
    out << "# a comment line\n";
    const std::string block(1 << 20, 'x');
    for (int i = 0; i < 96; ++i) out << block;
    out << "\n";
  }
  write_earlier_files();
  ToolStreams limited = streams();
  limited.address_space = 64L << 20;
  EXPECT_EQ(1, wait_tool(start_tool(work_, kArgs, limited)));
  EXPECT_TRUE(read_file(root_ / "stderr").ends_with("tpjconv: out of memory at line 2 of in.dat\n"))
      << read_file(root_ / "stderr");
  expect_earlier_files_kept();
  EXPECT_EQ((std::set<std::string>{"in.dat", "out.dat", "check.log", "report.txt"}), names());
}

// The same with the writer thread at work: several megabytes of records come before the line
// that memory cannot hold, so their outputs are being written on the thread when memory runs out.
TEST_F(WholeRun, RunningOutOfMemoryWhileTheWriterThreadWritesEndsTheSameWay) {
#if defined(__SANITIZE_ADDRESS__) || defined(__SANITIZE_THREAD__)
  GTEST_SKIP() << "the sanitizer needs more address space than the limit leaves";
#endif
  write_records("in.dat", 8);
  long lines = 0;
  for (const char c : read_file(work_ / "in.dat")) lines += c == '\n';
  {
    std::ofstream out(work_ / "in.dat", std::ios::binary | std::ios::app);
    const std::string block(1 << 20, 'x');
    for (int i = 0; i < 96; ++i) out << block;
    out << "\n";
  }
  write_earlier_files();
  ToolStreams limited = streams();
  limited.address_space = 96L << 20;
  EXPECT_EQ(1, wait_tool(start_tool(work_, kArgs, limited)));
  EXPECT_TRUE(read_file(root_ / "stderr")
                  .ends_with("tpjconv: out of memory at line " + std::to_string(lines + 1) +
                             " of in.dat\n"))
      << read_file(root_ / "stderr");
  expect_earlier_files_kept();
  EXPECT_EQ((std::set<std::string>{"in.dat", "out.dat", "check.log", "report.txt"}), names());
}

TEST_F(WholeRun, ClosedStandardInputIsNoAnswerAndNoFileTakesItsPlace) {
  write("in.dat", "c first byte of the data\n" + std::string(kRecord));
  // Without --yes the prompt finds standard input at its end: nothing is converted, status 1.
  std::vector<std::string> args(kArgs.begin() + 1, kArgs.end());
  EXPECT_EQ(1, run(args, ""));
  EXPECT_TRUE(console_.ends_with("Type c to continue, a to abort : \n"
                                 "tpjconv: no answer; nothing converted\n"))
      << console_;
  EXPECT_EQ((std::set<std::string>{"in.dat"}), names());
  // With --yes the run reads all of its input, its first byte included.
  EXPECT_EQ(0, run(kArgs, ""));
  const std::string output = read_file(work_ / "out.dat");
  EXPECT_TRUE(output.starts_with("c first byte of the data\ngentpj 7 ")) << output;
}

TEST_F(WholeRun, HelpAndVersionSayWhenStandardOutputFails) {
  for (const char* option : {"--help", "--version"}) {
    const int status = wait_tool(
        start_tool(work_, {option}, {"/dev/null", "/dev/full", root_ / "stderr"}));
    EXPECT_EQ(1, status) << option;
    EXPECT_EQ("tpjconv: cannot write standard output: No space left on device\n",
              read_file(root_ / "stderr"))
        << option;
  }
}

TEST_F(WholeRun, OutputsThatAreOneFileThroughLinksOrStandardOutputAreRefused) {
  write("in.dat", kRecord);
  write_earlier_files();
  fs::create_hard_link(work_ / "out.dat", work_ / "twin.dat");
  fs::create_symlink("in.dat", work_ / "input.lnk");
  fs::create_symlink("new.dat", work_ / "dangling.lnk");
  const std::set<std::string> before = names();
  const struct {
    std::vector<std::string> args;
    std::string message;
  } refused[] = {
      {{"-y", "in.dat", "none", "out.dat", "0.3", "0.3", "0.3", "twin.dat", "report.txt"},
       "tpjconv: CHECKLOG twin.dat is the same file as OUTPUT out.dat; nothing written\n"},
      {{"-y", "in.dat", "none", "out.dat", "0.3", "0.3", "0.3", "check.log", "input.lnk"},
       "tpjconv: REPORT input.lnk is the same file as INPUT in.dat; nothing written\n"},
      // A file that does not exist yet, named once directly and once through a link.
      {{"-y", "in.dat", "none", "new.dat", "0.3", "0.3", "0.3", "dangling.lnk", "report.txt"},
       "tpjconv: CHECKLOG dangling.lnk is the same file as OUTPUT new.dat; nothing written\n"},
      {{"-y", "in.dat", "none", "out.dat", "0.3", "0.3", "0.3", "check.log", "report.txt",
        "--summary", "./twin.dat"},
       "tpjconv: SUMMARY ./twin.dat is the same file as OUTPUT out.dat; nothing written\n"},
  };
  for (const auto& [args, message] : refused) {
    EXPECT_EQ(1, run(args)) << message;
    EXPECT_EQ(message, console_);
    expect_earlier_files_kept();
    EXPECT_EQ(before, names());
  }
  // The check log on standard output, and standard output is the output file: as with
  // "> out.dat" on the command line, the shell has emptied it, and the run must not go on.
  const int pid = start_tool(work_, {"-y", "in.dat", "none", "out.dat", "0.3", "0.3", "0.3"},
                             {"/dev/null", work_ / "out.dat", root_ / "stderr"});
  EXPECT_EQ(1, wait_tool(pid));
  EXPECT_EQ("tpjconv: CHECKLOG standard output is the same file as OUTPUT out.dat; nothing written\n",
            read_file(root_ / "stderr"));
  EXPECT_EQ("", read_file(work_ / "out.dat"));
  EXPECT_EQ(before, names());
}

TEST_F(WholeRun, ANewOutputKeepsTheModeOfTheFileItReplacesAndTheLinkToIt) {
  write("in.dat", kRecord);
  write_earlier_files();
  fs::permissions(work_ / "out.dat", fs::perms(0640));
  fs::rename(work_ / "report.txt", work_ / "reports.txt");
  fs::create_symlink("reports.txt", work_ / "report.txt");
  fs::remove(work_ / "check.log");
  ASSERT_EQ(0, run(kArgs));
  EXPECT_EQ(fs::perms(0640), fs::status(work_ / "out.dat").permissions() & fs::perms::all);
  const mode_t mask = umask(0);
  umask(mask);
  EXPECT_EQ(fs::perms(0666 & ~mask), fs::status(work_ / "check.log").permissions() & fs::perms::all);
  EXPECT_TRUE(fs::is_symlink(work_ / "report.txt"));
  EXPECT_TRUE(read_file(work_ / "reports.txt").starts_with("\ngenrou, 7 "));
  EXPECT_TRUE(read_file(work_ / "out.dat").starts_with("gentpj 7 "));
}

// Run as an ordinary user (uid 65534 when the tests run as root, whom permissions do not stop).
TEST_F(WholeRun, FilesThatMayNotBeReadOrWrittenNameTheReason) {
  ToolStreams as_user = streams();
  as_user.as_other_user = true;
  const auto run_as_user = [&](const std::vector<std::string>& args) {
    const int status = wait_tool(start_tool(work_, args, as_user));
    console_ = read_file(root_ / "stderr");
    return status;
  };
  write("in.dat", kRecord);
  fs::permissions(work_ / "in.dat", fs::perms::none);
  EXPECT_EQ(1, run_as_user(kArgs));
  EXPECT_EQ("Unable to open input file\ntpjconv: in.dat: Permission denied\n", console_);
  fs::permissions(work_ / "in.dat", fs::perms(0644));
  fs::create_directory(work_ / "locked");
  fs::permissions(work_ / "locked", fs::perms(0555));
  std::vector<std::string> args = kArgs;
  args[3] = "locked/out.dat";
  EXPECT_EQ(1, run_as_user(args));
  EXPECT_TRUE(console_.ends_with("Unable to open outputfile\n"
                                 "tpjconv: locked/out.dat: Permission denied\n"))
      << console_;
}

// Counts the check log's lines by model, code and the text of the check that wrote each (the last
// text of its notes), and the records read and changed of the console, as the summary shows them.
std::map<std::string, long> counted_from_check_log(const std::string& check_log,
                                                   const std::string& console) {
  std::map<std::string, long> counts;
  const auto lines = lines_of(check_log);
  for (std::size_t i = 1; i < lines.size(); ++i) {
    const std::string& line = lines[i];
    // "LABEL ,CODE,  ,TEXT ,TEXT": the label ends with the quoted unit ID.
    const std::size_t code_at = line.find("\" ,") + 3;
    const std::string code = line.substr(code_at, 3);
    std::string text = line.substr(line.rfind(',') + 1);
    while (text.ends_with(' ')) text.pop_back();
    ++counts[line.substr(0, 6) + "," + code + "," + text];
  }
  const char* models[] = {"gensal", "gentpf", "genrou"};
  for (const char* total : {"Read    this many records:", "Changed this many records:"}) {
    std::istringstream numbers(console.substr(console.find(total) + 26));
    for (const char* model : models) {
      long n = 0;
      std::string word;
      numbers >> n >> word;
      counts[std::string(model) + (total[0] == 'R' ? ",read" : ",changed")] = n;
    }
  }
  return counts;
}

// The rules that correct their value at check level 0, by "model,code,text", from the tables of
// the manual page: every rule whose correction column is not "none".
std::set<std::string> correcting_rules() {
  std::set<std::string> rules;
  for (const std::string& line : lines_of(read_file(fs::path(TPJCONV_SOURCE_DIR) / "tpjconv.1"))) {
    // "CODE<tab>MODEL<tab>\fB,TEXT\fP<tab>CORRECTION"
    const std::size_t bold = line.find("\t\\fB,");
    const std::size_t end = line.find("\\fP\t");
    if (line.size() < 11 || line[3] != '\t' || bold != 10 || end == std::string::npos) continue;
    if (line.compare(end + 4, 4, "none") == 0) continue;
    std::string text = line.substr(bold + 5, end - bold - 5);  // without the leading comma
    for (std::size_t at; (at = text.find("\\-")) != std::string::npos;) text.erase(at, 1);
    while (text.ends_with(' ')) text.pop_back();
    rules.insert(line.substr(4, 6) + "," + line.substr(0, 3) + "," + text);
  }
  return rules;
}

class IgnoredWarnings final : public tpjconv::WarningOut {
 public:
  void warning(tpjconv::Warning&&) override {}
};

// How many check-log lines of each rule had their value corrected: the lines of rules that
// correct, of records at check level 0. A record's level is that of its bus numbers file entry,
// or 0 without a bus list.
std::map<std::string, long> corrected_from_check_log(const std::string& check_log,
                                                     const std::set<std::string>& correcting,
                                                     const fs::path& bus_file, bool bus_list) {
  tpjconv::BusTable list;
  if (bus_list) {
    const std::string text = read_file(bus_file);
    tpjconv::LineReader reader{std::string_view(text)};
    IgnoredWarnings ignored;
    list = tpjconv::BusTable::load(reader, "bus.txt", ignored);
  }
  tpjconv::BusUse use(list);
  std::map<std::string, long> corrected;
  const auto lines = lines_of(check_log);
  for (std::size_t i = 1; i < lines.size(); ++i) {
    const std::string& line = lines[i];
    // "MODEL , BUS , "NAME", KV , "ID" ,CODE,  ,TEXT"
    const int bus = std::stoi(line.substr(8, 12));
    const std::size_t id_at = line.find("\" ,") - 2;
    const std::size_t code_at = id_at + 5;
    std::string text = line.substr(line.rfind(',') + 1);
    while (text.ends_with(' ')) text.pop_back();
    const std::string key = line.substr(0, 6) + "," + line.substr(code_at, 3) + "," + text;
    std::string ignored;
    const int level =
        list.empty() ? 0 : use.lookup(bus, line.substr(id_at, 2), "", ignored).check_level;
    corrected[key] += level == 0 && correcting.count(key) > 0 ? 1 : 0;
  }
  return corrected;
}

TEST(Summary, CountsWhatTheCheckLogShowsInEveryCase) {
  const std::set<std::string> correcting = correcting_rules();
  ASSERT_GT(correcting.size(), 60u);
  EXPECT_EQ(0u, correcting.count("genrou,208,suspect high Ld"));
  EXPECT_EQ(1u, correcting.count("genrou,268,Xcomp < -0.2"));
  const fs::path cases = TPJCONV_CASES_DIR;
  int compared = 0;
  for (const auto& entry : fs::directory_iterator(cases)) {
    const std::vector<std::string> args = lines_of(read_file(entry.path() / "args"));
    if (args.size() < 7 || args[6] != "check.log") continue;
    SCOPED_TRACE(entry.path().filename().string());
    const fs::path root =
        fs::temp_directory_path() / ("tpjconv_summary_" + std::to_string(getpid()));
    fs::remove_all(root);
    fs::create_directories(root / "work");
    for (const auto& file : fs::directory_iterator(entry.path())) {
      if (file.path().filename() != "expected") {
        fs::copy(file.path(), root / "work" / file.path().filename(), fs::copy_options::recursive);
      }
    }
    std::vector<std::string> with_summary = args;
    with_summary.insert(with_summary.begin(), {"--yes", "--summary", "summary.csv"});
    const int status = wait_tool(start_tool(root / "work", with_summary,
                                            {"/dev/null", root / "stdout", root / "stderr"}));
    if (status != 0) continue;
    ++compared;
    std::map<std::string, long> from_summary, corrected_in_summary;
    const auto rows = lines_of(read_file(root / "work" / "summary.csv"));
    ASSERT_FALSE(rows.empty());
    EXPECT_EQ("model,code,text,count,corrected", rows[0]);
    for (std::size_t i = 1; i < rows.size(); ++i) {
      const std::size_t last = rows[i].rfind(',');
      const std::size_t count_at = rows[i].rfind(',', last - 1) + 1;
      std::string key = rows[i].substr(0, count_at - 1);
      // The totals rows carry their own words: "gensal,read,records read".
      if (key.ends_with(",records read") || key.ends_with(",records changed")) {
        key = key.substr(0, key.rfind(','));
      }
      from_summary[key] = std::stol(rows[i].substr(count_at, last - count_at));
      // The salient-pole line 000 and the totals have no corrected count.
      if (last + 1 < rows[i].size()) {
        corrected_in_summary[key] = std::stol(rows[i].substr(last + 1));
      } else {
        EXPECT_TRUE(key.find(",000,") != std::string::npos || key.ends_with(",read") ||
                    key.ends_with(",changed"))
            << rows[i];
      }
    }
    const std::string check_log = read_file(root / "work" / "check.log");
    EXPECT_EQ(counted_from_check_log(check_log, read_file(root / "stderr")), from_summary);
    std::map<std::string, long> corrected = corrected_from_check_log(
        check_log, correcting, root / "work" / args[1], args[1].compare(0, 4, "none") != 0);
    std::erase_if(corrected,
                  [](const auto& entry) { return entry.first.find(",000,") != std::string::npos; });
    EXPECT_EQ(corrected, corrected_in_summary);
    fs::remove_all(root);
  }
  EXPECT_GT(compared, 20);
}

TEST_F(WholeRun, StandardInputThatCannotBeReadAnswersNoPrompt) {
  write("in.dat", std::string(kRecord));
  write_earlier_files();
  // A directory opens for reading, and each read of it fails with EISDIR.
  std::vector<std::string> args(kArgs.begin() + 1, kArgs.end());
  EXPECT_EQ(1, run(args, root_.string()));
  EXPECT_TRUE(console_.ends_with("Type c to continue, a to abort : \n"
                                 "tpjconv: cannot read standard input: Is a directory; nothing "
                                 "converted\n"))
      << console_;
  expect_earlier_files_kept();
  EXPECT_EQ((std::set<std::string>{"in.dat", "out.dat", "check.log", "report.txt"}), names());
}

}  // namespace
