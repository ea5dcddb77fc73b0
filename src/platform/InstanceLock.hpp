#pragma once
// One server per program directory: an exclusive lock (flock) on run/server.lock, held for the
// life of the process and released by the kernel when the process ends, however it ends. So a
// lock that can be taken means no server runs there, and anything left in run/ is stale.

#include <optional>
#include <string>
#include <sys/types.h>

namespace velmorin {

class InstanceLock {
 public:
  InstanceLock() = default;
  ~InstanceLock();
  InstanceLock(const InstanceLock&) = delete;
  InstanceLock& operator=(const InstanceLock&) = delete;

  // Creates the run directory (mode 0700, or 0750 for the administrators' group) and takes the
  // lock in it, writing our process id into the file. 0, EWOULDBLOCK when another process holds
  // it, or the errno of the failed call (those of MakePrivateDirectory and OpenOwnFile for a run
  // directory or lock file that is a link or another user's: nothing of it is changed).
  int Acquire(const std::string& runDirectory, std::optional<gid_t> adminGroup = std::nullopt);
  void Release();
  bool Held() const { return fd_ >= 0; }

  // The process id written by the holder of the lock file, 0 when unreadable.
  static pid_t HolderOf(const std::string& runDirectory);

 private:
  int fd_ = -1;
};

// Creates the directory with mode 0700 (and sets that mode when it exists); with a group, mode
// 0750 and that group (whose members may then enter and list it, never write). 0 or the errno:
// ELOOP when it is a symbolic link, ENOTDIR when it is no directory, EPERM when it belongs to
// another user. Nothing is followed, changed or written in what is refused.
int MakePrivateDirectory(const std::string& directory, std::optional<gid_t> group = std::nullopt);

// Opens (or with O_CREAT makes) a regular file of the effective user, without following a
// symbolic link: a descriptor, or -1 with errno ELOOP (a link), EINVAL (no regular file) or EPERM
// (another user's file, or one with more than one name, as a hard link planted there would be).
int OpenOwnFile(const std::string& path, int flags, mode_t mode);

inline constexpr const char* kLockFileName = "server.lock";

}  // namespace velmorin
