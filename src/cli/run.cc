#include "cli/run.h"

#include <cerrno>
#include <new>
#include <optional>
#include <utility>

#include "platform/process.h"
#include "conversion/frame.h"
#include "text/line_reader.h"
#include "text/number_format.h"
#include "findings/summary.h"
#include "text/writer.h"
#include "conversion/bus_list.h"
#include "cli/command_line.h"
#include "cli/diagnostics.h"
#include "files/outputs.h"
#include "conversion/record_loop.h"

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

// The reader the run is reading with, kept outside the run so that the message about memory
// running out can still name its line.
struct Place {
  std::optional<LineReader> reader;
  std::string file;
};

// The platform's list of files to remove when a signal ends the process.
class PlatformInterrupts final : public Interrupts {
 public:
  void remove_on_signal(const std::string& path) override { platform::remove_on_signal(path); }
  void keep_on_signal(const std::string& path) override { platform::keep_on_signal(path); }
  void hold() override { platform::hold_signals(); }
  void release() override { platform::release_signals(); }
};

enum class Answer { confirmed, declined, none };

// Asks whether to go on without a bus numbers file; only the answer c confirms.
Answer ask(bool yes, Console& console) {
  console.err.write("If you continue all Gensal/tpf/rou will be converted\n");
  console.err.write("Type c to continue, a to abort : ");
  if (yes) {
    console.err.write("c\n");
    return Answer::confirmed;
  }
  console.err.flush();
  char answer = '\0';
  const IoResult result = console.in.read(&answer, 1);
  if (result.bytes == 0) {
    console.err.write("\n");
    if (result.error != 0) {
      say(console.err, "cannot read standard input: " + platform::error_text(result.error) +
                           "; nothing converted");
    } else {
      say(console.err, "no answer; nothing converted");
    }
    return Answer::none;
  }
  if (answer == 'c') return Answer::confirmed;
  // On a terminal the line end typed after the answer has ended the prompt's line.
  if (!platform::is_terminal(0)) console.err.write("\n");
  say(console.err, "not confirmed; nothing converted");
  return Answer::declined;
}

// The status of a run that asked and got `answer`, or -1 to go on. Without --yes the answer
// cannot come from standard input when the input is read from there: the run is refused.
int settle_prompt(const CommandLine& line, const Input& input, Console& console) {
  if (!line.yes && input.opened.file.is_standard(0)) {
    say(console.err, "INPUT " + line.positional[0] +
                         " is standard input, which cannot also answer the prompt; use --yes "
                         "to confirm");
    return 2;
  }
  switch (ask(line.yes, console)) {
    case Answer::confirmed: return -1;
    case Answer::declined: return 0;
    case Answer::none: return 1;
  }
  return 1;
}

// True when CHECKLOG or REPORT (argument `index`) names a file; absent or empty, it goes to
// standard output.
bool names_a_file(const std::vector<std::string>& positional, std::size_t index) {
  return index < positional.size() && !positional[index].empty();
}

// Says why output `i` of `outputs` cannot be planned or opened.
void say_cannot_open(const Outputs& outputs, std::size_t i, int error, bool beside,
                     Console& console) {
  const Role role = outputs.role(i);
  const std::string& name = outputs.name(i);
  if (role == Role::output) console.err.write("Unable to open outputfile\n");
  if (beside) {
    say(console.err, "cannot create a new file beside " + name + ": " +
                         (error == EEXIST ? std::string("all 100 hidden names for it are taken")
                                          : platform::error_text(error)) +
                         "; nothing written");
  } else if (role == Role::output) {
    say(console.err, name + ": " + reason(error));
  } else if (role == Role::summary) {
    say(console.err, "cannot create SUMMARY " + name + ": " + reason(error));
  } else {
    say(console.err, std::string("cannot create ") +
                         (role == Role::checklog ? "CHECKLOG " : "REPORT ") + name + ": " +
                         reason(error) + "; nothing written");
  }
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
    const bool given = names_a_file(positional, index);
    files.push_back({role, given ? positional[index] : "", !given});
  }
  if (line.summary) files.push_back({Role::summary, *line.summary});
  return files;
}

