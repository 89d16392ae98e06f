#include "cli/run.h"

#include <algorithm>
#include <cerrno>
#include <new>
#include <optional>
#include <utility>

#include "cli/command_line.h"
#include "cli/diagnostics.h"
#include "cli/findings_outputs.h"
#include "findings/summary.h"
#include "library/conversion.h"
#include "library/observers.h"
#include "platform/process.h"
#include "text/number_format.h"
#include "text/printable.h"
#include "tpjconv/tpjconv.h"

namespace tpjconv {

namespace {

// A file the run reads, through a test's stand-in when there is one.
struct Input {
  Result<platform::File> opened;
  std::unique_ptr<ByteSource> stand_in;

  Input(const std::string& path, const FileHooks& hooks) : opened(platform::open_for_reading(path)) {
    if (opened && hooks.reading) stand_in = hooks.reading(path, *opened);
  }
  bool is_open() const { return opened.ok(); }
  ByteSource& source() { return stand_in ? *stand_in : static_cast<ByteSource&>(*opened); }
};

// The platform's list of files to remove when a signal ends the process.
class PlatformInterrupts final : public Interrupts {
 public:
  void remove_on_signal(const std::string& path) override { platform::remove_on_signal(path); }
  void keep_on_signal(const std::string& path) override { platform::keep_on_signal(path); }
  void hold() override { platform::hold_signals(); }
  void release() override { platform::release_signals(); }
};

// The console's part of a conversion: each warning as a line, and the totals lines.
class ConsoleObserver final : public Observer {
 public:
  explicit ConsoleObserver(Sink& err) : err_(err) {}
  bool observes_findings() const override { return false; }
  void warning(const Warning& warning) override { err_.write(console_line(warning)); }
  void totals(const Totals& totals) override {
    err_.write(formatted("Read    this many records:  %5d gensal %5d gentpf %5d genrou\n",
                         totals.read[0], totals.read[1], totals.read[2]));
    err_.write(formatted("Changed this many records:  %5d  nesal %5d  netpf %5d  nerou\n",
                         totals.changed[0], totals.changed[1], totals.changed[2]));
  }

