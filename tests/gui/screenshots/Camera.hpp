#pragma once
// Grabs windows, menus and modal boxes into PNG files named after them.
//
//   Camera camera(directory);
//   camera.Shoot(dialog, "frmBanUser");        shown, laid out, painted, saved as frmBanUser.png
//   camera.ShootMenu(menu, at, "name");        a popup menu opened at `at`
//   camera.ShootModal("About", [&] { action->trigger(); });   the modal window the call opens,
//                                              closed again so that the call returns
//   titles.txt                                 each picture's window title (no title bars drawn)
//   camera.Failures()                          the names whose file could not be written

#include <QMenu>
#include <QPoint>
#include <QWidget>
#include <functional>
#include <string>
#include <vector>

namespace velmorin::screenshots {

class Camera {
 public:
  explicit Camera(std::string directory);

  void Shoot(QWidget& widget, const std::string& name);
  void ShootMenu(QMenu& menu, QPoint at, const std::string& name);
  void ShootModal(const std::string& name, const std::function<void()>& open);

  const std::vector<std::string>& Failures() const { return failures_; }
  int Written() const { return written_; }

 private:
  void Save(QWidget& widget, const std::string& name);

  std::string directory_;
  std::vector<std::string> failures_;
  int written_ = 0;
};

}  // namespace velmorin::screenshots
