// tpjconv_bench: times tpjconv on a large dynamic-data file against the cost of copying the file.
//
//   tpjconv_bench [--repetitions N] [--generators N] [--bus-entries N] [--ten-times]
//                 [--dir DIR] [--keep] [--tpjconv PATH] [--gendata PATH]
//
// It writes the files with tpjconv_gendata (into a temporary directory, or into DIR where files
// made earlier with the same sizes are used as they are), runs every command once to warm the
// page cache and check its totals, then runs the commands in turn N times and prints, per
// command, the median and the fastest wall-clock time, the median as a multiple of the cat
// floor, the generator records converted per second, the input read per second, the median CPU
// time (user and system; steadier than the wall clock on a busy machine) and the peak resident
// memory (ru_maxrss of the child, from wait4). The process measures with fork and exec
// and holds almost no memory of its own, as a child's peak also counts what the parent had
// mapped when it forked; a trivial child's figure is printed as the floor of that column.
//
// The commands: cat of the file to a copy (the floor); tpjconv with three arguments and none
// (every model disabled: the records are only read, joined and copied); tpjconv with none and
// Kis 0.3 for the three models (every generator record converted at check level 0, check log
// and report to files); tpjconv with the bus numbers file and the same Kis; and, to show the
// cost of the lookups alone, tpjconv with three arguments and the bus numbers file; and, on a
// file of the same size whose every generator record breaks rules, tpjconv with none and Kis 0.3
// (every record with findings, so that the check log and the report are written in bulk: the
// report is larger than the input).

#include <fcntl.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#ifndef TPJCONV_BINARY
#define TPJCONV_BINARY "tpjconv"
#endif
#ifndef TPJCONV_GENDATA
#define TPJCONV_GENDATA "tpjconv_gendata"
#endif

