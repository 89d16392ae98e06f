// One conversion run: the command line, the files, the prompt, the record loop and the totals.
#pragma once

#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "platform/file.h"
#include "text/sink.h"

namespace tpjconv {

// The console of a run: where the answer to the prompt comes from, and standard output and
// standard error.
struct Console {
  ByteSource& in;
  Sink& out;
  Sink& err;
};

// Where a test puts a stand-in between the run and a file it reads or writes: a hook that is set
// gets each file the run opens by name, with that name, and returns what the run uses in its
// place, or nothing to leave the file as it is. A normal run sets none.
struct FileHooks {
  std::function<std::unique_ptr<ByteSource>(const std::string& path, ByteSource& file)> reading;
  std::function<std::unique_ptr<ByteSink>(const std::string& path, ByteSink& file)> writing;
};

// Runs the tool with the command-line arguments that follow the program name. Returns the exit
// status: 0 once every output is in place (and when the prompt is answered with anything but c),
// 1 when a file cannot be opened, created, read, written or put in place, two arguments name one
// file, or the prompt gets no answer, 2 for a command line that cannot be run (also an input that
// is standard input while the prompt needs an answer).
int run(const std::vector<std::string>& args, Console& console, const FileHooks& hooks = {});

}  // namespace tpjconv
