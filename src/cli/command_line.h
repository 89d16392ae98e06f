// The command line: nine positional arguments, and options for scripts.
#pragma once

#include <optional>
#include <string>
#include <vector>

namespace tpjconv {

// The arguments as given: the positional ones in order, and the options.
struct CommandLine {
  std::vector<std::string> positional;
  bool yes = false;                    // -y, --yes: answer the prompt with c
  std::optional<std::string> summary;  // --summary FILE
  bool help = false;                   // -h, --help
  bool version = false;                // --version
};

// A command line that cannot be run: what to say before the usage (empty: the usage alone).
struct UsageError {
  std::string message;
};

// Options are recognised anywhere before "--"; an argument that begins with "--", or with "-" and
// a letter, is an option, so negative numbers stay positional. More than nine positional
// arguments, or fewer than three without --help or --version, is a usage error; so is a Kis or
// tcmin argument that is not wholly a finite decimal number (white space around it allowed).
struct ParsedCommandLine {
  CommandLine line;
  std::optional<UsageError> error;
};
ParsedCommandLine parse_command_line(const std::vector<std::string>& args);

// Argument `index` (0-based) of `positional` as a number: `fallback` when absent. A command line
// that parse_command_line() accepts has a finite number there.
float number_argument(const std::vector<std::string>& positional, std::size_t index,
                      float fallback);

// The names of the positional arguments in usage and messages: INPUT, BUSFILE, ...
const char* argument_name(std::size_t index);

// The short usage printed with a usage error, and the whole help of --help.
extern const char* const kUsage;
extern const char* const kHelp;

}  // namespace tpjconv
