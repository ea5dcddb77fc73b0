#include "admin-gui/LogViewWidget.hpp"

#include <QScrollBar>
#include <QTextBlock>
#include <QTextCursor>
#include <QTextDocumentFragment>
#include <QTextDocument>
#include <cstdio>
#include <map>

#include "admin-gui/GuiText.hpp"
#include "platform/EventLoop.hpp"

namespace velmorin {
namespace {

// Writes the text of one fragment as RTF: the code page's bytes, with the RTF's own
// characters escaped and bytes above 127 as hexadecimal escapes.
void AppendRtfText(std::string& rtf, const QString& text) {
  for (const char byte : ServerText(text)) {
    const auto value = static_cast<unsigned char>(byte);
    if (byte == '\\' || byte == '{' || byte == '}') {
      rtf += '\\';
      rtf += byte;
    } else if (byte == '\t') {
      rtf += "\\tab ";
    } else if (value >= 0x80 || value < 0x20) {
      char escaped[8];
      std::snprintf(escaped, sizeof escaped, "\\'%02x", value);
      rtf += escaped;
    } else {
      rtf += byte;
    }
  }
}

}  // namespace

LogViewWidget::LogViewWidget(QWidget* parent, Scheduler scheduler)
    : QPlainTextEdit(parent), scheduler_(std::move(scheduler)) {
  if (!scheduler_) scheduler_ = [](std::function<void()> task) { MainLoop().Defer(std::move(task)); };
  setReadOnly(true);
  setUndoRedoEnabled(false);
  setLineWrapMode(QPlainTextEdit::WidgetWidth);
  setMaximumBlockCount(kMaxLogViewLines);
  setTextInteractionFlags(Qt::TextSelectableByMouse | Qt::TextSelectableByKeyboard);
}

LogViewWidget::~LogViewWidget() = default;

void LogViewWidget::AppendLine(const std::string& line, long colour) {
  queue_.push_back({QtText(line), colour});
  if (queue_.size() > static_cast<std::size_t>(kMaxLogViewLines)) queue_.pop_front();
  if (flushScheduled_ || writes_.Pending()) return;
  flushScheduled_ = true;
  scheduler_([this, alive = std::weak_ptr<char>(alive_)] {
    if (alive.expired()) return;
    flushScheduled_ = false;
    writes_.Request();
  });
}

void LogViewWidget::Clear() {
  queue_.clear();
  clear();
}

void LogViewWidget::FlushQueue() {
  if (queue_.empty()) return;
  // A queue as long as the view replaces every line: dropping them first spares laying them out
  // beside the new ones and then trimming them away.
  if (queue_.size() >= static_cast<std::size_t>(kMaxLogViewLines)) clear();
  QScrollBar* bar = verticalScrollBar();
  const int scrolledTo = bar->value();
  const QTextCursor viewCursor = textCursor();
  const int anchor = viewCursor.anchor();
  const int position = viewCursor.position();

  QTextCursor cursor(document());
  cursor.movePosition(QTextCursor::End);
  cursor.beginEditBlock();
  bool first = document()->isEmpty();
  QTextCharFormat format;
  for (const QueuedLine& line : queue_) {
    if (!first) cursor.insertBlock();
    first = false;
    format.setForeground(QtColour(line.colour));
    cursor.insertText(line.text, format);
  }
  cursor.endEditBlock();
  queue_.clear();

  if (scrolling_) {
    bar->setValue(bar->maximum());
    return;
  }
  // The administrator's place stays: the selection as it was (when its lines are still there)
  // and the scrolled position.
  const int end = document()->characterCount() - 1;
  if (anchor <= end && position <= end) {
    QTextCursor restored(document());
    restored.setPosition(anchor);
    restored.setPosition(position, QTextCursor::KeepAnchor);
    setTextCursor(restored);
  }
  bar->setValue(scrolledTo);
}

void LogViewWidget::SetLogFont(const QFont& font) {
  setFont(font);
  document()->setDefaultFont(font);
}

QString LogViewWidget::PlainText(bool selectionOnly) const {
  if (selectionOnly) return textCursor().selection().toPlainText();
  return document()->toPlainText();
}

std::string LogViewWidget::RichText(bool selectionOnly) const {
  int from = 0;
  int to = document()->characterCount() - 1;
  if (selectionOnly) {
    from = textCursor().selectionStart();
    to = textCursor().selectionEnd();
  }
  std::map<QRgb, int> colours;  // colour -> its number in the table (from 1)
  std::string body;
  for (QTextBlock block = document()->findBlock(from); block.isValid() && block.position() <= to;
       block = block.next()) {
    for (auto it = block.begin(); !it.atEnd(); ++it) {
      const QTextFragment fragment = it.fragment();
      const int start = std::max(from, fragment.position());
      const int stop = std::min(to, fragment.position() + fragment.length());
      if (start >= stop) continue;
      const QRgb rgb = fragment.charFormat().foreground().color().rgb();
      const auto [entry, added] = colours.emplace(rgb, static_cast<int>(colours.size()) + 1);
      body += "{\\cf" + std::to_string(entry->second) + " ";
      AppendRtfText(body, fragment.text().mid(start - fragment.position(), stop - start));
      body += "}";
    }
    if (block.next().isValid() && block.next().position() <= to) body += "\\par\n";
  }
  std::vector<QRgb> table(colours.size());
  for (const auto& [rgb, number] : colours) table[static_cast<std::size_t>(number - 1)] = rgb;
  const QFont shown = font();
  std::string rtf = "{\\rtf1\\ansi\\ansicpg1252\\deff0{\\fonttbl{\\f0 ";
  AppendRtfText(rtf, shown.family());
  rtf += ";}}{\\colortbl;";
  for (const QRgb rgb : table) {
    rtf += "\\red" + std::to_string(qRed(rgb)) + "\\green" + std::to_string(qGreen(rgb)) + "\\blue" +
           std::to_string(qBlue(rgb)) + ";";
  }
  rtf += "}\n\\f0\\fs" + std::to_string(std::max(2, static_cast<int>(shown.pointSizeF() * 2)));
  if (shown.bold()) rtf += "\\b";
  if (shown.italic()) rtf += "\\i";
  rtf += " " + body + "\\par\n}\n";
  return rtf;
}

}  // namespace velmorin
