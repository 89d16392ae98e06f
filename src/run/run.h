// One conversion run: the command line, the files, the prompt, the record loop and the totals.
#pragma once

#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "platform/file.h"
#include "records/sink.h"

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
// status: 0 on success (and when the user does not answer the prompt with c), 1 when a file
// cannot be opened, read or written, or two arguments name one file, 2 for a command line that
// cannot be run.
int run(const std::vector<std::string>& args, Console& console, const FileHooks& hooks = {});

}  // namespace tpjconv
