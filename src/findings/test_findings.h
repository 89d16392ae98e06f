// Findings and warnings the tests of the findings outputs share.
#pragma once

#include <limits>
#include <optional>
#include <string>
#include <vector>

#include "findings/run_info.h"
#include "tpjconv/findings.h"

namespace tpjconv::testing {

inline Finding make_finding(std::string file, long line, Model model, int bus, std::string name,
                            float kv, std::string unit, int level, int code, std::string rule,
                            std::string parameter, float value,
                            std::optional<float> corrected_to) {
  Finding f;
  f.file = std::move(file);
  f.line = line;
  f.model = model;
  f.bus = bus;
  f.bus_name = std::move(name);
  f.base_kv = kv;
  f.unit_id = std::move(unit);
  f.level = level;
  f.code = code;
  f.rule = std::move(rule);
  f.parameter = std::move(parameter);
  f.value = value;
  f.corrected_to = corrected_to;
  return f;
}

// Texts no output may pass on as they are: quotes, backslashes, control bytes, markup that
// would end a script element or start one, U+2028, and bytes that are no UTF-8 (Latin-1 É).
inline const std::string kHostileName =
    std::string("Q\"uo\\te\x01\x1f</script><script>document.title='PWNED'</script>\xE2\x80\xA8") +
    "\xC9";
inline const std::string kHostileText = "<img src=x onerror=\"document.title='PWNED'\"> & \"x\"";

// Findings of three records and four rules, one of them with hostile texts and values that are
// no finite numbers.
inline std::vector<Finding> mixed_findings() {
  constexpr float inf = std::numeric_limits<float>::infinity();
  return {
      make_finding("plant.dat", 12, Model::genrou, 102, "HILLSIDE", 18.0f, "2 ", 0, 209,
                   "lpd > 0.4*ld", "lpd", 0.8f, 0.74f),
      make_finding("plant.dat", 12, Model::genrou, 102, "HILLSIDE", 18.0f, "2 ", 0, 202,
                   "tppdo < tcmin", "tppdo", 0.02f, 0.025f),
      make_finding("plant.dat", 30, Model::gensal, 301, "RIVERTON", 13.8f, "1 ", 1, 113,
                   "ll > 0.95*lppd", "ll", 0.25f, std::nullopt),
      make_finding("plant.dat", 41, Model::genrou, 666, kHostileName, 1e-5f, "\\\"", 0, 202,
                   "tppdo < tcmin", "tppdo", -inf, inf),
      make_finding("plant.dat", 41, Model::genrou, 666, kHostileName, 1e-5f, "\\\"", 0, 209,
                   kHostileText, "lpd", std::numeric_limits<float>::quiet_NaN(), 0.1f),
  };
}

inline RunInfo plant_run() {
  RunInfo run;
  run.version = "1.0.0";
  run.arguments = {"plant.dat", "plant.bus", "out.dat", "0.3", "-1", "0.25"};
  run.input = "plant.dat";
  run.bus_file = "plant.bus";
  run.kis = {0.3f, std::nullopt, 0.25f};
  run.tcmin = 0.025f;
  return run;
}

}  // namespace tpjconv::testing
