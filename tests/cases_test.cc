// Runs every end-to-end case under tests/cases (see README.md there) and compares the files it
// leaves with the expected ones, byte for byte.
#include <unistd.h>

#include <algorithm>
#include <filesystem>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "same_bytes.h"
#include "tool_process.h"

namespace fs = std::filesystem;

namespace {

using tpjconv::testing::lines_of;
using tpjconv::testing::read_file;
using tpjconv::testing::run_tool;
using tpjconv::testing::same_bytes;

std::vector<std::string> case_names() {
  std::vector<std::string> names;
  if (!fs::is_directory(TPJCONV_CASES_DIR)) return names;
  for (const auto& entry : fs::directory_iterator(TPJCONV_CASES_DIR)) {
    if (fs::exists(entry.path() / "args")) names.push_back(entry.path().filename().string());
  }
  std::sort(names.begin(), names.end());
  return names;
}

class Case : public testing::TestWithParam<std::string> {};

TEST_P(Case, LeavesExactlyTheExpectedFiles) {
  const fs::path dir = fs::path(TPJCONV_CASES_DIR) / GetParam();
  const fs::path root = fs::temp_directory_path() / ("tpjconv_case_" + std::to_string(getpid()) +
                                                     "_" + GetParam());
  fs::remove_all(root);
  const fs::path work = root / "work";
  fs::create_directories(work);
  for (const auto& entry : fs::directory_iterator(dir)) {
    if (entry.path().filename() == "expected") continue;
    fs::copy(entry.path(), work / entry.path().filename(), fs::copy_options::recursive);
  }

  const fs::path stdin_path =
      fs::exists(dir / "stdin") ? dir / "stdin" : fs::path("/dev/null");
  const int status = run_tool(work, lines_of(read_file(dir / "args")), stdin_path,
                              root / "stdout", root / "stderr");

  for (const auto& entry : fs::directory_iterator(dir / "expected")) {
    const std::string name = entry.path().filename().string();
    const std::string expected = read_file(entry.path());
    if (name == "status") {
      EXPECT_EQ(std::stoi(expected), status) << "exit status";
      continue;
    }
    const fs::path written = name == "stdout" || name == "stderr" ? root / name : work / name;
    ASSERT_TRUE(fs::exists(written)) << name << " was not written";
    const std::string actual = read_file(written);
    // A diff for files of a case's size; only where they differ for a file that grew large.
    if (actual.size() < (64 << 10)) {
      EXPECT_EQ(expected, actual) << name;
    } else {
      EXPECT_TRUE(same_bytes(expected, actual)) << name;
    }
  }
  if (fs::exists(dir / "absent")) {
    for (const auto& name : lines_of(read_file(dir / "absent"))) {
      if (!name.empty()) {
        EXPECT_FALSE(fs::exists(work / name)) << name << " must not exist";
      }
    }
  }
  if (!HasFailure()) fs::remove_all(root);
}

INSTANTIATE_TEST_SUITE_P(Cases, Case, testing::ValuesIn(case_names()),
                         [](const testing::TestParamInfo<std::string>& info) {
                           std::string name = info.param;
                           for (char& c : name) {
                             if (!std::isalnum(static_cast<unsigned char>(c))) c = '_';
                           }
                           return name;
                         });
GTEST_ALLOW_UNINSTANTIATED_PARAMETERIZED_TEST(Case);

}  // namespace
