// Whole runs with a fault put between the run and one of its files: a read that fails in the
// middle of the input or the bus numbers file, a write that fails after several megabytes, a
// close that fails. Each must end with status 1 and its message, and leave the files of the run
// before exactly as they were, with no new file beside them.
#include <algorithm>
#include <cerrno>
#include <filesystem>
#include <fstream>
#include <memory>
#include <set>
#include <string>
#include <thread>

#include <gtest/gtest.h>

#include "cli/build_tuning.h"
#include "cli/run.h"
#include "run_fixture.h"
#include "same_bytes.h"
#include "tool_process.h"
#include "watchdog.h"

namespace fs = std::filesystem;

namespace tpjconv {
namespace {

using testing::read_file;

// Hands on the bytes of `inner` until `limit` bytes have passed, then fails with `error`.
class FailingSource : public ByteSource {
 public:
  FailingSource(ByteSource& inner, std::size_t limit, int error)
      : inner_(inner), limit_(limit), error_(error) {}
  IoResult read(char* buffer, std::size_t size) override {
    if (done_ >= limit_) return {0, error_};
    const IoResult result = inner_.read(buffer, std::min(size, limit_ - done_));
    done_ += result.bytes;
    return result;
  }

 private:
  ByteSource& inner_;
  std::size_t limit_;
  int error_;
  std::size_t done_ = 0;
};

// What a FailingSink saw: the thread of the write that failed, and whether anything was written
// after it.
struct WritesSeen {
  std::thread::id failed_on;
  int after_failure = 0;
};

// Writes through to `inner` until `limit` bytes have passed, then fails with `error`; its close
// fails with `close_error` (0: closes as `inner` does).
class FailingSink : public ByteSink {
 public:
  FailingSink(ByteSink& inner, std::size_t limit, int error, int close_error,
              WritesSeen* seen = nullptr)
      : inner_(inner), limit_(limit), error_(error), close_error_(close_error), seen_(seen) {}
  IoResult write(const char* data, std::size_t size) override {
    if (failed_ && seen_ != nullptr) ++seen_->after_failure;
    const std::size_t room = limit_ - std::min(limit_, done_);
    const IoResult result = inner_.write(data, std::min(size, room));
    done_ += result.bytes;
    if (result.error == 0 && size > room) {
      failed_ = true;
      if (seen_ != nullptr) seen_->failed_on = std::this_thread::get_id();
      return {result.bytes, error_};
    }
    return result;
  }
  int close() override {
    const int error = inner_.close();
    return close_error_ != 0 ? close_error_ : error;
  }

 private:
  ByteSink& inner_;
  std::size_t limit_;
  int error_;
  int close_error_;
  WritesSeen* seen_;
  std::size_t done_ = 0;
  bool failed_ = false;
};

// Standard input that answers nothing: the runs here never ask.
class NoInput : public ByteSource {
 public:
  IoResult read(char*, std::size_t) override { return {0, 0}; }
};

// A directory with the three files of an earlier run and a bus numbers file, and an input of
// about `megabytes` of generator records, most with findings.
class FaultsTest : public testing::RunDirectory {
 protected:
  FaultsTest() : RunDirectory("tpjconv_faults_") {}

  void SetUp() override {
    RunDirectory::SetUp();
    write_earlier_files();
    write("bus.txt", "bus id level kis name\n" + std::string(20000, '\n') + "7 \"1 \" 0 0.3 G7\n");
  }

  void write_input(int megabytes) { write_records("in.dat", static_cast<std::size_t>(megabytes)); }

  // Runs the tool on the directory's files with the hooks given; returns the status.
  int run_with(const FileHooks& hooks, const std::string& bus = "none") {
    const testing::Watchdog watchdog("a run of the tool in FaultsTest");
    NoInput in;
    Sink out, err;
    Console console{in, out, err};
    const int status = run({"--yes", path("in.dat"), bus == "none" ? bus : path(bus.c_str()),
                            path("out.dat"), "0.3", "0.3", "0.3", path("check.log"),
                            path("report.txt")},
                           console, hooks, build_tuning());
    console_ = err.text();
    return status;
  }

  // The files of the earlier run are as they were, and nothing else is there.
  void expect_earlier_files_only() {
    expect_earlier_files_kept();
    EXPECT_EQ((std::set<std::string>{"bus.txt", "check.log", "in.dat", "out.dat", "report.txt"}),
              names());
  }

  // Hooks that put `make(file)` before the output named `failing`, and leave the rest alone.
  template <typename Make>
  FileHooks failing_output(const char* failing, Make make) {
    FileHooks hooks;
    hooks.writing = [this, failing, make](const std::string& name,
                                          ByteSink& file) -> std::unique_ptr<ByteSink> {
      if (name != path(failing)) return nullptr;
      return make(file);
    };
    return hooks;
  }

  bool console_ends_with(const std::string& tail) const { return console_.ends_with(tail); }

