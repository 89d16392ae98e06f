// One run of the command line: its plan, the files, the prompt, the library's conversion, the
// console and the commit.
#pragma once

#include <string>
#include <vector>

#include "files/file_hooks.h"
#include "files/outputs.h"
#include "text/sink.h"
#include "tpjconv/io.h"

namespace tpjconv {

// The console of a run: where the answer to the prompt comes from, and standard output and
// standard error.
struct Console {
  ByteSource& in;
  Sink& out;
  Sink& err;
};

// Runs the tool with the command-line arguments that follow the program name. Returns the exit
// status: 0 once every output is in place (and when the prompt is answered with anything but c),
// 1 when a file cannot be opened, created, read, written or put in place, two arguments name one
// file, or the prompt gets no answer, 2 for a command line that cannot be run (also an input that
// is standard input while the prompt needs an answer), 3 with --strict for a run that succeeded
// and gave a warning.
// `hooks` are for tests (a normal run sets none); `tuning` says how the outputs are written.
int run(const std::vector<std::string>& args, Console& console, const FileHooks& hooks = {},
        const OutputTuning& tuning = {});

}  // namespace tpjconv
