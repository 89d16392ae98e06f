#include "run/run.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <array>
#include <cstring>
#include <optional>

#include "records/fields.h"
#include "records/frame.h"
#include "records/line_reader.h"
#include "records/number_format.h"
#include "run/bus_list.h"
#include "run/record_loop.h"

namespace tpjconv {

namespace {

constexpr std::string_view kUsage =
    "usage: tpjconv INPUT BUSFILE|none OUTPUT [KIS_GENSAL [KIS_GENTPF [KIS_GENROU [CHECKLOG "
    "[REPORT [TCMIN]]]]]]\n"
    "Converts the gensal, gentpf and genrou records of a dynamic-data file to gentpj.\n"
    "A missing or negative Kis leaves that model unconverted; CHECKLOG and REPORT\n"
    "default to standard output; TCMIN defaults to 0.025.\n";

constexpr std::string_view kCheckLogHeader =
    "Model   Bus            Name        Bkv       ID   Cod    Error\n";

// An open file descriptor, closed when it goes out of scope unless closed before.
class File {
 public:
  File() = default;
  explicit File(int fd) : fd_(fd) {}
  File(File&& other) noexcept : fd_(other.fd_) { other.fd_ = -1; }
  File& operator=(File&& other) noexcept {
    std::swap(fd_, other.fd_);
    return *this;
  }
  ~File() { close(); }

  bool is_open() const { return fd_ >= 0; }
  int fd() const { return fd_; }

  // Closes the file; returns the errno of a failed close, or 0.
  int close() {
    if (fd_ < 0) return 0;
    const int result = ::close(fd_);
    fd_ = -1;
    return result == 0 ? 0 : errno;
  }