  std::string console_;
};

TEST_F(FaultsTest, AReadErrorInTheMiddleOfTheInputKeepsTheEarlierFiles) {
  write_input(3);
  FileHooks hooks;
  hooks.reading = [&](const std::string& name, ByteSource& file) -> std::unique_ptr<ByteSource> {
    if (name != path("in.dat")) return nullptr;
    return std::make_unique<FailingSource>(file, 1500000, EIO);
  };
  EXPECT_EQ(1, run_with(hooks));
  EXPECT_TRUE(console_ends_with("tpjconv: cannot read " + path("in.dat") +
                                ": Input/output error\n"))
      << console_;
  expect_earlier_files_only();
}

TEST_F(FaultsTest, AReadErrorInTheBusNumbersFileStopsBeforeAnyRecord) {
  write_input(1);
  FileHooks hooks;
  hooks.reading = [&](const std::string& name, ByteSource& file) -> std::unique_ptr<ByteSource> {
    if (name != path("bus.txt")) return nullptr;
    return std::make_unique<FailingSource>(file, 10000, EIO);
  };
  EXPECT_EQ(1, run_with(hooks, "bus.txt"));
  EXPECT_EQ("tpjconv: cannot read " + path("bus.txt") + ": Input/output error\n", console_);
  expect_earlier_files_only();
}

TEST_F(FaultsTest, AWriteErrorAfterSeveralMegabytesKeepsTheEarlierFiles) {
  write_input(6);
  for (const char* failing : {"out.dat", "check.log", "report.txt"}) {
    SCOPED_TRACE(failing);
    const FileHooks hooks = failing_output(failing, [&](ByteSink& file) {
      return std::make_unique<FailingSink>(file, 3u << 20, ENOSPC, 0);
    });
    EXPECT_EQ(1, run_with(hooks));
    EXPECT_TRUE(console_ends_with("tpjconv: cannot write " + path(failing) +
                                  ": No space left on device\n"))
        << console_;
    expect_earlier_files_only();
  }
}

// Large outputs are written on a thread of their own: a write that fails there is reported the
// same way, and nothing more is written to that file.
TEST_F(FaultsTest, AWriteErrorOnTheWriterThreadIsReportedAndEndsThatFile) {
  write_input(16);
  for (const char* failing : {"out.dat", "check.log", "report.txt"}) {
    SCOPED_TRACE(failing);
    WritesSeen seen;
    const FileHooks hooks = failing_output(failing, [&](ByteSink& file) {
      return std::make_unique<FailingSink>(file, 12u << 20, ENOSPC, 0, &seen);
    });
    EXPECT_EQ(1, run_with(hooks));
    EXPECT_TRUE(console_ends_with("tpjconv: cannot write " + path(failing) +
                                  ": No space left on device\n"))
        << console_;
    EXPECT_NE(std::thread::id(), seen.failed_on);
    EXPECT_NE(std::this_thread::get_id(), seen.failed_on);
    EXPECT_EQ(0, seen.after_failure);
    expect_earlier_files_only();
  }
}

TEST_F(FaultsTest, AFailedCloseKeepsTheEarlierFiles) {
  write_input(1);
  for (const char* failing : {"out.dat", "check.log", "report.txt"}) {
    SCOPED_TRACE(failing);
    const FileHooks hooks = failing_output(failing, [&](ByteSink& file) {
      return std::make_unique<FailingSink>(file, std::size_t(-1), 0, EIO);
    });
    EXPECT_EQ(1, run_with(hooks));
    EXPECT_TRUE(console_ends_with("tpjconv: cannot write " + path(failing) +
                                  ": Input/output error\n"))
        << console_;
    expect_earlier_files_only();
  }
}

TEST_F(FaultsTest, WithoutAFaultTheRunReplacesTheEarlierFiles) {
  write_input(1);
  // The stand-ins pass everything on: the run goes through them as through the files.
  FileHooks hooks;
  hooks.writing = [&](const std::string&, ByteSink& file) -> std::unique_ptr<ByteSink> {
    return std::make_unique<FailingSink>(file, std::size_t(-1), 0, 0);
  };
  EXPECT_EQ(0, run_with(hooks));
  const std::string input = read_file(work_ / "in.dat");
  const std::string output = read_file(work_ / "out.dat");
  // lpd 0.9 > 0.4 * ld 1.8 becomes 0.72, tppdo 0.02 < tcmin becomes 0.025, ra 0.06 and xcomp 0.3
  // become 0.
  const std::string converted =
      "gentpj 7 \"G7      \" 22.00 \"1 \" : #9 mva=100.000   4.000 0.025 0.4000 0.0500  3.000 0.00 "
      "1.8000 1.7000 0.7200 0.5000 0.2500 0.2500 0.2000 0.1000 0.3000 0.0000  0.0000  0.0000  "
      "0.50 0.3000\n";
  const auto records = std::count(input.begin(), input.end(), '\n');
  std::string expected;
  for (long i = 0; i < records; ++i) expected += converted;
  EXPECT_TRUE(expected == output) << output.substr(0, 400);
}

}  // namespace
}  // namespace tpjconv
