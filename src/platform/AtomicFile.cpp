#include "platform/AtomicFile.hpp"

#include <unistd.h>

#include <cerrno>

namespace velmorin {
namespace {

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
  struct stat existing {};
  const mode_t mode = ::stat(path.c_str(), &existing) == 0 ? (existing.st_mode & 07777) : 0644;
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

}  // namespace velmorin
