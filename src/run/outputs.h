// The files a run writes. Each is written as a new file beside its name and put in its place only
// when the whole run has succeeded, so that a failed or interrupted run leaves the files of the
// run before as they were; and no run may write one of its files over another.
#pragma once

#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "platform/file.h"

namespace tpjconv {

// The arguments that name the run's files, in the order of the command line.
enum class Role { input, busfile, output, checklog, report, summary };

// A file of the run as the command line names it.
struct RunFile {
  Role role;
  std::string path;
  bool standard_output = false;  // the check log or report going to standard output
};

// When an output of the run is the same file as another file of the run (by name, through a
// symbolic or hard link, existing or not), the message that refuses the run, naming the later
// argument first. Terminals, devices and FIFOs may be named more than once, and so may
// standard output.
std::optional<std::string> find_collision(const std::vector<RunFile>& files);

// One output file of the run. It is written as a new file in the directory of its name (created
// exclusively, with the permissions of the file it replaces) and put in the place of that name by
// commit(); until then, and after discard(), the file of that name stays as it was. A name that is
// a symbolic link gets the file it points to replaced. Terminals, devices, FIFOs, standard output
// and names in a directory the run cannot write to are written directly.
class OutputFile {
 public:
  OutputFile() = default;
  OutputFile(const OutputFile&) = delete;
  OutputFile& operator=(const OutputFile&) = delete;
  ~OutputFile() { discard(); }

  // Opens the new file for `path`. Returns 0, or the errno of the failure.
  int open(const std::string& path);

  bool is_open() const { return file_.is_open(); }

  // True when the output is a regular file, new or written where it stands, and not the file of
  // a standard stream: one that a writer thread may fill, as writing it raises no signal and
  // nothing else of the run writes it.
  bool is_regular() const { return regular_; }
  ByteSink& sink() { return file_; }

  // After the last write: closes the new file. Returns 0 or the errno.
  int close() { return file_.close(); }

  // Puts the closed new file in place. Returns 0 or the errno; on failure the new file is
  // removed.
  int commit();

  // Removes the new file, if there is one.
  void discard();

 private:
  platform::File file_;
  std::string target_;
  std::string temporary_;  // empty when written directly
  bool regular_ = false;
};

}  // namespace tpjconv
