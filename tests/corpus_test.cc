// Runs the record loop over the real dynamic-data files of the shared corpus, when it is there.
#include <filesystem>
#include <optional>
#include <string>
#include <string_view>

#include <gtest/gtest.h>

#include "cli/diagnostics.h"
#include "findings/check_log.h"
#include "same_bytes.h"
#include "text/line_reader.h"
#include "tool_process.h"
#include "tpjconv/tpjconv.h"

namespace fs = std::filesystem;

namespace tpjconv {
namespace {

using testing::read_file;

bool is_generator(std::string_view line) {
  const std::string_view head = line.substr(0, 6);
  return head == "gensal" || head == "gentpf" || head == "genrou";
}

// The input as it must come out with every model disabled: generator records joined (each "/"
// a blank, the next line in place of the rest of its line), every other line as it was.
std::string joined(std::string_view text) {
  std::string out;
  std::size_t pos = 0;
  const auto next_line = [&]() {
    const std::size_t end = text.find('\n', pos);
    const std::size_t stop = end == std::string_view::npos ? text.size() : end + 1;
    const std::string_view line = text.substr(pos, stop - pos);
    pos = stop;
    return line;
  };
  while (pos < text.size()) {
    std::string line(next_line());
    if (is_generator(line)) {
      for (std::size_t mark; (mark = line.find('/')) != std::string::npos;) {
        line[mark] = ' ';
        if (pos < text.size()) line = line.substr(0, mark + 1) + std::string(next_line());
      }
    }
    out += line;
  }
  return out;
}

struct Outcome {
  std::string output;
  std::string check_log;  // without its heading
  std::string report;
  std::string console;
  Totals totals;
};

// Collects the warnings as the console shows them.
class ConsoleText final : public Observer {
 public:
  void warning(const Warning& warning) override { text += console_line(warning); }
  std::string text;
};

// Converts through the public header, every model at `kis` or none.
Outcome convert(const std::string& input, std::optional<float> kis) {
  StringSink output, check_log, report;
  ConsoleText console;
  const Options options{{kis, kis, kis}};
  Result<Totals> totals = convert_text(input, "corpus.dat", nullptr, options,
                                       {&output, &check_log, &report}, &console);
  EXPECT_TRUE(totals.ok());
  Outcome outcome;
  outcome.output = output.take();
  outcome.check_log = check_log.text().substr(kCheckLogHeader.size());
  outcome.report = report.take();
  outcome.console = std::move(console.text);
  if (totals) outcome.totals = std::move(*totals);
  return outcome;
}

TEST(Corpus, EveryFileComesThroughWithOnlyGeneratorRecordsJoined) {
  if (!fs::is_directory(TPJCONV_CORPUS_DIR)) {
    GTEST_SKIP() << "the shared corpus of real dynamic-data files is not at " TPJCONV_CORPUS_DIR
                    " (a folder beside the checkout): nothing to convert";
  }
  int files = 0;
  for (const auto& entry : fs::directory_iterator(TPJCONV_CORPUS_DIR)) {
    if (entry.path().extension() != ".dat") continue;
    ++files;
    const std::string input = read_file(entry.path());
    const Outcome disabled = convert(input, std::nullopt);
    EXPECT_TRUE(testing::same_bytes(joined(input), disabled.output)) << entry.path();
    EXPECT_EQ("", disabled.check_log + disabled.report + disabled.console);

    // Enabled, every generator record becomes one gentpj line and every other line stays.
    const Outcome enabled = convert(input, 0.3f);
    const std::string want_text = joined(input);
    LineReader expected(want_text), actual(enabled.output);
    int converted = 0;
    while (const auto want = expected.next()) {
      const auto got = actual.next();
      ASSERT_TRUE(got.has_value()) << entry.path();
      if (is_generator(*want)) {
        ++converted;
        EXPECT_EQ("gentpj", got->substr(0, 6));
        EXPECT_EQ(want->substr(6, want->find(':') - 5), got->substr(6, got->find(':') - 5));
      } else {
        EXPECT_EQ(*want, *got);
      }
    }
    EXPECT_FALSE(actual.next().has_value());
    const auto& read = enabled.totals.read;
    EXPECT_EQ(converted, read[0] + read[1] + read[2]) << entry.path();
  }
  EXPECT_GT(files, 0);
}

}  // namespace
}  // namespace tpjconv
