#include "screenshots/Camera.hpp"

#include <QApplication>
#include <QPixmap>
#include <QTest>
#include <QTimer>
#include <fstream>
#include <iostream>

#include "admin-gui/Throttle.hpp"

namespace velmorin::screenshots {
namespace {

constexpr int kExposeWaitMs = 5000;
// Time for layouts, fonts and deferred paints to settle before the grab, longer than the
// window's display interval: the log view and the status line are written that much later.
constexpr int kSettleMs = static_cast<int>(kDisplayUpdateInterval.count()) + 80;

}  // namespace

Camera::Camera(std::string directory) : directory_(std::move(directory)) {}

void Camera::Shoot(QWidget& widget, const std::string& name) {
  widget.show();
  if (!QTest::qWaitForWindowExposed(&widget, kExposeWaitMs)) {
    std::cerr << name << ": the window was not shown within " << kExposeWaitMs << " ms\n";
  }
  QTest::qWait(kSettleMs);
  Save(widget, name);
}

void Camera::ShootMenu(QMenu& menu, QPoint at, const std::string& name) {
  menu.popup(at);
  Shoot(menu, name);
  menu.hide();
}

void Camera::ShootModal(const std::string& name, const std::function<void()>& open) {
  // Polls for the box from inside its own loop; the call returns once it is closed.
  QTimer poll;
  bool shot = false;
  QObject::connect(&poll, &QTimer::timeout, [&] {
    QWidget* modal = QApplication::activeModalWidget();
    if (modal == nullptr || shot) return;
    shot = true;
    poll.stop();
    Shoot(*modal, name);
    modal->close();
  });
  poll.start(20);
  open();
  if (!shot) {
    std::cerr << name << ": no modal window opened\n";
    failures_.push_back(name);
  }
}

void Camera::Save(QWidget& widget, const std::string& name) {
  const std::string path = directory_ + "/" + name + ".png";
  const QPixmap image = widget.grab();
  if (image.isNull() || !image.save(QString::fromStdString(path), "PNG")) {
    std::cerr << name << ": could not write " << path << "\n";
    failures_.push_back(name);
    return;
  }
  ++written_;
  // Without a window manager the pictures have no title bars: the titles go into a list.
  if (!widget.windowTitle().isEmpty()) {
    std::ofstream(directory_ + "/titles.txt", std::ios::app) << name << ": " << widget.windowTitle().toStdString() << "\n";
  }
}

}  // namespace velmorin::screenshots
