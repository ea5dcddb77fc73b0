#pragma once
// The input line of an interactive session. Incoming chat must be able to appear while the
// user is typing, which the terminal's own line editing cannot allow for (it would mix the two
// on one line), so the terminal is put into non-canonical mode and the line is edited here.
//
// Keys: printable text, Backspace, Delete, Left/Right, Home/End (also Ctrl-A/Ctrl-E),
// Up/Down for the history, Ctrl-U / Ctrl-K / Ctrl-W to cut, Ctrl-L to redraw, Tab to complete
// a nickname or a command, Enter to send, Ctrl-D on an empty line or Ctrl-C to leave.
//
// The input line is drawn on one terminal row. When the terminal is made narrower than the
// cursor's column, terminals differ: some cut the row, others wrap it onto several rows and
// move the cursor down with it. The editor asks the terminal where the cursor is (a cursor
// position report) and starts again from the first of those rows, so no stale row is left.
//
// The editor works in terminal text (UTF-8 when the locale says so); lines it returns still
// have to become wire text.

#include <termios.h>

#include <chrono>
#include <iosfwd>
#include <string>
#include <string_view>
#include <vector>

#include "term/Completion.hpp"

namespace velmorin::term {

struct EditorInput {
  enum class Kind { kLine, kEnd };
  Kind kind = Kind::kLine;
  std::string text;
};

class LineEditor {
 public:
  LineEditor(int terminalFd, std::ostream& out, bool utf8);
  ~LineEditor();  // gives the terminal its settings back
  LineEditor(const LineEditor&) = delete;
  LineEditor& operator=(const LineEditor&) = delete;

  // Switches the terminal to key-by-key input; false (and nothing changed) when it cannot.
  bool Start();

  // Terminal text, already safe to print.
  void SetPrompt(std::string prompt);

  // Handles keys as read from the terminal; returns finished lines and the wish to leave.
  std::vector<EditorInput> Feed(std::string_view bytes);

  // Around other output: clear the input line, and draw it again.
  void Hide();
  void Show();

  // Where Tab finds nicknames.
  void SetNicknames(Completer::Source source) { completer_.SetNicknames(std::move(source)); }

  // Called often (before each wait for input): redraws after the terminal changed its size.
  void CheckResize();

 private:
  void HandleKey(char key, std::vector<EditorInput>& done);
  void HandleEscape(const std::string& sequence);
  void Insert(char byte);
  void Erase(std::size_t from, std::size_t to);
  void Recall(std::size_t index);
  std::size_t Prev(std::size_t pos) const;
  std::size_t Next(std::size_t pos) const;
  void Redraw();
  void FinishResize(std::size_t rowsUp);

  int fd_;
  std::ostream& out_;
  bool utf8_;
  bool active_ = false;
  termios saved_{};
  std::string prompt_ = "> ";
  std::string buffer_;
  std::size_t cursor_ = 0;  // byte offset, always at a character boundary
  std::string escape_;      // an escape sequence still arriving
  std::vector<std::string> history_;
  std::size_t historyPos_ = 0;  // history_.size() while editing a new line
  std::string draft_;           // the new line, kept while the history is browsed
  Completer completer_;
  std::size_t drawnColumn_ = 0;  // the cursor's column when the line was last drawn
  bool resizePending_ = false;   // a cursor position report is awaited
  std::size_t resizeColumn_ = 0;
  std::size_t resizeWidth_ = 0;
  std::chrono::steady_clock::time_point resizeDeadline_{};
};

// After the terminal became `columns` wide, how many rows up the input line now starts: a row
// drawn with the cursor at 0-based `cursorColumn`, and the 1-based column the terminal reports
// for the cursor. When the report matches a wrapped row the cursor has moved down with it;
// a cut row keeps the cursor on its row (at the last column), and an ambiguous report is
// taken as cut, which at worst leaves a stale row rather than wiping a line of chat.
std::size_t RowsAboveAfterResize(std::size_t cursorColumn, std::size_t columns, std::size_t reportedColumn);

}  // namespace velmorin::term
