// Texts from files as messages show them: one line, whatever the text holds.
#pragma once

#include <string>
#include <string_view>

namespace tpjconv {

// `text` with line ends and other control characters written as escapes, so that a message
// stays one line.
std::string printable(std::string_view text);

// The same in double quotes.
std::string quoted(std::string_view text);

}  // namespace tpjconv
