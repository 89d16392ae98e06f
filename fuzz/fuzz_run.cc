// Fuzz target: a whole run of the tool on an in-memory dynamic-data file and bus numbers file.
//
// Input: a first line of settings "BUS|KIS_GENSAL|KIS_GENTPF|KIS_GENROU|LOG|REPORT|TCMIN|GROW",
// then the bus numbers file up to a line "%%", then the dynamic-data file.
//   BUS     a word beginning with "none" is passed as it is (the prompt is answered c); "-" names
//           a bus numbers file that does not exist (prompt, answered c); anything else passes the
//           bus numbers file of the input.
//   KIS_*   arguments 4 to 6, passed as they are.
//   LOG     "f": the check log is a file; anything else names a file that cannot be created, so
//           the check log falls back to standard output. REPORT likewise.
//   TCMIN   argument 9, passed as it is.
//   GROW    how often each "~" of the two files repeats the byte before it.
// Fewer fields give fewer arguments. The files live in memory (memfd) and are passed to the run
// by their /proc/self/fd names.
//
// Checked: the run ends with status 0; standard error is exactly what the bus selection predicts
// (prompt, bus count, Kis lines, fallbacks, name warnings, records without a colon, totals); the
// output holds every line that is not a recognised record unchanged and in order, every
// unconverted record joined, every converted record as one gentpj line with its header and line
// end; the records-read totals agree with the converted lines and the records-changed totals with
// the report blocks and the check-log lines.

#include <sys/mman.h>
#include <unistd.h>

#include <cstdint>
#include <cstdio>
#include <string>
#include <unordered_map>
#include <vector>

#include "input.h"
#include "properties.h"
#include "reference.h"
#include "records/sink.h"
#include "run/run.h"

namespace {

int memory_file(const char* name, std::string_view content) {
  const int fd = memfd_create(name, MFD_CLOEXEC);
  FUZZ_CHECK(fd >= 0);
  std::size_t done = 0;
  while (done < content.size()) {
    const ssize_t n = write(fd, content.data() + done, content.size() - done);
    FUZZ_CHECK(n > 0);
    done += static_cast<std::size_t>(n);
  }
  FUZZ_CHECK(lseek(fd, 0, SEEK_SET) == 0);
  return fd;
}

std::string contents(int fd) {
  std::string text;
  char buf[65536];
  off_t at = 0;
  for (;;) {
    const ssize_t n = pread(fd, buf, sizeof buf, at);
    FUZZ_CHECK(n >= 0);
    if (n == 0) break;
    text.append(buf, static_cast<std::size_t>(n));
    at += n;
  }
  return text;
}

std::string path_of(int fd) { return "/proc/self/fd/" + std::to_string(fd); }

std::string printf_int(const char* fmt, int a, int b, int c) {
  char buf[256];
  std::snprintf(buf, sizeof buf, fmt, a, b, c);
  return buf;
}

constexpr const char* kCannotCreate = "/nonexistent-tpjconv-fuzz/file";
constexpr std::string_view kHeader =
    "Model   Bus            Name        Bkv       ID   Cod    Error\n";
constexpr std::string_view kPrompt =
    "If you continue all Gensal/tpf/rou will be converted\nType c to continue, a to abort : ";

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const input::Parts parts = input::cut(data, size);
  const auto& s = parts.settings;
  const long times = input::number(parts, 7, 0, 300000);
  std::string_view bus_part, dyn_part;
  input::split_body(parts.body, bus_part, dyn_part);
  const std::string bus_text = input::grow(bus_part, times);
  const std::string dyn_text = input::grow(dyn_part, times);

  const std::string mode = s[0];
  const bool bypass = mode.compare(0, 4, "none") == 0;
  const bool missing = !bypass && mode == "-";
  const bool bus_open = !bypass && !missing;

  // A bus numbers file of many thousand lines with the same bus number, looked up by many
  // thousand records, takes as many comparisons in the tool as here: such inputs are skipped, so
  // that a run stays well inside libFuzzer's time limit.
  if (bus_open) {
    std::unordered_map<int, std::size_t> count;
    for (const ref::BusLine& e : ref::bus_file(bus_text)) ++count[e.bus_number];
    std::size_t cost = 0;
    for (const std::string_view line : ref::split_lines(dyn_text)) {
      if (ref::model_of(line) < 0) continue;
      const auto c = count.find(ref::header(line).bus_number);
      cost += c == count.end() ? 1 : c->second;
    }
    if (cost > 20000000) return 0;
  }