 private:
  int fd_ = -1;
};

// Opens a file to read; a directory does not count as one.
File open_for_reading(const std::string& path) {
  File file(::open(path.c_str(), O_RDONLY | O_CLOEXEC));
  struct stat info;
  if (file.is_open() && (::fstat(file.fd(), &info) != 0 || S_ISDIR(info.st_mode))) return File();
  return file;
}

File open_for_writing(const std::string& path) {
  return File(::open(path.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0666));
}

// True when `path` names the file that is open as `file`: writing it would empty an input.
bool is_same_file(const std::string& path, const File& file) {
  struct stat named, open;
  return file.is_open() && ::stat(path.c_str(), &named) == 0 && ::fstat(file.fd(), &open) == 0 &&
         named.st_dev == open.st_dev && named.st_ino == open.st_ino;
}

// Refuses to write over one of the run's inputs; says so on the console.
bool overwrites_input(const std::string& path, const File& input, const File& bus_file,
                      Console& console) {
  if (!is_same_file(path, input) && !is_same_file(path, bus_file)) return false;
  console.err.write(formatted("tpjconv: %s is an input of this run; not overwritten\n", path.c_str()));
  return true;
}

// A number argument read as "%f" reads it; `fallback` when the argument is absent, 0 when it does
// not begin with a number.
float number_argument(const std::vector<std::string>& args, std::size_t index, float fallback) {
  if (index >= args.size()) return fallback;
  return scan_float(args[index]).value_or(0.0f);
}

// Asks whether to go on without a bus numbers file; true only for the answer c.
bool confirmed(Console& console) {
  console.err.write("If you continue all Gensal/tpf/rou will be converted\n");
  console.err.write("Type c to continue, a to abort : ");
  console.err.flush();
  char answer = '\0';
  for (;;) {
    const ssize_t n = ::read(console.in_fd, &answer, 1);
    if (n < 0 && errno == EINTR) continue;
    return n == 1 && answer == 'c';
  }
}

// An output of the run: a file of its own, or standard output.
struct Output {
  std::string name;
  File file;
  std::optional<Sink> own;
  Sink* sink = nullptr;
};

void open_output(Output& output, const std::vector<std::string>& args, std::size_t index,
                 const File& input, const File& bus_file, Console& console) {
  if (index < args.size() && !overwrites_input(args[index], input, bus_file, console)) {
    output.file = open_for_writing(args[index]);
  }
  if (output.file.is_open()) {
    output.name = args[index];
    output.own.emplace(output.file.fd());
    output.sink = &*output.own;
  } else {
    console.err.write("Working without outputfile\n");
    output.name = "standard output";
    output.sink = &console.out;
  }
}

// Writes out what is left and closes the file; false with a message when any write failed.
bool finish(Sink& sink, File* file, const std::string& name, Console& console) {
  sink.flush();
  int error = sink.error();
  if (file != nullptr) {
    const int close_error = file->close();
    if (error == 0) error = close_error;
  }
  if (error == 0) return true;
  console.err.write(formatted("tpjconv: cannot write %s: %s\n", name.c_str(), std::strerror(error)));
  return false;
}

bool report_read_error(const LineReader& reader, const std::string& name, Console& console) {
  if (reader.error() == 0) return true;
  console.err.write(
      formatted("tpjconv: cannot read %s: %s\n", name.c_str(), std::strerror(reader.error())));
  return false;
}

}  // namespace

int run(const std::vector<std::string>& args, Console& console) {
  if (args.size() == 1 && (args[0] == "--help" || args[0] == "-h")) {
    console.out.write(kUsage);
    return 0;
  }
  if (args.size() == 1 && args[0] == "--version") {
    console.out.write("tpjconv " TPJCONV_VERSION "\n");
    return 0;
  }
  if (args.size() < 3) {
    console.err.write(kUsage);
    return 2;
  }

  File input = open_for_reading(args[0]);
  if (!input.is_open()) {
    console.err.write("Unable to open input file\n");
    return 1;
  }

  File bus_file;
  if (args[1].compare(0, 4, "none") == 0) {
    console.err.write(
        "You have opted to bypass the bus numbers file and convert all generators of selected "
        "types\n");
    if (!confirmed(console)) return 0;
  } else {
    bus_file = open_for_reading(args[1]);
    if (!bus_file.is_open()) {
      console.err.write("Unable to open bus numbers file\n");
      if (!confirmed(console)) return 0;
    }
  }

  Output output;
  if (!overwrites_input(args[2], input, bus_file, console)) output.file = open_for_writing(args[2]);
  if (!output.file.is_open()) {
    console.err.write("Unable to open outputfile\n");
    return 1;
  }
  output.name = args[2];
  output.own.emplace(output.file.fd());

  BusList bus_list;
  if (bus_file.is_open()) {
    LineReader reader(bus_file.fd());
    bus_list = BusList::load(reader);
    if (!report_read_error(reader, args[1], console)) return 1;
  }
  console.err.write(formatted("Read %5d bus numbers\n", static_cast<int>(bus_list.size())));

  KisSettings kis_settings{};
  for (const Model model : kModels) {
    const int m = static_cast<int>(model);
    kis_settings[m] = number_argument(args, 3 + m, -1.0f);
    console.err.write(formatted("Kis for %s = %14.4f\n", model_name(model).data(),
                                static_cast<double>(kis_settings[m])));
  }

  Output check_log;
  open_output(check_log, args, 6, input, bus_file, console);
  check_log.sink->write(kCheckLogHeader);
  Output report;
  open_output(report, args, 7, input, bus_file, console);

  ModelCounters counters;
  RunContext context{number_argument(args, 8, 0.025f), *check_log.sink, *report.sink, counters};

  console.err.flush();
  LineReader reader(input.fd());
  convert_records(reader, *output.own, bus_list, kis_settings, context, console.err);

  console.err.write(formatted("Read    this many records:  %5d gensal %5d gentpf %5d genrou\n",
                              counters.read[0], counters.read[1], counters.read[2]));
  console.err.write(formatted("Changed this many records:  %5d  nesal %5d  netpf %5d  nerou\n",
                              counters.changed[0], counters.changed[1], counters.changed[2]));

  bool ok = report_read_error(reader, args[0], console);
  input.close();
  ok = finish(*output.own, &output.file, output.name, console) && ok;
  ok = finish(*check_log.sink, check_log.own ? &check_log.file : nullptr, check_log.name,
              console) && ok;
  bus_file.close();
  // Standard output is finished once, when both streams fell back to it.
  if (report.own || check_log.own) {
    ok = finish(*report.sink, report.own ? &report.file : nullptr, report.name, console) && ok;
  }
  return ok ? 0 : 1;
}

}  // namespace tpjconv
