#pragma once
// The input line of an interactive session. Incoming chat must be able to appear while the
// user is typing, which the terminal's own line editing cannot allow for (it would mix the two
// on one line), so the terminal is put into non-canonical mode and the line is edited here.
//
// Keys: printable text, Backspace, Delete, Left/Right, Home/End (also Ctrl-A/Ctrl-E),
// Up/Down for the history, Ctrl-U / Ctrl-K / Ctrl-W to cut, Ctrl-L to redraw, Enter to send,
// Ctrl-D on an empty line or Ctrl-C to leave.
//
// The editor works in terminal text (UTF-8 when the locale says so); lines it returns still
// have to become wire text.

#include <termios.h>

#include <iosfwd>
#include <string>
#include <string_view>
#include <vector>

namespace velmorin::chat {

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

 private:
  void HandleKey(char key, std::vector<EditorInput>& done);
  void HandleEscape(const std::string& sequence);
  void Insert(char byte);
  void Erase(std::size_t from, std::size_t to);
  void Recall(std::size_t index);
  std::size_t Prev(std::size_t pos) const;
  std::size_t Next(std::size_t pos) const;
  void Redraw();

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
};

}  // namespace velmorin::chat
