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

int MakePrivateDirectory(const std::string& directory, std::optional<gid_t> group) {
  // A final "/" would make the kernel follow a link in the last place: without it, O_NOFOLLOW
  // refuses one there.
  std::string path = directory;
  while (path.size() > 1 && path.back() == '/') path.pop_back();
  if (::mkdir(path.c_str(), 0700) != 0 && errno != EEXIST) return errno;
  const int fd = ::open(path.c_str(), O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC);
  if (fd < 0) return errno;
  struct stat status{};
  int error = 0;
  if (::fstat(fd, &status) != 0) {
    error = errno;
  } else if (status.st_uid != ::geteuid()) {
    error = EPERM;  // made by someone else: what is put in it would be theirs to change
  } else if (group && status.st_gid != *group && ::fchown(fd, static_cast<uid_t>(-1), *group) != 0) {
    error = errno;
  } else if (const mode_t mode = group ? 0750 : 0700; (status.st_mode & 07777) != mode && ::fchmod(fd, mode) != 0) {
    error = errno;
  }
  ::close(fd);
  return error;
}

int OpenOwnFile(const std::string& path, int flags, mode_t mode) {
  const int fd = ::open(path.c_str(), flags | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC, mode);
  if (fd < 0) return -1;
  struct stat status{};
  int error = 0;
  if (::fstat(fd, &status) != 0) {
    error = errno;
  } else if (!S_ISREG(status.st_mode)) {
    error = EINVAL;
  } else if (status.st_uid != ::geteuid() || status.st_nlink != 1) {
    error = EPERM;  // another user's file, or a second name of a file that lives elsewhere
  }
  if (error == 0) return fd;
  ::close(fd);
  errno = error;
  return -1;
}

InstanceLock::~InstanceLock() { Release(); }

int InstanceLock::Acquire(const std::string& runDirectory, std::optional<gid_t> adminGroup) {
  Release();
  if (const int error = MakePrivateDirectory(runDirectory, adminGroup); error != 0) return error;
  const int fd = OpenOwnFile(LockPath(runDirectory), O_RDWR | O_CREAT, 0600);
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
  const int fd = OpenOwnFile(LockPath(runDirectory), O_RDONLY, 0);
  if (fd < 0) return 0;
  char buffer[32] = {};
  const ssize_t size = ::read(fd, buffer, sizeof buffer - 1);
  ::close(fd);
  if (size <= 0) return 0;
  return static_cast<pid_t>(std::strtol(buffer, nullptr, 10));
}

}  // namespace velmorin
