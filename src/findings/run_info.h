// What the JSON record and the review page say about a run besides its findings and warnings:
// the tool, the command line, the settings used and the outcome.
#pragma once

#include <array>
#include <optional>
#include <string>
#include <vector>

namespace tpjconv {

struct RunInfo {
  std::string version;                  // the tool's version, "1.0.0"
  std::vector<std::string> arguments;   // the command line after the program name
  std::string input;                    // the dynamic-data file converted
  std::optional<std::string> bus_file;  // none: every generator of the enabled models converted
  std::array<std::optional<float>, 3> kis;  // gensal, gentpf, genrou; none: not converted
  float tcmin = 0.025f;                 // the smallest subtransient time constant accepted
};

// How the run ended: its exit status and a short text saying why.
struct Outcome {
  int status = 0;
  std::string text;
};

}  // namespace tpjconv
