#include "admin-gui/GradientProgressBar.hpp"

#include <QLinearGradient>
#include <QPainter>
#include <algorithm>

namespace velmorin {

GradientProgressBar::GradientProgressBar(QWidget* parent) : QWidget(parent) {
  setObjectName("picProgress");
  setSizePolicy(QSizePolicy::Expanding, QSizePolicy::Fixed);
}

void GradientProgressBar::setValue(int percent) {
  const int clamped = std::clamp(percent, 0, 100);
  if (clamped == value_) return;
  value_ = clamped;
  update();
}

QSize GradientProgressBar::sizeHint() const { return {300, 18}; }

void GradientProgressBar::paintEvent(QPaintEvent* /*event*/) {
  QPainter painter(this);
  const QRect inside = rect().adjusted(1, 1, -1, -1);
  painter.fillRect(inside, palette().window());
  const int done = inside.width() * value_ / 100;
  if (done > 0) {
    const QRect bar(inside.left(), inside.top(), done, inside.height());
    QLinearGradient gradient(bar.topLeft(), bar.topRight());
    gradient.setColorAt(0.0, kStartColour);
    gradient.setColorAt(1.0, Qt::white);
    painter.fillRect(bar, gradient);
  }
  painter.setPen(palette().color(QPalette::Mid));
  painter.drawRect(rect().adjusted(0, 0, -1, -1));
}

}  // namespace velmorin
