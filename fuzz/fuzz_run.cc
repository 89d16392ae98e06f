// Fuzz target: a whole run of the tool on an in-memory dynamic-data file and bus numbers file.
//
// Input: a first line of settings
// "BUS|KIS_GENSAL|KIS_GENTPF|KIS_GENROU|LOG|REPORT|TCMIN|GROW|ANSWER", then the bus numbers file
// up to a line "%%", then the dynamic-data file.
//   BUS     a word beginning with "none" is passed as it is; "-" names a bus numbers file that
//           does not exist; anything else passes the bus numbers file of the input. The run works
//           in a directory of its own that holds files none and none.dat, a link none-link to
//           none.dat and a link none-gone to nothing, so that a none-word can name an existing
//           file.
//   KIS_*   arguments 4 to 6, passed as they are.
//   LOG     "f": the check log is a file; anything else names a file that cannot be created, which
//           ends the run with status 1 before anything is written. REPORT likewise.
//   TCMIN   argument 9, passed as it is.
//   GROW    how often each "~" of the two files repeats the byte before it.
//   ANSWER  what the prompt gets: absent or empty, "c" and a line end on standard input; "-y" the
//           option -y (standard input is then not read); "eof" nothing at all; anything else
//           those bytes.
// Fewer fields give fewer arguments; the positional arguments follow "--", so that a Kis such as
// -inf is a number and not an option. The files live in memory (memfd) and are passed to the run
// by their /proc/self/fd names, which the run must write where they stand.
//
// Checked: a Kis or tcmin argument that is not wholly a finite number ends the run with status 2,
// its line and the usage, and nothing touched; otherwise the run ends with the status the
// settings predict (0, or 1 for no answer, --yes with a bus numbers file that cannot be opened,
// or a check log or report that cannot be created); standard error is exactly what the settings
// and the files predict (prompt and answer, open failures, the warnings of the bus numbers file,
// bus count, Kis lines, check logs and reports on standard output, name warnings, records read by
// position, with placeholders, with numbers not wholly read or not finite, or with fields not
// used, records without a colon, totals, bus entries that matched no record); a
// run stopped at the prompt touches none of its outputs; the output holds every line that is not
// a recognised record unchanged and in order, every unconverted record joined, every converted
// record as one gentpj line with its header and line end; the records-read totals agree with the
// converted lines and the records-changed totals with the report blocks and the check-log lines.

#include <fcntl.h>
#include <sys/mman.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <unordered_map>
#include <vector>

#include "cli/build_tuning.h"
#include "cli/command_line.h"
#include "cli/run.h"
#include "input.h"
#include "platform/file.h"
#include "properties.h"
#include "reference.h"
#include "text/sink.h"

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

// Standard input of the run: a text, of which the run may take at most the one character of
// the answer.
class TextSource final : public tpjconv::ByteSource {
 public:
  explicit TextSource(std::string text) : text_(std::move(text)) {}
  tpjconv::IoResult read(char* buffer, std::size_t size) override {
    const std::size_t n = std::min(size, text_.size() - at_);
    std::memcpy(buffer, text_.data() + at_, n);
    at_ += n;
    return {n, 0};
  }
  std::size_t taken() const { return at_; }

 private:
  std::string text_;
  std::size_t at_ = 0;
};

// The directory the run works in, and the one the fuzzer works in (its corpus and artifacts may
// be named relative to it).
int work_dir = -1;
int fuzzer_dir = -1;
std::string work_path;

void remove_work_dir() {
  for (const char* name : {"none", "none.dat", "none-link", "none-gone"}) {
    unlinkat(work_dir, name, 0);
  }
  rmdir(work_path.c_str());
}

// The names a memfd's /proc link shows: a file written there by name would land in "/".
bool stray_file_for(const char* memfd_name) {
  const std::string name = std::string("/memfd:") + memfd_name + " (deleted)";
  return access(name.c_str(), F_OK) == 0;
}

