// Checks shared by the fuzz targets: the converted dynamic-data file against the joined input,
// and the check log against the comparison report.
#pragma once

#include <array>
#include <cstdio>
#include <string>
#include <string_view>
#include <vector>

#include "reference.h"

namespace props {

// What the run must have made of one item of the input.
enum class Expect { copied, converted };

inline std::vector<std::string> lines_of(std::string_view text) {
  std::vector<std::string> out;
  for (const std::string_view line : ref::split_lines(text)) out.emplace_back(line);
  return out;
}

// Every plain line and every unconverted record reaches the output unchanged and in order; every
// converted record is one line that begins with "gentpj", keeps the header up to the colon, and
// ends with the line end of its joined input (CR LF or LF). Returns the converted records per
// model.
inline std::array<int, 3> check_output(const std::vector<ref::Item>& items,
                                       const std::vector<Expect>& expect,
                                       std::string_view output) {
  const std::vector<std::string_view> out = ref::split_lines(output);
  FUZZ_CHECK(out.size() == items.size());
  std::array<int, 3> converted{};
  for (std::size_t i = 0; i < items.size(); ++i) {
    const ref::Item& item = items[i];
    const std::string_view got = out[i];
    if (expect[i] == Expect::copied) {
      FUZZ_CHECK(got == item.text);
      continue;
    }
    FUZZ_CHECK(item.model >= 0);
    ++converted[item.model];
    const std::size_t colon = item.text.find(':');
    FUZZ_CHECK(colon != std::string::npos);
    const std::size_t header_length = colon + 1;
    FUZZ_CHECK(got.size() > header_length);
    FUZZ_CHECK(got.substr(0, 6) == "gentpj");
    FUZZ_CHECK(got.substr(6, header_length - 6) ==
               std::string_view(item.text).substr(6, header_length - 6));
    FUZZ_CHECK(got.substr(header_length, 4) == " #9 ");
    const bool crlf = item.text.size() >= 2 && item.text.ends_with("\r\n");
    FUZZ_CHECK(got.back() == '\n');
    FUZZ_CHECK(got.ends_with("\r\n") == crlf);
    // Only the line end may hold a CR after the header: the numbers never do.
    const std::string_view tail = got.substr(header_length, got.size() - header_length - 1);
    FUZZ_CHECK(tail.find('\r') == (crlf ? tail.size() - 1 : std::string_view::npos));
  }
  return converted;
}

// One comparison-report block, split into its 24 lines (without line ends).
struct Block {
  int model = -1;
  std::string label;
  std::vector<std::string> lines;
};

inline bool is_salient_note(std::string_view line) {
  return line.ends_with(" ,000,  ,Salient pole generator ???");
}

// A printed number with the minus sign of a negative zero taken off.
inline std::string unsigned_zero(std::string_view number) {
  std::string s(number);
  const std::size_t minus = s.find('-');
  if (minus != std::string::npos &&
      s.find_first_not_of("0.", minus + 1) == std::string::npos) {
    s[minus] = ' ';
  }
  return s;
}

// Checks the layout of one block: the empty line, the label, the heading of its model, the 21
// value lines in order, each with the two numbers and then nothing, the notes, or (kis) the Entered
// Kis text.
inline void check_block(const Block& b) {
  FUZZ_CHECK(b.lines.size() == 24);
  FUZZ_CHECK(b.lines[0].empty());
  FUZZ_CHECK(b.model >= 0);
  FUZZ_CHECK(b.lines[2] == std::string("         ,") + ref::kModelNames[b.model] + "      ,gentpj");
  static const char* kName[21] = {"mbase", " tpdo", "tppdo", " tpqo", "tppqo", "    h", "    d",
                                  "   ld", "   lq", "  lpd", "  lpq", " lppd", " lppq", "   ll",
                                  "   s1", "  s12", "   ra", "rcomp", "xcomp", "accel", "  kis"};
  for (int p = 0; p < 21; ++p) {
    const std::string& line = b.lines[3 + p];
    FUZZ_CHECK(line.starts_with(std::string(kName[p]) + ","));
    // Two numbers of at least ten columns separated by "  ,".
    const std::size_t sep = line.find("  ,", 6);
    FUZZ_CHECK(sep != std::string::npos && sep >= 16);
    const std::string_view before = std::string_view(line).substr(6, sep - 6);
    FUZZ_CHECK(before.find(',') == std::string_view::npos);
    if (p == 20) FUZZ_CHECK(before == "    0.0000");
    const std::string_view rest = std::string_view(line).substr(sep + 3);
    // The second number runs up to the end or up to the notes.
    const std::size_t end = rest.find(p == 20 ? " , ,Entered Kis" : "  ,");
    const std::string_view after = rest.substr(0, end);
    FUZZ_CHECK(after.size() >= 10);
    if (end == std::string_view::npos) {
      FUZZ_CHECK(after.find(',') == std::string_view::npos);
    } else if (p == 20) {
      FUZZ_CHECK(rest.substr(end) == " , ,Entered Kis");
    } else {
      // The notes of a changed value: the blank of the note slot, then the texts of its findings,
      // each beginning with "," (none when the value is NaN, which differs from itself).
      FUZZ_CHECK(rest.substr(end, 4) == "  , ");
      FUZZ_CHECK(rest.size() == end + 4 || rest[end + 4] == ',');
    }
    // Different texts come from different values, which carry their notes (or Entered Kis).
    // (A zero and a negative zero are the same value: "-0.0000" equals "0.0000".)
    if (unsigned_zero(before) != unsigned_zero(after)) {
      if (end == std::string_view::npos) std::fprintf(stderr, "report line: %s\n", line.c_str());
      FUZZ_CHECK(end != std::string_view::npos);
    }
  }
}

// Splits a comparison report (or standard output holding both the check log and the report) into
// check-log lines and report blocks. A block begins with an empty line; the check log has none.
inline void split_logs(std::string_view text, std::vector<std::string>& log_lines,
                       std::vector<Block>& blocks) {
  const std::vector<std::string> lines = lines_of(text);
  for (std::size_t i = 0; i < lines.size();) {
    FUZZ_CHECK(lines[i].back() == '\n');
    std::string line = lines[i].substr(0, lines[i].size() - 1);
    if (!line.empty()) {
      log_lines.push_back(line);
      ++i;
      continue;
    }
    FUZZ_CHECK(i + 24 <= lines.size());
    Block b;
    for (std::size_t k = 0; k < 24; ++k) {
      FUZZ_CHECK(lines[i + k].back() == '\n');
      b.lines.push_back(lines[i + k].substr(0, lines[i + k].size() - 1));
    }
    b.label = b.lines[1];
    b.model = ref::model_of(b.label);
    check_block(b);
    blocks.push_back(std::move(b));
    i += 24;
  }
}

// Every finding line belongs to a changed record and every changed record has at least one: the
// finding lines, in order, fall into one non-empty group per report block, each line beginning
// with its block's label. (Two records in a row with the same label cannot be told apart; each
// then claims at least one line.) Returns the blocks per model.
inline std::array<int, 3> check_log_against_report(const std::vector<std::string>& log_lines,
                                                   const std::vector<Block>& blocks) {
  std::vector<const std::string*> findings;
  for (const std::string& line : log_lines) {
    if (!is_salient_note(line)) findings.push_back(&line);
  }
  std::size_t j = 0;
  std::array<int, 3> per_model{};
  for (std::size_t i = 0; i < blocks.size(); ++i) {
    ++per_model[blocks[i].model];
    const std::string lead = blocks[i].label + " ,";
    FUZZ_CHECK(j < findings.size() && findings[j]->starts_with(lead));
    ++j;
    const bool next_same = i + 1 < blocks.size() && blocks[i + 1].label == blocks[i].label;
    if (!next_same) {
      while (j < findings.size() && findings[j]->starts_with(lead)) ++j;
    }
  }
  FUZZ_CHECK(j == findings.size());
  // Every finding line: label, " ,", three digits, ", ", then a note slot beginning " ,".
  for (const std::string* line : findings) {
    const std::size_t at = line->find(" ,", line->rfind('"'));
    FUZZ_CHECK(at != std::string::npos);
    const std::string_view rest = std::string_view(*line).substr(at);
    FUZZ_CHECK(rest.size() > 9);
    FUZZ_CHECK(rest[2] >= '0' && rest[2] <= '9' && rest[3] >= '0' && rest[3] <= '9' &&
               rest[4] >= '0' && rest[4] <= '9');
    FUZZ_CHECK(rest.substr(5, 4) == ",  ,");
  }
  return per_model;
}

}  // namespace props
