#pragma once
// Whether the display the environment names can be reached, before Qt is asked to open it: Qt
// ends the process when it cannot, and a server started from a shell whose DISPLAY is stale
// should run headless instead.
//
//   UnreachableDisplay()   empty when a display may be reached (QT_QPA_PLATFORM chooses one,
//                          a local X or Wayland socket accepts a connection, or DISPLAY names
//                          another host, which only Qt can try); otherwise what was tried

#include <string>

namespace velmorin {

std::string UnreachableDisplay();

}  // namespace velmorin
