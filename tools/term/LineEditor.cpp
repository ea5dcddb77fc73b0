#include "term/LineEditor.hpp"

#include <signal.h>
#include <sys/ioctl.h>
#include <unistd.h>

#include <algorithm>
#include <csignal>
#include <cstdio>
#include <ostream>

namespace velmorin::term {
namespace {

bool IsContinuation(char c) { return (static_cast<unsigned char>(c) & 0xC0) == 0x80; }

constexpr char Ctrl(char letter) { return static_cast<char>(letter & 0x1F); }

// A CSI sequence ends with a byte from '@' to '~'; SS3 ("ESC O x") and Alt+key take one more.
bool EscapeComplete(const std::string& sequence) {
  if (sequence.size() < 2) return false;
  if (sequence[1] == '[') {
    if (sequence.size() < 3) return false;
    const char last = sequence.back();
    return last >= '@' && last <= '~';
  }
  if (sequence[1] == 'O') return sequence.size() >= 3;
  return true;
}

volatile std::sig_atomic_t terminalResized = 0;

extern "C" void OnWindowChange(int) { terminalResized = 1; }

// How long a terminal may take to report the cursor before the editor just redraws.
constexpr std::chrono::milliseconds kReportWait{500};

// "ESC [ row ; column R"; the column, or 0.
std::size_t ReportedColumn(std::string_view code) {
  unsigned row = 0, column = 0;
  char end = 0;
  if (std::sscanf(std::string(code).c_str(), "[%u;%u%c", &row, &column, &end) != 3 || end != 'R') return 0;
  return column;
}

int TerminalColumns(int fd) {
  winsize size{};
  if (::ioctl(fd, TIOCGWINSZ, &size) == 0 && size.ws_col > 0) return size.ws_col;
  return 80;
}

}  // namespace

std::size_t RowsAboveAfterResize(std::size_t cursorColumn, std::size_t columns, std::size_t reportedColumn) {
  if (columns == 0 || cursorColumn < columns || reportedColumn == 0) return 0;
  const std::size_t wrappedColumn = cursorColumn % columns;
  if (wrappedColumn == columns - 1) return 0;  // a cut row would put the cursor there too
  return reportedColumn - 1 == wrappedColumn ? cursorColumn / columns : 0;
}

LineEditor::LineEditor(int terminalFd, std::ostream& out, bool utf8)
    : fd_(terminalFd), out_(out), utf8_(utf8) {}

LineEditor::~LineEditor() {
  if (!active_) return;
  Hide();
  out_.flush();
  ::tcsetattr(fd_, TCSANOW, &saved_);
}

bool LineEditor::Start() {
  if (::tcgetattr(fd_, &saved_) != 0) return false;
  termios raw = saved_;
  // ISIG off as well: Ctrl-C and Ctrl-Z arrive as keys, so the terminal is never left in
  // this mode by a signal the process did not expect.
  raw.c_lflag &= ~static_cast<tcflag_t>(ICANON | ECHO | IEXTEN | ISIG);
  raw.c_iflag &= ~static_cast<tcflag_t>(IXON);
  raw.c_cc[VMIN] = 1;
  raw.c_cc[VTIME] = 0;
  if (::tcsetattr(fd_, TCSANOW, &raw) != 0) return false;
  struct sigaction action {};
  action.sa_handler = OnWindowChange;
  sigemptyset(&action.sa_mask);
  action.sa_flags = SA_RESTART;
  ::sigaction(SIGWINCH, &action, nullptr);
  active_ = true;
  Redraw();
  return true;
}

void LineEditor::SetPrompt(std::string prompt) {
  prompt_ = std::move(prompt);
  if (active_) Redraw();
}

std::vector<EditorInput> LineEditor::Feed(std::string_view bytes) {
  std::vector<EditorInput> done;
  for (const char key : bytes) {
    if (key != '\t') completer_.Reset();
    if (!escape_.empty()) {
      escape_.push_back(key);
      if (EscapeComplete(escape_)) {
        HandleEscape(escape_);
        escape_.clear();
      }
      continue;
    }
    HandleKey(key, done);
  }
  Redraw();
  return done;
}

void LineEditor::HandleKey(char key, std::vector<EditorInput>& done) {
  switch (key) {
    case '\x1b': escape_.push_back(key); return;
    case '\t': completer_.Complete(buffer_, cursor_); return;
    case '\r':
    case '\n':
      if (!buffer_.empty() && (history_.empty() || history_.back() != buffer_)) history_.push_back(buffer_);
      done.push_back({EditorInput::Kind::kLine, std::move(buffer_)});
      buffer_.clear();
      cursor_ = 0;
      historyPos_ = history_.size();
      return;
    case Ctrl('C'): done.push_back({EditorInput::Kind::kEnd, {}}); return;
    case Ctrl('D'):
      if (buffer_.empty()) done.push_back({EditorInput::Kind::kEnd, {}});
      else if (cursor_ < buffer_.size()) Erase(cursor_, Next(cursor_));
      return;
    case '\x7f':
    case '\b':
      if (cursor_ > 0) Erase(Prev(cursor_), cursor_);
      return;
    case Ctrl('A'): cursor_ = 0; return;
    case Ctrl('E'): cursor_ = buffer_.size(); return;
    case Ctrl('B'): cursor_ = Prev(cursor_); return;
    case Ctrl('F'): cursor_ = Next(cursor_); return;
    case Ctrl('K'): Erase(cursor_, buffer_.size()); return;
    case Ctrl('U'): Erase(0, cursor_); return;
    case Ctrl('W'): {
      std::size_t from = cursor_;
      while (from > 0 && buffer_[from - 1] == ' ') --from;
      while (from > 0 && buffer_[from - 1] != ' ') --from;
      Erase(from, cursor_);
      return;
    }
    case Ctrl('L'): out_ << "\x1b[H\x1b[2J"; return;
    case Ctrl('P'): if (historyPos_ > 0) Recall(historyPos_ - 1); return;
    case Ctrl('N'): if (historyPos_ < history_.size()) Recall(historyPos_ + 1); return;
    default: break;
  }
  if (static_cast<unsigned char>(key) >= 0x20) Insert(key);
}

void LineEditor::HandleEscape(const std::string& sequence) {
  const std::string_view code = std::string_view(sequence).substr(1);
  if (!code.empty() && code.back() == 'R') {
    if (resizePending_)
      FinishResize(RowsAboveAfterResize(resizeColumn_, resizeWidth_, ReportedColumn(code)));
    return;
  }
  if (code == "[A" || code == "OA") {
    if (historyPos_ > 0) Recall(historyPos_ - 1);
  } else if (code == "[B" || code == "OB") {
    if (historyPos_ < history_.size()) Recall(historyPos_ + 1);
  } else if (code == "[C" || code == "OC") {
    cursor_ = Next(cursor_);
  } else if (code == "[D" || code == "OD") {
    cursor_ = Prev(cursor_);
  } else if (code == "[H" || code == "OH" || code == "[1~" || code == "[7~") {
    cursor_ = 0;
  } else if (code == "[F" || code == "OF" || code == "[4~" || code == "[8~") {
    cursor_ = buffer_.size();
  } else if (code == "[3~") {
    if (cursor_ < buffer_.size()) Erase(cursor_, Next(cursor_));
  }
}

void LineEditor::Insert(char byte) {
  buffer_.insert(buffer_.begin() + static_cast<std::ptrdiff_t>(cursor_), byte);
  ++cursor_;
}

void LineEditor::Erase(std::size_t from, std::size_t to) {
  buffer_.erase(from, to - from);
  cursor_ = from;
}

void LineEditor::Recall(std::size_t index) {
  if (historyPos_ == history_.size()) draft_ = buffer_;
  historyPos_ = index;
  buffer_ = index == history_.size() ? draft_ : history_[index];
  cursor_ = buffer_.size();
}

std::size_t LineEditor::Prev(std::size_t pos) const {
  if (pos == 0) return 0;
  --pos;
  while (utf8_ && pos > 0 && IsContinuation(buffer_[pos])) --pos;
  return pos;
}

std::size_t LineEditor::Next(std::size_t pos) const {
  if (pos >= buffer_.size()) return buffer_.size();
  ++pos;
  while (utf8_ && pos < buffer_.size() && IsContinuation(buffer_[pos])) ++pos;
  return pos;
}

void LineEditor::Hide() {
  // Clearing to the end of the screen also takes the part of a line the terminal wrapped.
  if (active_) out_ << "\r\x1b[J";
  resizePending_ = false;
}

void LineEditor::Show() { Redraw(); }

void LineEditor::CheckResize() {
  if (!active_) return;
  if (resizePending_ && std::chrono::steady_clock::now() >= resizeDeadline_) FinishResize(0);
  if (!terminalResized || resizePending_) return;
  terminalResized = 0;
  const auto columns = static_cast<std::size_t>(TerminalColumns(STDOUT_FILENO));
  if (drawnColumn_ < columns) {
    // The rows before the cursor did not wrap; what may have wrapped lies below it.
    Redraw();
    return;
  }
  resizePending_ = true;
  resizeColumn_ = drawnColumn_;
  resizeWidth_ = columns;
  resizeDeadline_ = std::chrono::steady_clock::now() + kReportWait;
  out_ << "\x1b[6n";
  out_.flush();
}

void LineEditor::FinishResize(std::size_t rowsUp) {
  resizePending_ = false;
  if (rowsUp > 0) out_ << "\r\x1b[" << rowsUp << 'A';
  Redraw();
}

// One terminal row: the prompt and a window of the line that keeps the cursor in view.
void LineEditor::Redraw() {
  if (!active_) return;
  std::vector<std::size_t> starts;  // byte offset of every character
  for (std::size_t i = 0; i < buffer_.size(); ++i) {
    if (!utf8_ || !IsContinuation(buffer_[i])) starts.push_back(i);
  }
  const std::size_t cursorChar =
      static_cast<std::size_t>(std::lower_bound(starts.begin(), starts.end(), cursor_) - starts.begin());
  std::size_t promptWidth = 0;
  for (const char c : prompt_) {
    if (!utf8_ || !IsContinuation(c)) ++promptWidth;
  }
  const int columns = TerminalColumns(STDOUT_FILENO);
  const std::size_t room = std::max<long>(10, columns - static_cast<long>(promptWidth) - 1);
  const std::size_t first = cursorChar > room ? cursorChar - room : 0;
  const std::size_t last = std::min(starts.size(), first + room);

  std::string shown;
  for (std::size_t k = first; k < last; ++k) {
    const std::size_t end = k + 1 < starts.size() ? starts[k + 1] : buffer_.size();
    const std::string_view character = std::string_view(buffer_).substr(starts[k], end - starts[k]);
    // Pasted C1 controls (U+0080..U+009F, or the raw bytes without UTF-8) could act on the
    // terminal; they are shown as "?" and sent as typed.
    const auto lead = static_cast<unsigned char>(character[0]);
    const bool c1 = utf8_ ? (lead == 0xC2 && character.size() == 2 &&
                             static_cast<unsigned char>(character[1]) < 0xA0)
                          : (lead >= 0x80 && lead < 0xA0);
    shown += c1 ? std::string("?") : std::string(character);
  }
  out_ << "\r\x1b[J" << prompt_ << shown << '\r';
  const std::size_t column = promptWidth + cursorChar - first;
  if (column > 0) out_ << "\x1b[" << column << 'C';
  drawnColumn_ = column;
  out_.flush();
}

}  // namespace velmorin::term
