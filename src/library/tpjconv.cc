#include "tpjconv/tpjconv.h"

#include <cerrno>
#include <new>
#include <optional>
#include <string>

#include "files/outputs.h"
#include "findings/check_log.h"
#include "library/conversion.h"
#include "library/observers.h"
#include "platform/file.h"

namespace tpjconv {

namespace {

Error no_memory() { return Error{ErrorKind::out_of_memory, ENOMEM, "", 0, "out of memory"}; }

// The sinks of the caller's byte sinks: filled and flushed here.
struct OwnSinks {
  std::optional<Sink> output, check_log, report;

  explicit OwnSinks(const Targets& targets) {
    if (targets.output != nullptr) output.emplace(*targets.output);
    if (targets.check_log != nullptr) check_log.emplace(*targets.check_log);
    if (targets.report != nullptr) report.emplace(*targets.report);
  }
  Streams streams() {
    return {output ? &*output : nullptr, check_log ? &*check_log : nullptr,
            report ? &*report : nullptr};
  }
  // Writes out what is left; the error of the first sink that failed.
  Status flush() {
    for (auto [sink, what] : {std::pair{&output, "the converted file"},
                              std::pair{&check_log, "the check log"},
                              std::pair{&report, "the report"}}) {
      if (!*sink || (*sink)->flush()) continue;
      const int error = (*sink)->error();
      return Error{ErrorKind::write, error, "", 0,
                   std::string("cannot write ") + what + ": " + platform::error_text(error)};
    }
    return {};
  }
};

// Signals are the caller's business: a conversion of files lists nothing and holds nothing.
class NoInterrupts final : public Interrupts {
 public:
  void remove_on_signal(const std::string&) override {}
  void keep_on_signal(const std::string&) override {}
  void hold() override {}
  void release() override {}
};

Result<Totals> convert_files_unchecked(const FileRun& files, const Options& options,
                                       Observer* observer) {
  Result<platform::File> input = platform::open_for_reading(files.input);
  if (!input) return input.error();
  std::vector<RunFile> run_files = {{Role::input, files.input}};
  if (files.bus_file) run_files.push_back({Role::busfile, *files.bus_file});
  std::vector<std::pair<Role, const std::string*>> outputs_asked;
  for (const auto& [role, path] : {std::pair{Role::output, &files.output},
                                   std::pair{Role::checklog, &files.check_log},
                                   std::pair{Role::report, &files.report}}) {
    if (!*path) continue;
    run_files.push_back({role, **path});
    outputs_asked.emplace_back(role, &**path);
  }
  if (Status collision = find_collision(run_files); !collision) return collision.error();

  std::optional<Result<platform::File>> bus_file;
  if (files.bus_file) {
    bus_file.emplace(platform::open_for_reading(*files.bus_file));
    if (!*bus_file) return bus_file->error();
  }

  NoInterrupts interrupts;
  const FileHooks no_hooks;
  WarningsTo notices(observer);
  Outputs outputs(interrupts, no_hooks, notices, nullptr);
  for (const auto& [role, path] : outputs_asked) {
    if (Status planned = outputs.plan(role, *path); !planned) return planned.error();
  }
  if (Status opened = outputs.open(); !opened) return opened.error();

  std::optional<BusList> bus_list;
  if (bus_file) {
    Result<BusList> loaded = BusList::load(**bus_file, *files.bus_file, observer);
    if (!loaded) return loaded.error();
    bus_list = std::move(*loaded);
    if (const auto warning = no_generator_warning(*bus_list, *files.bus_file)) {
      if (observer != nullptr) observer->warning(*warning);
    }
  }
  if (Status started = outputs.start(); !started) return started.error();

  Streams streams;
  for (std::size_t i = 0; i < outputs_asked.size(); ++i) {
    Sink* const sink = &outputs.sink(i);
    switch (outputs_asked[i].first) {
      case Role::output: streams.output = sink; break;
      case Role::checklog: streams.check_log = sink; break;
      case Role::report: streams.report = sink; break;
      default: break;
    }
  }
  Result<Totals> totals = convert_stream(*input, files.input, bus_list ? &*bus_list : nullptr,
                                         options, streams, observer);
  if (!totals && totals.error().kind == ErrorKind::out_of_memory) return totals;
  const std::vector<Error> failures = outputs.close();
  if (!totals) return totals;
  if (!failures.empty()) return failures.front();
  if (Status locked = outputs.lock(); !locked) return locked.error();
  InterruptsHeld held(interrupts);
  if (Status committed = outputs.commit(); !committed) return committed.error();
  return totals;
}

}  // namespace

const char* version() { return TPJCONV_VERSION; }

Result<Totals> convert(ByteSource& input, std::string_view input_name, const BusList* bus_list,
                       const Options& options, const Targets& targets, Observer* observer) {
  if (Status checked = check_options(options); !checked) return checked.error();
  try {
    // A list read from a file or a text that selects no record is said so, as for files.
    if (bus_list != nullptr && bus_list->data() != nullptr && observer != nullptr) {
      if (const auto warning = no_generator_warning(*bus_list, bus_list->file_name())) {
        observer->warning(*warning);
      }
    }
    OwnSinks sinks(targets);
    Result<Totals> totals =
        convert_stream(input, input_name, bus_list, options, sinks.streams(), observer);
    if (Status flushed = sinks.flush(); !flushed && totals) return flushed.error();
    return totals;
  } catch (const std::bad_alloc&) {
    return no_memory();
  }
}

Result<Totals> convert_text(std::string_view text, std::string_view input_name,
                            const BusList* bus_list, const Options& options,
                            const Targets& targets, Observer* observer) {
  StringSource source(text);
  return convert(source, input_name, bus_list, options, targets, observer);
}

Result<Totals> convert_files(const FileRun& files, const Options& options, Observer* observer) {
  if (Status checked = check_options(options); !checked) return checked.error();
  try {
    return convert_files_unchecked(files, options, observer);
  } catch (const std::bad_alloc&) {
    return no_memory();
  }
}

}  // namespace tpjconv
