// The tool's own messages on the console, beside its fixed lines: one line each, beginning with
// "tpjconv: ", and naming the file and line they concern where there is one.
#pragma once

#include <string>
#include <string_view>

#include "text/sink.h"
#include "tpjconv/findings.h"

namespace tpjconv {

// Writes "tpjconv: MESSAGE" and a line end.
void say(Sink& console, std::string_view message);

// Writes "tpjconv: FILE:LINE: MESSAGE" and a line end, the file name escaped as printable() does.
void say_at(Sink& console, std::string_view file, long line, std::string_view message);

// The console line of a warning, with its line end: "tpjconv: FILE:LINE: TEXT", without the
// parts it lacks, or its text alone. The file name is escaped as printable() does.
std::string console_line(const Warning& warning);

}  // namespace tpjconv
