// The command line: nine positional arguments and options for scripts, resolved into a run plan.
#pragma once

#include <array>
#include <optional>
#include <string>
#include <vector>

#include "files/outputs.h"
#include "tpjconv/findings.h"

namespace tpjconv {

// The arguments as given: the positional ones in order, the options, and the numbers of the
// Kis and tcmin arguments, read once.
struct CommandLine {
  std::vector<std::string> arguments;  // all of them, as given
  std::vector<std::string> positional;
  bool yes = false;                    // -y, --yes: answer the prompt with c
  std::optional<std::string> summary;   // --summary FILE
  std::optional<std::string> findings;  // --findings FILE
  std::optional<std::string> json;      // --json FILE
  std::optional<std::string> html;      // --html FILE
  bool strict = false;                  // --strict: status 3 when the run gave a warning
  bool help = false;                   // -h, --help
  bool version = false;                // --version
  std::array<float, kModelCount> kis = {-1.0f, -1.0f, -1.0f};  // absent: -1
  float tcmin = 0.025f;
};

// A command line that cannot be run: what to say before the usage (empty: the usage alone).
struct UsageError {
  std::string message;
};

// Options are recognised anywhere before "--"; an argument that begins with "--", or with "-" and
// a letter, is an option, so negative numbers stay positional. More than nine positional
// arguments, or fewer than three without --help or --version, is a usage error; so is a Kis or
// tcmin argument that is not wholly a finite decimal number (white space around it allowed),
// and an option that names a file (--summary, --findings, --json, --html) given twice or
// without a name.
struct ParsedCommandLine {
  CommandLine line;
  std::optional<UsageError> error;
};
ParsedCommandLine parse_command_line(const std::vector<std::string>& args);

// An output of the run, as the command line names it.
struct PlannedOutput {
  Role role;
  std::string path;              // empty for standard output
  bool standard_output = false;  // the check log or report, absent or '': standard output
};

// What a command line asks for, by name.
struct RunPlan {
  std::string input;
  std::string bus_file;  // BUSFILE as given
  bool bypass = false;   // BUSFILE begins with "none": no bus numbers file is read
  // In the order they are created and put in place: OUTPUT, the outputs of the options, then
  // CHECKLOG and REPORT. Their roles sort them in the order of the command line.
  std::vector<PlannedOutput> outputs;
  std::array<float, kModelCount> kis = {};  // negative: the model is not converted
  float tcmin = 0.025f;
  bool yes = false;
  bool strict = false;
  std::vector<std::string> arguments;  // the command line after the program name
};

// The plan of a command line that parse_command_line() accepted.
RunPlan plan_of(const CommandLine& line);

// The short usage printed with a usage error, and the whole help of --help.
extern const char* const kUsage;
extern const char* const kHelp;

}  // namespace tpjconv
