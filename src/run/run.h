// One conversion run: the command line, the files, the prompt, the record loop and the totals.
#pragma once

#include <string>
#include <vector>

#include "records/sink.h"

namespace tpjconv {

// The console of a run: where the answer to the prompt comes from, and standard output and
// standard error.
struct Console {
  int in_fd;
  Sink& out;
  Sink& err;
};

// Runs the tool with the command-line arguments that follow the program name. Returns the exit
// status: 0 on success (and when the user aborts at the prompt), 1 when a file cannot be opened,
// read or written, 2 for a command line without its three required arguments.
int run(const std::vector<std::string>& args, Console& console);

}  // namespace tpjconv
