// What the whole-run tests share: reading files, and running the built tool as a child process.
#pragma once

#include <filesystem>
#include <string>
#include <vector>

namespace tpjconv::testing {

// The bytes of a file; empty when it cannot be read.
std::string read_file(const std::filesystem::path& path);

// The lines of a text, without their line ends.
std::vector<std::string> lines_of(const std::string& text);

// How the child's standard streams and limits are set.
struct ToolStreams {
  std::filesystem::path in;   // empty: standard input closed
  std::filesystem::path out;  // created or emptied
  std::filesystem::path err;
  long address_space = 0;     // bytes the child may map; 0: no limit
  // Run as an ordinary user: as root, the tool is started through setpriv as uid and gid 65534
  // with no supplementary groups; as any other user, as that user.
  bool as_other_user = false;
  // With as_other_user under root: a group the child is also in (0: none beside its own).
  unsigned other_user_group = 0;
  bool append = false;                // standard output and error added to, not emptied
  std::vector<std::string> environment = {};  // NAME=VALUE, added to the child's environment
};

// The user and group an ordinary-user run gets: 65534 under root, else the caller's own.
unsigned other_user_id();
unsigned other_group_id();

// Starts the tool in `work` with `args`; returns the child's process id.
int start_tool(const std::filesystem::path& work, const std::vector<std::string>& args,
               const ToolStreams& streams);

// Waits for a child started by start_tool(). Returns its exit status, or 128 + the signal that
// ended it.
int wait_tool(int pid);

// Runs the tool in `work` with `args`, standard input from `stdin_path`, standard output and
// error into files. Returns the exit status (128 + the signal when a signal ended it).
int run_tool(const std::filesystem::path& work, const std::vector<std::string>& args,
             const std::filesystem::path& stdin_path, const std::filesystem::path& out_path,
             const std::filesystem::path& err_path);

// Runs `program` with `args` in `work`, standard input closed, standard output and error into
// files, in a process group of its own; ends the group when it has run `timeout_seconds`.
// Returns the exit status (128 + the signal when a signal ended it), or -1 when it timed out.
int run_program(const std::filesystem::path& program, const std::vector<std::string>& args,
                const std::filesystem::path& work, const std::filesystem::path& out_path,
                const std::filesystem::path& err_path, int timeout_seconds);

}  // namespace tpjconv::testing
