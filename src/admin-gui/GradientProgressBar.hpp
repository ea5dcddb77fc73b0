#pragma once
// A progress bar painted by the program itself: the done part of the bar is a colour gradient
// from RGB(123, 170, 217) on the left to white at its right end, the rest the window's
// background, all inside a thin frame. Values outside 0..100 are held at the nearest end.

#include <QColor>
#include <QWidget>

namespace velmorin {

class GradientProgressBar : public QWidget {
  Q_OBJECT

 public:
  static inline const QColor kStartColour{123, 170, 217};

  explicit GradientProgressBar(QWidget* parent = nullptr);

  int value() const { return value_; }
  void setValue(int percent);
  QSize sizeHint() const override;

 protected:
  void paintEvent(QPaintEvent* event) override;

 private:
  int value_ = 0;
};

}  // namespace velmorin
