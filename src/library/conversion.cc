#include "library/conversion.h"

#include <cmath>
#include <new>
#include <optional>
#include <string>

#include "conversion/record_loop.h"
#include "findings/check_log.h"
#include "findings/observed.h"
#include "findings/summary.h"
#include "library/observers.h"
#include "platform/file.h"
#include "text/line_reader.h"
#include "text/printable.h"

namespace tpjconv {

struct BusList::Data {
  BusTable table;
  std::string file_name;
  std::vector<Warning> warnings;
};

namespace {

// "out of memory at line N of FILE": where the reading was when memory ran out.
Error out_of_memory(std::string_view file, const std::optional<LineReader>& reader) {
  Error error{ErrorKind::out_of_memory, ENOMEM, std::string(file), 0, "out of memory"};
  if (reader) {
    error.line = reader->current_line();
    error.message += " at line " + std::to_string(error.line) + " of " + printable(error.file);
  }
  return error;
}

Error read_error(std::string_view file, const LineReader& reader) {
  return Error{ErrorKind::read, reader.error(), std::string(file), reader.current_line(),
               "cannot read " + printable(file) + ": " + platform::error_text(reader.error())};
}

}  // namespace

std::optional<Warning> no_generator_warning(const BusList& list, std::string_view name) {
  if (list.names_a_generator()) return std::nullopt;
  return Warning{WarningKind::settings, "", 0,
                 "BUSFILE " + printable(name) + " lists no generator: " +
                     (list.empty()
                          ? "every record of the enabled models is converted at check level 0"
                          : "no record is converted")};
}

Status check_options(const Options& options) {
  for (const Model model : kModels) {
    const std::optional<float>& kis = options.kis[static_cast<std::size_t>(model)];
    if (kis && !(std::isfinite(*kis) && *kis >= 0.0f)) {
      return Error{ErrorKind::invalid_argument, 0, "", 0,
                   "the Kis of " + std::string(model_name(model)) +
                       " must be a finite number of 0 or more"};
    }
  }
  if (!std::isfinite(options.tcmin)) {
    return Error{ErrorKind::invalid_argument, 0, "", 0, "tcmin must be a finite number"};
  }
  return {};
}

Result<Totals> convert_stream(ByteSource& input, std::string_view input_name,
                              const BusList* bus_list, const Options& options,
                              const Streams& streams, Observer* observer) {
  std::optional<LineReader> reader;
  try {
    KisSettings kis{};
    for (std::size_t m = 0; m < kModelCount; ++m) kis[m] = options.kis[m].value_or(-1.0f);

    const BusTable no_entries;
    const BusList::Data* list = bus_list != nullptr ? bus_list->data() : nullptr;
    BusUse use(list != nullptr ? list->table : no_entries);

    ModelCounters counters;
    RuleTally tally;
    std::optional<CheckLog> check_log;
    std::optional<ObservedFindings> observed;
    RunContext run{options.tcmin, streams.report, counters};
    if (streams.check_log != nullptr) {
      run.listeners.push_back(&check_log.emplace(*streams.check_log));
    }
    run.listeners.push_back(&tally);
    if (observer != nullptr && observer->observes_findings()) {
      run.listeners.push_back(&observed.emplace(*observer));
    }
    run.listeners.insert(run.listeners.end(), streams.listeners.begin(), streams.listeners.end());
    run.input_name = input_name;

    WarningsTo warnings(observer);
    reader.emplace(input);
    convert_records(*reader, streams.output, use, kis, run, warnings);

    Totals totals;
    totals.read = counters.read;
    totals.changed = counters.changed;
    totals.rules = tally.rules();
    if (observer != nullptr) observer->totals(totals);
    if (list != nullptr) use.report_unused(list->file_name, warnings);
    if (reader->error() != 0) return read_error(input_name, *reader);
    return totals;
  } catch (const std::bad_alloc&) {
    return out_of_memory(input_name, reader);
  }
}

// The bus list is loaded here, where its data is known.
BusList::BusList() = default;

std::size_t BusList::size() const { return data_ ? data_->table.size() : 0; }

bool BusList::names_a_generator() const { return data_ && data_->table.names_a_generator(); }

std::string_view BusList::file_name() const {
  return data_ ? std::string_view(data_->file_name) : std::string_view();
}

std::span<const Warning> BusList::warnings() const {
  return data_ ? std::span<const Warning>(data_->warnings) : std::span<const Warning>();
}

namespace {

// Keeps each warning of the reading and hands it on as it comes.
class KeptWarnings final : public WarningOut {
 public:
  KeptWarnings(std::vector<Warning>& kept, Observer* observer) : kept_(kept), observer_(observer) {}
  void warning(Warning&& warning) override {
    if (observer_ != nullptr) observer_->warning(warning);
    kept_.push_back(std::move(warning));
  }

 private:
  std::vector<Warning>& kept_;
  Observer* observer_;
};

}  // namespace

// Loads a list from the reader that `open` puts in `reader`.
template <typename Open>
Result<BusList> BusList::read(std::string_view file_name, Observer* observer, Open open) {
  std::optional<LineReader> reader;
  try {
    auto data = std::make_shared<Data>();
    data->file_name = file_name;
    KeptWarnings warnings(data->warnings, observer);
    open(reader);
    data->table = BusTable::load(*reader, file_name, warnings);
    if (reader->error() != 0) return read_error(file_name, *reader);
    return BusList(std::move(data));
  } catch (const std::bad_alloc&) {
    return out_of_memory(file_name, reader);
  }
}

Result<BusList> BusList::load(ByteSource& source, std::string_view file_name,
                              Observer* observer) {
  return read(file_name, observer, [&](std::optional<LineReader>& r) { r.emplace(source); });
}

Result<BusList> BusList::from_text(std::string_view text, std::string_view file_name,
                                   Observer* observer) {
  return read(file_name, observer, [&](std::optional<LineReader>& r) { r.emplace(text); });
}

}  // namespace tpjconv
