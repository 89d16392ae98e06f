// Whole runs of the built tool about the output files themselves: the owner, group and mode a new
// file gets, when a file is written where it stands, what a failure at each step of putting the
// outputs in place leaves, signals and the console during those steps, files left by interrupted
// runs, and runs on one set of outputs at the same time. Faults are put between the tool and the
// system by the library tests/fault_inject.cc, loaded with LD_PRELOAD.
#include <fcntl.h>
#include <sys/file.h>
#include <signal.h>
#include <sys/stat.h>
#include <sys/xattr.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstring>
#include <cstdint>
#include <filesystem>
#include <fstream>
#include <set>
#include <string>
#include <thread>
#include <vector>

#include <gtest/gtest.h>

#include "tool_process.h"

namespace fs = std::filesystem;

namespace {

using tpjconv::testing::other_group_id;
using tpjconv::testing::lines_of;
using tpjconv::testing::other_user_id;
using tpjconv::testing::read_file;
using tpjconv::testing::start_tool;
using tpjconv::testing::ToolStreams;
using tpjconv::testing::wait_tool;

// A genrou record at `bus` with findings at check level 0: its outputs are larger than it.
std::string record(int bus) {
  return "genrou " + std::to_string(bus) +
         " \"G7      \" 22.00 \"1 \" : #9 mva=100 4.0 0.02 0.4 0.05 3.0 0.0 1.8 1.7 0.9 0.5 "
         "0.25 0.2 0.1 0.3 0.06 0.0 0.3\n";
}

const std::vector<std::string> kEarlier = {"out.dat", "check.log", "report.txt"};
const std::vector<std::string> kArgs = {"-y",  "in.dat",    "none",       "out.dat",
                                        "0.3", "0.3",       "0.3",        "check.log",
                                        "report.txt", "--summary", "summary.csv"};

// The host name as the tool puts it in its hidden names.
std::string host_part() {
  char name[256] = {};
  gethostname(name, sizeof name - 1);
  std::string part = std::string(name).substr(0, 64);
  for (char& c : part) {
    if (!std::isalnum(static_cast<unsigned char>(c)) && c != '.' && c != '-' && c != '_') c = '_';
  }
  return part;
}

struct stat status_of(const fs::path& path) {
  struct stat info {};
  EXPECT_EQ(0, ::stat(path.c_str(), &info)) << path;
  return info;
}

// Grants group `group` read access through an access ACL (the xattr's binary form: a version,
// then tag, permissions and id for each entry, in the order of their tags).
bool grant_group_by_acl(const fs::path& path, unsigned group) {
  const std::uint32_t undefined = 0xffffffffu;
  const struct {
    std::uint16_t tag, perm;
    std::uint32_t id;
  } entries[] = {{0x01, 6, undefined}, {0x04, 4, undefined}, {0x08, 4, group},
                 {0x10, 4, undefined}, {0x20, 0, undefined}};
  std::string value(4, '\0');
  value[0] = 2;
  for (const auto& e : entries) {
    char bytes[8];
    std::memcpy(bytes, &e.tag, 2);
    std::memcpy(bytes + 2, &e.perm, 2);
    std::memcpy(bytes + 4, &e.id, 4);
    value.append(bytes, 8);
  }
  return ::setxattr(path.c_str(), "system.posix_acl_access", value.data(), value.size(), 0) == 0;
}

bool has_acl(const fs::path& path) {
  return ::getxattr(path.c_str(), "system.posix_acl_access", nullptr, 0) > 0;
}

// True once child `pid` has ended (it is not reaped: wait_tool() still gets its status).
bool ended(int pid) {
  siginfo_t info{};
  return waitid(P_PID, static_cast<id_t>(pid), &info, WEXITED | WNOHANG | WNOWAIT) == 0 &&
         info.si_pid == pid;
}

class OutputFiles : public ::testing::Test {
 protected:
  void SetUp() override {
    root_ = fs::temp_directory_path() /
            ("tpjconv_outputs_" + std::to_string(getpid()) + "_" +
             ::testing::UnitTest::GetInstance()->current_test_info()->name());
    fs::remove_all(root_);
    work_ = root_ / "work";
    fs::create_directories(work_);
    // An ordinary user reaches the work directory and the console files.
    fs::permissions(root_, fs::perms(0777));
    write("in.dat", record(7) + record(8));
  }
  void TearDown() override {
    if (!HasFailure()) fs::remove_all(root_);
  }

  void write(const std::string& name, std::string_view text) {
    std::ofstream(work_ / name, std::ios::binary) << text;
  }

  // About `megabytes` of input: some 10 times as much output.
  void write_records(std::size_t megabytes) {
    std::ofstream out(work_ / "in.dat", std::ios::binary);
    std::string block;
    for (int i = 0; i < 1000; ++i) block += record(7);
    for (std::size_t done = 0; done < megabytes << 20; done += block.size()) out << block;
  }

  void write_earlier_files() {
    for (const auto& name : kEarlier) write(name, "from the run before: " + name + "\n");
  }

  void expect_earlier_files_kept() {
    for (const auto& name : kEarlier) {
      EXPECT_EQ("from the run before: " + name + "\n", read_file(work_ / name)) << name;
    }
  }

  std::set<std::string> names() const {
    std::set<std::string> found;
    for (const auto& entry : fs::directory_iterator(work_)) {
      found.insert(entry.path().filename().string());
    }
    return found;
  }

  ToolStreams streams() const { return {"/dev/null", root_ / "stdout", root_ / "stderr"}; }

  // The same, with the calls of `faults` failed (see tests/fault_inject.cc).
  ToolStreams with_faults(const std::string& faults) const {
    ToolStreams s = streams();
    s.environment = {std::string("LD_PRELOAD=") + TPJCONV_FAULT_INJECT,
                     "ASAN_OPTIONS=verify_asan_link_order=0", "TPJCONV_FAULTS=" + faults};
    return s;
  }

  int run(const std::vector<std::string>& args, const ToolStreams& s) {
    const int status = wait_tool(start_tool(work_, args, s));
    console_ = read_file(s.err);
    return status;
  }

  // The outputs of a run of kArgs without a fault, for comparison.
  std::vector<std::string> outputs_alone() {
    const fs::path alone = root_ / "alone";
    fs::create_directories(alone);
    fs::copy(work_ / "in.dat", alone / "in.dat");
    EXPECT_EQ(0, wait_tool(start_tool(alone, kArgs, {"/dev/null", root_ / "o", root_ / "e"})));
    std::vector<std::string> files;
    for (const char* name : {"out.dat", "check.log", "report.txt", "summary.csv"}) {
      files.push_back(read_file(alone / name));
    }
    fs::remove_all(alone);
    return files;
  }

  // Waits until the new file beside out.dat holds `bytes`; its path, or empty when the run
  // ended first.
  fs::path wait_for_new_output(std::uintmax_t bytes, int pid) {
    const auto give_up = std::chrono::steady_clock::now() + std::chrono::seconds(20);
    while (std::chrono::steady_clock::now() < give_up) {
      for (const auto& entry : fs::directory_iterator(work_)) {
        std::error_code ec;
        if (entry.path().filename().string().starts_with(".out.dat.tpjconv-") &&
            fs::file_size(entry.path(), ec) >= bytes) {
          return entry.path();
        }
      }
      int status = 0;
      if (waitpid(pid, &status, WNOHANG) == pid) return {};
      std::this_thread::sleep_for(std::chrono::microseconds(200));
    }
    return {};
  }