  const int in_fd = memory_file("in.dat", dyn_text);
  const int bus_fd = memory_file("bus.txt", bus_text);
  const int out_fd = memory_file("out.dat", "stale text that the run must empty\n");
  const int log_fd = memory_file("check.log", "stale\n");
  const int rep_fd = memory_file("report.txt", "stale\n");
  const int answer_fd = memory_file("stdin", "c\n");

  std::vector<std::string> args = {path_of(in_fd),
                                   bypass ? mode : missing ? kCannotCreate : path_of(bus_fd),
                                   path_of(out_fd)};
  for (std::size_t k = 1; k < s.size() && k <= 6; ++k) {
    if (k == 4) args.push_back(s[k] == "f" ? path_of(log_fd) : kCannotCreate);
    else if (k == 5) args.push_back(s[k] == "f" ? path_of(rep_fd) : kCannotCreate);
    else args.push_back(s[k]);
  }
  const bool log_file = args.size() > 6 && s[4] == "f";
  const bool rep_file = args.size() > 7 && s[5] == "f";

  tpjconv::Sink out, err;
  tpjconv::Console console{answer_fd, out, err};
  const int status = tpjconv::run(args, console);

  const std::string output = contents(out_fd);
  const std::string log_text = log_file ? contents(log_fd) : std::string();
  const std::string rep_text = rep_file ? contents(rep_fd) : std::string();
  for (const int fd : {in_fd, bus_fd, out_fd, log_fd, rep_fd, answer_fd}) close(fd);

  FUZZ_CHECK(status == 0);

  // What the bus selection and the settings predict.
  const std::vector<ref::BusLine> bus_list =
      bus_open ? ref::bus_file(bus_text) : std::vector<ref::BusLine>();
  // The entries of each bus number, in file order: the linear scan over them answers as over the
  // whole list, without its cost for every record.
  std::unordered_map<int, std::vector<ref::BusLine>> by_bus;
  for (const ref::BusLine& e : bus_list) by_bus[e.bus_number].push_back(e);
  float kis_setting[3];
  for (int m = 0; m < 3; ++m) {
    const std::size_t k = 3 + static_cast<std::size_t>(m);
    kis_setting[m] = k < args.size() ? ref::scan_f(args[k]).value_or(0.0f) : -1.0f;
  }

  std::string expected_err;
  if (bypass) {
    expected_err += "You have opted to bypass the bus numbers file and convert all generators "
                    "of selected types\n";
    expected_err += kPrompt;
  }
  if (missing) {
    expected_err += "Unable to open bus numbers file\n";
    expected_err += kPrompt;
  }
  expected_err += printf_int("Read %5d bus numbers\n", static_cast<int>(bus_list.size()), 0, 0);
  for (int m = 0; m < 3; ++m) {
    char line[128];
    std::snprintf(line, sizeof line, "Kis for %s = %14.4f\n", ref::kModelNames[m],
                  static_cast<double>(kis_setting[m]));
    expected_err += line;
  }
  if (!log_file) expected_err += "Working without outputfile\n";
  if (!rep_file) expected_err += "Working without outputfile\n";

