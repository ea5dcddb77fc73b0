#include "admin-gui/Icons.hpp"

#include <QPainter>
#include <QPainterPath>
#include <QPixmap>
#include <array>
#include <functional>
#include <map>

namespace velmorin {
namespace {

constexpr int kSize = 32;
const QColor kFill(230, 236, 245);  // the inside of a drawing's closed shapes

QIcon Drawn(const std::function<void(QPainter&)>& draw) {
  QPixmap pixmap(kSize, kSize);
  pixmap.fill(Qt::transparent);
  QPainter painter(&pixmap);
  painter.setRenderHint(QPainter::Antialiasing);
  painter.setPen(QPen(QColor(40, 60, 90), 2.5, Qt::SolidLine, Qt::RoundCap, Qt::RoundJoin));
  draw(painter);
  return QIcon(pixmap);
}

QIcon DrawStatusIcon(long icon) {
  QColor colour(200, 50, 40);                     // stopped
  if (icon == 0) colour = QColor(60, 170, 70);    // ready
  if (icon == 1) colour = QColor(230, 150, 30);   // full
  if (icon == 3) colour = QColor(50, 110, 200);   // used
  return Drawn([colour, icon](QPainter& p) {
    p.setBrush(colour);
    p.setPen(QPen(colour.darker(150), 2));
    p.drawEllipse(QRectF(4, 4, 24, 24));
    p.setPen(QPen(Qt::white, 2.5, Qt::SolidLine, Qt::RoundCap));
    p.drawLine(QPointF(11, 16), QPointF(21, 16));
    if (icon != 2) p.drawLine(QPointF(16, 11), QPointF(16, 21));
  });
}

struct IconDrawing {
  const char* themeName;
  std::function<void(QPainter&)> draw;
};

const std::map<std::string, IconDrawing>& Drawings() {
  static const std::map<std::string, IconDrawing> drawings{
      {"online",
       {"network-connect",
        [](QPainter& p) {
          p.drawArc(QRectF(6, 7, 20, 20), 120 * 16, 300 * 16);
          p.drawLine(QPointF(16, 4), QPointF(16, 16));
        }}},
      {"clear",
       {"edit-clear",
        [](QPainter& p) {
          p.drawRect(QRectF(7, 5, 18, 22));
          p.setPen(QPen(QColor(190, 40, 40), 2.5));
          p.drawLine(QPointF(11, 11), QPointF(21, 21));
          p.drawLine(QPointF(21, 11), QPointF(11, 21));
        }}},
      {"print",
       {"document-print",
        [](QPainter& p) {
          p.drawRect(QRectF(5, 13, 22, 10));
          p.drawRect(QRectF(10, 5, 12, 8));
          p.drawRect(QRectF(10, 20, 12, 8));
        }}},
      {"save",
       {"document-save",
        [](QPainter& p) {
          p.drawRect(QRectF(6, 6, 20, 20));
          p.drawRect(QRectF(11, 6, 10, 7));
          p.drawRect(QRectF(10, 18, 12, 8));
        }}},
      {"font",
       {"preferences-desktop-font",
        [](QPainter& p) {
          QFont font = p.font();
          font.setPixelSize(24);
          font.setBold(true);
          p.setFont(font);
          p.drawText(QRectF(0, 0, kSize, kSize), Qt::AlignCenter, "A");
        }}},
      {"alwaysontop",
       {"",
        [](QPainter& p) {
          p.drawRect(QRectF(4, 12, 16, 14));
          p.setBrush(kFill);
          p.drawRect(QRectF(12, 5, 16, 14));
        }}},
      {"scroll",
       {"go-bottom",
        [](QPainter& p) {
          p.drawLine(QPointF(16, 5), QPointF(16, 24));
          p.drawLine(QPointF(9, 17), QPointF(16, 24));
          p.drawLine(QPointF(23, 17), QPointF(16, 24));
          p.drawLine(QPointF(8, 28), QPointF(24, 28));
        }}},
      {"userinfos",
       {"",
        [](QPainter& p) {
          p.drawEllipse(QRectF(11, 4, 10, 10));
          p.drawArc(QRectF(6, 16, 20, 20), 0, 180 * 16);
        }}},
      {"chatroomsinfos",
       {"",
        [](QPainter& p) {
          QPainterPath bubble;
          bubble.addRoundedRect(QRectF(4, 5, 24, 16), 5, 5);
          bubble.moveTo(10, 21);
          bubble.lineTo(8, 28);
          bubble.lineTo(16, 21);
          p.drawPath(bubble);
        }}},
      {"showips",
       {"",
        [](QPainter& p) {
          p.drawLine(QPointF(16, 9), QPointF(8, 23));
          p.drawLine(QPointF(16, 9), QPointF(24, 23));
          p.drawLine(QPointF(8, 23), QPointF(24, 23));
          p.setBrush(kFill);
          for (const QPointF centre : {QPointF(16, 8), QPointF(7, 24), QPointF(25, 24)}) p.drawEllipse(centre, 4, 4);
        }}},
      {"serverinfos",
       {"help-about",
        [](QPainter& p) {
          p.drawEllipse(QRectF(4, 4, 24, 24));
          p.drawLine(QPointF(16, 14), QPointF(16, 23));
          p.drawPoint(QPointF(16, 9.5));
        }}},
      {"settings",
       {"preferences-system",
        [](QPainter& p) {
          p.drawEllipse(QRectF(10, 10, 12, 12));
          for (int step = 0; step < 8; ++step) {
            p.save();
            p.translate(16, 16);
            p.rotate(step * 45);
            p.drawLine(QPointF(0, -9), QPointF(0, -13));
            p.restore();
          }
        }}},
      {"exit",
       {"application-exit",
        [](QPainter& p) {
          p.drawRect(QRectF(5, 5, 14, 22));
          p.drawLine(QPointF(14, 16), QPointF(28, 16));
          p.drawLine(QPointF(23, 11), QPointF(28, 16));
          p.drawLine(QPointF(23, 21), QPointF(28, 16));
        }}},
  };
  return drawings;
}

// The settings pages: a page that means what a toolbar button means shows that button's image
// (start: online, users, chatrooms); every other page has a drawing of its own.
struct PageImage {
  const char* themeName;
  const char* toolbarKey;  // empty: `draw` is the page's own drawing
  std::function<void(QPainter&)> draw;
};

void DrawSliders(QPainter& p) {
  for (const auto& [y, knob] : {std::pair{8.0, 20.0}, std::pair{16.0, 11.0}, std::pair{24.0, 17.0}}) {
    p.drawLine(QPointF(5, y), QPointF(27, y));
    p.save();
    p.setBrush(kFill);
    p.drawRect(QRectF(knob - 2.5, y - 3.5, 5, 7));
    p.restore();
  }
}

void DrawPadlock(QPainter& p) {
  p.drawArc(QRectF(10, 4, 12, 16), 0, 180 * 16);
  p.drawLine(QPointF(10, 12), QPointF(10, 15));
  p.drawLine(QPointF(22, 12), QPointF(22, 15));
  p.setBrush(kFill);
  p.drawRoundedRect(QRectF(6, 15, 20, 13), 2, 2);
  p.drawLine(QPointF(16, 20), QPointF(16, 23));
}

void DrawPuzzlePiece(QPainter& p) {
  // A square piece with a knob on top and one on the right.
  QPainterPath piece;
  piece.moveTo(5, 11);
  piece.lineTo(12, 11);
  piece.arcTo(QRectF(12, 4, 7, 8), 200, -220);
  piece.lineTo(23, 11);
  piece.lineTo(23, 16);
  piece.arcTo(QRectF(22, 15, 8, 7), 110, -220);
  piece.lineTo(23, 28);
  piece.lineTo(5, 28);
  piece.closeSubpath();
  p.setBrush(kFill);
  p.drawPath(piece);
}

void DrawLogView(QPainter& p) {
  // A window of coloured lines: the log view, its font and colours.
  p.drawRect(QRectF(4, 5, 24, 22));
  const QColor colours[] = {QColor(60, 170, 70), QColor(200, 50, 40), QColor(50, 110, 200)};
  for (int line = 0; line < 3; ++line) {
    p.save();
    p.setPen(QPen(colours[line], 2.5, Qt::SolidLine, Qt::RoundCap));
    p.drawLine(QPointF(9, 11 + line * 5), QPointF(line == 1 ? 18 : 23, 11 + line * 5));
    p.restore();
  }
}

void DrawLinePattern(QPainter& p) {
  // A line between brackets: the pattern every log line is written in.
  p.drawLine(QPointF(9, 7), QPointF(5, 7));
  p.drawLine(QPointF(5, 7), QPointF(5, 25));
  p.drawLine(QPointF(5, 25), QPointF(9, 25));
  p.drawLine(QPointF(23, 7), QPointF(27, 7));
  p.drawLine(QPointF(27, 7), QPointF(27, 25));
  p.drawLine(QPointF(27, 25), QPointF(23, 25));
  p.drawLine(QPointF(10, 16), QPointF(22, 16));
  p.drawPoint(QPointF(10, 11));
  p.drawPoint(QPointF(22, 21));
}

void DrawLogFile(QPainter& p) {
  // A sheet with a folded corner and lines: the log files written to disk.
  QPainterPath sheet;
  sheet.moveTo(7, 4);
  sheet.lineTo(19, 4);
  sheet.lineTo(25, 10);
  sheet.lineTo(25, 28);
  sheet.lineTo(7, 28);
  sheet.closeSubpath();
  p.drawPath(sheet);
  p.drawLine(QPointF(19, 4), QPointF(19, 10));
  p.drawLine(QPointF(19, 10), QPointF(25, 10));
  for (const double y : {15.0, 19.0, 23.0}) p.drawLine(QPointF(11, y), QPointF(21, y));
}

void DrawNoEntry(QPainter& p) {
  p.drawEllipse(QRectF(5, 5, 22, 22));
  p.drawLine(QPointF(9, 23), QPointF(23, 9));
}

void DrawWelcomeBubble(QPainter& p) {
  // A speech bubble with lines of text, its tail on the right: a message sent to each arrival.
  QPainterPath bubble;
  bubble.addRoundedRect(QRectF(4, 4, 24, 18), 5, 5);
  bubble.moveTo(16, 22);
  bubble.lineTo(24, 29);
  bubble.lineTo(22, 22);
  p.drawPath(bubble);
  p.drawLine(QPointF(9, 10), QPointF(23, 10));
  p.drawLine(QPointF(9, 16), QPointF(19, 16));
}

void DrawPicture(QPainter& p) {
  p.drawRect(QRectF(4, 6, 24, 20));
  p.drawEllipse(QPointF(21, 12), 2.5, 2.5);
  QPainterPath hills;
  hills.moveTo(5, 25);
  hills.lineTo(12, 16);
  hills.lineTo(18, 22);
  hills.lineTo(21, 19);
  hills.lineTo(27, 25);
  p.drawPath(hills);
}

void DrawGlobe(QPainter& p) {
  p.drawEllipse(QRectF(4, 4, 24, 24));
  p.drawEllipse(QRectF(11, 4, 10, 24));
  p.drawLine(QPointF(4, 16), QPointF(28, 16));
  p.drawLine(QPointF(7, 10), QPointF(25, 10));
  p.drawLine(QPointF(7, 22), QPointF(25, 22));
}

const std::map<std::string, PageImage>& PageImages() {
  static const std::map<std::string, PageImage> images{
      {"start", {"system-run", "online", {}}},
      {"general", {"preferences-other", "", DrawSliders}},
      {"users", {"system-users", "userinfos", {}}},
      {"ban", {"dialog-error", "", DrawNoEntry}},
      {"chatrooms", {"user-group-new", "chatroomsinfos", {}}},
      {"log", {"utilities-log-viewer", "", DrawLogView}},
      {"logpattern", {"format-justify-fill", "", DrawLinePattern}},
      {"logging", {"text-x-generic", "", DrawLogFile}},
      {"encryption", {"security-high", "", DrawPadlock}},
      {"welcome", {"mail-message", "", DrawWelcomeBubble}},
      {"icons", {"image-x-generic", "", DrawPicture}},
      {"plugins", {"application-x-addon", "", DrawPuzzlePiece}},
      {"language", {"preferences-desktop-locale", "", DrawGlobe}},
  };
  return images;
}

}  // namespace

QIcon ToolbarIcon(const std::string& key) {
  const auto it = Drawings().find(key);
  if (it == Drawings().end()) return {};
  const QIcon drawn = Drawn(it->second.draw);
  if (*it->second.themeName == '\0') return drawn;
  return QIcon::fromTheme(QString::fromLatin1(it->second.themeName), drawn);
}

QIcon StatusIcon(long icon) {
  // Drawn once per status: the status is shown again at every login and logout.
  static const std::array<QIcon, 4> drawn = [] {
    std::array<QIcon, 4> icons;
    for (long status = 0; status < 4; ++status) icons[static_cast<std::size_t>(status)] = DrawStatusIcon(status);
    return icons;
  }();
  return drawn[static_cast<std::size_t>(icon >= 0 && icon <= 3 ? icon : 2)];
}

QIcon SettingsPageIcon(const std::string& page) {
  auto it = PageImages().find(page);
  if (it == PageImages().end()) it = PageImages().find("general");
  const PageImage& image = it->second;
  const QIcon drawn = *image.toolbarKey != '\0' ? ToolbarIcon(image.toolbarKey) : Drawn(image.draw);
  return QIcon::fromTheme(QString::fromLatin1(image.themeName), drawn);
}

}  // namespace velmorin
