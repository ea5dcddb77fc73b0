#pragma once
// The answer of an administrator operation whose store could not be saved: refused with
// "msgChangedOnDisk" when the file changed on disk since the server last read or wrote it (the
// message asks for a reload first), else the caller's notice of a failed write; the log gets
// the same line.

#include <string>

#include "admin/AdminResult.hpp"

namespace velmorin {

class ChatServer;

// `error`: what the save answered (an errno or kFileChangedOnDisk).
AdminResult RefuseStore(ChatServer& server, const std::string& file, int error,
                        const std::string& writeFailedNotice = "msgErrorSaving");

}  // namespace velmorin
