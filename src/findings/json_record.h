// The JSON record of a run: one document with the tool and its version, the arguments, the
// settings used, every finding, every warning, the totals, the per-rule counts and the outcome.
// Findings are written as they come, so that memory does not grow with them; the warnings are
// kept (as their JSON text) and written at the end with the rest.
//
//   {"tool":"tpjconv","version":"1.0.0",
//   "arguments":["in.dat","none","out.dat","0.3"],
//   "settings":{"input":"in.dat","bus_file":null,"kis":{"gensal":0.3,"gentpf":null,...},
//    "tcmin":0.025},
//   "findings":[
//   {"file":"in.dat","line":12,"model":"genrou","bus":102,"bus_name":"HILLSIDE","base_kv":18.0,
//    "unit_id":"2","level":0,"code":209,"rule":"lpd > 0.4*ld","parameter":"lpd","value":0.8,
//    "corrected_to":0.74},
//   ...
//   ],
//   "warnings":[
//   {"kind":"record","file":"in.dat","line":30,"text":"..."},
//   ...
//   ],
//   "totals":{"gensal":{"read":2,"changed":1},"gentpf":{...},"genrou":{...}},
//   "rules":[
//   {"model":"gensal","code":113,"rule":"ll > 0.95*lppd","finding":true,"count":1,"corrected":1},
//   ...
//   ],
//   "outcome":{"status":0,"text":"converted"}}
//
// One finding, warning or rule per line. Numbers are JSON numbers in the shortest form that
// reads back as the same 32-bit value; a value that is not finite is the string "inf", "-inf"
// or "nan". corrected_to is null when the value was not corrected; a warning's file and line
// are null when it has none; the salient-pole line 000, which is no finding, has "finding":false
// and "corrected":null. Texts are as in the findings file: UTF-8, without padding blanks.
#pragma once

#include <memory>
#include <string>

#include "findings/observed.h"
#include "findings/run_info.h"
#include "text/sink.h"
#include "tpjconv/findings.h"

namespace tpjconv {

class JsonRecord {
 public:
  // Writes the document up to its findings to `out`, which must outlive this writer.
  JsonRecord(Sink& out, const RunInfo& run);
  ~JsonRecord();
  JsonRecord(const JsonRecord&) = delete;
  JsonRecord& operator=(const JsonRecord&) = delete;

  void add(const Finding& finding);
  void add(const Warning& warning);

  // Writes the warnings, the totals, the rules and the outcome, and ends the document. Nothing
  // is written after it.
  void finish(const Totals& totals, const Outcome& outcome);

 private:
  Sink& out_;
  std::string line_;      // the finding line being made
  std::string warnings_;  // the warning lines so far
  std::string text_;      // a text made valid UTF-8
  // The record of the finding before, and its members as written.
  LastFindingRecord last_record_;
  std::string record_members_;
  bool finished_ = false;
  bool any_finding_ = false;
};

}  // namespace tpjconv
