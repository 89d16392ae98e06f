// The files a run writes. Each is written as a new file in the directory of its name and put in
// its place only when the whole run has succeeded, so that a failed or interrupted run leaves the
// files of the run before as they were; and no run may write one of its files over another.
#pragma once

#include <chrono>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "conversion/bus_list.h"
#include "files/file_hooks.h"
#include "platform/file.h"
#include "text/sink.h"
#include "text/writer.h"
#include "tpjconv/error.h"

namespace tpjconv {

// What each file of a run is: the arguments that name them, in the order of the command line.
enum class Role { input, busfile, output, checklog, report, summary, findings, json, html };

// "INPUT", "BUSFILE", "OUTPUT", ...: the role as messages name it.
std::string_view role_name(Role role);

// A file of the run as the command line names it.
struct RunFile {
  Role role;
  std::string path;
  bool standard_output = false;  // the check log or report going to standard output
};

// When an output of the run is the same file as another file of the run (by name, through a
// symbolic or hard link, existing or not), the message that refuses the run, naming the later
// argument first. Standard error, which every run writes, counts as a file of the run too.
// Terminals, devices and FIFOs may be named more than once, and so may standard output.
Status find_collision(const std::vector<RunFile>& files);

// What the outputs ask of the signals that end a run: new files are listed for removal while
// they exist, and the signals wait while the outputs are put in place. The command line keeps
// the list with the platform; a caller without signals passes one that does nothing.
class Interrupts {
 public:
  virtual ~Interrupts() = default;
  virtual void remove_on_signal(const std::string& path) = 0;
  virtual void keep_on_signal(const std::string& path) = 0;
  virtual void hold() = 0;
  virtual void release() = 0;
};

// Holds the ending signals while it lives; after keep(), until the process ends.
class InterruptsHeld {
 public:
  explicit InterruptsHeld(Interrupts& interrupts) : interrupts_(interrupts) { interrupts_.hold(); }
  InterruptsHeld(const InterruptsHeld&) = delete;
  InterruptsHeld& operator=(const InterruptsHeld&) = delete;
  ~InterruptsHeld() {
    if (!kept_) interrupts_.release();
  }
  void keep() { kept_ = true; }

 private:
  Interrupts& interrupts_;
  bool kept_ = false;
};

// How an output is written, decided from the file and its directory before anything is opened.
enum class Placement {
  // A new file beside its name, readable by its owner only, put in place by commit() with the
  // owner, group and permission bits of the file it replaces (setuid, setgid and sticky bits
  // left out), or 0666 less the umask for a new name.
  beside,
  // Written where it stands: a device, a FIFO, the file behind a standard stream, a file whose
  // owner and group a new file cannot get, one with other names (hard links) or an access ACL,
  // or one in a directory the run cannot add to or rename in. A device or FIFO is written as the
  // run goes. A regular file is left alone until commit(): the run writes a new hidden file
  // (beside it, or in the temporary directory when its directory takes no new file), and commit()
  // keeps a copy of the old content, writes the new over it, and puts the old back on a failure;
  // its setuid and setgid bits are cleared.
  in_place,
  standard_output,
};

// How the outputs are written: the bytes a sink gathers before it hands them on, and the bytes
// handed on before the writer thread starts (below that, a thread costs more than it saves; see
// bench/README.md); and how long lock() waits for other runs in all.
struct OutputTuning {
  std::size_t piece = Sink::kDefaultPiece;
  std::size_t writer_start_after = Writer::kDefaultStartAfter;
  std::chrono::milliseconds lock_wait{30000};
};

// The run's outputs and the thread that writes the large ones, owned together and shut down in
// order: the sinks first, then the thread, then the files. Its steps, in order: plan() each
// output, open() them all, start(), write through sink(), close(), lock(), commit(). A run that
// stops before commit() has succeeded leaves every earlier file as it was: the new files are
// removed when this is destroyed, after the writer thread has ended and the files are closed.
class Outputs {
 public:
  // `notices` gets the warnings about files removed or left behind; `standard_output` (may be
  // null when none is planned) takes the outputs that go there.
  Outputs(Interrupts& interrupts, const FileHooks& hooks, WarningOut& notices,
          Sink* standard_output, const OutputTuning& tuning = {});
  Outputs(const Outputs&) = delete;
  Outputs& operator=(const Outputs&) = delete;
  ~Outputs();

  // Adds an output and decides how it is written; the error when `path` cannot be written at
  // all (nothing is opened yet).
  Status plan(Role role, const std::string& path);
  void plan_standard_output(Role role);

  // Removes what interrupted runs left beside the outputs, creates every new file and opens
  // every file written in place, without emptying it. On a failure nothing is left open or
  // created.
  Status open();

  // Hands the large outputs to the writer thread (every output is open by now).
  Status start();

  std::size_t size() const { return outputs_.size(); }
  Role role(std::size_t i) const;
  const std::string& name(std::size_t i) const;
  Placement placement(std::size_t i) const;
  Sink& sink(std::size_t i);

  // After the last write: writes out what is left, ends the writer thread, gives the new files
  // their owner, group and mode, and closes every file. The failures, in the order of the
  // outputs; empty when every file was written whole.
  std::vector<Error> close();

  // Takes the lock of every directory an output goes to, then of every regular file written in
  // place, in a fixed order, without blocking: another run that holds one is waited for, with a
  // line on the notices after a second, for the tuning's lock_wait in all; then the error, and
  // nothing is replaced.
  Status lock();

  // With the signals held: puts every new file in its place, all of them or none. On failure
  // every earlier file is as it was, or the message names those that could not be put back and
  // those left damaged with where their earlier content is kept. The locks go when it returns.
  Status commit();

 private:
  struct Output;

  void notice(std::string text);
  void remove_leftovers(const Output& output);
  std::string hidden_name(const Output& output, int attempt, bool before = false) const;
  Status create_hidden(Output& output);
  int take(platform::CommitLock& lock, const std::string& directory, const platform::File* file,
           const std::string& shown, std::chrono::steady_clock::time_point deadline);
  int rewrite(Output& output, std::string& what);
  int restore(Output& output);
  void discard();

  Interrupts& interrupts_;
  const FileHooks& hooks_;
  WarningOut& notices_;
  Sink* standard_output_;
  OutputTuning tuning_;
  std::string host_;
  std::vector<std::unique_ptr<Output>> outputs_;
  std::optional<Writer> writer_;
  std::vector<platform::CommitLock> locks_;
  bool said_waiting_ = false;
};

}  // namespace tpjconv
