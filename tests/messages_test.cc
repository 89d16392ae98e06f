// Whole runs of the built tool whose file names and arguments hold line ends and escape
// sequences: every message of the tool's own that shows one stays one line beginning with
// "tpjconv: ", with the name escaped, and no control character reaches the console.
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <filesystem>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "run_fixture.h"
#include "tool_process.h"

namespace fs = std::filesystem;

namespace {

using tpjconv::testing::read_file;
using tpjconv::testing::start_tool;
using tpjconv::testing::ToolStreams;
using tpjconv::testing::wait_tool;

// What a name holds (a line end, an escape sequence that clears the screen, a carriage return),
// and how the messages show it.
const std::string kOdd = "a\nb\x1b[2J\r";
const std::string kShown = "a\\nb\\x1b[2J\\r";

class Messages : public tpjconv::testing::RunDirectory {
 protected:
  Messages() : RunDirectory("tpjconv_messages_") {}

  // Runs the tool in work_; the console is kept in console_.
  int run(const std::vector<std::string>& args, const fs::path& in = "/dev/null") {
    const int status =
        wait_tool(start_tool(work_, args, ToolStreams{in, root_ / "stdout", root_ / "stderr"}));
    console_ = read_file(root_ / "stderr");
    return status;
  }

  // The console holds `line` as one whole line, and no control character but the line ends.
  void expect_line(const std::string& line) const {
    EXPECT_NE(std::string::npos, ("\n" + console_).find("\n" + line + "\n")) << console_;
    const auto control = std::find_if(console_.begin(), console_.end(), [](char c) {
      const auto u = static_cast<unsigned char>(c);
      return (u < 0x20 && c != '\n') || u == 0x7f;
    });
    EXPECT_TRUE(control == console_.end())
        << "control character " << int{static_cast<unsigned char>(*control)} << " in:\n"
        << console_;
  }

  std::string console_;
};

const std::string kRecord =
    "genrou 7 \"G7      \" 22.00 \"1 \" : #9 mva=100 4.0 0.02 0.4 0.05 3.0 0.0 1.8 1.7 0.9 0.5 "
    "0.25 0.2 0.1 0.3 0.06 0.0 0.3\n";

std::vector<std::string> args_of(const std::string& input, const std::string& bus_file,
                                 const std::string& output = "out.dat",
                                 const std::string& check_log = "check.log",
                                 const std::string& report = "report.txt") {
  return {"-y", input, bus_file, output, "0.3", "0.3", "0.3", check_log, report};
}

TEST_F(Messages, FilesThatCannotBeOpenedOrCreatedAreNamedEscaped) {
  write("in.dat", kRecord);
  EXPECT_EQ(1, run(args_of("no" + kOdd + ".dat", "none")));
  expect_line("tpjconv: no" + kShown + ".dat: No such file or directory");

  EXPECT_EQ(1, run(args_of("in.dat", "bus" + kOdd + ".txt")));
  expect_line("tpjconv: bus" + kShown + ".txt: No such file or directory");

  EXPECT_EQ(1, run(args_of("in.dat", "none", "/nonexistent/o" + kOdd)));
  expect_line("tpjconv: /nonexistent/o" + kShown + ": No such file or directory");

  EXPECT_EQ(1, run(args_of("in.dat", "none", "out.dat", "/nonexistent/c" + kOdd)));
  expect_line("tpjconv: cannot create CHECKLOG /nonexistent/c" + kShown +
              ": No such file or directory; nothing written");

  EXPECT_EQ(1, run(args_of("in.dat", "none", "o" + kOdd, "check.log", "o" + kOdd)));
  expect_line("tpjconv: REPORT o" + kShown + " is the same file as OUTPUT o" + kShown +
              "; nothing written");

  // The input is the file behind standard input, and there is no --yes to answer the prompt.
  fs::create_symlink(work_ / "in.dat", work_ / ("s" + kOdd));
  std::vector<std::string> args = args_of("s" + kOdd, "none");
  args.erase(args.begin());
  EXPECT_EQ(2, run(args, work_ / "in.dat"));
  expect_line("tpjconv: INPUT s" + kShown +
              " is standard input, which cannot also answer the prompt; use --yes to confirm");
  EXPECT_FALSE(fs::exists(work_ / "out.dat"));
}

TEST_F(Messages, WarningsAndArgumentsAreShownEscaped) {
  write("in" + kOdd + ".dat",
        "genrou 7 \"G7      \" 22.00 \"1 \" : #9 mva=100 4.0abc 0.02 0.4 0.05 3.0 0.0 1.8 1.7 "
        "0.9 0.5 0.25 0.2 0.1 0.3 0.06 0.0 0.3\n");
  write("b" + kOdd + ".bus", "heading\n7 \"1 \" 0 0.3x G7\n8 \"1 \" 0 0.3 G8\n");
  EXPECT_EQ(0, run(args_of("in" + kOdd + ".dat", "b" + kOdd + ".bus")));
  expect_line("tpjconv: b" + kShown + ".bus:2: Kis \"0.3x\" is not wholly a number; 0.3 used");
  expect_line("tpjconv: in" + kShown +
              ".dat:1: genrou record at bus 7, unit ID \"1 \": tpdo \"4.0abc\" is not wholly a "
              "number; 4 used");
  expect_line("tpjconv: b" + kShown + ".bus:3: bus 8 unit ID \"1 \" matched no record");

  write("n" + kOdd + ".bus", "heading\n8\n");
  EXPECT_EQ(0, run(args_of("in" + kOdd + ".dat", "n" + kOdd + ".bus")));
  expect_line("tpjconv: BUSFILE n" + kShown + ".bus lists no generator: no record is converted");

  EXPECT_EQ(0, run(args_of("in" + kOdd + ".dat", "none" + kOdd)));
  expect_line("tpjconv: BUSFILE none" + kShown + " begins with \"none\": the file is not read");

  EXPECT_EQ(2, run({"--bad" + kOdd}));
  expect_line("tpjconv: unknown option '--bad" + kShown + "'");
}

TEST_F(Messages, FilesLeftByEndedRunsAreNamedEscapedWhenRemoved) {
  write("in.dat", kRecord);
  const pid_t ended = fork();
  if (ended == 0) _exit(0);
  waitpid(ended, nullptr, 0);
  char host[256] = {};
  gethostname(host, sizeof host - 1);
  std::string part = std::string(host).substr(0, 64);
  for (char& c : part) {
    if (!std::isalnum(static_cast<unsigned char>(c)) && c != '.' && c != '-' && c != '_') c = '_';
  }
  const std::string left = ".o" + kOdd + ".tpjconv-" + part + "-" + std::to_string(ended) + "-0";
  write(left, "left behind\n");
  EXPECT_EQ(0, run(args_of("in.dat", "none", "o" + kOdd)));
  expect_line("tpjconv: removed .o" + kShown + ".tpjconv-" + part + "-" +
              std::to_string(ended) + "-0, left by an interrupted run");
  EXPECT_FALSE(fs::exists(work_ / left));
}

}  // namespace