namespace {

struct Options {
  int repetitions = 5;
  long generators = 200000;
  long bus_entries = 30000;
  bool ten_times = false;
  bool keep = false;
  std::string dir;
  std::string tpjconv = TPJCONV_BINARY;
  std::string gendata = TPJCONV_GENDATA;
};

[[noreturn]] void usage() {
  std::fputs(
      "usage: tpjconv_bench [--repetitions N] [--generators N] [--bus-entries N] [--ten-times]\n"
      "                     [--dir DIR] [--keep] [--tpjconv PATH] [--gendata PATH]\n"
      "  --repetitions N  timed runs of each command (default 5); the median is reported\n"
      "  --generators N   generator records in the dynamic-data file (default 200000)\n"
      "  --bus-entries N  entries in the bus numbers file (default 30000)\n"
      "  --ten-times      then the same on a file with ten times as many records\n"
      "  --dir DIR        write the files into DIR and keep them; files already there are reused\n"
      "  --keep           keep the temporary directory\n",
      stderr);
  std::exit(2);
}

[[noreturn]] void fail(const std::string& what) {
  std::fprintf(stderr, "tpjconv_bench: %s\n", what.c_str());
  std::exit(1);
}

long positive(const char* text) {
  char* end = nullptr;
  const long value = std::strtol(text, &end, 10);
  if (end == text || *end != '\0' || value <= 0) usage();
  return value;
}

bool exists(const std::string& path) {
  struct stat info;
  return ::stat(path.c_str(), &info) == 0;
}

long long file_size(const std::string& path) {
  struct stat info;
  if (::stat(path.c_str(), &info) != 0) fail("cannot stat " + path + ": " + std::strerror(errno));
  return static_cast<long long>(info.st_size);
}

std::string read_file(const std::string& path) {
  std::string text;
  if (std::FILE* f = std::fopen(path.c_str(), "rb")) {
    char buffer[4096];
    std::size_t n;
    while ((n = std::fread(buffer, 1, sizeof buffer, f)) > 0) text.append(buffer, n);
    std::fclose(f);
  }
  return text;
}

// One child process: its wall-clock time, peak resident memory and exit status.
struct Outcome {
  double seconds = 0;
  double cpu_seconds = 0;  // user and system
  long max_rss_kib = 0;
  int status = 0;
};

// Runs `argv` with standard input, output and error on the given files (empty: /dev/null).
Outcome spawn(const std::vector<std::string>& argv, const std::string& in, const std::string& out,
              const std::string& err) {
  std::vector<char*> args;
  for (const std::string& a : argv) args.push_back(const_cast<char*>(a.c_str()));
  args.push_back(nullptr);
  const char* in_path = in.empty() ? "/dev/null" : in.c_str();
  const char* out_path = out.empty() ? "/dev/null" : out.c_str();
  const char* err_path = err.empty() ? "/dev/null" : err.c_str();

  const auto start = std::chrono::steady_clock::now();
  const pid_t pid = ::fork();
  if (pid < 0) fail(std::string("fork: ") + std::strerror(errno));
  if (pid == 0) {
    const int fd_in = ::open(in_path, O_RDONLY);
    const int fd_out = ::open(out_path, O_WRONLY | O_CREAT | O_TRUNC, 0666);
    const int fd_err = ::open(err_path, O_WRONLY | O_CREAT | O_TRUNC, 0666);
    if (fd_in < 0 || fd_out < 0 || fd_err < 0) ::_exit(126);
    ::dup2(fd_in, 0), ::dup2(fd_out, 1), ::dup2(fd_err, 2);
    ::close(fd_in), ::close(fd_out), ::close(fd_err);
    ::execvp(args[0], args.data());
    ::_exit(127);
  }
  int status = 0;
  struct rusage usage {};
  while (::wait4(pid, &status, 0, &usage) < 0) {
    if (errno != EINTR) fail(std::string("wait4: ") + std::strerror(errno));
  }
  const auto stop = std::chrono::steady_clock::now();
  Outcome outcome;
  outcome.seconds = std::chrono::duration<double>(stop - start).count();
  outcome.cpu_seconds = static_cast<double>(usage.ru_utime.tv_sec + usage.ru_stime.tv_sec) +
                        static_cast<double>(usage.ru_utime.tv_usec + usage.ru_stime.tv_usec) / 1e6;
  outcome.max_rss_kib = usage.ru_maxrss;
  outcome.status = WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
  return outcome;
}

struct Command {
  std::string title;
  std::vector<std::string> argv;
  std::string in, out, err;
  std::vector<std::string> outputs;  // removed before every run, outside the timing
  long converted = 0;                // generator records handed to a converter
  std::vector<Outcome> runs;
};

Outcome run_once(Command& c) {
  for (const std::string& f : c.outputs) ::unlink(f.c_str());
  const Outcome o = spawn(c.argv, c.in, c.out, c.err);
  if (o.status != 0) {
    fail(c.title + ": exit status " + std::to_string(o.status) + "\n" + read_file(c.err));
  }
  return o;
}

// The records tpjconv handed to its converters, from its "Read this many records" line.
long converted_records(const std::string& err_path) {
  const std::string text = read_file(err_path);
  const std::size_t at = text.find("Read    this many records:");
  if (at == std::string::npos) fail("no totals in " + err_path + ":\n" + text);
  int gensal = 0, gentpf = 0, genrou = 0;
  if (std::sscanf(text.c_str() + at, "Read    this many records: %d gensal %d gentpf %d genrou",
                  &gensal, &gentpf, &genrou) != 3) {
    fail("unreadable totals in " + err_path);
  }
  return static_cast<long>(gensal) + gentpf + genrou;
}

double median(std::vector<double> v) {
  std::sort(v.begin(), v.end());
  const std::size_t n = v.size();
  return n % 2 == 1 ? v[n / 2] : (v[n / 2 - 1] + v[n / 2]) / 2;
}

struct Figures {
  double cat = 0, disabled = 0, none = 0, bus = 0, lookups = 0, findings = 0;  // medians
  double findings_csv = 0, json = 0, html = 0;  // the findings run with each findings output
  long peak_kib = 0;  // largest peak of the tpjconv runs
};

std::string grouped(long long n) {
  const std::string digits = std::to_string(n);
  std::string out;
  for (std::size_t i = 0; i < digits.size(); ++i) {
    if (i > 0 && (digits.size() - i) % 3 == 0 && digits[i - 1] != '-') out += ',';
    out += digits[i];
  }
  return out;
}

// Writes DAT and BUS with tpjconv_gendata and the given options, unless both are there; its
// summary goes to SUMMARY.
void generate(const Options& o, const std::string& dir, const std::string& dat,
              const std::string& bus, const std::string& summary,
              const std::vector<std::string>& options) {
  if (exists(dat) && exists(bus)) return;
  std::printf("writing %s and %s ...\n", dat.c_str(), bus.c_str());
  std::fflush(stdout);
  // Written under other names first, so that an interrupted run leaves nothing to reuse.
  std::vector<std::string> argv = {o.gendata};
  argv.insert(argv.end(), options.begin(), options.end());
  argv.push_back(dat + ".part");
  argv.push_back(bus + ".part");
  const Outcome g = spawn(argv, "", summary, dir + "/gendata.err");
  if (g.status != 0) fail("tpjconv_gendata failed:\n" + read_file(dir + "/gendata.err"));
  if (::rename((bus + ".part").c_str(), bus.c_str()) != 0 ||
      ::rename((dat + ".part").c_str(), dat.c_str()) != 0) {
    fail("cannot rename the files written in " + dir + ": " + std::strerror(errno));
  }
  ::unlink((dir + "/gendata.err").c_str());
}

Figures measure(const Options& o, const std::string& dir, long generators) {
  const std::string tag = std::to_string(generators);
  const std::string dat = dir + "/dyn_" + tag + ".dat";
  const std::string bus = dir + "/bus_" + tag + "_" + std::to_string(o.bus_entries) + ".bus";
  const std::string summary =
      dir + "/gendata_" + tag + "_" + std::to_string(o.bus_entries) + ".txt";
  generate(o, dir, dat, bus, summary,
           {"--generators", tag, "--bus-entries", std::to_string(o.bus_entries)});
  // Every generator record breaking rules; its bus numbers file is not used.
  const std::string findings = dir + "/findings_" + tag + ".dat";
  const std::string findings_summary = dir + "/findings_" + tag + ".txt";
  generate(o, dir, findings, dir + "/findings_" + tag + ".bus", findings_summary,
           {"--generators", tag, "--bus-entries", "1", "--breaking", "1000"});
  const std::string answer = dir + "/answer_c";
  if (std::FILE* f = std::fopen(answer.c_str(), "w")) {
    std::fputs("c\n", f);
    std::fclose(f);
  }

  const std::string out = dir + "/out.dat", log = dir + "/check.log", rep = dir + "/report.txt";
  const std::string err = dir + "/stderr.txt", std_out = dir + "/stdout.txt";
  const std::string csv = dir + "/findings.csv", json = dir + "/run.json",
                    html = dir + "/review.html";
  const auto command = [](std::string title, std::vector<std::string> argv, std::string input,
                          std::string output, std::string error, std::vector<std::string> files) {
    Command c;
    c.title = std::move(title), c.argv = std::move(argv), c.in = std::move(input);
    c.out = std::move(output), c.err = std::move(error), c.outputs = std::move(files);
    return c;
  };
  std::vector<Command> commands = {
      command("cat big.dat > copy.dat", {"cat", dat}, "", dir + "/copy.dat", "",
              {dir + "/copy.dat"}),
      command("tpjconv, 3 arguments (no model)", {o.tpjconv, dat, "none", out}, answer, std_out,
              err, {out}),
      command("tpjconv none, Kis 0.3, level 0",
              {o.tpjconv, dat, "none", out, "0.3", "0.3", "0.3", log, rep}, answer, std_out, err,
              {out, log, rep}),
      command("tpjconv, " + std::to_string(o.bus_entries) + "-entry bus file",
              {o.tpjconv, dat, bus, out, "0.3", "0.3", "0.3", log, rep}, "", std_out, err,
              {out, log, rep}),
      // Not a target: the same three arguments as the second run but with the bus numbers file,
      // so that the difference between the two is the cost of reading the list and of the
      // lookups, which are made for every generator record whether its model is enabled or not.
      command("  (bus file, 3 arguments: lookups)", {o.tpjconv, dat, bus, out}, "", std_out, err,
              {out}),
      // The file of the same size whose every generator record has findings: the check log and
      // the report are written in bulk, the report larger than the input.
      command("tpjconv none, findings in every rec.",
              {o.tpjconv, findings, "none", out, "0.3", "0.3", "0.3", log, rep}, answer, std_out,
              err, {out, log, rep}),
      // The same run with each output made of the findings: what each costs on top of it.
      command("  the same, --findings",
              {o.tpjconv, findings, "none", out, "0.3", "0.3", "0.3", log, rep, "--findings", csv},
              answer, std_out, err, {out, log, rep, csv}),
      command("  the same, --json",
              {o.tpjconv, findings, "none", out, "0.3", "0.3", "0.3", log, rep, "--json", json},
              answer, std_out, err, {out, log, rep, json}),
      command("  the same, --html",
              {o.tpjconv, findings, "none", out, "0.3", "0.3", "0.3", log, rep, "--html", html},
              answer, std_out, err, {out, log, rep, html}),
  };

  // Warm-up: fills the page cache and reads the totals of each tpjconv run.
  for (std::size_t i = 0; i < commands.size(); ++i) {
    run_once(commands[i]);
    if (i > 0) commands[i].converted = converted_records(err);
  }
  for (int r = 0; r < o.repetitions; ++r) {
    for (Command& c : commands) c.runs.push_back(run_once(c));
  }
  for (const std::string& f : {dir + "/copy.dat", out, log, rep, err, std_out, csv, json}) {
    ::unlink(f.c_str());
  }
  // The page is kept for a browser: `--dir DIR` leaves DIR/review.html.
  if (o.dir.empty()) ::unlink(html.c_str());

  const long long bytes = file_size(dat);
  std::string about = read_file(summary) + read_file(findings_summary);
  for (std::size_t at; (at = about.find(".part:")) != std::string::npos;) about.erase(at, 5);
  if (about.empty()) {
    std::printf("\n%s: %s bytes\n%s: %s bytes\n", dat.c_str(), grouped(bytes).c_str(), bus.c_str(),
                grouped(file_size(bus)).c_str());
  } else {
    std::printf("\n%s", about.c_str());
  }
  std::printf("%d timed runs of each command, in turn; wall-clock seconds, and the median user and "
              "system time (cpu)\n\n",
              o.repetitions);
  std::printf("%-36s %7s %7s %6s %12s %7s %7s %8s\n", "command", "median", "fastest", "x cat",
              "converted/s", "MB/s", "cpu", "peak MiB");

  Figures fig;
  std::vector<double> medians;
  for (const Command& c : commands) {
    std::vector<double> seconds, cpu;
    long peak = 0;
    for (const Outcome& run : c.runs) {
      seconds.push_back(run.seconds);
      cpu.push_back(run.cpu_seconds);
      peak = std::max(peak, run.max_rss_kib);
    }
    const double m = median(seconds);
    medians.push_back(m);
    if (&c != &commands[0]) fig.peak_kib = std::max(fig.peak_kib, peak);
    const double per_second = static_cast<double>(c.converted) / m;
    const std::string rate = c.converted > 0 ? grouped(static_cast<long long>(per_second)) : "-";
    std::printf("%-36s %7.3f %7.3f %6.2f %12s %7.1f %7.3f %8.1f\n", c.title.c_str(), m,
                *std::min_element(seconds.begin(), seconds.end()), m / medians[0], rate.c_str(),
                static_cast<double>(bytes) / 1e6 / m, median(cpu),
                static_cast<double>(peak) / 1024.0);
  }
  fig.cat = medians[0], fig.disabled = medians[1], fig.none = medians[2], fig.bus = medians[3];
  fig.lookups = medians[4], fig.findings = medians[5];
  fig.findings_csv = medians[6], fig.json = medians[7], fig.html = medians[8];
  std::printf("\n(the bus numbers file read and looked up for every generator record, with no "
              "model enabled: %+.3f s over the 3-argument run with none)\n",
              fig.lookups - fig.disabled);
  std::printf("(converted/s: generator records handed to a converter, %s with none and %s with "
              "the bus numbers file)\n",
              grouped(commands[2].converted).c_str(), grouped(commands[3].converted).c_str());
  std::printf("(findings in every record: %s, %+.2f%% in size over %s, whose cat is its floor "
              "too)\n",
              findings.c_str(),
              100.0 * (static_cast<double>(file_size(findings)) / static_cast<double>(bytes) - 1),
              dat.c_str());
  return fig;
}

const char* verdict(bool met) { return met ? "met" : "NOT met"; }

void targets(const Figures& f) {
  const double none_ratio = f.none / f.cat, disabled_ratio = f.disabled / f.cat;
  const double lookup_ratio = f.lookups / f.disabled;
  const double peak_mib = static_cast<double>(f.peak_kib) / 1024.0;
  std::printf("\ntargets                                 target    measured\n");
  std::printf("  none, everything converted        <= 4 x cat   %6.2f x cat    %s\n", none_ratio,
              verdict(none_ratio <= 4.0));
  std::printf("  3 arguments, no model           <= 1.5 x cat   %6.2f x cat    %s\n",
              disabled_ratio, verdict(disabled_ratio <= 1.5));
  std::printf("  bus file lookups, no model   <= 1.25 x 3 args  %6.2f x 3 args %s\n",
              lookup_ratio, verdict(lookup_ratio <= 1.25));
  std::printf("  peak resident memory, tpjconv      < 16 MiB    %6.1f MiB      %s\n", peak_mib,
              verdict(peak_mib < 16.0));
  std::printf("  (findings in every record, no target: %.2f x cat)\n", f.findings / f.cat);
  const double csv_ratio = f.findings_csv / f.findings, html_ratio = f.html / f.findings;
  std::printf("  findings, with --findings      <= 1.25 x without %5.2f x without %s\n",
              csv_ratio, verdict(csv_ratio <= 1.25));
  std::printf("  findings, with --html           <= 1.3 x without %5.2f x without %s\n",
              html_ratio, verdict(html_ratio <= 1.3));
  std::printf("  (findings, with --json, no target: %.2f x without)\n", f.json / f.findings);
}

}  // namespace

