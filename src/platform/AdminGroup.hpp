#pragma once
// The administrators' group: who besides the server's user (and root) may use the control socket.
// It is the program directory's group when the server's process belongs to that group through a
// supplementary group (not its primary group, which every file it makes carries anyway): root
// chooses it by giving the program directory to the group and the service user to the group as
// well. Then run/ is made 0750 and the control socket 0660 for that group; otherwise both stay
// the user's alone (0700, 0600).
//
//   AdminGroupOf(programDirectory)   the group, or nothing

#include <sys/types.h>

#include <optional>
#include <string>

namespace velmorin {

std::optional<gid_t> AdminGroupOf(const std::string& programDirectory);

}  // namespace velmorin
