#pragma once
// velmorin-ctl's human-readable output of a reply: the message line, the fields as aligned
// "name: value" lines and the table with aligned columns; and the lines of "log follow". Every
// text goes through TerminalText on its way out.

#include <ostream>
#include <string>

#include "platform/Json.hpp"

namespace velmorin::ctl {

// Fields and table of a reply (its message is printed by the caller, on the stream it belongs to).
void RenderBody(const JsonValue& reply, std::ostream& out);

// One followed log line: its text, in its colour when `colour` (a terminal).
void RenderLogLine(const JsonValue& line, bool colour, std::ostream& out);

// Text of the server as a terminal may see it. Names, versions, away texts and log lines come
// from clients and plugins, so escape characters, the other C0 and C1 controls and DEL are left
// out: nothing in them can retitle the window, write the clipboard, move the cursor or forge a
// row. Line feeds and tabs stay only when `multiline` (a log line or a message; a cell or a
// field keeps its row).
std::string TerminalText(const std::string& text, bool multiline);

// Characters on the screen of UTF-8 text (code points; wide characters are not told apart).
std::size_t DisplayWidth(const std::string& text);

}  // namespace velmorin::ctl