  const std::vector<ref::Item> items = ref::items(dyn_text);
  std::vector<props::Expect> expect;
  std::vector<std::string> reported_labels;  // labels of converted records that may be reported
  std::vector<double> kis_of;                // the Kis of each converted record, in order
  std::vector<float> mva_of;
  int read[3] = {0, 0, 0};
  for (const ref::Item& item : items) {
    if (item.model < 0) {
      expect.push_back(props::Expect::copied);
      continue;
    }
    const ref::Header h = ref::header(item.first_line);
    ref::Selection sel;  // an empty list: Kis 0, check level 0
    if (!bus_list.empty()) {
      const auto group = by_bus.find(h.bus_number);
      if (group == by_bus.end()) {
        sel.kis = -1.0f;
        sel.check_level = -1;
      } else {
        sel = ref::lookup(group->second, h.bus_number, h.unit_id, h.bus_name);
      }
    }
    expected_err += sel.console;
    const bool selected = sel.kis >= 0 && sel.check_level < 3;
    const std::size_t colon = item.text.find(':');
    if (!selected || !(kis_setting[item.model] >= 0)) {
      expect.push_back(props::Expect::copied);
    } else if (colon == std::string::npos) {
      expect.push_back(props::Expect::copied);
      char line[128];
      std::snprintf(line, sizeof line, "No colon in record at line %ld, not converted\n",
                    item.line_number);
      expected_err += line;
    } else {
      expect.push_back(props::Expect::converted);
      ++read[item.model];
      const double kis = bus_list.empty() ? kis_setting[item.model] : sel.kis;
      kis_of.push_back(kis);
      mva_of.push_back(ref::params(item.text, colon + 1).mva_base);
      if (sel.check_level <= 1) {
        reported_labels.push_back(ref::label(ref::header(item.text.substr(0, colon + 1))));
      }
    }
  }

  // The output file.
  const std::array<int, 3> converted = props::check_output(items, expect, output);
  for (int m = 0; m < 3; ++m) FUZZ_CHECK(converted[m] == read[m]);
  if (!(kis_setting[0] >= 0) && !(kis_setting[1] >= 0) && !(kis_setting[2] >= 0)) {
    FUZZ_CHECK(output == ref::concat(items));
  }
  {
    const auto out_lines = ref::split_lines(output);
    std::size_t c = 0;
    for (std::size_t i = 0; i < items.size(); ++i) {
      if (expect[i] != props::Expect::converted) continue;
      std::string_view line = out_lines[i];
      line.remove_suffix(line.ends_with("\r\n") ? 2 : 1);
      const std::string kis_text = ref::printf_string(" %6.4f", kis_of[c]);
      FUZZ_CHECK(line.ends_with(kis_text));
      const std::size_t header_length = items[i].text.find(':') + 1;
      const std::string_view params = line.substr(header_length);
      if (mva_of[c] > 0) {
        FUZZ_CHECK(params.starts_with(" #9 mva=" + ref::printf_string("%-8.3f ", mva_of[c])));
      } else {
        FUZZ_CHECK(params.size() > 4 && params[4] != 'm');
      }
      ++c;
    }
  }

  // The check log and the report, wherever they went.
  std::vector<std::string> log_lines;
  std::vector<props::Block> blocks;
  std::string std_out = out.text();
  if (log_file) {
    FUZZ_CHECK(log_text.starts_with(kHeader));
    std::vector<props::Block> none;
    props::split_logs(std::string_view(log_text).substr(kHeader.size()), log_lines, none);
    FUZZ_CHECK(none.empty());
  } else {
    FUZZ_CHECK(std_out.starts_with(kHeader));
    std_out.erase(0, kHeader.size());
  }
  if (rep_file) {
    std::vector<std::string> none;
    props::split_logs(rep_text, none, blocks);
    FUZZ_CHECK(none.empty());
  }
  {
    const std::size_t logs_before = log_lines.size(), blocks_before = blocks.size();
    props::split_logs(std_out, log_lines, blocks);
    if (log_file) FUZZ_CHECK(log_lines.size() == logs_before);
    if (rep_file) FUZZ_CHECK(blocks.size() == blocks_before);
  }
  const std::array<int, 3> changed = props::check_log_against_report(log_lines, blocks);
  // Each block belongs to a converted record that reports, in the order of the records.
  {
    std::size_t r = 0;
    for (const props::Block& b : blocks) {
      while (r < reported_labels.size() && reported_labels[r] != b.label) ++r;
      FUZZ_CHECK(r < reported_labels.size());
      ++r;
    }
  }

  expected_err += printf_int("Read    this many records:  %5d gensal %5d gentpf %5d genrou\n",
                             read[0], read[1], read[2]);
  expected_err += printf_int("Changed this many records:  %5d  nesal %5d  netpf %5d  nerou\n",
                             changed[0], changed[1], changed[2]);
  if (err.text() != expected_err) {
    std::fprintf(stderr, "standard error differs:\n--- expected\n%s\n--- actual\n%s\n",
                 expected_err.c_str(), err.text().c_str());
  }
  FUZZ_CHECK(err.text() == expected_err);
  return 0;
}
