#pragma once
// The window's images, all our own: the desktop theme's icon where the theme has one for the
// purpose, otherwise a small drawing made here (no image files are shipped).
//
//   ToolbarIcon(key)   the image of a toolbar button ("online", "clear", ...); empty for an
//                      unknown key
//   StatusIcon(icon)   the server status image: 0 ready, 1 full, 2 stopped, 3 used
//   SettingsPageIcon(page)  the image of a settings page ("general", "encryption", ...), one
//                      for each page; the general one for an unknown page

#include <QIcon>
#include <string>

namespace velmorin {

QIcon ToolbarIcon(const std::string& key);
QIcon StatusIcon(long icon);
QIcon SettingsPageIcon(const std::string& page);

}  // namespace velmorin
