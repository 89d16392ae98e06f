// What the whole-run tests share: a directory of their own with the files of an earlier run, and
// a record whose findings make the outputs larger than the input.
#pragma once

#include <filesystem>
#include <fstream>
#include <set>
#include <string>
#include <string_view>
#include <vector>

#include <gtest/gtest.h>

#include "same_bytes.h"
#include "tool_process.h"

namespace tpjconv::testing {

// A genrou record with findings at check level 0: its converted line, check-log lines and report
// block make the outputs larger than the input.
inline constexpr std::string_view kFindingsRecord =
    "genrou 7 \"G7      \" 22.00 \"1 \" : #9 mva=100 4.0 0.02 0.4 0.05 3.0 0.0 1.8 1.7 0.9 0.5 "
    "0.25 0.2 0.1 0.3 0.06 0.0 0.3\n";

// The files an earlier run left, each holding "from the run before: NAME".
inline const std::vector<std::string> kEarlierFiles = {"out.dat", "check.log", "report.txt"};

// A test with a directory of its own, root_, and work_ inside it where the run works; removed
// when the test passed.
class RunDirectory : public ::testing::Test {
 protected:
  explicit RunDirectory(const std::string& prefix) : prefix_(prefix) {}

  void SetUp() override {
    root_ = std::filesystem::temp_directory_path() /
            (prefix_ + std::to_string(::testing::UnitTest::GetInstance()->random_seed()) + "_" +
             std::to_string(::getpid()) + "_" +
             ::testing::UnitTest::GetInstance()->current_test_info()->name());
    std::filesystem::remove_all(root_);
    work_ = root_ / "work";
    std::filesystem::create_directories(work_);
  }
  void TearDown() override {
    if (!HasFailure()) std::filesystem::remove_all(root_);
  }

  void write(const std::string& name, std::string_view text) {
    std::ofstream(work_ / name, std::ios::binary) << text;
  }
  std::string path(const std::string& name) const { return (work_ / name).string(); }

  // About `megabytes` of the findings record.
  void write_records(const std::string& name, std::size_t megabytes) {
    std::ofstream out(work_ / name, std::ios::binary);
    std::string block;
    for (int i = 0; i < 1000; ++i) block += kFindingsRecord;
    for (std::size_t done = 0; done < megabytes << 20; done += block.size()) out << block;
  }

  void write_earlier_files() {
    for (const auto& name : kEarlierFiles) write(name, "from the run before: " + name + "\n");
  }
  void expect_earlier_files_kept() {
    for (const auto& name : kEarlierFiles) {
      EXPECT_TRUE(same_bytes("from the run before: " + name + "\n", read_file(work_ / name)))
          << name;
    }
  }
  // The names in work_.
  std::set<std::string> names() const {
    std::set<std::string> found;
    for (const auto& entry : std::filesystem::directory_iterator(work_)) {
      found.insert(entry.path().filename().string());
    }
    return found;
  }

  std::filesystem::path root_;
  std::filesystem::path work_;

 private:
  std::string prefix_;
};

}  // namespace tpjconv::testing
