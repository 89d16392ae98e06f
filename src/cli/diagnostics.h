// The tool's own messages on the console, beside the legacy texts: one line each, beginning with
// "tpjconv: ", and naming the file and line they concern where there is one.
#pragma once

#include <string>
#include <string_view>

#include "text/sink.h"

namespace tpjconv {

// Writes "tpjconv: MESSAGE" and a line end.
void say(Sink& console, std::string_view message);

// Writes "tpjconv: FILE:LINE: MESSAGE" and a line end.
void say_at(Sink& console, std::string_view file, long line, std::string_view message);

// A text from a file as a message shows it: line ends and other control characters written as
// escapes, so that the message stays one line.
std::string printable(std::string_view text);

// The same in double quotes.
std::string quoted(std::string_view text);

}  // namespace tpjconv
