#pragma once
// velmorin-ctl's human-readable output of a reply: the message line, the fields as aligned
// "name: value" lines and the table with aligned columns; and the lines of "log follow".

#include <ostream>
#include <string>

#include "platform/Json.hpp"

namespace velmorin::ctl {

// Fields and table of a reply (its message is printed by the caller, on the stream it belongs to).
void RenderBody(const JsonValue& reply, std::ostream& out);

// One followed log line: its text, in its colour when `colour` (a terminal).
void RenderLogLine(const JsonValue& line, bool colour, std::ostream& out);

// Characters on the screen of UTF-8 text (code points; wide characters are not told apart).
std::size_t DisplayWidth(const std::string& text);

}  // namespace velmorin::ctl