int main(int argc, char** argv) {
  Options o;
  for (int i = 1; i < argc; ++i) {
    const std::string_view arg = argv[i];
    const bool has_value = i + 1 < argc;
    if (arg == "--repetitions" && has_value) {
      o.repetitions = static_cast<int>(positive(argv[++i]));
    } else if (arg == "--generators" && has_value) {
      o.generators = positive(argv[++i]);
    } else if (arg == "--bus-entries" && has_value) {
      o.bus_entries = positive(argv[++i]);
    } else if (arg == "--ten-times") {
      o.ten_times = true;
    } else if (arg == "--dir" && has_value) {
      o.dir = argv[++i];
    } else if (arg == "--keep") {
      o.keep = true;
    } else if (arg == "--tpjconv" && has_value) {
      o.tpjconv = argv[++i];
    } else if (arg == "--gendata" && has_value) {
      o.gendata = argv[++i];
    } else {
      usage();
    }
  }

  std::string dir = o.dir;
  const bool temporary = dir.empty();
  if (temporary) {
    const char* tmp = std::getenv("TMPDIR");
    std::string pattern = std::string(tmp != nullptr && *tmp != '\0' ? tmp : "/tmp") +
                          "/tpjconv-bench.XXXXXX";
    if (::mkdtemp(pattern.data()) == nullptr) fail("mkdtemp: " + std::string(std::strerror(errno)));
    dir = pattern;
  } else if (!exists(dir) && ::mkdir(dir.c_str(), 0777) != 0) {
    fail("cannot create " + dir + ": " + std::strerror(errno));
  }

  std::printf("tpjconv: %s\n", o.tpjconv.c_str());
  const Outcome floor = spawn({"true"}, "", "", "");
  std::printf("(a trivial child started by this process peaks at %.1f MiB)\n",
              static_cast<double>(floor.max_rss_kib) / 1024.0);

  const Figures base = measure(o, dir, o.generators);
  targets(base);
  if (o.ten_times) {
    const Figures large = measure(o, dir, o.generators * 10);
    targets(large);
    // Flat: the larger file needs no more than a mebibyte more, whatever its size.
    const bool flat = large.peak_kib <= base.peak_kib + 1024;
    std::printf("\npeak resident memory of tpjconv: %.1f MiB on the file, %.1f MiB on the file ten "
                "times as large: %s (flat: at most 1 MiB more)\n",
                static_cast<double>(base.peak_kib) / 1024.0,
                static_cast<double>(large.peak_kib) / 1024.0, verdict(flat));
  }

  if (temporary && !o.keep) {
    std::error_code error;
    std::filesystem::remove_all(dir, error);
    if (error) std::fprintf(stderr, "tpjconv_bench: cannot remove %s\n", dir.c_str());
  } else {
    std::printf("\nfiles kept in %s\n", dir.c_str());
  }
  return 0;
}
