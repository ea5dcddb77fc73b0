#pragma once
// Whole-file writes that never leave a half-written file: the content goes to a temporary file
// beside the target (".velmorin-XXXXXX"), is synced to disk and renamed over the target.

#include <sys/stat.h>

#include <string>
#include <string_view>

namespace velmorin {

// Writes all of the content to the descriptor, resuming after interruptions and partial
// writes; 0 or the errno of the failed write.
int WriteAll(int fd, std::string_view content);

// Returns 0 or the errno of the failed step (the target is then untouched). An existing file's
// permissions are kept, a new file gets 0644, and a file that holds secrets (HoldsSecrets)
// is owner-only (0600 when new); `written`, when given, receives the new file's status.
int WriteFileAtomically(const std::string& path, std::string_view content,
                        struct stat* written = nullptr);

// Removes the temporary files a write left in the directory when its process was killed before
// the rename (".velmorin-" and six characters). Files a running write still holds (it keeps them
// locked with flock) stay. Returns how many were removed.
int RemoveStaleTemporaryFiles(const std::string& directory);

}  // namespace velmorin
