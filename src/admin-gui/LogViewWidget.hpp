#pragma once
// The log view of the main window (rtfLog): the log lines in their colours.
//
//   AppendLine(line, colour)   queued; the queue is written in one edit of the document, so a
//                              burst of lines costs one update and one layout of the new lines
//                              only. The write comes a write interval (100 ms) after the end of
//                              the pass that queued the first line, and takes every line queued
//                              meanwhile: a storm of logins is not slowed by laying out and
//                              painting text that nobody can read that fast
//   Clear()                    empties the view (lines still queued are dropped)
//   FlushQueue()               writes the queue now; whatever reads the view's text calls it
//   SetScrolling(on)           on: the view follows the newest line; off: it stays where the
//                              administrator left it, selection included
//   SetLogFont(font)           every line, old and new, in that font
//   PlainText(), RichText()    the whole log, or only the selection; rich text is RTF
//
// The colour is the only format of a line, so the font is the widget's and a new font applies
// to the old lines at once. The view keeps at most kMaxLogViewLines lines: when the log grows
// past them (ClearLogAtSize off), the oldest lines leave from the top, whole blocks at a time,
// without laying out the rest again. The writer's own clearing at ClearLogSize reaches the view
// through Clear().

#include <QPlainTextEdit>
#include <chrono>
#include <deque>
#include <functional>
#include <string>
#include <vector>

#include "admin-gui/Throttle.hpp"

namespace velmorin {

inline constexpr int kMaxLogViewLines = 100000;

class LogViewWidget : public QPlainTextEdit {
  Q_OBJECT

 public:
  // How the view has its queue written at the end of the pass; the server's loop by default.
  using Scheduler = std::function<void(std::function<void()>)>;

  explicit LogViewWidget(QWidget* parent = nullptr, Scheduler scheduler = {});
  ~LogViewWidget() override;

  void AppendLine(const std::string& line, long colour);
  void Clear();
  // Writes the queue now (also what the scheduled write does).
  void FlushQueue();

  // 0: every pass writes its lines (for tests that count writes).
  void SetWriteInterval(std::chrono::milliseconds interval) { writes_.SetInterval(interval); }

  void SetScrolling(bool on) { scrolling_ = on; }
  bool Scrolling() const { return scrolling_; }
  void SetLogFont(const QFont& font);

  QString PlainText(bool selectionOnly) const;
  std::string RichText(bool selectionOnly) const;

 private:
  struct QueuedLine {
    QString text;
    long colour;
  };

  Scheduler scheduler_;
  // Never more than the view keeps: older queued lines would leave it in the same write.
  std::deque<QueuedLine> queue_;
  bool flushScheduled_ = false;
  Throttle writes_{kDisplayUpdateInterval, [this] { FlushQueue(); }};
  bool scrolling_ = true;
  std::shared_ptr<char> alive_ = std::make_shared<char>();
};

}  // namespace velmorin