// The line that refuses a Kis or tcmin argument that is not wholly a finite decimal number (white
// space around it allowed), or nothing.
std::string number_argument_error(const char* argument, const std::string& text) {
  const char* const space = " \t\n\r\v\f";
  const std::size_t first = text.find_first_not_of(space);
  const std::string bare = first == std::string::npos
                               ? ""
                               : text.substr(first, text.find_last_not_of(space) + 1 - first);
  const ref::Fit fit = ref::fit_of(bare);
  if (fit == ref::Fit::whole) return "";
  return ref::say(std::string(argument) + " " + ref::quoted(text) +
                  (fit == ref::Fit::not_finite ? " is not a finite 32-bit number"
                                               : " is not a number"));
}

constexpr const char* kCannotCreate = "/nonexistent-tpjconv-fuzz/file";
constexpr std::string_view kHeader =
    "Model   Bus            Name        Bkv       ID   Cod    Error\n";
constexpr std::string_view kPrompt =
    "If you continue all Gensal/tpf/rou will be converted\nType c to continue, a to abort : ";
constexpr std::string_view kStale = "stale text that the run must empty\n";

}  // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) {
  char templ[] = "/tmp/tpjconv-fuzz-run-XXXXXX";
  FUZZ_CHECK(mkdtemp(templ) != nullptr);
  work_path = templ;
  work_dir = open(templ, O_RDONLY | O_DIRECTORY | O_CLOEXEC);
  fuzzer_dir = open(".", O_RDONLY | O_DIRECTORY | O_CLOEXEC);
  FUZZ_CHECK(work_dir >= 0 && fuzzer_dir >= 0);
  for (const char* name : {"none", "none.dat"}) {
    const int fd = openat(work_dir, name, O_WRONLY | O_CREAT | O_CLOEXEC, 0644);
    FUZZ_CHECK(fd >= 0 && write(fd, "heading\n", 8) == 8);
    close(fd);
  }
  FUZZ_CHECK(symlinkat("none.dat", work_dir, "none-link") == 0);
  FUZZ_CHECK(symlinkat("missing", work_dir, "none-gone") == 0);
  std::atexit(remove_work_dir);
  return 0;
}

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
  const std::string answer = s.size() > 8 ? s[8] : "";
  const bool yes = answer == "-y";

  const int in_fd = memory_file("in.dat", dyn_text);
  const int bus_fd = memory_file("bus.txt", bus_text);
  const std::string in_path = path_of(in_fd);
  const std::string bus_path = path_of(bus_fd);

  // What the bus numbers file holds, and the messages of reading it.
  std::string bus_warnings;
  ref::BusFile bus = bus_open ? ref::bus_file(bus_text, bus_path, &bus_warnings) : ref::BusFile();
  const std::vector<ref::Item> items = ref::items(dyn_text);
  std::vector<ref::Header> headers(items.size());
  for (std::size_t i = 0; i < items.size(); ++i) {
    if (items[i].model >= 0) headers[i] = ref::header(items[i].first_line);
  }

  // A bus numbers file of many thousand lines with the same bus number, looked up by many
  // thousand records, takes as many comparisons here as lines are scanned: such inputs are
  // skipped, so that a run stays well inside libFuzzer's time limit.
  if (!bus.lines.empty()) {
    std::size_t cost = 0;
    for (std::size_t i = 0; i < items.size(); ++i) {
      if (items[i].model < 0) continue;
      const auto group = bus.by_bus.find(headers[i].bus_number);
      cost += group == bus.by_bus.end() ? 1 : group->second.size();
    }
    if (cost > 20000000) {
      close(in_fd);
      close(bus_fd);
      return 0;
    }
  }

  const int out_fd = memory_file("out.dat", kStale);
  const int log_fd = memory_file("check.log", "stale\n");
  const int rep_fd = memory_file("report.txt", "stale\n");

  std::vector<std::string> args;
  if (yes) args.push_back("-y");
  args.push_back("--");
  const std::size_t first = args.size();  // where the positional arguments begin
  args.push_back(in_path);
  args.push_back(bypass ? mode : missing ? kCannotCreate : bus_path);
  args.push_back(path_of(out_fd));
  for (std::size_t k = 1; k < s.size() && k <= 6; ++k) {
    if (k == 4) args.push_back(s[k] == "f" ? path_of(log_fd) : kCannotCreate);
    else if (k == 5) args.push_back(s[k] == "f" ? path_of(rep_fd) : kCannotCreate);
    else args.push_back(s[k]);
  }
  const std::vector<std::string> positional(args.begin() + static_cast<long>(first), args.end());
  const bool log_given = positional.size() > 6, rep_given = positional.size() > 7;
  const bool log_file = log_given && s[4] == "f";
  const bool rep_file = rep_given && s[5] == "f";

  TextSource answer_source(yes || answer == "eof" ? "" : answer.empty() ? "c\n" : answer);
  tpjconv::Sink out, err;
  tpjconv::Console console{answer_source, out, err};
  FUZZ_CHECK(fchdir(work_dir) == 0);
  const int status = tpjconv::run(args, console, {}, tpjconv::build_tuning());
  FUZZ_CHECK(fchdir(fuzzer_dir) == 0);

  const std::string output = contents(out_fd);
  const std::string log_text = contents(log_fd);
  const std::string rep_text = contents(rep_fd);
  for (const int fd : {in_fd, bus_fd, out_fd, log_fd, rep_fd}) close(fd);

  // A Kis or tcmin argument that is not a number stops the run before anything is opened.
  std::string refused;
  static const char* const kNumberArgument[9] = {"", "", "", "KIS_GENSAL", "KIS_GENTPF",
                                                 "KIS_GENROU", "", "", "TCMIN"};
  for (const std::size_t k : {3u, 4u, 5u, 8u}) {
    if (k < positional.size()) refused += number_argument_error(kNumberArgument[k], positional[k]);
  }
  if (!refused.empty()) {
    FUZZ_CHECK(status == 2);
    FUZZ_CHECK(err.text() == refused + tpjconv::kUsage);
    FUZZ_CHECK(output == kStale && log_text == "stale\n" && rep_text == "stale\n");
    FUZZ_CHECK(out.text().empty() && answer_source.taken() == 0);
    return 0;
  }
  // The memfds were written where they stand: nothing was put in place of their link texts.
  for (const char* name : {"out.dat", "check.log", "report.txt"}) FUZZ_CHECK(!stray_file_for(name));

  // The standard error that the settings and the files predict.
  std::string expected;
  const auto add = [&](std::string_view text) { expected += text; };
  // A run that ends before anything is written: status 1 or 0, its outputs untouched.
  const auto check_nothing_written = [&](int expected_status) {
    FUZZ_CHECK(status == expected_status);
    FUZZ_CHECK(output == kStale && log_text == "stale\n" && rep_text == "stale\n");
    FUZZ_CHECK(out.text().empty());
  };
  const auto compare_err = [&] {
    if (err.text() != expected) {
      std::fprintf(stderr, "standard error differs:\n--- expected\n%s\n--- actual\n%s\n",
                   expected.c_str(), err.text().c_str());
    }
    FUZZ_CHECK(err.text() == expected);
  };

  if (bypass) {
    add("You have opted to bypass the bus numbers file and convert all generators of selected "
        "types\n");
    if (mode != "none") {
      add(ref::say("BUSFILE " + ref::escaped(mode) +
                   " begins with \"none\": the file is not read"));
    }
  }
  if (missing) {
    add("Unable to open bus numbers file\n");
    add(ref::say(std::string(kCannotCreate) + ": No such file or directory"));
    if (yes) {
      // --yes confirms only none.
      add(ref::say("--yes does not confirm a bus numbers file that cannot be read; nothing "
                   "written"));
      compare_err();
      check_nothing_written(1);
      return 0;
    }
  }
  if (bypass || missing) {
    add(kPrompt);
    int stop = -1;  // the status of a run the answer ends
    if (yes) {
      add("c\n");
    } else if (answer == "eof") {
      add("\n");
      add(ref::say("no answer; nothing converted"));
      stop = 1;
    } else if (!answer.empty() && answer[0] != 'c') {
      // The line end of a typed answer ends the prompt's line on a terminal.
      if (isatty(0) != 1) add("\n");
      add(ref::say("not confirmed; nothing converted"));
      stop = 0;
    }
    FUZZ_CHECK(answer_source.taken() == (yes ? 0u : answer == "eof" ? 0u : 1u));
    if (stop >= 0) {
      // Nothing written: not the output, the check log, the report or standard output.
      compare_err();
      check_nothing_written(stop);
      return 0;
    }
  } else {
    FUZZ_CHECK(answer_source.taken() == 0);
  }
  // A check log or report that cannot be created ends the run before anything is written.
  if ((log_given && !log_file) || (rep_given && !rep_file)) {
    add(ref::say(std::string("cannot create ") + (log_given && !log_file ? "CHECKLOG " : "REPORT ") +
                 kCannotCreate + ": No such file or directory; nothing written"));
    compare_err();
    check_nothing_written(1);
    return 0;
  }
  FUZZ_CHECK(status == 0);

  add(bus_warnings);
  add(printf_int("Read %5d bus numbers\n", static_cast<int>(bus.lines.size()), 0, 0));
  if (bus_open && !bus.names_a_generator()) {
    add(ref::say("BUSFILE " + bus_path + " lists no generator: " +
                 (bus.lines.empty()
                      ? "every record of the enabled models is converted at check level 0"
                      : "no record is converted")));
  }
  float kis_setting[3];
  for (int m = 0; m < 3; ++m) {
    const std::size_t k = 3 + static_cast<std::size_t>(m);
    kis_setting[m] = k < positional.size() ? ref::scan_f(positional[k]).value_or(0.0f) : -1.0f;
    char line[128];
    std::snprintf(line, sizeof line, "Kis for %s = %14.4f\n", ref::kModelNames[m],
                  static_cast<double>(kis_setting[m]));
    add(line);
  }
  if (!(kis_setting[0] >= 0) && !(kis_setting[1] >= 0) && !(kis_setting[2] >= 0)) {
    add(ref::say("no model enabled (no Kis argument of 0 or more): nothing will be converted"));
  }
  if (!log_file) add("Working without outputfile\n");
  if (!rep_file) add("Working without outputfile\n");

  std::vector<props::Expect> expect;
  std::vector<std::string> reported_labels;  // labels of converted records that may be reported
  std::vector<double> kis_of;                // the Kis of each converted record, in order
  std::vector<float> mva_of;
  int read[3] = {0, 0, 0};
  for (std::size_t i = 0; i < items.size(); ++i) {
    const ref::Item& item = items[i];
    if (item.model < 0) {
      expect.push_back(props::Expect::copied);
      continue;
    }
    const ref::Header& h = headers[i];
    const ref::Selection sel = ref::lookup(bus, h.bus_number, h.unit_id, h.bus_name);
    add(sel.console);
    const bool selected = sel.kis >= 0 && sel.check_level < 3;
    const std::size_t colon = item.text.find(':');
    if (!selected || !(kis_setting[item.model] >= 0)) {
      expect.push_back(props::Expect::copied);
    } else if (colon == std::string::npos) {
      expect.push_back(props::Expect::copied);
      char line[128];
      std::snprintf(line, sizeof line, "No colon in record at line %ld, not converted\n",
                    item.line_number);
      add(line);
    } else {
      expect.push_back(props::Expect::converted);
      ++read[item.model];
      const double kis = bus.lines.empty() ? kis_setting[item.model] : sel.kis;
      kis_of.push_back(kis);
      const ref::Params p = ref::params(item.text, colon + 1, item.model);
      mva_of.push_back(p.mva_base);
      const std::string name = ref::record_name(item.model, h);
      expected += ref::record_warnings(p, item.model, in_path, item.line_number, name);
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
    FUZZ_CHECK(log_text == "stale\n");
    FUZZ_CHECK(std_out.starts_with(kHeader));
    std_out.erase(0, kHeader.size());
  }
  if (rep_file) {
    std::vector<std::string> none;
    props::split_logs(rep_text, none, blocks);
    FUZZ_CHECK(none.empty());
  } else {
    FUZZ_CHECK(rep_text == "stale\n");
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

  add(printf_int("Read    this many records:  %5d gensal %5d gentpf %5d genrou\n", read[0], read[1],
                 read[2]));
  add(printf_int("Changed this many records:  %5d  nesal %5d  netpf %5d  nerou\n", changed[0],
                 changed[1], changed[2]));
  if (bus_open) add(ref::unused_report(bus, bus_path));
  compare_err();
  return 0;
}
