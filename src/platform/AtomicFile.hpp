#pragma once
// Whole-file writes that never leave a half-written file: the content goes to a temporary file
// beside the target, is synced to disk and renamed over the target.

#include <sys/stat.h>

#include <string>
#include <string_view>

namespace velmorin {

// Writes all of the content to the descriptor, resuming after interruptions and partial
// writes; 0 or the errno of the failed write.
int WriteAll(int fd, std::string_view content);

// Returns 0 or the errno of the failed step (the target is then untouched). An existing file's
// permissions are kept; `written`, when given, receives the new file's status.
int WriteFileAtomically(const std::string& path, std::string_view content,
                        struct stat* written = nullptr);

}  // namespace velmorin
