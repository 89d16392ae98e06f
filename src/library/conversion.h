// The conversion on the sinks the caller has set up: what convert(), convert_files() and the
// command line share.
#pragma once

#include <optional>
#include <string_view>
#include <vector>

#include "conversion/frame.h"
#include "text/sink.h"
#include "tpjconv/tpjconv.h"

namespace tpjconv {

// Where the conversion writes; none: not written.
struct Streams {
  Sink* output = nullptr;
  Sink* check_log = nullptr;  // gets the check log's heading first
  Sink* report = nullptr;
  // Writers that take each check-log line as the conversion makes it, without a Finding made
  // for them: the command line's findings file and page.
  std::vector<FindingListener*> listeners = {};
};

// The warning about a bus numbers file `list` (named `name`) that selects no record by its
// entries, or nothing when some entry names a generator.
std::optional<Warning> no_generator_warning(const BusList& list, std::string_view name);

// An error when a Kis is negative or not finite, or tcmin is not finite.
Status check_options(const Options& options);

// Converts `input` (named `input_name`) into `streams`, as convert() does, without checking the
// options and without flushing the sinks. Never throws: running out of memory is an error that
// names the line being read.
Result<Totals> convert_stream(ByteSource& input, std::string_view input_name,
                              const BusList* bus_list, const Options& options,
                              const Streams& streams, Observer* observer);

}  // namespace tpjconv