  fs::path root_;
  fs::path work_;
  std::string console_;
};

const std::set<std::string> kEarlierNames = {"in.dat", "out.dat", "check.log", "report.txt"};

TEST_F(OutputFiles, ANewFileGetsTheOwnerGroupAndPermissionsOfTheOldButNeverSetuid) {
  if (geteuid() != 0) GTEST_SKIP() << "only root may give a file to another user";
  write_earlier_files();
  const unsigned other = other_user_id(), group = other_group_id();
  // Another user's setuid program, another user's private file, a file shared with a group.
  ASSERT_EQ(0, ::chown((work_ / "out.dat").c_str(), other, group));
  ASSERT_EQ(0, ::chmod((work_ / "out.dat").c_str(), 04755));
  ASSERT_EQ(0, ::chown((work_ / "check.log").c_str(), other, group));
  ASSERT_EQ(0, ::chmod((work_ / "check.log").c_str(), 0600));
  ASSERT_EQ(0, ::chown((work_ / "report.txt").c_str(), 0, group));
  ASSERT_EQ(0, ::chmod((work_ / "report.txt").c_str(), 02660));
  const mode_t mask = umask(0);
  umask(mask);
  ASSERT_EQ(0, run(kArgs, streams())) << console_;
  EXPECT_TRUE(read_file(work_ / "out.dat").starts_with("gentpj 7 "));
  const struct {
    const char* name;
    uid_t owner;
    gid_t group;
    mode_t mode;
  } expected[] = {{"out.dat", other, group, 0755},
                  {"check.log", other, group, 0600},
                  {"report.txt", 0, group, 0660},
                  {"summary.csv", 0, getegid(), 0666 & ~mask}};
  for (const auto& e : expected) {
    const struct stat info = status_of(work_ / e.name);
    EXPECT_EQ(e.owner, info.st_uid) << e.name;
    EXPECT_EQ(e.group, info.st_gid) << e.name;
    EXPECT_EQ(e.mode, info.st_mode & 07777) << e.name;
  }
}

TEST_F(OutputFiles, TheNewFileIsReadableByItsOwnerOnlyWhileItIsWritten) {
  write_records(3);
  write_earlier_files();
  fs::permissions(work_ / "out.dat", fs::perms(0644));
  const int pid = start_tool(work_, kArgs, streams());
  int seen = 0;
  for (fs::path hidden; !(hidden = wait_for_new_output(1 << 20, pid)).empty() && seen < 50;) {
    struct stat info {};
    if (::stat(hidden.c_str(), &info) != 0) break;
    EXPECT_EQ(0600u, info.st_mode & 0777) << hidden;
    ++seen;
  }
  EXPECT_EQ(0, wait_tool(pid));
  EXPECT_GT(seen, 0) << "the run ended before its new file could be seen";
  EXPECT_EQ(0644u, status_of(work_ / "out.dat").st_mode & 07777);
}

TEST_F(OutputFiles, AFailedChangeOfOwnerOrPermissionsEndsTheRunAndKeepsTheEarlierFiles) {
  write_earlier_files();
  // The only file whose new version must change its group (root alone may give it that group);
  // the others are the run's user's already.
  const bool root = geteuid() == 0;
  if (root) {
    ASSERT_EQ(0, ::chown((work_ / "check.log").c_str(), 0, other_group_id()));
  }
  const struct {
    std::string faults;
    std::string message;
  } failures[] = {
      {root ? "fchown:1" : "fchmod:1",
       root ? "tpjconv: cannot give the new check.log the owner and group of the old: "
              "Operation not permitted\n"
            : "tpjconv: cannot set the permissions of the new out.dat: Operation not "
              "permitted\n"},
      {"fchmod:1", "tpjconv: cannot set the permissions of the new out.dat: Operation not "
                   "permitted\n"},
      {"fchmod:2", "tpjconv: cannot set the permissions of the new summary.csv: Operation not "
                   "permitted\n"},
  };
  for (const auto& [faults, message] : failures) {
    SCOPED_TRACE(faults);
    EXPECT_EQ(1, run(kArgs, with_faults(faults)));
    EXPECT_TRUE(console_.ends_with(message)) << console_;
    expect_earlier_files_kept();
    EXPECT_EQ(kEarlierNames, names());
  }
}

TEST_F(OutputFiles, ANewFileThatCannotBeCreatedEndsTheRunInsteadOfWritingInPlace) {
  write_earlier_files();
  const struct {
    std::string faults;
    std::string message;
  } failures[] = {
      {"create:1:1:ENOSPC",
       "Unable to open outputfile\ntpjconv: cannot create a new file beside out.dat: No space "
       "left on device; nothing written\n"},
      {"create:3:1:EDQUOT",
       "tpjconv: cannot create a new file beside check.log: Disk quota exceeded; nothing "
       "written\n"},
      {"create:1:100:EEXIST",
       "Unable to open outputfile\ntpjconv: cannot create a new file beside out.dat: all 100 "
       "hidden names for it are taken; nothing written\n"},
  };
  for (const auto& [faults, message] : failures) {
    SCOPED_TRACE(faults);
    EXPECT_EQ(1, run(kArgs, with_faults(faults)));
    EXPECT_TRUE(console_.ends_with(message)) << console_;
    EXPECT_EQ(std::string::npos, console_.find("Read ")) << "the run went on: " << console_;
    expect_earlier_files_kept();
    EXPECT_EQ(kEarlierNames, names());
  }
  // A hidden name that is taken is passed over for the next.
  EXPECT_EQ(0, run(kArgs, with_faults("create:1:99:EEXIST"))) << console_;
  EXPECT_EQ(outputs_alone()[0], read_file(work_ / "out.dat"));
}

TEST_F(OutputFiles, AFailedRenamePutsBackTheFilesAlreadyReplaced) {
  write_earlier_files();
  // The third of four: out.dat and the new summary.csv are in place by then.
  EXPECT_EQ(1, run(kArgs, with_faults("rename:3:1:EBUSY")));
  EXPECT_TRUE(console_.ends_with(
      "tpjconv: cannot replace check.log: Device or resource busy; no file was replaced\n"))
      << console_;
  expect_earlier_files_kept();
  EXPECT_EQ(kEarlierNames, names());
}

TEST_F(OutputFiles, AFailedRenameNamesTheFilesThatHadNoWayBack) {
  write_earlier_files();
  // No second name for the old files (a filesystem without hard links): the new summary.csv goes
  // first, and the failure of the last leaves the two before it replaced.
  EXPECT_EQ(1, run(kArgs, with_faults("link:1:0:EPERM,rename:4:1:EBUSY")));
  EXPECT_TRUE(console_.ends_with("tpjconv: cannot replace report.txt: Device or resource busy; "
                                 "replaced all the same, and not put back: out.dat, check.log\n"))
      << console_;
  const std::vector<std::string> alone = outputs_alone();
  EXPECT_EQ(alone[0], read_file(work_ / "out.dat"));
  EXPECT_EQ(alone[1], read_file(work_ / "check.log"));
  EXPECT_EQ("from the run before: report.txt\n", read_file(work_ / "report.txt"));
  EXPECT_EQ(kEarlierNames, names());
}

TEST_F(OutputFiles, FilesWhoseOwnerOrGroupANewFileCannotGetAreWrittenInPlace) {
  if (geteuid() != 0) GTEST_SKIP() << "needs files of two users: run as root";
  write_earlier_files();
  // A sticky directory all may write to; out.dat is root's but all may write it, check.log is
  // the ordinary user's but of root's group, which that user is not in.
  fs::permissions(work_, fs::perms(01777));
  fs::permissions(work_ / "out.dat", fs::perms(0666));
  ASSERT_EQ(0, ::chown((work_ / "check.log").c_str(), other_user_id(), 0));
  fs::permissions(work_ / "check.log", fs::perms(0664));
  fs::remove(work_ / "report.txt");
  ToolStreams s = streams();
  s.as_other_user = true;
  std::vector<std::string> args(kArgs.begin(), kArgs.begin() + 9);
  ASSERT_EQ(0, run(args, s)) << console_;
  const std::vector<std::string> alone = outputs_alone();
  EXPECT_EQ(alone[0], read_file(work_ / "out.dat"));
  EXPECT_EQ(alone[1], read_file(work_ / "check.log"));
  EXPECT_EQ(alone[2], read_file(work_ / "report.txt"));
  EXPECT_EQ(0u, status_of(work_ / "out.dat").st_uid);
  EXPECT_EQ(0u, status_of(work_ / "check.log").st_gid);
  EXPECT_EQ(other_user_id(), status_of(work_ / "report.txt").st_uid);
  EXPECT_EQ(kEarlierNames, names());
}

TEST_F(OutputFiles, ASignalDuringTheRenamesTakesEffectAfterThemWithStatusZero) {
  write_earlier_files();
  EXPECT_EQ(0, run(kArgs, with_faults("rename:2:1:SIGTERM"))) << console_;
  const std::vector<std::string> alone = outputs_alone();
  EXPECT_EQ(alone[0], read_file(work_ / "out.dat"));
  EXPECT_EQ(alone[2], read_file(work_ / "report.txt"));
  EXPECT_EQ(alone[3], read_file(work_ / "summary.csv"));
}

TEST_F(OutputFiles, TheTotalsAreOnStandardErrorBeforeAnyFileIsPutInPlace) {
  write_earlier_files();
  EXPECT_EQ(128 + SIGKILL, run(kArgs, with_faults("rename:1:1:SIGKILL")));
  EXPECT_TRUE(console_.ends_with("Changed this many records:      0  nesal     0  netpf     2  "
                                 "nerou\n"))
      << console_;
}

TEST_F(OutputFiles, AStandardErrorThatCannotBeWrittenDoesNotFailAFinishedRun) {
  write_earlier_files();
  EXPECT_EQ(0, wait_tool(start_tool(work_, kArgs, {"/dev/null", root_ / "stdout", "/dev/full"})));
  EXPECT_EQ(outputs_alone()[0], read_file(work_ / "out.dat"));
}

TEST_F(OutputFiles, EachWarningIsOnStandardErrorWhenItHappens) {
  // The input comes through a FIFO that this test keeps open: the run cannot end before the test
  // has looked, and the warning must be there while the run waits for more data.
  const fs::path pipe = work_ / "in.fifo";
  ASSERT_EQ(0, mkfifo(pipe.c_str(), 0600));
  std::vector<std::string> args = kArgs;
  args[1] = "in.fifo";
  const int pid = start_tool(work_, args, streams());
  const int feed = ::open(pipe.c_str(), O_WRONLY);
  ASSERT_GE(feed, 0);
  const std::string data = record(7) + "genrou 5 \"G5      \" 22.00 \"1 \" : #9 mva=100 4.0\n" +
                           record(8);
  ASSERT_EQ(static_cast<ssize_t>(data.size()), ::write(feed, data.data(), data.size()));
  bool seen = false;
  for (int i = 0; i < 1000 && !seen; ++i) {
    seen = read_file(root_ / "stderr").find("tpjconv: in.fifo:2: genrou record at bus 5") !=
           std::string::npos;
    if (!seen) std::this_thread::sleep_for(std::chrono::milliseconds(10));
  }
  ::close(feed);
  EXPECT_EQ(0, wait_tool(pid));
  EXPECT_TRUE(seen) << read_file(root_ / "stderr");
}

TEST_F(OutputFiles, ARefusedRunLeavesTheFileBehindStandardOutputAsItWas) {
  write_earlier_files();
  ToolStreams s = streams();
  s.out = work_ / "out.dat";
  s.append = true;
  const std::vector<std::string> args = {"-y",  "in.dat", "none", "out.dat", "0.3", "0.3", "0.3",
                                         "/nonexistent/check.log", "report.txt"};
  EXPECT_EQ(1, run(args, s));
  EXPECT_TRUE(console_.ends_with("tpjconv: cannot create CHECKLOG /nonexistent/check.log: No such "
                                 "file or directory; nothing written\n"))
      << console_;
  expect_earlier_files_kept();
  EXPECT_EQ(kEarlierNames, names());
}

TEST_F(OutputFiles, AnOutputThatIsTheFileBehindStandardErrorIsRefused) {
  write_earlier_files();
  ToolStreams s = streams();
  s.err = work_ / "out.dat";
  s.append = true;
  const std::vector<std::string> args(kArgs.begin(), kArgs.begin() + 9);
  EXPECT_EQ(1, run(args, s));
  EXPECT_EQ("from the run before: out.dat\n"
            "tpjconv: OUTPUT out.dat is the same file as standard error; nothing written\n",
            read_file(work_ / "out.dat"));
  EXPECT_EQ(kEarlierNames, names());
}

TEST_F(OutputFiles, AnOutputThatIsTheFileBehindStandardOutputIsWrittenInPlaceWithoutSetuid) {
  write_earlier_files();
  // Longer than the new output: emptied, not written over.
  write("out.dat", std::string(100000, 'x'));
  ASSERT_EQ(0, ::chmod((work_ / "out.dat").c_str(), 04755));
  ToolStreams s = streams();
  s.out = work_ / "out.dat";
  s.append = true;
  const ino_t inode = status_of(work_ / "out.dat").st_ino;
  const std::vector<std::string> args(kArgs.begin(), kArgs.begin() + 9);
  EXPECT_EQ(0, run(args, s)) << console_;
  EXPECT_EQ(outputs_alone()[0], read_file(work_ / "out.dat"));
  const struct stat info = status_of(work_ / "out.dat");
  EXPECT_EQ(inode, info.st_ino);
  EXPECT_EQ(0755u, info.st_mode & 07777);
}

TEST_F(OutputFiles, PipedInputCannotAnswerThePrompt) {
  const fs::path pipe = root_ / "pipe";
  ASSERT_EQ(0, mkfifo(pipe.c_str(), 0600));
  ToolStreams s = streams();
  s.in = pipe;
  const int pid = start_tool(work_, {"/dev/stdin", "none", "out.dat", "0.3", "0.3", "0.3",
                                     "check.log", "report.txt"}, s);
  // The writing end stays open while the run lasts, so that the run can open /dev/stdin again;
  // it is closed after ten seconds at most, so that a run that reads on comes to an end.
  const int feed = ::open(pipe.c_str(), O_WRONLY);
  ASSERT_GE(feed, 0);
  const std::string data = std::string(1, 'c') + record(7);
  EXPECT_EQ(static_cast<ssize_t>(data.size()), ::write(feed, data.data(), data.size()));
  for (int i = 0; i < 1000; ++i) {
    siginfo_t info{};
    if (waitid(P_PID, static_cast<id_t>(pid), &info, WEXITED | WNOHANG | WNOWAIT) == 0 &&
        info.si_pid == pid) {
      break;
    }
    std::this_thread::sleep_for(std::chrono::milliseconds(10));
  }
  ::close(feed);
  EXPECT_EQ(2, wait_tool(pid));
  EXPECT_TRUE(read_file(root_ / "stderr")
                  .ends_with("tpjconv: INPUT /dev/stdin is standard input, which cannot also "
                             "answer the prompt; use --yes to confirm\n"))
      << read_file(root_ / "stderr");
  EXPECT_EQ(std::set<std::string>{"in.dat"}, names());
}

TEST_F(OutputFiles, FilesLeftByRunsThatNoLongerRunAreRemovedAtStart) {
  write_earlier_files();
  // A process that has ended, this test's own, which runs.
  const pid_t ended = fork();
  if (ended == 0) _exit(0);
  waitpid(ended, nullptr, 0);
  const std::string host = host_part(), gone = std::to_string(ended);
  const std::string alive = std::to_string(getpid());
  const std::vector<std::string> removed = {
      ".out.dat.tpjconv-" + host + "-" + gone + "-0",
      ".out.dat.tpjconv-" + host + "-" + gone + "-1",
      ".check.log.tpjconv-" + host + "-" + gone + "-12",
  };
  const std::vector<std::string> kept = {
      ".out.dat.tpjconv-" + host + "-" + alive + "-0",
      ".out.dat.tpjconv-another.host-" + gone + "-0",
      ".out.dat.tpjconv-" + host + "-" + gone + "-0x",
      ".out.dat.tpjconv-" + host + "-" + gone,
      ".in.dat.tpjconv-" + host + "-" + gone + "-0",
      ".out.dat.old-" + host + "-" + gone + "-0",
      // Tails that are no "PID-N": nothing before or after the dash, a sign, a process number
      // too long to be one, and one beyond any process.
      ".out.dat.tpjconv-" + host + "--0",
      ".out.dat.tpjconv-" + host + "-" + gone + "-",
      ".out.dat.tpjconv-" + host + "-" + gone + "+-0",
      ".out.dat.tpjconv-" + host + "-12345678901234567890-0",
      ".out.dat.tpjconv-" + host + "-99999999999-0",
  };
  for (const auto& name : removed) write(name, "left behind\n");
  for (const auto& name : kept) write(name, "someone else's\n");
  // The old versions a killed run kept while it put its files in place: one still the file
  // itself, one a copy of the same bytes, and one the only copy of an earlier check.log.
  const std::string before = ".tpjconv-before-" + host + "-" + gone + "-";
  fs::create_hard_link(work_ / "out.dat", work_ / (".out.dat" + before + "0"));
  write(".report.txt" + before + "1", read_file(work_ / "report.txt"));
  write(".check.log" + before + "0", "the check log before\n");
  // Versions that begin as the file does, one shorter and one longer: other versions, kept.
  write(".out.dat" + before + "1", "from the run");
  write(".report.txt" + before + "2", read_file(work_ / "report.txt") + "and more\n");
  const std::vector<std::string> args(kArgs.begin(), kArgs.begin() + 9);
  ASSERT_EQ(0, run(args, streams())) << console_;
  std::set<std::string> expected = kEarlierNames;
  expected.insert(kept.begin(), kept.end());
  for (const auto& name : {".check.log" + before + "0", ".out.dat" + before + "1",
                           ".report.txt" + before + "2"}) {
    expected.insert(name);
    const std::string file = name.substr(1, name.find(".tpjconv-") - 1);
    EXPECT_NE(std::string::npos,
              console_.find("tpjconv: " + name + ": " + file + " as it was before a run that was "
                            "killed while putting its files in place; kept\n"))
        << console_;
  }
  EXPECT_EQ(expected, names());
  EXPECT_EQ("from the run", read_file(work_ / (".out.dat" + before + "1")));
  for (const auto& name : {removed[0], removed[1], removed[2], ".out.dat" + before + "0",
                           ".report.txt" + before + "1"}) {
    EXPECT_NE(std::string::npos,
              console_.find("tpjconv: removed " + name + ", left by an interrupted run\n"))
        << console_;
  }
  EXPECT_NE(std::string::npos,
            console_.find("tpjconv: .check.log" + before + "0: check.log as it was before a run "
                          "that was killed while putting its files in place; kept\n"))
      << console_;
  EXPECT_EQ("the check log before\n", read_file(work_ / (".check.log" + before + "0")));
}

TEST_F(OutputFiles, ConcurrentRunsLeaveTheOutputsOfOneRun) {
  constexpr int kRuns = 8;
  for (int i = 0; i < kRuns; ++i) {
    write("in" + std::to_string(i) + ".dat", "# run " + std::to_string(i) + "\n" +
                                                 record(100 + i));
  }
  // Which run wrote each file: the comment of out.dat, the bus (100 + run) of the others.
  auto run_of = [&](const std::string& name, const std::string& before) {
    const std::string text = read_file(work_ / name);
    const std::size_t at = text.find(before);
    return at == std::string::npos ? '?' : text[at + before.size()];
  };
  for (int round = 0; round < 7; ++round) {
    SCOPED_TRACE(round);
    std::vector<int> pids;
    for (int i = 0; i < kRuns; ++i) {
      std::vector<std::string> args(kArgs.begin(), kArgs.begin() + 9);
      args[1] = "in" + std::to_string(i) + ".dat";
      const std::string tag = std::to_string(i);
      pids.push_back(start_tool(work_, args,
                                {"/dev/null", root_ / ("stdout" + tag), root_ / ("stderr" + tag)}));
    }
    for (int i = 0; i < kRuns; ++i) {
      EXPECT_EQ(0, wait_tool(pids[static_cast<std::size_t>(i)]))
          << read_file(root_ / ("stderr" + std::to_string(i)));
    }
    const char out = run_of("out.dat", "# run ");
    EXPECT_EQ(out, run_of("check.log", "genrou, 10")) << "check.log";
    EXPECT_EQ(out, run_of("report.txt", "genrou, 10")) << "report.txt";
  }
}

TEST_F(OutputFiles, AWriterThreadThatCannotStartLeavesTheSameFiles) {
  write_records(2);
  const std::vector<std::string> alone = outputs_alone();
  ToolStreams s = with_faults("pthread_create:1:0");
  s.environment.push_back("TPJCONV_FAULT_LOG=" + (root_ / "faults").string());
  EXPECT_EQ(0, run(kArgs, s));
  EXPECT_NE(std::string::npos, read_file(root_ / "faults").find("pthread_create EAGAIN"));
  const char* files[] = {"out.dat", "check.log", "report.txt", "summary.csv"};
  for (std::size_t i = 0; i < 4; ++i) {
    // Compared whole but reported short: these are megabytes.
    EXPECT_TRUE(alone[i] == read_file(work_ / files[i])) << files[i] << " differs";
  }
}

// Files written where they stand: out.dat has a second name (for any user), and as root the
// check log and report are root's files that all may write, in a directory all may write to,
// converted by an ordinary user.
class InPlace : public OutputFiles {
 protected:
  void SetUp() override {
    OutputFiles::SetUp();
    write_earlier_files();
    fs::create_hard_link(work_ / "out.dat", work_ / "out.link");
    fs::permissions(work_, fs::perms(0777));
    for (const auto& name : kEarlier) fs::permissions(work_ / name, fs::perms(0666));
  }
  ToolStreams as_user(ToolStreams s) const {
    s.as_other_user = true;
    return s;
  }
  std::set<std::string> earlier_names() const {
    std::set<std::string> names = kEarlierNames;
    names.insert("out.link");
    return names;
  }
};

TEST_F(InPlace, FilesWrittenInPlaceAreLeftAsTheyWereWhenTheRunFails) {
  const std::vector<std::string> args(kArgs.begin(), kArgs.begin() + 9);
  // A read error on the input, a termination request, a full disk under the new out.dat.
  for (const auto& [faults, status] : {std::pair<std::string, int>{"read:1:1:EIO", 1},
                                       {"read:1:1:SIGTERM", 128 + SIGTERM},
                                       {"write:1:0:ENOSPC", 1}}) {
    SCOPED_TRACE(faults);
    EXPECT_EQ(status, run(args, as_user(with_faults(faults))));
    if (faults == "read:1:1:EIO") {
      EXPECT_TRUE(console_.ends_with("tpjconv: cannot read in.dat: Input/output error\n"))
          << console_;
    }
    expect_earlier_files_kept();
    EXPECT_EQ(earlier_names(), names());
  }
  EXPECT_EQ(status_of(work_ / "out.dat").st_ino, status_of(work_ / "out.link").st_ino);
}

TEST_F(InPlace, ARefusalAfterTheOutputsAreOpenedLeavesThemUnchanged) {
  write("buses.bus", " Bus  ID  Level  Kis  Name\n 7, \"1 \", 0, 0.3, \"G7      \"\n");
  std::vector<std::string> args(kArgs.begin(), kArgs.begin() + 9);
  args[2] = "buses.bus";
  // The bus numbers file is read after every output is open; its read fails.
  EXPECT_EQ(1, run(args, as_user(with_faults("read:1:1:EIO"))));
  EXPECT_TRUE(console_.ends_with("Input/output error\n")) << console_;
  EXPECT_EQ(std::string::npos, console_.find("Read ")) << console_;
  expect_earlier_files_kept();
  std::set<std::string> expected = earlier_names();
  expected.insert("buses.bus");
  EXPECT_EQ(expected, names());
}

TEST_F(InPlace, AFailedCommitPutsBackTheOldContentOfAFileWrittenInPlace) {
  const std::vector<std::string> args(kArgs.begin(), kArgs.begin() + 9);
  // The second ftruncate cuts out.dat after its new content was written over it: the first
  // keeps the copy of its old content.
  EXPECT_EQ(1, run(args, with_faults("ftruncate:2:1:EIO")));
  EXPECT_TRUE(console_.ends_with(
      "tpjconv: cannot write out.dat: Input/output error; no file was replaced\n"))
      << console_;
  expect_earlier_files_kept();
  EXPECT_EQ(earlier_names(), names());
  // The old content cannot be written back either: the message says where it is kept.
  EXPECT_EQ(1, run(args, with_faults("ftruncate:2:2:EIO")));
  const std::string kept = ".out.dat.tpjconv-before-" + host_part() + "-";
  const std::size_t at = console_.find("; left damaged: out.dat (its earlier content is kept in " +
                                       kept);
  EXPECT_NE(std::string::npos, at) << console_;
  std::string copy;
  for (const auto& name : names()) {
    if (name.starts_with(kept)) copy = name;
  }
  ASSERT_FALSE(copy.empty());
  EXPECT_TRUE(console_.ends_with(copy + ")\n")) << console_;
  EXPECT_EQ("from the run before: out.dat\n", read_file(work_ / copy));
  EXPECT_EQ("from the run before: check.log\n", read_file(work_ / "check.log"));
}

TEST_F(InPlace, AFileWithOtherNamesOrAnAclIsWrittenWhereItStands) {
  // A filesystem that keeps no ACLs leaves the ACL part out, and says so.
  const bool acl = grant_group_by_acl(work_ / "check.log", other_group_id());
  const int acl_error = errno;
  if (!acl) {
    ASSERT_TRUE(acl_error == ENOTSUP || acl_error == EOPNOTSUPP) << strerror(acl_error);
  }
  const ino_t out = status_of(work_ / "out.dat").st_ino;
  const ino_t check = status_of(work_ / "check.log").st_ino;
  ASSERT_EQ(0, run(kArgs, streams())) << console_;
  const std::vector<std::string> alone = outputs_alone();
  EXPECT_EQ(alone[0], read_file(work_ / "out.dat"));
  EXPECT_EQ(alone[0], read_file(work_ / "out.link"));
  EXPECT_EQ(alone[1], read_file(work_ / "check.log"));
  EXPECT_EQ(out, status_of(work_ / "out.dat").st_ino);
  std::set<std::string> expected = earlier_names();
  expected.insert("summary.csv");
  EXPECT_EQ(expected, names());
  if (!acl) GTEST_SKIP() << "the temporary directory's filesystem keeps no ACLs: only links tested";
  EXPECT_EQ(check, status_of(work_ / "check.log").st_ino);
  EXPECT_TRUE(has_acl(work_ / "check.log"));
}

// Run 0 is stopped at call `stop` of its commit, holding its locks; run 1 must wait for it, say
// so with `waiting_line`, and commit after it.
void commit_while_another_is_stopped(const fs::path& work, const fs::path& root,
                                     const std::vector<std::string>& args0,
                                     const std::vector<std::string>& args1,
                                     const std::string& stop, const std::string& waiting_line) {
  ToolStreams first{"/dev/null", root / "stdout0", root / "stderr0"};
  first.environment = {std::string("LD_PRELOAD=") + TPJCONV_FAULT_INJECT,
                       "ASAN_OPTIONS=verify_asan_link_order=0", "TPJCONV_FAULTS=" + stop};
  const int pid0 = start_tool(work, args0, first);
  int status = 0;
  ASSERT_EQ(pid0, waitpid(pid0, &status, WUNTRACED));
  ASSERT_TRUE(WIFSTOPPED(status)) << read_file(root / "stderr0");
  const int pid1 = start_tool(work, args1, {"/dev/null", root / "stdout1", root / "stderr1"});
  bool waiting = false;
  for (int i = 0; i < 500 && !waiting && !ended(pid1); ++i) {
    std::this_thread::sleep_for(std::chrono::milliseconds(10));
    waiting = read_file(root / "stderr1").find(waiting_line) != std::string::npos;
  }
  EXPECT_TRUE(waiting) << read_file(root / "stderr1");
  EXPECT_FALSE(ended(pid1)) << "the second run did not wait";
  ::kill(pid0, SIGCONT);
  EXPECT_EQ(0, wait_tool(pid0)) << read_file(root / "stderr0");
  EXPECT_EQ(0, wait_tool(pid1)) << read_file(root / "stderr1");
}

TEST_F(OutputFiles, ConcurrentRunsCommitOneAtATime) {
  write("in0.dat", "# run 0\n" + record(100));
  write("in1.dat", "# run 1\n" + record(101));
  write_earlier_files();
  std::vector<std::string> args0(kArgs.begin(), kArgs.begin() + 9), args1 = args0;
  args0[1] = "in0.dat";
  args1[1] = "in1.dat";
  // Stopped after its first file is in place: the other files are still run 0's old ones.
  commit_while_another_is_stopped(
      work_, root_, args0, args1, "rename:2:1:SIGSTOP",
      "tpjconv: waiting for another run to finish putting its files in place in the current "
      "directory\n");
  EXPECT_TRUE(read_file(work_ / "out.dat").starts_with("# run 1\n"));
  EXPECT_NE(std::string::npos, read_file(work_ / "check.log").find("genrou, 101"));
  EXPECT_NE(std::string::npos, read_file(work_ / "report.txt").find("genrou, 101"));
  EXPECT_EQ(std::string::npos, read_file(work_ / "check.log").find("genrou, 100"));
}

TEST_F(OutputFiles, ConcurrentRunsWriteAFileInPlaceOneAtATime) {
  // One file under two names in two directories: only the lock of the file itself keeps the
  // runs apart. Run 0's output is the longer, and is stopped before it is cut to its length.
  std::string many = "# run 0\n";
  for (int i = 0; i < 20; ++i) many += record(100);
  write("in0.dat", many);
  write("in1.dat", "# run 1\n" + record(101));
  fs::create_directories(work_ / "a");
  fs::create_directories(work_ / "b");
  write("a/out.dat", "from the run before\n");
  fs::create_hard_link(work_ / "a/out.dat", work_ / "b/out.dat");
  std::vector<std::string> args0 = {"-y", "in0.dat", "none", "a/out.dat", "0.3", "0.3", "0.3",
                                    "a/check.log", "a/report.txt"};
  std::vector<std::string> args1 = {"-y", "in1.dat", "none", "b/out.dat", "0.3", "0.3", "0.3",
                                    "b/check.log", "b/report.txt"};
  commit_while_another_is_stopped(
      work_, root_, args0, args1, "ftruncate:2:1:SIGSTOP",
      "tpjconv: waiting for another run to finish putting its files in place in b\n");
  const std::string out = read_file(work_ / "b/out.dat");
  EXPECT_TRUE(out.starts_with("# run 1\ngentpj 101 ")) << out.substr(0, 200);
  EXPECT_EQ(2u, lines_of(out).size()) << "not one run's whole file";
  EXPECT_EQ(out, read_file(work_ / "a/out.dat"));
}

TEST_F(OutputFiles, ALinkThatCannotBeFollowedEndsTheRunWithNothingWritten) {
  fs::create_directories(work_ / "sub");
  write("sub/out.dat", "from the run before\n");
  fs::create_symlink("sub/out.dat", work_ / "out.dat");
  // Existing, so that the first lstat is the one that follows out.dat.
  write("check.log", "from the run before\n");
  write("report.txt", "from the run before\n");
  const std::vector<std::string> args(kArgs.begin(), kArgs.begin() + 9);
  for (const std::string faults : {"readlink:1:1:EIO", "lstat:1:1:EACCES"}) {
    SCOPED_TRACE(faults);
    EXPECT_EQ(1, run(args, with_faults(faults)));
    EXPECT_TRUE(console_.ends_with("tpjconv: cannot follow the symbolic link OUTPUT out.dat: " +
                                   std::string(faults[0] == 'r' ? "Input/output error"
                                                                : "Permission denied") +
                                   "; nothing written\n"))
        << console_;
    EXPECT_TRUE(fs::is_symlink(work_ / "out.dat"));
    EXPECT_EQ("from the run before\n", read_file(work_ / "sub/out.dat"));
    std::set<std::string> expected = kEarlierNames;
    expected.insert("sub");
    EXPECT_EQ(expected, names());
  }
}

TEST_F(OutputFiles, AFileOnAReadOnlyFilesystemIsRefusedWithThatReason) {
  write_earlier_files();
  const std::vector<std::string> args(kArgs.begin(), kArgs.begin() + 9);
  // The second access check is out.dat's own (the first, its directory's).
  EXPECT_EQ(1, run(args, with_faults("access:2:1:EROFS")));
  EXPECT_TRUE(console_.ends_with("Unable to open outputfile\ntpjconv: out.dat: Read-only file "
                                 "system\n"))
      << console_;
  expect_earlier_files_kept();
}

TEST_F(OutputFiles, ARunWaitingForALockCanBeInterrupted) {
  write_earlier_files();
  // Another process's lock on the directory, held as long as this test wants.
  const int held = ::open(work_.c_str(), O_RDONLY | O_DIRECTORY);
  ASSERT_EQ(0, ::flock(held, LOCK_EX));
  const std::vector<std::string> args(kArgs.begin(), kArgs.begin() + 9);
  const int pid = start_tool(work_, args, streams());
  bool waiting = false;
  for (int i = 0; i < 500 && !waiting && !ended(pid); ++i) {
    std::this_thread::sleep_for(std::chrono::milliseconds(10));
    waiting = read_file(root_ / "stderr").ends_with(
        "tpjconv: waiting for another run to finish putting its files in place in the current "
        "directory\n");
  }
  EXPECT_TRUE(waiting) << read_file(root_ / "stderr");
  ::kill(pid, SIGTERM);
  EXPECT_EQ(128 + SIGTERM, wait_tool(pid));
  ::close(held);
  expect_earlier_files_kept();
  EXPECT_EQ(kEarlierNames, names());
}

// The four files of kArgs are those of a run without a fault, and nothing else is beside them.
void expect_outputs_of(const fs::path& work, const std::vector<std::string>& alone,
                       const std::set<std::string>& names) {
  const char* files[] = {"out.dat", "check.log", "report.txt", "summary.csv"};
  for (std::size_t i = 0; i < 4; ++i) {
    EXPECT_EQ(alone[i], read_file(work / files[i])) << files[i];
  }
  std::set<std::string> found;
  for (const auto& entry : fs::directory_iterator(work)) {
    found.insert(entry.path().filename().string());
  }
  EXPECT_EQ(names, found);
}

TEST_F(InPlace, CallsInterruptedByASignalAreMadeAgain) {
  const std::vector<std::string> alone = outputs_alone();
  EXPECT_EQ(0, run(kArgs, with_faults("open:1:2:EINTR,read:1:3:EINTR,write:1:2:EINTR,"
                                      "ftruncate:1:2:EINTR,flock:1:2:EINTR")))
      << console_;
  std::set<std::string> expected = earlier_names();
  expected.insert("summary.csv");
  expect_outputs_of(work_, alone, expected);
  EXPECT_EQ(status_of(work_ / "out.dat").st_ino, status_of(work_ / "out.link").st_ino);
}

TEST_F(OutputFiles, OldFilesWithoutASecondNameAreReplacedWithoutAWayBack) {
  const std::vector<std::string> alone = outputs_alone();
  std::set<std::string> with_summary = kEarlierNames;
  with_summary.insert("summary.csv");
  // A filesystem that makes no hard links says so with one of these: the run goes on.
  for (const char* error : {"EPERM", "EXDEV", "EMLINK", "ENOTSUP", "ENOSYS"}) {
    SCOPED_TRACE(error);
    write_earlier_files();
    fs::remove(work_ / "summary.csv");
    EXPECT_EQ(0, run(kArgs, with_faults(std::string("link:1:0:") + error))) << console_;
    expect_outputs_of(work_, alone, with_summary);
  }
  // A hidden name that is taken is passed over for the next.
  write_earlier_files();
  fs::remove(work_ / "summary.csv");
  EXPECT_EQ(0, run(kArgs, with_faults("link:1:99:EEXIST"))) << console_;
  expect_outputs_of(work_, alone, with_summary);
  // Any other failure, or every name taken, replaces nothing.
  const struct {
    std::string faults;
    std::string message;
  } failures[] = {
      {"link:1:100:EEXIST",
       "tpjconv: cannot keep the old out.dat until the new one is in place: every hidden name "
       "for it is taken; no file was replaced\n"},
      {"link:2:1:EIO",
       "tpjconv: cannot keep the old check.log until the new one is in place: Input/output "
       "error; no file was replaced\n"},
  };
  for (const auto& [faults, message] : failures) {
    SCOPED_TRACE(faults);
    write_earlier_files();
    fs::remove(work_ / "summary.csv");
    EXPECT_EQ(1, run(kArgs, with_faults(faults)));
    EXPECT_TRUE(console_.ends_with(message)) << console_;
    expect_earlier_files_kept();
    EXPECT_EQ(kEarlierNames, names());
  }
}

TEST_F(OutputFiles, AFilesystemWithoutLocksIsNoFailureAnyOtherLockErrorIs) {
  const std::vector<std::string> alone = outputs_alone();
  std::set<std::string> with_summary = kEarlierNames;
  with_summary.insert("summary.csv");
  for (const char* error : {"ENOLCK", "EOPNOTSUPP", "EINVAL"}) {
    SCOPED_TRACE(error);
    write_earlier_files();
    fs::remove(work_ / "summary.csv");
    EXPECT_EQ(0, run(kArgs, with_faults(std::string("flock:1:1:") + error))) << console_;
    expect_outputs_of(work_, alone, with_summary);
  }
  write_earlier_files();
  fs::remove(work_ / "summary.csv");
  EXPECT_EQ(1, run(kArgs, with_faults("flock:1:1:EIO")));
  EXPECT_TRUE(console_.ends_with("tpjconv: cannot lock the current directory: Input/output "
                                 "error; no file was replaced\n"))
      << console_;
  expect_earlier_files_kept();
  EXPECT_EQ(kEarlierNames, names());
}

TEST_F(OutputFiles, ALeftoverIsKeptWhenItCannotBeRemovedOrItsRunCannotBeTold) {
  write_earlier_files();
  const pid_t ended = fork();
  if (ended == 0) _exit(0);
  waitpid(ended, nullptr, 0);
  const std::string leftover =
      ".out.dat.tpjconv-" + host_part() + "-" + std::to_string(ended) + "-0";
  const std::vector<std::string> args(kArgs.begin(), kArgs.begin() + 9);
  std::set<std::string> expected = kEarlierNames;
  expected.insert(leftover);
  const struct {
    std::string faults;
    std::string notice;  // empty: none about the leftover
  } cases[] = {
      {"unlink:1:1:EIO", "tpjconv: cannot remove " + leftover +
                             ", left by an interrupted run: Input/output error\n"},
      // Removed meanwhile by another run.
      {"unlink:1:1:ENOENT", ""},
      // A process of that number that this user may not signal still runs.
      {"kill:1:1:EPERM", ""},
      // Without the host name a file of this machine cannot be told from another's.
      {"gethostname:1", ""},
  };
  for (const auto& [faults, notice] : cases) {
    SCOPED_TRACE(faults);
    write(leftover, "left behind\n");
    EXPECT_EQ(0, run(args, with_faults(faults))) << console_;
    if (notice.empty()) {
      EXPECT_EQ(std::string::npos, console_.find("left by an interrupted run")) << console_;
    } else {
      EXPECT_NE(std::string::npos, console_.find(notice)) << console_;
    }
    EXPECT_EQ("left behind\n", read_file(work_ / leftover));
    EXPECT_EQ(expected, names());
  }
  EXPECT_EQ(0, run(args, streams())) << console_;
  EXPECT_EQ(kEarlierNames, names());
}

// Starts a run that its faults stop (SIGSTOP), calls `meanwhile(pid)`, lets the run go on; its
// status. A run that ends instead of stopping fails the test.
template <typename Meanwhile>
int run_stopped(const fs::path& work, const std::vector<std::string>& args, ToolStreams s,
                Meanwhile meanwhile) {
  const int pid = start_tool(work, args, s);
  int status = 0;
  EXPECT_EQ(pid, waitpid(pid, &status, WUNTRACED));
  if (!WIFSTOPPED(status)) {
    ADD_FAILURE() << "the run did not stop: " << read_file(s.err);
    return WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
  }
  meanwhile(pid);
  ::kill(pid, SIGCONT);
  return wait_tool(pid);
}

TEST_F(OutputFiles, HiddenNamesCarryTheHostNameInLettersDigitsAndDotsDashesUnderscores) {
  write_earlier_files();
  const std::vector<std::string> args(kArgs.begin(), kArgs.begin() + 9);
  const struct {
    std::string host;  // empty: gethostname fails
    std::string part;
  } hosts[] = {
      {"Ab9 .-_:~/\xc3\xa9" + std::string(60, 'x'), "Ab9_.-______" + std::string(52, 'x')},
      {"", "unknown"},
  };
  const std::vector<std::string> alone = outputs_alone();
  for (const auto& [host, part] : hosts) {
    SCOPED_TRACE(part);
    // Stopped at its first rename: its new files are there under their hidden names.
    ToolStreams s = with_faults(host.empty() ? "gethostname:1,rename:1:1:SIGSTOP"
                                             : "rename:1:1:SIGSTOP");
    if (!host.empty()) s.environment.push_back("TPJCONV_HOST_NAME=" + host);
    std::set<std::string> seen, expected = kEarlierNames;
    EXPECT_EQ(0, run_stopped(work_, args, s, [&](int pid) {
      // The new files, and the second names of the old ones, all made before the first rename.
      const std::string tail = part + "-" + std::to_string(pid) + "-0";
      for (const auto& name : kEarlier) {
        expected.insert("." + name + ".tpjconv-" + tail);
        expected.insert("." + name + ".tpjconv-before-" + tail);
      }
      seen = names();
    }));
    EXPECT_EQ(expected, seen);
    EXPECT_EQ(kEarlierNames, names());
    EXPECT_EQ(alone[0], read_file(work_ / "out.dat"));
    write_earlier_files();
  }
}

TEST_F(OutputFiles, AnOutputThatNamesADirectoryIsRefused) {
  write_earlier_files();
  fs::create_directories(work_ / "sub");
  const std::vector<std::string> base(kArgs.begin(), kArgs.begin() + 9);
  std::vector<std::string> output = base, check_log = base, summary = kArgs;
  output[3] = "sub";
  check_log[7] = "sub/";
  summary[10] = "sub";
  const struct {
    std::vector<std::string> args;
    std::string message;
  } cases[] = {
      {output, "Unable to open outputfile\ntpjconv: sub: is a directory\n"},
      {check_log, "tpjconv: cannot create CHECKLOG sub/: is a directory; nothing written\n"},
      {summary, "tpjconv: cannot create SUMMARY sub: is a directory\n"},
  };
  for (const auto& [args, message] : cases) {
    SCOPED_TRACE(message);
    EXPECT_EQ(1, run(args, streams()));
    EXPECT_TRUE(console_.ends_with(message)) << console_;
    expect_earlier_files_kept();
    std::set<std::string> expected = kEarlierNames;
    expected.insert("sub");
    EXPECT_EQ(expected, names());
    EXPECT_TRUE(fs::is_empty(work_ / "sub"));
  }
}

TEST_F(OutputFiles, AFileItsOwnerMadeReadOnlyIsNotReplaced) {
  write_earlier_files();
  ASSERT_EQ(0, ::chown((work_ / "out.dat").c_str(), other_user_id(), other_group_id()));
  ASSERT_EQ(0, ::chmod((work_ / "out.dat").c_str(), 0444));
  fs::permissions(work_, fs::perms(0777));
  ToolStreams s = streams();
  s.as_other_user = true;
  const std::vector<std::string> args(kArgs.begin(), kArgs.begin() + 9);
  EXPECT_EQ(1, run(args, s));
  EXPECT_TRUE(console_.ends_with("Unable to open outputfile\ntpjconv: out.dat: Permission "
                                 "denied\n"))
      << console_;
  expect_earlier_files_kept();
  EXPECT_EQ(kEarlierNames, names());
  EXPECT_EQ(0444u, status_of(work_ / "out.dat").st_mode & 07777);
}

TEST_F(OutputFiles, ACheckLogOnAStandardOutputThatCannotBeWrittenReplacesNothing) {
  write_earlier_files();
  EXPECT_EQ(1, run({"-y", "in.dat", "none", "out.dat", "0.3", "0.3", "0.3"},
                   {"/dev/null", "/dev/full", root_ / "stderr"}));
  EXPECT_TRUE(console_.ends_with("tpjconv: cannot write standard output: No space left on "
                                 "device\n"))
      << console_;
  expect_earlier_files_kept();
  EXPECT_EQ(kEarlierNames, names());
}

// A file in a directory this user may not write, written where it stands: its new content is
// made in the temporary directory.
class InTemporaryDirectory : public OutputFiles {
 protected:
  void SetUp() override {
    OutputFiles::SetUp();
    fs::create_directories(work_ / "ro");
    write("ro/out.dat", "from the run before: out.dat\n");
    fs::permissions(work_ / "ro/out.dat", fs::perms(0666));
    fs::permissions(work_ / "ro", fs::perms(0555));
    fs::permissions(work_, fs::perms(0777));
    fs::create_directories(root_ / "tmp");
    fs::permissions(root_ / "tmp", fs::perms(0777));
  }
  void TearDown() override {
    fs::permissions(work_ / "ro", fs::perms(0755));
    OutputFiles::TearDown();
  }
  ToolStreams as_user(ToolStreams s, const std::string& tmpdir) const {
    s.as_other_user = true;
    s.environment.push_back("TMPDIR=" + tmpdir);
    return s;
  }
  std::set<std::string> in_tmp() const {
    std::set<std::string> found;
    for (const auto& entry : fs::directory_iterator(root_ / "tmp")) {
      found.insert(entry.path().filename().string());
    }
    return found;
  }
  const std::vector<std::string> args_ = {"-y",  "in.dat",    "none",      "ro/out.dat", "0.3",
                                          "0.3", "0.3",       "check.log", "report.txt"};
};

TEST_F(InTemporaryDirectory, TheNewContentIsMadeInTmpdirOrTmpAndWrittenOverTheFile) {
  const std::string tmp = (root_ / "tmp").string();
  const std::string alone = outputs_alone()[0];
  const ino_t inode = status_of(work_ / "ro/out.dat").st_ino;
  // Stopped once the old content is copied: both files are seen where they were made, and are
  // gone when the run has ended.
  for (const std::string& tmpdir : {tmp + "/", std::string("relative/tmp")}) {
    SCOPED_TRACE(tmpdir);
    std::ofstream(work_ / "ro/out.dat", std::ios::binary) << "from the run before: out.dat\n";
    const fs::path where = tmpdir.starts_with("/") ? fs::path(tmp) : fs::path("/tmp");
    std::vector<fs::path> made;
    EXPECT_EQ(0, run_stopped(work_, args_, as_user(with_faults("ftruncate:1:1:SIGSTOP"), tmpdir),
                             [&](int pid) {
                               const std::string tail =
                                   host_part() + "-" + std::to_string(pid) + "-0";
                               made = {where / (".out.dat.tpjconv-" + tail),
                                       where / (".out.dat.tpjconv-before-" + tail)};
                               for (const auto& path : made) {
                                 EXPECT_TRUE(fs::exists(path)) << path;
                               }
                               EXPECT_EQ("from the run before: out.dat\n",
                                         read_file(work_ / "ro/out.dat"));
                             }))
        << read_file(root_ / "stderr");
    for (const auto& path : made) EXPECT_FALSE(fs::exists(path)) << path;
    EXPECT_EQ(alone, read_file(work_ / "ro/out.dat"));
    EXPECT_EQ(inode, status_of(work_ / "ro/out.dat").st_ino);
    EXPECT_EQ(std::set<std::string>{}, in_tmp());
    EXPECT_EQ((std::set<std::string>{"check.log", "in.dat", "report.txt", "ro"}), names());
  }
}

TEST_F(InTemporaryDirectory, ANewContentThatCannotBeMadeThereWritesNothing) {
  const struct {
    std::string faults;
    std::string reason;
  } failures[] = {
      {"create:1:1:ENOSPC", "No space left on device"},
      {"create:1:100:EEXIST", "all 100 hidden names for it are taken"},
  };
  for (const auto& [faults, reason] : failures) {
    SCOPED_TRACE(faults);
    EXPECT_EQ(1, run(args_, as_user(with_faults(faults), (root_ / "tmp").string())));
    EXPECT_TRUE(console_.ends_with("Unable to open outputfile\ntpjconv: cannot create a new file "
                                   "for ro/out.dat in the temporary directory: " +
                                   reason + "; nothing written\n"))
        << console_;
    EXPECT_EQ("from the run before: out.dat\n", read_file(work_ / "ro/out.dat"));
    EXPECT_EQ((std::set<std::string>{"in.dat", "ro"}), names());
    EXPECT_EQ(std::set<std::string>{}, in_tmp());
  }
}

TEST_F(InPlace, AFileRemovedBeforeTheRunLocksItIsNotWrittenAndNothingIsReplaced) {
  const std::vector<std::string> args(kArgs.begin(), kArgs.begin() + 9);
  // Stopped at the lock of the directory, after out.dat was opened to be written over.
  const int status = run_stopped(work_, args, with_faults("flock:1:1:SIGSTOP"),
                                 [&](int) { fs::remove(work_ / "out.dat"); });
  EXPECT_EQ(1, status);
  console_ = read_file(root_ / "stderr");
  EXPECT_TRUE(console_.ends_with("tpjconv: cannot write out.dat: No such file or directory; no "
                                 "file was replaced\n"))
      << console_;
  EXPECT_EQ("from the run before: out.dat\n", read_file(work_ / "out.link"));
  EXPECT_EQ("from the run before: check.log\n", read_file(work_ / "check.log"));
  EXPECT_EQ("from the run before: report.txt\n", read_file(work_ / "report.txt"));
  EXPECT_EQ((std::set<std::string>{"in.dat", "out.link", "check.log", "report.txt"}), names());
}

TEST_F(InPlace, AFileWhoseOldContentCannotBeReadIsSaidToBeDamagedWhenTheRunFails) {
  ASSERT_EQ(0, ::chmod((work_ / "out.dat").c_str(), 0222));
  const std::vector<std::string> args(kArgs.begin(), kArgs.begin() + 9);
  // No copy of the old content: the cut after the new content was written fails.
  EXPECT_EQ(1, run(args, as_user(with_faults("ftruncate:1:1:EIO"))));
  EXPECT_TRUE(console_.ends_with("tpjconv: cannot write out.dat: Input/output error; left "
                                 "damaged: out.dat (its earlier content could not be read)\n"))
      << console_;
  EXPECT_EQ("from the run before: check.log\n", read_file(work_ / "check.log"));
  EXPECT_EQ("from the run before: report.txt\n", read_file(work_ / "report.txt"));
  EXPECT_EQ(earlier_names(), names());
  // Without a fault it is written over, its links kept.
  EXPECT_EQ(0, run(args, as_user(streams()))) << console_;
  ASSERT_EQ(0, ::chmod((work_ / "out.dat").c_str(), 0644));
  EXPECT_EQ(outputs_alone()[0], read_file(work_ / "out.dat"));
  EXPECT_EQ(status_of(work_ / "out.dat").st_ino, status_of(work_ / "out.link").st_ino);
  EXPECT_EQ(earlier_names(), names());
}

TEST_F(InTemporaryDirectory, AFileMadeInTheDirectoryWhileTheRunStartsIsWrittenWhereItStands) {
  fs::permissions(work_ / "ro", fs::perms(0755));
  fs::remove(work_ / "ro/out.dat");
  fs::permissions(work_ / "ro", fs::perms(0555));
  std::vector<std::string> args = args_;
  // Another process makes ro/out.dat while the run looks for leftovers beside check.log: after
  // the run found it missing, before it opens it.
  const auto make_it = [&](int) {
    fs::permissions(work_ / "ro", fs::perms(0755));
    write("ro/out.dat", std::string(5000, 'x'));
    fs::permissions(work_ / "ro/out.dat", fs::perms(0666));
    fs::permissions(work_ / "ro", fs::perms(0555));
  };
  const std::string tmp = (root_ / "tmp").string();
  // The file cannot be emptied: nothing is written.
  EXPECT_EQ(1, run_stopped(work_, args,
                           as_user(with_faults("opendir:1:1:SIGSTOP,ftruncate:1:1:EIO"), tmp),
                           make_it));
  console_ = read_file(root_ / "stderr");
  EXPECT_TRUE(console_.ends_with("tpjconv: cannot write ro/out.dat: Input/output error\n"))
      << console_;
  EXPECT_EQ(std::string(5000, 'x'), read_file(work_ / "ro/out.dat"));
  EXPECT_EQ((std::set<std::string>{"in.dat", "ro"}), names());
  fs::permissions(work_ / "ro", fs::perms(0755));
  fs::remove(work_ / "ro/out.dat");
  fs::permissions(work_ / "ro", fs::perms(0555));
  EXPECT_EQ(0, run_stopped(work_, args, as_user(with_faults("opendir:1:1:SIGSTOP"), tmp),
                           make_it))
      << read_file(root_ / "stderr");
  EXPECT_EQ(outputs_alone()[0], read_file(work_ / "ro/out.dat"));
  EXPECT_EQ(std::set<std::string>{}, in_tmp());
}

TEST_F(InPlace, EveryHiddenNameForTheOldContentTakenReplacesNothing) {
  const std::vector<std::string> args(kArgs.begin(), kArgs.begin() + 9);
  // The fourth new file: after the new out.dat, check.log and report.txt, the copy of out.dat.
  EXPECT_EQ(1, run(args, with_faults("create:4:100:EEXIST")));
  EXPECT_TRUE(console_.ends_with("tpjconv: cannot keep a copy of out.dat before writing it over: "
                                 "every hidden name for it is taken; no file was replaced\n"))
      << console_;
  expect_earlier_files_kept();
  EXPECT_EQ(earlier_names(), names());
  EXPECT_EQ(0, run(args, with_faults("create:4:99:EEXIST"))) << console_;
  EXPECT_EQ(outputs_alone()[0], read_file(work_ / "out.link"));
  EXPECT_EQ(earlier_names(), names());
}

TEST_F(OutputFiles, AFailedRenameBackIsNamedAndTheRestIsPutBack) {
  write_earlier_files();
  // From the third rename (check.log) on, every rename fails: out.dat cannot get its old file
  // back, the new summary.csv is removed.
  EXPECT_EQ(1, run(kArgs, with_faults("rename:3:0:EBUSY")));
  // The old out.dat is not lost: its hidden second name stays, and the message names it.
  const std::string said = "tpjconv: cannot replace check.log: Device or resource busy; "
                           "replaced all the same, and not put back: out.dat (its earlier "
                           "content is kept in ";
  const std::size_t at = console_.find(said);
  ASSERT_NE(std::string::npos, at) << console_;
  const std::size_t from = at + said.size();
  ASSERT_TRUE(console_.ends_with(")\n")) << console_;
  const std::string kept = console_.substr(from, console_.size() - 2 - from);
  EXPECT_EQ("from the run before: out.dat\n", read_file(work_ / kept)) << kept;
  EXPECT_EQ(outputs_alone()[0], read_file(work_ / "out.dat"));
  EXPECT_EQ("from the run before: check.log\n", read_file(work_ / "check.log"));
  EXPECT_EQ("from the run before: report.txt\n", read_file(work_ / "report.txt"));
  std::set<std::string> expected = kEarlierNames;
  expected.insert(fs::path(kept).filename().string());
  EXPECT_EQ(expected, names());
}

TEST_F(OutputFiles, AChainOfSymbolicLinksLeadsToTheFileReplaced) {
  write_earlier_files();
  fs::create_directories(work_ / "a");
  write("a/real.dat", "from the run before: real.dat\n");
  // out.dat names a link by its absolute path, whose text names the file beside it.
  fs::remove(work_ / "out.dat");
  fs::create_symlink(work_ / "a/mid.lnk", work_ / "out.dat");
  fs::create_symlink("real.dat", work_ / "a/mid.lnk");
  const ino_t inode = status_of(work_ / "a/real.dat").st_ino;
  const std::vector<std::string> args(kArgs.begin(), kArgs.begin() + 9);
  EXPECT_EQ(0, run(args, streams())) << console_;
  EXPECT_EQ(outputs_alone()[0], read_file(work_ / "a/real.dat"));
  EXPECT_NE(inode, status_of(work_ / "a/real.dat").st_ino) << "written in place, not replaced";
  EXPECT_TRUE(fs::is_symlink(work_ / "out.dat"));
  EXPECT_TRUE(fs::is_symlink(work_ / "a/mid.lnk"));
  std::set<std::string> in_a;
  for (const auto& entry : fs::directory_iterator(work_ / "a")) {
    in_a.insert(entry.path().filename().string());
  }
  EXPECT_EQ((std::set<std::string>{"mid.lnk", "real.dat"}), in_a);
}

TEST_F(OutputFiles, AFileOfAGroupTheUserIsInIsReplacedOtherwiseWrittenWhereItStands) {
  if (geteuid() != 0) GTEST_SKIP() << "needs a file of another user's group: run as root";
  const unsigned group = 4242;
  const std::vector<std::string> args(kArgs.begin(), kArgs.begin() + 9);
  fs::permissions(work_, fs::perms(0777));
  for (const bool member : {true, false}) {
    SCOPED_TRACE(member);
    write_earlier_files();
    for (const auto& name : kEarlier) {
      ASSERT_EQ(0, ::chown((work_ / name).c_str(), other_user_id(), group));
      ASSERT_EQ(0, ::chmod((work_ / name).c_str(), 0664));
    }
    const ino_t inode = status_of(work_ / "out.dat").st_ino;
    ToolStreams s = streams();
    s.as_other_user = true;
    if (member) s.other_user_group = group;
    EXPECT_EQ(0, run(args, s)) << console_;
    EXPECT_EQ(outputs_alone()[0], read_file(work_ / "out.dat"));
    const struct stat info = status_of(work_ / "out.dat");
    EXPECT_EQ(member, info.st_ino != inode) << "a new file only for a member of the group";
    EXPECT_EQ(other_user_id(), info.st_uid);
    EXPECT_EQ(group, info.st_gid);
    EXPECT_EQ(0664u, info.st_mode & 07777);
    EXPECT_EQ(kEarlierNames, names());
  }
}

TEST_F(InPlace, ANewFileThatCannotBeRemovedIsNamed) {
  const std::vector<std::string> args(kArgs.begin(), kArgs.begin() + 9);
  // Every removal fails: the new content of out.dat, made beside it, and the copy of its old
  // content stay after a run that converted, and a failed one.
  for (const auto& [faults, status] :
       {std::pair<std::string, int>{"unlink:1:0:EIO", 0}, {"unlink:1:0:EIO,rename:1:1:EBUSY", 1}}) {
    SCOPED_TRACE(faults);
    EXPECT_EQ(status, run(args, with_faults(faults))) << console_;
    int left = 0;
    for (const auto& name : names()) {
      if (earlier_names().count(name) != 0) continue;
      ++left;
      EXPECT_NE(std::string::npos,
                console_.find("tpjconv: cannot remove " + name + ": Input/output error\n"))
          << name << "\n" << console_;
      fs::remove(work_ / name);
    }
    EXPECT_GT(left, 0);
    write_earlier_files();
  }
}

TEST_F(InPlace, ACopyOfTheOldContentThatCannotBeMadeReplacesNothing) {
  const std::vector<std::string> args(kArgs.begin(), kArgs.begin() + 9);
  // The old content is read from the start of out.dat and written at the start of its copy.
  for (const char* faults : {"lseek:1:1:EIO", "lseek:2:1:ESPIPE"}) {
    SCOPED_TRACE(faults);
    EXPECT_EQ(1, run(args, with_faults(faults)));
    EXPECT_TRUE(console_.ends_with("tpjconv: cannot keep a copy of out.dat before writing it over: " +
                                   std::string(faults[6] == '1' ? "Input/output error"
                                                                : "Illegal seek") +
                                   "; no file was replaced\n"))
        << console_;
    expect_earlier_files_kept();
    EXPECT_EQ(earlier_names(), names());
  }
}

}  // namespace
