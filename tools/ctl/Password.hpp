#pragma once
// The password of "account add" and "account edit --password": asked twice on the terminal
// without echo, or the first line of standard input. Never a command-line argument, where every
// user of the machine could read it in the process list.

#include <optional>
#include <string>

namespace velmorin::ctl {

// The password, or nothing with the reason in *error.
std::optional<std::string> ReadPassword(bool fromStandardInput, std::string* error);

}  // namespace velmorin::ctl
