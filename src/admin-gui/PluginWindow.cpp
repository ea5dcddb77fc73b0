#include "admin-gui/PluginWindow.hpp"

#include <QGuiApplication>
#include <cstdlib>

#if defined(VELMORIN_XCB) && QT_CONFIG(xcb)
#define VELMORIN_X11_CHECK 1
#include <xcb/xcb.h>
#endif

namespace velmorin {
namespace {

// Whether the X server knows the window and it is neither its root nor one of this program's.
// A handle from a plugin is not trusted: reparenting the root or our own dialog into a page
// would fail or tie our windows in knots.
bool IsForeignX11Window(unsigned long handle) {
#ifdef VELMORIN_X11_CHECK
  auto* x11 = qGuiApp == nullptr ? nullptr : qGuiApp->nativeInterface<QNativeInterface::QX11Application>();
  xcb_connection_t* connection = x11 == nullptr ? nullptr : x11->connection();
  if (connection == nullptr) return false;
  const auto window = static_cast<xcb_window_t>(handle);
  xcb_generic_error_t* error = nullptr;
  xcb_get_geometry_reply_t* geometry =
      xcb_get_geometry_reply(connection, xcb_get_geometry(connection, window), &error);
  const bool known = geometry != nullptr && geometry->root != window;
  std::free(geometry);
  std::free(error);
  if (!known) return false;
  for (const QWindow* own : QGuiApplication::allWindows()) {
    if (own->handle() != nullptr && own->winId() == static_cast<WId>(window)) return false;
  }
  return true;
#else
  (void)handle;
  return false;
#endif
}

}  // namespace

EmbeddedPluginWindow EmbedPluginWindow(unsigned long handle, QWidget* parent) {
  EmbeddedPluginWindow embedded;
  if (handle == 0 || QGuiApplication::platformName() != QLatin1String("xcb") || !IsForeignX11Window(handle)) {
    return embedded;
  }
  QWindow* window = QWindow::fromWinId(static_cast<WId>(handle));
  if (window == nullptr) return embedded;
  embedded.window = window;
  embedded.container = QWidget::createWindowContainer(window, parent);
  return embedded;
}

void ReleasePluginWindow(QWindow* window) {
  if (window == nullptr) return;
  window->hide();
  window->setParent(nullptr);
  delete window;  // the object only: a foreign window's native window is left alone
}

}  // namespace velmorin
