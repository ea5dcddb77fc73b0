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
          p.setBrush(QColor(230, 236, 245));
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
          p.setBrush(QColor(230, 236, 245));
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

}  // namespace velmorin
