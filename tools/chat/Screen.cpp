#include "chat/Screen.hpp"

#include <ostream>

#include "chat/Colors.hpp"
#include "chat/LineEditor.hpp"
#include "platform/Text.hpp"

namespace velmorin::chat {
namespace {

// SGR parameters of a style; empty for the terminal's own.
std::string Sgr(const Piece& piece) {
  switch (piece.style) {
    case Style::kPlain: return {};
    case Style::kNick: {
      const int color = AnsiColor(piece.color);
      return color == 0 ? "1" : "1;" + std::to_string(color);
    }
    case Style::kOwnNick: return "1";
    case Style::kNotice: return "2";
    case Style::kServer: return "33";
    case Style::kPrivate: return "35";
    case Style::kShout: return "1";
    case Style::kError: return "31";
    case Style::kHeading: return "4";
  }
  return {};
}

}  // namespace

std::string Screen::Format(const Line& line) const {
  std::string text;
  for (const Piece& piece : line.Pieces()) {
    const std::string sgr = ansi_ ? Sgr(piece) : std::string();
    if (!sgr.empty()) text += "\x1b[" + sgr + "m";
    text += charset_.ToTerminal(piece.text);
    if (!sgr.empty()) text += "\x1b[0m";
  }
  return text;
}

void Screen::Print(const Line& line) { Print(std::vector<Line>{line}); }

void Screen::Print(const std::vector<Line>& lines) {
  if (lines.empty()) return;
  if (editor_ != nullptr) editor_->Hide();
  for (const Line& line : lines) out_ << Format(line) << '\n';
  if (editor_ != nullptr) editor_->Show();
  out_.flush();
}

void Screen::PrintText(Style style, const std::string& text) {
  std::vector<Line> lines;
  for (std::string& part : Split(ReplaceAll(text, "\r\n", "\n"), "\n")) lines.emplace_back(style, std::move(part));
  Print(lines);
}

}  // namespace velmorin::chat
