#include "platform/InstanceLock.hpp"

#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>

namespace velmorin {
namespace {

std::string LockPath(const std::string& runDirectory) {
  std::string path = runDirectory;
  if (!path.empty() && path.back() != '/') path += '/';
  return path + kLockFileName;
}

}  // namespace

int MakePrivateDirectory(const std::string& directory) {
  if (::mkdir(directory.c_str(), 0700) != 0 && errno != EEXIST) return errno;
  struct stat status{};
  if (::stat(directory.c_str(), &status) != 0) return errno;
  if (!S_ISDIR(status.st_mode)) return ENOTDIR;
  if ((status.st_mode & 07777) != 0700 && ::chmod(directory.c_str(), 0700) != 0) return errno;
  return 0;
}

InstanceLock::~InstanceLock() { Release(); }

int InstanceLock::Acquire(const std::string& runDirectory) {
  Release();
  if (const int error = MakePrivateDirectory(runDirectory); error != 0) return error;
  const int fd = ::open(LockPath(runDirectory).c_str(), O_RDWR | O_CREAT | O_CLOEXEC, 0600);
  if (fd < 0) return errno;
  if (::flock(fd, LOCK_EX | LOCK_NB) != 0) {
    const int error = errno == EWOULDBLOCK ? EWOULDBLOCK : errno;
    ::close(fd);
    return error;
  }
  const std::string pid = std::to_string(::getpid()) + "\n";
  if (::ftruncate(fd, 0) == 0) (void)!::pwrite(fd, pid.data(), pid.size(), 0);
  fd_ = fd;
  return 0;
}

void InstanceLock::Release() {
  if (fd_ < 0) return;
  ::close(fd_);  // the kernel drops the lock with the last descriptor
  fd_ = -1;
}

pid_t InstanceLock::HolderOf(const std::string& runDirectory) {
  const int fd = ::open(LockPath(runDirectory).c_str(), O_RDONLY | O_CLOEXEC);
  if (fd < 0) return 0;
  char buffer[32] = {};
  const ssize_t size = ::read(fd, buffer, sizeof buffer - 1);
  ::close(fd);
  if (size <= 0) return 0;
  return static_cast<pid_t>(std::strtol(buffer, nullptr, 10));
}

}  // namespace velmorin