int convert(const CommandLine& line, Console& console, const FileHooks& hooks, Place& place) {
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
    if (bus_path != "none") {
      say(console.err, "BUSFILE " + bus_path + " begins with \"none\": the file is not read");
    }
    if (const int status = settle_prompt(line, input, console); status >= 0) return status;
  } else {
    bus_file.emplace(bus_path, hooks);
    if (!bus_file->is_open()) {
      console.err.write("Unable to open bus numbers file\n");
      say(console.err, bus_path + ": " + reason(bus_file->opened.error));
      if (line.yes) {
        say(console.err,
            "--yes does not confirm a bus numbers file that cannot be read; nothing written");
        return 1;
      }
      bus_file.reset();
      if (const int status = settle_prompt(line, input, console); status >= 0) return status;
    }
  }

  // Every output is planned, then opened, before any of them is emptied or written.
  PlatformInterrupts interrupts;
  Outputs outputs(interrupts, hooks, console.err, console.out);
  if (const int error = outputs.plan(Role::output, positional[2])) {
    console.err.write("Unable to open outputfile\n");
    say(console.err, positional[2] + ": " + reason(error));
    return 1;
  }
  std::optional<std::size_t> summary;
  if (line.summary) {
    summary = outputs.size();
    if (const int error = outputs.plan(Role::summary, *line.summary)) {
      say(console.err, "cannot create SUMMARY " + *line.summary + ": " + reason(error));
      return 1;
    }
  }
  const std::size_t check_log = outputs.size();
  const std::size_t report = check_log + 1;
  for (const auto& [role, index] : {std::pair{Role::checklog, 6u}, std::pair{Role::report, 7u}}) {
    if (!names_a_file(positional, index)) {
      outputs.plan_standard_output(role);
    } else if (const int error = outputs.plan(role, positional[index])) {
      say(console.err, std::string("cannot create ") + argument_name(index) + " " +
                           positional[index] + ": " + reason(error) + "; nothing written");
      return 1;
    }
  }
  if (const auto failure = outputs.open()) {
    say_cannot_open(outputs, failure->output, failure->error, failure->beside, console);
    return 1;
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
  if (const auto failure = outputs.start()) {
    say(console.err, *failure);
    return 1;
  }
  console.err.write(formatted("Read %5d bus numbers\n", static_cast<int>(bus_list.size())));
  if (bus_file && !bus_list.names_a_generator()) {
    say(console.err, "BUSFILE " + bus_path + " lists no generator: " +
                         (bus_list.empty()
                              ? "every record of the enabled models is converted at check level 0"
                              : "no record is converted"));
  }

  const KisSettings kis_settings = read_kis_settings(positional, console);

  if (outputs.placement(check_log) == Placement::standard_output) {
    console.err.write("Working without outputfile\n");
  }
  outputs.sink(check_log).write(kCheckLogHeader);
  if (outputs.placement(report) == Placement::standard_output) {
    console.err.write("Working without outputfile\n");
  }

  const float tcmin = number_argument(positional, 8, 0.025f);

  ModelCounters counters;
  FindingCounts finding_counts;
  RunContext context{tcmin, outputs.sink(check_log), outputs.sink(report), counters,
                     line.summary ? &finding_counts : nullptr};

  place.file = input_path;
  LineReader& reader = place.reader.emplace(input.source());
  convert_records(reader, input_path, outputs.sink(0), bus_list, kis_settings, context,
                  console.err);

  // The totals and warnings are on the console before any file is put in place.
  console.err.write(formatted("Read    this many records:  %5d gensal %5d gentpf %5d genrou\n",
                              counters.read[0], counters.read[1], counters.read[2]));
  console.err.write(formatted("Changed this many records:  %5d  nesal %5d  netpf %5d  nerou\n",
                              counters.changed[0], counters.changed[1], counters.changed[2]));
  if (bus_file) bus_list.report_unused(bus_path, console.err);
  if (summary) outputs.sink(*summary).write(finding_counts.csv(counters.read, counters.changed));

  bool ok = true;
  if (reader.error() != 0) {
    say(console.err, "cannot read " + input_path + ": " + platform::error_text(reader.error()));
    ok = false;
  }
  for (const std::string& failure : outputs.close()) {
    say(console.err, failure);
    ok = false;
  }
  // A failed run puts nothing in place: the new files are removed as the outputs go.
  if (!ok) return 1;
  // Every line is on the console before the first file is put in place.
  console.err.flush();
  if (const auto failure = outputs.lock()) {
    say(console.err, *failure);
    return 1;
  }
  // A signal that comes while the files are put in place waits; once they are all in place the
  // run has succeeded, and it keeps waiting until the process ends with status 0.
  InterruptsHeld held(interrupts);
  if (const auto failure = outputs.commit()) {
    say(console.err, *failure);
    return 1;
  }
  held.keep();
  return 0;
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
