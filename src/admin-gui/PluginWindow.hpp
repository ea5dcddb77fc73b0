#pragma once
// A plugin's own window shown inside one of ours, by the window handle the plugin gave.
//
//   EmbedPluginWindow(handle, parent)  a container widget holding the plugin's window; nullptr
//                                      where that cannot be: off X11, without the X11 check in
//                                      the build, or for a handle that names no window, the
//                                      root window or a window of this program
//   ReleasePluginWindow(window)        gives the window back to its plugin: unmapped, moved out
//                                      of ours to the root window; the native window lives on
//
// On X11 a window destroyed with its parent takes its children along: release a plugin's
// window before the window holding it closes, and before the plugin ends.

#include <QPointer>
#include <QWidget>
#include <QWindow>

namespace velmorin {

struct EmbeddedPluginWindow {
  QWidget* container = nullptr;  // a child of the parent given, or nullptr
  QPointer<QWindow> window;      // the plugin's window as Qt knows it
};

EmbeddedPluginWindow EmbedPluginWindow(unsigned long handle, QWidget* parent);
void ReleasePluginWindow(QWindow* window);

}  // namespace velmorin