 private:
  Sink& err_;
};

// Writes the error's message as the tool's own; the status of a run that failed.
int fail(Console& console, const Error& error) {
  say(console.err, error.message);
  return 1;
}

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

// The status of a run that asked and got its answer, or nothing to go on. Without --yes the
// answer cannot come from standard input when the input is read from there: the run is refused.
std::optional<int> settle_prompt(const RunPlan& plan, const Input& input, Console& console) {
  if (!plan.yes && input.opened->is_standard(0)) {
    say(console.err, "INPUT " + printable(plan.input) +
                         " is standard input, which cannot also answer the prompt; use --yes "
                         "to confirm");
    return 2;
  }
  switch (ask(plan.yes, console)) {
    case Answer::confirmed: return std::nullopt;
    case Answer::declined: return 0;
    case Answer::none: return 1;
  }
  return 1;
}

// Writes a message of the tool's own when standard output could not take what was written.
int finish_standard_output(Console& console) {
  if (console.out.flush()) return 0;
  say(console.err, "cannot write standard output: " + platform::error_text(console.out.error()));
  return 1;
}

// The files of the plan, in the order of the command line (the order of their roles), for the
// check that no output is another file of the run.
std::vector<RunFile> files_of(const RunPlan& plan) {
  std::vector<RunFile> files = {{Role::input, plan.input}};
  if (!plan.bypass) files.push_back({Role::busfile, plan.bus_file});
  for (const PlannedOutput& output : plan.outputs) {
    files.push_back({output.role, output.path, output.standard_output});
  }
  std::stable_sort(files.begin(), files.end(),
                   [](const RunFile& a, const RunFile& b) { return a.role < b.role; });
  return files;
}

// Where each output of the plan is among the run's outputs, by its role.
std::optional<std::size_t> index_of(const RunPlan& plan, Role role) {
  for (std::size_t i = 0; i < plan.outputs.size(); ++i) {
    if (plan.outputs[i].role == role) return i;
  }
  return std::nullopt;
}

// A warning about the run's arguments and settings.
Warning settings_warning(std::string text) {
  return Warning{WarningKind::settings, "", 0, std::move(text)};
}

// The Kis lines of the console; the options of the conversion. The warning that no model is
// converted goes to `observer`.
Options options_of(const RunPlan& plan, Console& console, Observer& observer) {
  Options options;
  bool any_enabled = false;
  for (const Model model : kModels) {
    const float kis = plan.kis[static_cast<std::size_t>(model)];
    if (kis >= 0) options.kis[static_cast<std::size_t>(model)] = kis;
    any_enabled = any_enabled || kis >= 0;
    console.err.write(formatted("Kis for %s = %14.4f\n", model_name(model).data(),
                                static_cast<double>(kis)));
  }
  if (!any_enabled) {
    observer.warning(settings_warning(
        "no model enabled (no Kis argument of 0 or more): nothing will be converted"));
  }
  options.tcmin = plan.tcmin;
  return options;
}

// Attaches the outputs of the plan that are made of the findings and warnings to their sinks.
void attach_findings_outputs(const RunPlan& plan, const BusList* bus_list, Outputs& outputs,
                             FindingsOutputs& findings_outputs) {
  RunInfo run;
  run.version = version();
  run.arguments = plan.arguments;
  run.input = plan.input;
  if (bus_list != nullptr) run.bus_file = plan.bus_file;
  for (const Model model : kModels) {
    const float kis = plan.kis[static_cast<std::size_t>(model)];
    if (kis >= 0) run.kis[static_cast<std::size_t>(model)] = kis;
  }
  run.tcmin = plan.tcmin;
  if (const auto i = index_of(plan, Role::findings)) {
    findings_outputs.attach_findings(outputs.sink(*i));
  }
  if (const auto i = index_of(plan, Role::json)) {
    findings_outputs.attach_json(outputs.sink(*i), run);
  }
  if (const auto i = index_of(plan, Role::html)) {
    findings_outputs.attach_page(outputs.sink(*i), run, platform::local_time());
  }
  findings_outputs.start();
}

int convert(const RunPlan& plan, Console& console, const FileHooks& hooks,
            const OutputTuning& tuning) {
  Input input(plan.input, hooks);
  if (!input.is_open()) {
    console.err.write("Unable to open input file\n");
    return fail(console, input.opened.error());
  }

  // Every file the command line names, checked before anything is created or emptied.
  if (Status collision = find_collision(files_of(plan)); !collision) {
    return fail(console, collision.error());
  }

  // What the run shows and writes besides the converted file, check log and report: the console
  // first, then the outputs made of the findings and warnings.
  ConsoleObserver console_observer(console.err);
  FindingsOutputs findings_outputs;
  ObserverList observers;
  observers.add(console_observer);
  observers.add(findings_outputs);

  std::optional<Input> bus_file;
  if (plan.bypass) {
    console.err.write(
        "You have opted to bypass the bus numbers file and convert all generators of selected "
        "types\n");
    if (plan.bus_file != "none") {
      observers.warning(settings_warning("BUSFILE " + printable(plan.bus_file) +
                                         " begins with \"none\": the file is not read"));
    }
    if (const auto status = settle_prompt(plan, input, console)) return *status;
  } else {
    bus_file.emplace(plan.bus_file, hooks);
    if (!bus_file->is_open()) {
      console.err.write("Unable to open bus numbers file\n");
      observers.warning(Warning{WarningKind::files, "", 0, bus_file->opened.error().message});
      if (plan.yes) {
        say(console.err,
            "--yes does not confirm a bus numbers file that cannot be read; nothing written");
        return 1;
      }
      bus_file.reset();
      if (const auto status = settle_prompt(plan, input, console)) return *status;
    }
  }

  // Every output is planned, then opened, before any of them is emptied or written.
  PlatformInterrupts interrupts;
  WarningsTo notices(&observers);
  Outputs outputs(interrupts, hooks, notices, &console.out, tuning);
  const std::string& output_path = plan.outputs.front().path;
  const auto cannot_open = [&](const Error& error) {
    if (error.file == output_path) console.err.write("Unable to open outputfile\n");
    return fail(console, error);
  };
  for (const PlannedOutput& output : plan.outputs) {
    if (output.standard_output) {
      outputs.plan_standard_output(output.role);
    } else if (Status planned = outputs.plan(output.role, output.path); !planned) {
      return cannot_open(planned.error());
    }
  }
  if (Status opened = outputs.open(); !opened) return cannot_open(opened.error());

  std::optional<BusList> bus_list;
  if (bus_file) {
    Result<BusList> loaded = BusList::load(bus_file->source(), plan.bus_file, &observers);
    if (!loaded) return fail(console, loaded.error());
    bus_list = std::move(*loaded);
  }
  if (Status started = outputs.start(); !started) return fail(console, started.error());
  attach_findings_outputs(plan, bus_list ? &*bus_list : nullptr, outputs, findings_outputs);
  console.err.write(
      formatted("Read %5d bus numbers\n", static_cast<int>(bus_list ? bus_list->size() : 0)));
  if (bus_list) {
    if (const auto warning = no_generator_warning(*bus_list, plan.bus_file)) {
      observers.warning(*warning);
    }
  }

  const Options options = options_of(plan, console, observers);

  Streams streams;
  streams.output = &outputs.sink(*index_of(plan, Role::output));
  streams.listeners = findings_outputs.listeners();
  for (const Role role : {Role::checklog, Role::report}) {
    const std::size_t i = *index_of(plan, role);
    if (outputs.placement(i) == Placement::standard_output) {
      console.err.write("Working without outputfile\n");
    }
    (role == Role::checklog ? streams.check_log : streams.report) = &outputs.sink(i);
  }

  const Result<Totals> totals = convert_stream(input.source(), plan.input,
                                               bus_list ? &*bus_list : nullptr, options, streams,
                                               &observers);
  if (!totals && totals.error().kind == ErrorKind::out_of_memory) {
    return fail(console, totals.error());
  }
  bool ok = totals.ok();
  const Outcome outcome = outcome_of(plan.strict, findings_outputs.warnings());
  if (ok) {
    if (const auto summary = index_of(plan, Role::summary)) {
      outputs.sink(*summary).write(summary_csv(*totals));
    }
    findings_outputs.finish(*totals, outcome);
  } else {
    say(console.err, totals.error().message);
  }
  for (const Error& failure : outputs.close()) {
    say(console.err, failure.message);
    ok = false;
  }
  // A failed run puts nothing in place: the new files are removed as the outputs go.
  if (!ok) return 1;
  // Every line is on the console before the first file is put in place.
  console.err.flush();
  if (Status locked = outputs.lock(); !locked) return fail(console, locked.error());
  // A signal that comes while the files are put in place waits; once they are all in place the
  // run has succeeded, and it keeps waiting until the process ends with status 0.
  InterruptsHeld held(interrupts);
  if (Status committed = outputs.commit(); !committed) return fail(console, committed.error());
  held.keep();
  return outcome.status;
}

}  // namespace

int run(const std::vector<std::string>& args, Console& console, const FileHooks& hooks,
        const OutputTuning& tuning) {
  const ParsedCommandLine parsed = parse_command_line(args);
  if (parsed.error) {
    if (!parsed.error->message.empty()) console.err.write(parsed.error->message + "\n");
    console.err.write(kUsage);
    return 2;
  }
  if (parsed.line.help || parsed.line.version) {
    console.out.write(parsed.line.help
                          ? std::string(kHelp)
                          : std::string("tpjconv ") + version() + "\nLicence: BSD-3-Clause\n");
    return finish_standard_output(console);
  }
  try {
    return convert(plan_of(parsed.line), console, hooks, tuning);
  } catch (const std::bad_alloc&) {
    say(console.err, "out of memory");
    return 1;
  }
}

}  // namespace tpjconv
