#include "run/run.h"

#include <cerrno>
#include <new>
#include <optional>
#include <utility>

#include "platform/process.h"
#include "records/frame.h"
#include "records/line_reader.h"
#include "records/number_format.h"
#include "records/summary.h"
#include "records/writer.h"
#include "run/bus_list.h"
#include "run/command_line.h"
#include "run/diagnostics.h"
#include "run/outputs.h"
#include "run/record_loop.h"

namespace tpjconv {

namespace {

constexpr std::string_view kCheckLogHeader =
    "Model   Bus            Name        Bkv       ID   Cod    Error\n";

// Why a file could not be opened, as the messages say it.
std::string reason(int error) {
  return error == EISDIR ? "is a directory" : platform::error_text(error);
}

// A file the run reads, through a test's stand-in when there is one.
struct Input {
  platform::Opened opened;
  std::unique_ptr<ByteSource> stand_in;

  Input(const std::string& path, const FileHooks& hooks) : opened(platform::open_for_reading(path)) {
    if (opened.error == 0 && hooks.reading) stand_in = hooks.reading(path, opened.file);
  }
  bool is_open() const { return opened.error == 0; }
  ByteSource& source() { return stand_in ? *stand_in : static_cast<ByteSource&>(opened.file); }
};

// An output of the run: a file of its own, written beside its name until the run succeeds, or
// standard output.
struct Output {
  std::string name;  // for messages: the path, or "standard output"
  OutputFile file;
  std::unique_ptr<ByteSink> stand_in;
  std::optional<Sink> own;
  Sink* sink = nullptr;

  // Hands the full pieces of a regular file to `writer`'s thread. A device, a FIFO or a standard
  // stream is written on the run's own thread, where a broken pipe ends the run as it always has.
  void write_through(Writer& writer) {
    if (own && file.is_regular()) own->write_through(writer);
  }

  // Opens the new file for `path`; the errno of a failure, or 0.
  int open(const std::string& path, const FileHooks& hooks) {
    if (const int error = file.open(path)) return error;
    name = path;
    ByteSink* destination = &file.sink();
    if (hooks.writing) stand_in = hooks.writing(path, *destination);
    if (stand_in) destination = stand_in.get();
    own.emplace(*destination);
    sink = &*own;
    return 0;
  }

  void use_standard_output(Console& console) {
    name = "standard output";
    sink = &console.out;
  }

