#include "cli/command_line.h"

#include <string_view>
#include <utility>

#include "text/fields.h"
#include "text/printable.h"

namespace tpjconv {

const char* const kUsage =
    "usage: tpjconv INPUT BUSFILE|none OUTPUT [KIS_GENSAL [KIS_GENTPF [KIS_GENROU [CHECKLOG "
    "[REPORT [TCMIN]]]]]]\n"
    "Converts the gensal, gentpf and genrou records of a dynamic-data file to gentpj.\n"
    "A missing or negative Kis leaves that model unconverted; CHECKLOG and REPORT\n"
    "default to standard output; TCMIN defaults to 0.025.\n";

const char* const kHelp =
    "usage: tpjconv [OPTIONS] INPUT BUSFILE|none OUTPUT [KIS_GENSAL [KIS_GENTPF [KIS_GENROU\n"
    "               [CHECKLOG [REPORT [TCMIN]]]]]]\n"
    "Converts the gensal, gentpf and genrou records of a dynamic-data file to gentpj.\n"
    "\n"
    "Arguments:\n"
    "  INPUT       the dynamic-data file to convert\n"
    "  BUSFILE     the bus numbers file: the generators to convert, with check level, Kis and\n"
    "              bus name; a word beginning with \"none\" converts every generator of the\n"
    "              enabled models, after you confirm with c\n"
    "  OUTPUT      the converted dynamic-data file\n"
    "  KIS_GENSAL  Kis for gensal records; absent or negative: gensal is not converted\n"
    "  KIS_GENTPF  Kis for gentpf records; absent or negative: gentpf is not converted\n"
    "  KIS_GENROU  Kis for genrou records; absent or negative: genrou is not converted\n"
    "  CHECKLOG    the check log, one line per failed check (absent or '': standard output)\n"
    "  REPORT      the comparison report of the changed records (absent or '': standard output)\n"
    "  TCMIN       the smallest subtransient time constant accepted (absent: 0.025)\n"
    "\n"
    "Options, anywhere before an argument \"--\" that ends them:\n"
    "  -y, --yes       confirm none without reading standard input (not a bus numbers file\n"
    "                  that cannot be opened: that run ends with status 1)\n"
    "  --summary FILE  write a CSV file that counts the check-log lines per model and rule\n"
    "  --findings FILE write a CSV file of every finding, one row per check-log finding\n"
    "  --json FILE     write a JSON record of the run: settings, totals, rules, findings,\n"
    "                  warnings and outcome\n"
    "  --html FILE     write a review page of the run: a chart of the findings per rule and\n"
    "                  a table of every finding, one self-contained HTML file\n"
    "  --strict        end with status 3 when the run gave any warning\n"
    "  -h, --help      print this help and exit\n"
    "  --version       print the version and exit\n"
    "\n"
    "Output files are written beside their names and put in place together only when the run\n"
    "succeeds, with the owner, group and permissions of the files they replace; see tpjconv(1)\n"
    "for the files written where they stand.\n"
    "\n"
    "Exit status:\n"
    "  0  the run finished and every file is in place, or the prompt was answered with\n"
    "     something other than c (nothing is written then)\n"
    "  1  a file could not be opened, created, read, written or put in place, two arguments\n"
    "     name one file, the prompt got no answer, or --yes met a bus numbers file that\n"
    "     cannot be opened; the files of the run before are kept\n"
    "  2  the command line cannot be run: too few or too many arguments, an unknown option,\n"
    "     a Kis or TCMIN argument that is not a number, or INPUT is standard input while the\n"
    "     prompt needs an answer from there\n"
    "  3  with --strict: converted, but the input needs a look (the run gave a warning);\n"
    "     every file is in place\n"
    "\n"
    "See tpjconv(1) for the bus numbers file, the check codes, the summary and the findings\n"
    "files.\n";

namespace {

bool is_letter(char c) { return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z'); }

bool is_space(char c) {
  return c == ' ' || c == '\t' || c == '\n' || c == '\r' || c == '\v' || c == '\f';
}

// The positional arguments, by their place on the command line.
enum Argument : std::size_t {
  kInput, kBusFile, kOutput, kKisGensal, kKisGentpf, kKisGenrou, kCheckLog, kReport, kTcmin,
  kArguments
};

// The names of the positional arguments in usage and messages.
constexpr const char* kArgumentNames[kArguments] = {
    "INPUT", "BUSFILE", "OUTPUT", "KIS_GENSAL", "KIS_GENTPF", "KIS_GENROU",
    "CHECKLOG", "REPORT", "TCMIN"};

// Reads a Kis or tcmin argument into `value`; why it cannot be used, or nothing when it is a
// finite decimal number with nothing but white space around it.
std::optional<std::string> read_number(std::string_view text, float& value) {
  while (!text.empty() && is_space(text.front())) text.remove_prefix(1);
  while (!text.empty() && is_space(text.back())) text.remove_suffix(1);
  const FieldNumber number = read_number_field(text);
  switch (number.fit) {
    case NumberFit::whole: value = number.value; return std::nullopt;
    case NumberFit::not_finite: return "is not a finite 32-bit number";
    case NumberFit::not_wholly:
    case NumberFit::none: break;
  }
  return "is not a number";
}

// Reads the Kis and tcmin arguments into `line`; the usage error of those that are not numbers,
// one line each.
std::optional<UsageError> read_number_arguments(CommandLine& line) {
  std::string message;
  for (const std::size_t index : {kKisGensal, kKisGentpf, kKisGenrou, kTcmin}) {
    if (index >= line.positional.size()) continue;
    float& value = index == kTcmin ? line.tcmin : line.kis[index - kKisGensal];
    if (const auto problem = read_number(line.positional[index], value)) {
      if (!message.empty()) message += '\n';
      message += "tpjconv: " + std::string(kArgumentNames[index]) + " " +
                 quoted(line.positional[index]) + " " + *problem;
    }
  }
  if (message.empty()) return std::nullopt;
  return UsageError{message};
}

}  // namespace

ParsedCommandLine parse_command_line(const std::vector<std::string>& args) {
  ParsedCommandLine parsed;
  CommandLine& line = parsed.line;
  line.arguments = args;
  // The options that name a file, and where each goes.
  const std::pair<std::string_view, std::optional<std::string>*> file_options[] = {
      {"--summary", &line.summary}, {"--findings", &line.findings}, {"--json", &line.json},
      {"--html", &line.html}};
  const auto needs_name = [](std::string_view option) {
    return UsageError{"tpjconv: option '" + std::string(option) + "' needs a file name"};
  };
  bool options_ended = false;
  for (std::size_t i = 0; i < args.size(); ++i) {
    const std::string& arg = args[i];
    const bool option =
        !options_ended && arg.size() >= 2 && arg[0] == '-' && (arg[1] == '-' || is_letter(arg[1]));
    if (!option) {
      line.positional.push_back(arg);
      continue;
    }
    if (arg == "--") {
      options_ended = true;
    } else if (arg == "-y" || arg == "--yes") {
      line.yes = true;
    } else if (arg == "-h" || arg == "--help") {
      line.help = true;
    } else if (arg == "--version") {
      line.version = true;
    } else if (arg == "--strict") {
      line.strict = true;
    } else {
      bool known = false;
      for (const auto& [name, target] : file_options) {
        const std::string_view given(arg);
        std::optional<std::string> file;
        if (given == name) {
          if (i + 1 == args.size()) {
            parsed.error = needs_name(name);
            return parsed;
          }
          file = args[++i];
        } else if (given.starts_with(name) && given.size() > name.size() &&
                   given[name.size()] == '=') {
          file = std::string(given.substr(name.size() + 1));
        } else {
          continue;
        }
        if (*target) {
          parsed.error = UsageError{"tpjconv: option '" + std::string(name) + "' given twice"};
          return parsed;
        }
        *target = std::move(file);
        known = true;
        break;
      }
      if (!known) {
        parsed.error = UsageError{"tpjconv: unknown option '" + printable(arg) + "'"};
        return parsed;
      }
    }
  }
  if (line.help || line.version) return parsed;
  for (const auto& [name, target] : file_options) {
    if (*target && (*target)->empty()) {
      parsed.error = needs_name(name);
      return parsed;
    }
  }
  if (line.positional.size() < 3 || line.positional.size() > 9) {
    parsed.error = UsageError{};
  } else {
    parsed.error = read_number_arguments(line);
  }
  return parsed;
}

RunPlan plan_of(const CommandLine& line) {
  const std::vector<std::string>& args = line.positional;
  RunPlan plan;
  plan.arguments = line.arguments;
  plan.input = args[kInput];
  plan.bus_file = args[kBusFile];
  plan.bypass = plan.bus_file.compare(0, 4, "none") == 0;
  plan.outputs.push_back({Role::output, args[kOutput]});
  for (const auto& [role, file] : {std::pair{Role::summary, &line.summary},
                                   std::pair{Role::findings, &line.findings},
                                   std::pair{Role::json, &line.json},
                                   std::pair{Role::html, &line.html}}) {
    if (*file) plan.outputs.push_back({role, **file});
  }
  for (const auto& [role, index] : {std::pair{Role::checklog, kCheckLog},
                                    std::pair{Role::report, kReport}}) {
    const bool named = index < args.size() && !args[index].empty();
    plan.outputs.push_back({role, named ? args[index] : "", !named});
  }
  plan.kis = line.kis;
  plan.tcmin = line.tcmin;
  plan.yes = line.yes;
  plan.strict = line.strict;
  return plan;
}

}  // namespace tpjconv
