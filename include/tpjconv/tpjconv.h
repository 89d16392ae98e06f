// The conversion of gensal, gentpf and genrou records to gentpj, as a library: its options, the
// bus numbers list, what a conversion finds, and the conversions of a stream, of a text and of
// files. No globals, no signals, no console; nothing is thrown across this header. Conversions
// on different threads share nothing but the BusList they are given, which no conversion changes.
#pragma once

#include <array>
#include <memory>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "tpjconv/error.h"
#include "tpjconv/export.h"
#include "tpjconv/findings.h"
#include "tpjconv/io.h"

namespace tpjconv {

// The library's version, "1.0.0".
TPJCONV_API const char* version();

// What a conversion converts and how: the Kis of each model, in the order of kModels, none when
// that model is not converted (a Kis must be finite and 0 or more), and the smallest
// subtransient time constant the rules accept (finite).
struct Options {
  std::array<std::optional<float>, kModelCount> kis{};
  float tcmin = 0.025f;
};

// Gets what a conversion finds, as it finds it, on the thread that converts. Each call is
// optional to implement; none may throw.
class TPJCONV_API Observer {
 public:
  virtual ~Observer() = default;
  // False when finding() does nothing: the findings are then not made for this observer.
  virtual bool observes_findings() const { return true; }
  // Each finding of the check log, in its order (also when no check log is written).
  virtual void finding(const Finding&) {}
  // Each warning: records not read as meant, name mismatches, bus numbers entries unused.
  virtual void warning(const Warning&) {}
  // Once the last record is done, before the warnings about unused bus numbers entries.
  virtual void totals(const Totals&) {}
};

// The generators a conversion converts, with their check level and Kis: the entries of a bus
// numbers file (a heading line, then one entry a line), with the warnings its reading gave.
// Unchanged once loaded: copies share the entries, and conversions on several threads may use
// one list at once. An empty list (no entries) converts every record of the enabled models at
// check level 0 with the Kis of the options.
class TPJCONV_API BusList {
 public:
  BusList();  // empty

  // Reads the file behind `source`, named `file_name` in warnings and errors. Each warning is
  // kept, and handed to `observer` (may be null) as it is found.
  static Result<BusList> load(ByteSource& source, std::string_view file_name,
                              Observer* observer = nullptr);
  // Reads `text` as the bytes of such a file.
  static Result<BusList> from_text(std::string_view text, std::string_view file_name,
                                   Observer* observer = nullptr);

  std::size_t size() const;
  bool empty() const { return size() == 0; }
  // True when some entry can select a record: it has a unit ID, and is the first with its bus
  // number and unit ID. A list with entries but none of those selects no record.
  bool names_a_generator() const;
  std::string_view file_name() const;
  // Fields that are no numbers, entries listed twice: in the order of the file.
  std::span<const Warning> warnings() const;

  struct Data;  // the entries and their index
  const Data* data() const { return data_.get(); }

 private:
  explicit BusList(std::shared_ptr<const Data> data) : data_(std::move(data)) {}
  template <typename Open>
  static Result<BusList> read(std::string_view file_name, Observer* observer, Open open);
  std::shared_ptr<const Data> data_;
};

// Where a conversion writes: the converted file, and where asked (not null) the check log and
// the comparison report. Written and flushed, not closed.
struct Targets {
  ByteSink* output = nullptr;
  ByteSink* check_log = nullptr;
  ByteSink* report = nullptr;
};

// Converts the dynamic-data file read from `input`, named `input_name` in findings, warnings
// and errors, with the generators of `bus_list` (nullptr: every record of the enabled models,
// at check level 0). Hands each finding and warning to `observer` (may be null), first the
// warning that a loaded `bus_list` selects no record when it does not, and returns the totals,
// or the error that stopped the conversion.
TPJCONV_API Result<Totals> convert(ByteSource& input, std::string_view input_name,
                                   const BusList* bus_list, const Options& options,
                                   const Targets& targets, Observer* observer = nullptr);

// The same for a text in memory.
TPJCONV_API Result<Totals> convert_text(std::string_view text, std::string_view input_name,
                                        const BusList* bus_list, const Options& options,
                                        const Targets& targets, Observer* observer = nullptr);

// The files of a conversion of files: each output none when it is not written.
struct FileRun {
  std::string input;
  std::optional<std::string> bus_file;  // none: every record of the enabled models
  std::optional<std::string> output;
  std::optional<std::string> check_log;
  std::optional<std::string> report;
};

// Converts files as the command line does, without asking and without a console: refused when
// an output is another file of the run; each output written as a new file beside its name and
// put in place only when everything is written, all of them or none (see tpjconv(1) for the
// files written where they stand). Returns the totals, or the error, after which every earlier
// file is as it was.
TPJCONV_API Result<Totals> convert_files(const FileRun& files, const Options& options,
                                         Observer* observer = nullptr);

}  // namespace tpjconv
