#pragma once
// Starting the server together with the desktop session: an XDG autostart entry,
// velmorin-server.desktop in the autostart folder of $XDG_CONFIG_HOME (~/.config when unset or
// not absolute).
//
//   AutostartEntryPath()        where the entry lives
//   AutostartEnabled()          whether the entry is there
//   WriteAutostartEntry(exe)    writes the entry starting `exe` (an absolute path); 0 or the errno
//                               (EINVAL for a path the entry cannot hold: relative, or with a
//                               control character)
//   RemoveAutostartEntry()      removes it; 0 when it is gone (also when it was never there)

#include <string>

namespace velmorin {

std::string AutostartEntryPath();
bool AutostartEnabled();
int WriteAutostartEntry(const std::string& executable);
int RemoveAutostartEntry();

}  // namespace velmorin
