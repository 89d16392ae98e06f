// The check log: a heading, then one line per check-log line of the run, "LABEL ,CODE, NOTE".
#pragma once

#include <string_view>

#include "conversion/frame.h"
#include "text/sink.h"

namespace tpjconv {

inline constexpr std::string_view kCheckLogHeader =
    "Model   Bus            Name        Bkv       ID   Cod    Error\n";

// Writes the lines to `out`, which must outlive it; the heading is written at construction.
class CheckLog final : public FindingListener {
 public:
  explicit CheckLog(Sink& out) : out_(out) { out_.write(kCheckLogHeader); }
  // "%s ,%03d, %s\n" with the record label and the note, made in one piece.
  void finding(const FindingEvent& event) override;

 private:
  Sink& out_;
};

}  // namespace tpjconv