  // Writes out what is left and closes the file: the errno of the first failure, or 0.
  int close() {
    sink->flush();
    int error = sink->error();
    if (own) {
      const int close_error = stand_in ? stand_in->close() : file.close();
      if (error == 0) error = close_error;
    }
    return error;
  }
};

// The reader the run is reading with, kept outside the run so that the message about memory
// running out can still name its line.
struct Place {
  std::optional<LineReader> reader;
  std::string file;
};

// Asks whether to go on without a bus numbers file; true only for the answer c.
bool confirmed(bool yes, Console& console) {
  console.err.write("If you continue all Gensal/tpf/rou will be converted\n");
  console.err.write("Type c to continue, a to abort : ");
  if (yes) {
    console.err.write("c\n");
    return true;
  }
  console.err.flush();
  char answer = '\0';
  const IoResult result = console.in.read(&answer, 1);
  if (result.bytes == 0) {
    console.err.write("\n");
    say(console.err, "no answer; nothing converted");
    return false;
  }
  return answer == 'c';
}

// Settles the check log or the report: its file, or standard output when the argument is absent
// or the file cannot be created. Returns a refusal when standard output is then one of the run's
// files.
std::optional<std::string> open_fallback(Output& output, Role role, std::size_t index,
                                         const std::vector<std::string>& positional,
                                         std::vector<RunFile>& files, const FileHooks& hooks,
                                         Console& console) {
  const bool given = index < positional.size();
  const int error = given ? output.open(positional[index], hooks) : 0;
  if (given && error == 0) return std::nullopt;
  console.err.write("Working without outputfile\n");
  if (given) {
    say(console.err, std::string("cannot create ") + argument_name(index) + " " +
                         positional[index] + ": " + reason(error) + "; the " +
                         (role == Role::checklog ? "check log" : "report") +
                         " goes to standard output");
  }
  output.use_standard_output(console);
  // Standard output was checked against the other files only when the argument was absent.
  if (!given) return std::nullopt;
  for (RunFile& file : files) {
    if (file.role == role) file.standard_output = true;
  }
  return find_collision(files);
}

// Writes a message of the tool's own when standard output could not take what was written.
int finish_standard_output(Console& console) {
  if (console.out.flush()) return 0;
  say(console.err, "cannot write standard output: " + platform::error_text(console.out.error()));
  return 1;
}

// The Kis settings of the three models from arguments 4 to 6, printed as they are fixed.
KisSettings read_kis_settings(const std::vector<std::string>& positional, Console& console) {
  KisSettings kis_settings{};
  bool any_enabled = false;
  for (const Model model : kModels) {
    const int m = static_cast<int>(model);
    const float kis = number_argument(positional, 3 + m, -1.0f);
    kis_settings[m] = kis;
    any_enabled = any_enabled || kis >= 0;
    console.err.write(formatted("Kis for %s = %14.4f\n", model_name(model).data(),
                                static_cast<double>(kis)));
  }
  if (!any_enabled) {
    say(console.err, "no model enabled (no Kis argument of 0 or more): nothing will be converted");
  }
  return kis_settings;
}

// The files the command line names, in its order, for the check that no output is another.
std::vector<RunFile> files_of(const CommandLine& line, bool bypass) {
  const std::vector<std::string>& positional = line.positional;
  std::vector<RunFile> files = {{Role::input, positional[0]}};
  if (!bypass) files.push_back({Role::busfile, positional[1]});
  files.push_back({Role::output, positional[2]});
  // An absent check log or report goes to standard output.
  for (const auto& [role, index] : {std::pair{Role::checklog, 6u}, std::pair{Role::report, 7u}}) {
    const bool given = positional.size() > index;
    files.push_back({role, given ? positional[index] : "", !given});
  }
  if (line.summary) files.push_back({Role::summary, *line.summary});
  return files;
}

// Finishes every output, in closing order, standard output once. False, with a message for each
// failure, when one of them could not be written whole.
bool close_outputs(const std::vector<Output*>& outputs, Console& console) {
  bool ok = true;
  bool standard_output_closed = false;
  for (Output* o : outputs) {
    if (!o->own && std::exchange(standard_output_closed, true)) continue;
    if (const int error = o->close()) {
      say(console.err, "cannot write " + o->name + ": " + platform::error_text(error));
      ok = false;
    }
  }
  return ok;
}

// Puts every finished output file in its place: all of them, or, should a signal come, all of
// them after it has waited.
bool commit_outputs(const std::vector<Output*>& outputs, Console& console) {
  bool ok = true;
  platform::hold_signals();
  for (Output* o : outputs) {
    if (!o->own) continue;
    if (const int error = o->file.commit()) {
      say(console.err, "cannot write " + o->name + ": " + platform::error_text(error));
      ok = false;
    }
  }
  platform::release_signals();
  return ok;
}

int convert(const CommandLine& line, Console& console, const FileHooks& hooks, Place& place) {
  // Before the outputs, so that it outlives their sinks: they hand it their last pieces as they
  // go, also when an error ends the run early.
  Writer writer;
  const std::vector<std::string>& positional = line.positional;
  const std::string& input_path = positional[0];
  const std::string& bus_path = positional[1];

  Input input(input_path, hooks);
  if (!input.is_open()) {
    console.err.write("Unable to open input file\n");
    say(console.err, input_path + ": " + reason(input.opened.error));
    return 1;
  }

  // Every file the command line names, checked before anything is created or emptied.
  const bool bypass = bus_path.compare(0, 4, "none") == 0;
  std::vector<RunFile> files = files_of(line, bypass);
  if (const auto refusal = find_collision(files)) {
    say(console.err, *refusal);
    return 1;
  }

  std::optional<Input> bus_file;
  if (bypass) {
    console.err.write(
        "You have opted to bypass the bus numbers file and convert all generators of selected "
        "types\n");
    const platform::FileIdentity named = platform::identify(bus_path);
    if (bus_path != "none" && named.known && named.kind != platform::FileKind::missing) {
      say(console.err, "BUSFILE " + bus_path + " begins with \"none\": the file is not read");
    }
    if (!confirmed(line.yes, console)) return 0;
  } else {
    bus_file.emplace(bus_path, hooks);
    if (!bus_file->is_open()) {
      console.err.write("Unable to open bus numbers file\n");
      say(console.err, bus_path + ": " + reason(bus_file->opened.error));
      bus_file.reset();
      if (!confirmed(line.yes, console)) return 0;
    }
  }

  Output output;
  if (const int error = output.open(positional[2], hooks)) {
    console.err.write("Unable to open outputfile\n");
    say(console.err, positional[2] + ": " + reason(error));
    return 1;
  }
  Output summary;
  if (line.summary) {
    if (const int error = summary.open(*line.summary, hooks)) {
      say(console.err, "cannot create SUMMARY " + *line.summary + ": " + reason(error));
      return 1;
    }
  }

  BusList bus_list;
  if (bus_file) {
    place.file = bus_path;
    LineReader& reader = place.reader.emplace(bus_file->source());
    bus_list = BusList::load(reader, bus_path, console.err);
    if (reader.error() != 0) {
      say(console.err, "cannot read " + bus_path + ": " + platform::error_text(reader.error()));
      return 1;
    }
    place.reader.reset();
  }
  console.err.write(formatted("Read %5d bus numbers\n", static_cast<int>(bus_list.size())));
  if (bus_file && !bus_list.names_a_generator()) {
    say(console.err, "BUSFILE " + bus_path + " lists no generator: " +
                         (bus_list.empty()
                              ? "every record of the enabled models is converted at check level 0"
                              : "no record is converted"));
  }

  const KisSettings kis_settings = read_kis_settings(positional, console);

  Output check_log;
  if (auto refusal = open_fallback(check_log, Role::checklog, 6, positional, files, hooks, console)) {
    say(console.err, *refusal);
    return 1;
  }
  check_log.sink->write(kCheckLogHeader);
  Output report;
  if (auto refusal = open_fallback(report, Role::report, 7, positional, files, hooks, console)) {
    say(console.err, *refusal);
    return 1;
  }

  const float tcmin = number_argument(positional, 8, 0.025f);

  ModelCounters counters;
  FindingCounts finding_counts;
  RunContext context{tcmin, *check_log.sink, *report.sink, counters,
                     line.summary ? &finding_counts : nullptr};

  for (Output* o : {&output, &check_log, &report}) o->write_through(writer);

  console.err.flush();
  place.file = input_path;
  LineReader& reader = place.reader.emplace(input.source());
  convert_records(reader, input_path, *output.sink, bus_list, kis_settings, context, console.err);

  console.err.write(formatted("Read    this many records:  %5d gensal %5d gentpf %5d genrou\n",
                              counters.read[0], counters.read[1], counters.read[2]));
  console.err.write(formatted("Changed this many records:  %5d  nesal %5d  netpf %5d  nerou\n",
                              counters.changed[0], counters.changed[1], counters.changed[2]));
  if (bus_file) bus_list.report_unused(bus_path, console.err);
  if (line.summary) summary.sink->write(finding_counts.csv(counters.read, counters.changed));

  bool ok = true;
  if (reader.error() != 0) {
    say(console.err, "cannot read " + input_path + ": " + platform::error_text(reader.error()));
    ok = false;
  }
  std::vector<Output*> outputs = {&output, &check_log, &report};
  if (line.summary) outputs.push_back(&summary);
  ok = close_outputs(outputs, console) && ok;
  // A failed run puts nothing in place: the new files are removed as the outputs go.
  return ok && commit_outputs(outputs, console) ? 0 : 1;
}

}  // namespace

int run(const std::vector<std::string>& args, Console& console, const FileHooks& hooks) {
  const ParsedCommandLine parsed = parse_command_line(args);
  if (parsed.error) {
    if (!parsed.error->message.empty()) console.err.write(parsed.error->message + "\n");
    console.err.write(kUsage);
    return 2;
  }
  if (parsed.line.help || parsed.line.version) {
    console.out.write(parsed.line.help ? kHelp
                                       : "tpjconv " TPJCONV_VERSION "\nLicence: BSD-3-Clause\n");
    return finish_standard_output(console);
  }
  Place place;
  try {
    return convert(parsed.line, console, hooks, place);
  } catch (const std::bad_alloc&) {
    if (place.reader) {
      say(console.err, "out of memory at line " + std::to_string(place.reader->current_line()) +
                           " of " + place.file);
    } else {
      say(console.err, "out of memory");
    }
    return 1;
  }
}

}  // namespace tpjconv
