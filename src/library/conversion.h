// The conversion on the sinks the caller has set up: what convert(), convert_files() and the
// command line share.
#pragma once

#include <string_view>

#include "text/sink.h"
#include "tpjconv/tpjconv.h"

namespace tpjconv {

// Where the conversion writes; none: not written.
struct Streams {
  Sink* output = nullptr;
  Sink* check_log = nullptr;  // gets the check log's heading first
  Sink* report = nullptr;
};

// An error when a Kis is negative or not finite, or tcmin is not finite.
Status check_options(const Options& options);

// Converts `input` (named `input_name`) into `streams`, as convert() does, without checking the
// options and without flushing the sinks. Never throws: running out of memory is an error that
// names the line being read.
Result<Totals> convert_stream(ByteSource& input, std::string_view input_name,
                              const BusList* bus_list, const Options& options,
                              const Streams& streams, Observer* observer);

}  // namespace tpjconv
