#include "platform/AtomicFile.hpp"

#include <dirent.h>
#include <fcntl.h>
#include <sys/file.h>
#include <unistd.h>

#include <cerrno>
#include <string_view>

#include "platform/SecretFiles.hpp"

namespace velmorin {
namespace {

constexpr std::string_view kTemporaryPrefix = ".velmorin-";
constexpr std::size_t kTemporaryNameLength = kTemporaryPrefix.size() + 6;  // mkstemp's XXXXXX

std::string DirectoryOf(const std::string& path) {
  const std::size_t slash = path.rfind('/');
  if (slash == std::string::npos) return ".";
  if (slash == 0) return "/";
  return path.substr(0, slash);
}

}  // namespace

int WriteAll(int fd, std::string_view content) {
  while (!content.empty()) {
    const ssize_t written = ::write(fd, content.data(), content.size());
    if (written < 0) {
      if (errno == EINTR) continue;
      return errno;
    }
    content.remove_prefix(static_cast<std::size_t>(written));
  }
  return 0;
}

int WriteFileAtomically(const std::string& path, std::string_view content, struct stat* written) {
  std::string temporary = DirectoryOf(path) + "/.velmorin-XXXXXX";
  const int fd = ::mkstemp(temporary.data());
  if (fd < 0) return errno;
  // Held until the descriptor closes: a temporary file nobody holds is left over from a process
  // that died while writing (see RemoveStaleTemporaryFiles).
  ::flock(fd, LOCK_EX | LOCK_NB);
  // The mode is set explicitly, so the umask plays no part: an existing file keeps its own, a new
  // one is 0644; a file holding secrets is never readable by group or others.
  struct stat existing {};
  const bool exists = ::stat(path.c_str(), &existing) == 0;
  mode_t mode = exists ? (existing.st_mode & 07777) : 0644;
  if (HoldsSecrets(path)) mode = exists ? OwnerOnlyMode(mode) : kSecretFileMode;
  int error = WriteAll(fd, content);
  if (error == 0 && ::fchmod(fd, mode) != 0) error = errno;
  if (error == 0 && ::fsync(fd) != 0) error = errno;
  struct stat status {};
  if (error == 0 && ::fstat(fd, &status) != 0) error = errno;
  if (::close(fd) != 0 && error == 0) error = errno;
  if (error == 0 && ::rename(temporary.c_str(), path.c_str()) != 0) error = errno;
  if (error != 0) {
    ::unlink(temporary.c_str());
    return error;
  }
  if (written != nullptr) *written = status;
  return 0;
}

int RemoveStaleTemporaryFiles(const std::string& directory) {
  DIR* dir = ::opendir(directory.c_str());
  if (dir == nullptr) return 0;
  int removed = 0;
  while (const dirent* entry = ::readdir(dir)) {
    const std::string_view name = entry->d_name;
    if (name.size() != kTemporaryNameLength || !name.starts_with(kTemporaryPrefix)) continue;
    const int fd = ::openat(::dirfd(dir), entry->d_name, O_RDONLY | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC);
    if (fd < 0) continue;
    struct stat info {};
    // A lock that can be taken means that no writer holds the file any more.
    if (::fstat(fd, &info) == 0 && S_ISREG(info.st_mode) && ::flock(fd, LOCK_EX | LOCK_NB) == 0 &&
        ::unlinkat(::dirfd(dir), entry->d_name, 0) == 0) {
      ++removed;
    }
    ::close(fd);
  }
  ::closedir(dir);
  return removed;
}

}  // namespace velmorin
