#include "term/Screen.hpp"

#include <cstdio>
#include <ostream>

#include "term/Colors.hpp"
#include "term/LineEditor.hpp"
#include "platform/Text.hpp"

namespace velmorin::term {
namespace {

// SGR parameters of a style; empty for the terminal's own.
std::string Sgr(const Piece& piece, bool alert) {
  switch (piece.style) {
    case Style::kPlain: return alert ? "1;93" : "";
    case Style::kNick: {
      const int color = AnsiColor(piece.color);
      return color == 0 ? "1" : "1;" + std::to_string(color);
    }
    case Style::kOwnNick: return "1";
    case Style::kNotice: return "2";
    case Style::kServer: return "33";
    case Style::kPrivate: return alert ? "1;35" : "35";
    case Style::kShout: return "1";
    case Style::kError: return "31";
    case Style::kHeading: return "4";
  }
  return {};
}

std::tm LocalNow() {
  const std::time_t now = std::time(nullptr);
  std::tm local{};
  ::localtime_r(&now, &local);
  return local;
}

}  // namespace

std::string Timestamp(const std::tm& local) {
  char text[16];
  std::snprintf(text, sizeof text, "[%02d:%02d] ", local.tm_hour % 24, local.tm_min % 60);
  return text;
}

std::string Screen::Format(const Line& line) const {
  std::string text;
  if (timestamps_ && line.IsStamped()) {
    const std::string stamp = Timestamp(LocalNow());
    text += ansi_ ? "\x1b[2m" + stamp + "\x1b[0m" : stamp;
  }
  for (const Piece& piece : line.Pieces()) {
    const std::string sgr = ansi_ ? Sgr(piece, line.IsAlert()) : std::string();
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
  bool alert = false;
  for (const Line& line : lines) {
    out_ << Format(line) << '\n';
    alert = alert || line.IsAlert();
  }
  if (editor_ != nullptr && alert) out_ << '\a';
  if (editor_ != nullptr) editor_->Show();
  out_.flush();
}

void Screen::Clear() {
  if (editor_ == nullptr) return;
  out_ << "\x1b[H\x1b[2J";
  editor_->Show();
  out_.flush();
}

void Screen::PrintText(Style style, const std::string& text) {
  std::vector<Line> lines;
  for (std::string& part : Split(ReplaceAll(text, "\r\n", "\n"), "\n")) lines.emplace_back(style, std::move(part));
  Print(lines);
}

}  // namespace velmorin::term
