// Keeps the README honest: runs the bundled example the way the README's first command runs it,
// then checks that every excerpt the README marks with
//
//   <!-- excerpt: FILE -->
//   ```
//   ...lines...
//   ```
//
// appears verbatim, as whole lines, in FILE. FILE is written as in that command (examples/...,
// build/...), or is "standard error" for the console.
#include <filesystem>
#include <set>
#include <sstream>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "tool_process.h"

namespace fs = std::filesystem;

namespace {

using tpjconv::testing::lines_of;
using tpjconv::testing::read_file;
using tpjconv::testing::run_tool;

const fs::path kSourceDir = TPJCONV_SOURCE_DIR;
constexpr std::string_view kCommand = "./build/tpjconv ";
constexpr std::string_view kMarkerStart = "<!-- excerpt: ";
constexpr std::string_view kMarkerEnd = " -->";
constexpr std::string_view kConsole = "standard error";

struct Excerpt {
  std::size_t line;  // 1-based line of the marker in the README
  std::string file;  // as the README names it
  std::string text;  // the fenced lines, each with its line end
};

// The marked fenced blocks of the README, in order. A marker must be followed by a fence.
std::vector<Excerpt> excerpts_of(const std::vector<std::string>& readme) {
  std::vector<Excerpt> excerpts;
  for (std::size_t i = 0; i < readme.size(); ++i) {
    const std::string& line = readme[i];
    if (line.rfind(kMarkerStart, 0) != 0) continue;
    const std::size_t end = line.find(kMarkerEnd, kMarkerStart.size());
    Excerpt excerpt{i + 1, line.substr(kMarkerStart.size(), end - kMarkerStart.size()), ""};
    EXPECT_NE(end, std::string::npos) << "README line " << i + 1 << ": unterminated marker";
    std::size_t j = i + 1;
    while (j < readme.size() && readme[j].empty()) ++j;
    EXPECT_TRUE(j < readme.size() && readme[j].rfind("```", 0) == 0)
        << "README line " << i + 1 << ": the marker is not followed by a fenced block";
    for (++j; j < readme.size() && readme[j].rfind("```", 0) != 0; ++j) {
      excerpt.text += readme[j] + "\n";
    }
    EXPECT_LT(j, readme.size()) << "README line " << i + 1 << ": the fenced block is not closed";
    excerpts.push_back(excerpt);
    i = j;
  }
  return excerpts;
}

// The arguments of the README's first run of the tool: the words after "./build/tpjconv " on the
// first line that holds it, up to the line end or a shell "&&".
std::vector<std::string> readme_arguments(const std::vector<std::string>& readme) {
  for (const std::string& line : readme) {
    const std::size_t at = line.find(kCommand);
    if (at == std::string::npos) continue;
    std::vector<std::string> args;
    std::istringstream words(line.substr(at + kCommand.size()));
    for (std::string word; words >> word && word != "&&";) args.push_back(word);
    return args;
  }
  return {};
}

// Where a path of the README's command lives in this test: examples/ in the source tree, build/
// in the scratch directory of the run.
fs::path resolve(const std::string& name, const fs::path& scratch) {
  if (name.rfind("build/", 0) == 0) return scratch / name.substr(6);
  if (name.rfind("examples/", 0) == 0) return kSourceDir / name;
  return name;
}

// True when `excerpt` stands in `text` as whole lines.
bool contains_lines(const std::string& text, const std::string& excerpt) {
  for (std::size_t at = text.find(excerpt); at != std::string::npos;
       at = text.find(excerpt, at + 1)) {
    if (at == 0 || text[at - 1] == '\n') return true;
  }
  return false;
}

TEST(Readme, ExcerptsOfTheExampleAppearInTheFilesTheyComeFrom) {
  const std::vector<std::string> readme = lines_of(read_file(kSourceDir / "README.md"));
  ASSERT_FALSE(readme.empty()) << "README.md not found in " << kSourceDir;
  const std::vector<std::string> words = readme_arguments(readme);
  // The positional arguments, and the file of the --summary option.
  std::vector<std::string> names;
  std::string summary;
  for (std::size_t i = 0; i < words.size(); ++i) {
    if (words[i] == "--summary" && i + 1 < words.size()) {
      summary = words[++i];
    } else {
      names.push_back(words[i]);
    }
  }
  ASSERT_EQ(names.size(), 8u) << "the README's first command does not run the example with eight "
                                 "arguments";
  ASSERT_FALSE(summary.empty()) << "the README's first command writes no summary";

  const fs::path scratch =
      fs::temp_directory_path() / ("tpjconv_readme_" + std::to_string(getpid()));
  fs::remove_all(scratch);
  fs::create_directories(scratch);
  // Run from the source tree, as the README's command is, so that the console names the
  // example's files as it shows them; what the run writes goes to the scratch directory.
  const auto argument = [&](const std::string& name) {
    return name.rfind("build/", 0) == 0 ? resolve(name, scratch).string() : name;
  };
  std::vector<std::string> args;
  for (const std::string& name : names) args.push_back(argument(name));
  args.push_back("--summary");
  args.push_back(argument(summary));
  // The section on findings as data runs the same command with these two options, which change
  // no other output.
  const std::string findings = "build/plant_findings.csv";
  const std::string json = "build/plant_run.json";
  for (const auto& [option, file] :
       {std::pair{"--findings", &findings}, std::pair{"--json", &json}}) {
    args.push_back(option);
    args.push_back(argument(*file));
  }
  const fs::path console_path = scratch / ".stderr";
  ASSERT_EQ(run_tool(kSourceDir, args, "/dev/null", scratch / ".stdout", console_path), 0)
      << read_file(console_path);

  const std::vector<Excerpt> excerpts = excerpts_of(readme);
  std::set<std::string> sources;
  for (const Excerpt& excerpt : excerpts) {
    const fs::path path =
        excerpt.file == kConsole ? console_path : resolve(excerpt.file, scratch);
    ASSERT_TRUE(fs::exists(path)) << "README line " << excerpt.line << ": " << excerpt.file
                                  << " does not exist";
    EXPECT_FALSE(excerpt.text.empty()) << "README line " << excerpt.line << ": empty excerpt";
    std::string text = read_file(path);
    // The findings file ends its lines with CR LF, the README's lines with LF.
    if (excerpt.file == findings) std::erase(text, '\r');
    EXPECT_TRUE(contains_lines(text, excerpt.text))
        << "README line " << excerpt.line << ": this excerpt is not in " << excerpt.file << ":\n"
        << excerpt.text;
    sources.insert(excerpt.file);
  }
  // The walk-through shows each of the results: output file, check log, report, summary.
  for (const std::size_t index : {2u, 6u, 7u}) {
    EXPECT_EQ(sources.count(names[index]), 1u) << "no README excerpt of " << names[index];
  }
  EXPECT_EQ(sources.count(summary), 1u) << "no README excerpt of " << summary;
  EXPECT_EQ(sources.count(findings), 1u) << "no README excerpt of " << findings;
  EXPECT_EQ(sources.count(json), 1u) << "no README excerpt of " << json;
  if (!HasFailure()) fs::remove_all(scratch);
}

}  // namespace
