#pragma once
// Output: lines made of styled pieces of wire text. The screen is the only place that writes
// them, and every piece passes Charset::ToTerminal on its way out, so a text from the network
// can never reach the terminal raw, whichever renderer produced the line.

#include <ctime>
#include <iosfwd>
#include <string>
#include <vector>

#include "term/Charset.hpp"

namespace velmorin::term {

enum class Style {
  kPlain,
  kNick,     // another user's nickname, in the colour of its `color`
  kOwnNick,  // ours
  kNotice,   // what the client itself reports: joins, leaves, replies in words
  kServer,   // messages from the server or its administrator
  kPrivate,
  kShout,
  kError,
  kHeading,  // table headings
};

struct Piece {
  Style style = Style::kPlain;
  std::string text;  // wire text
  long color = 0;    // for kNick
};

class Line {
 public:
  Line() = default;
  Line(Style style, std::string text) { Add(style, std::move(text)); }
  Line& Add(Style style, std::string text, long color = 0) {
    pieces_.push_back(Piece{style, std::move(text), color});
    return *this;
  }
  Line& Plain(std::string text) { return Add(Style::kPlain, std::move(text)); }
  const std::vector<Piece>& Pieces() const { return pieces_; }

  // Something that happened (as opposed to a list or a help text): shown with the time.
  Line& Stamped() { stamped_ = true; return *this; }
  bool IsStamped() const { return stamped_; }
  // For the user in person (a private message, a mention of the nickname): highlighted, and
  // the terminal bell rings.
  Line& Alert() { alert_ = true; return *this; }
  bool IsAlert() const { return alert_; }

 private:
  std::vector<Piece> pieces_;
  bool stamped_ = false;
  bool alert_ = false;
};

// "[HH:MM] ", the time a stamped line is shown with.
std::string Timestamp(const std::tm& local);

class LineEditor;

class Screen {
 public:
  Screen(std::ostream& out, Charset charset, bool ansi) : out_(out), charset_(charset), ansi_(ansi) {}

  // While an editor is attached, printed lines go above its input line, which is drawn again,
  // and an alert rings the bell.
  void Attach(LineEditor* editor) { editor_ = editor; }

  void SetTimestamps(bool on) { timestamps_ = on; }

  // Clears the terminal (only while an editor is attached: a script's output is kept whole).
  void Clear();

  void Print(const Line& line);
  void Print(const std::vector<Line>& lines);
  // The welcome text and other free text: one screen line per CR LF (or LF) line.
  void PrintText(Style style, const std::string& text);

  const Charset& charset() const { return charset_; }

 private:
  std::string Format(const Line& line) const;

  std::ostream& out_;
  Charset charset_;
  bool ansi_;
  LineEditor* editor_ = nullptr;
  bool timestamps_ = true;
};

}  // namespace velmorin::term
