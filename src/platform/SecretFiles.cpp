#include "platform/SecretFiles.hpp"

#include <sys/stat.h>

#include <cerrno>

#include "platform/ProgramPaths.hpp"

namespace velmorin {
namespace {

bool IsOrBeside(const std::string& path, const std::string& file) {
  return !file.empty() && path.starts_with(file) && (path.size() == file.size() || path[file.size()] == '.');
}

}  // namespace

bool HoldsSecrets(const std::string& path) {
  return IsOrBeside(path, Paths().usersFile) || IsOrBeside(path, Paths().chatroomsFile);
}

mode_t OwnerOnlyMode(mode_t mode) { return mode & 07700; }

int MakeOwnerOnly(const std::string& path) {
  struct stat status {};
  if (::lstat(path.c_str(), &status) != 0) return errno == ENOENT ? 0 : errno;
  // A link is left alone: its own mode means nothing, and what it points to is not ours to change.
  if (S_ISLNK(status.st_mode)) return 0;
  const mode_t mode = status.st_mode & 07777;
  if (OwnerOnlyMode(mode) == mode) return 0;
  return ::chmod(path.c_str(), OwnerOnlyMode(mode)) == 0 ? 0 : errno;
}

int KeepSecretsPrivate() {
  int first = 0;
  const auto step = [&first](int error) {
    if (first == 0) first = error;
  };
  std::string directory = Paths().configDirectory;
  if (!directory.empty() && directory.back() == '/') directory.pop_back();
  if (::mkdir(directory.c_str(), kSecretDirectoryMode) != 0 && errno != EEXIST) step(errno);
  step(MakeOwnerOnly(directory));
  step(MakeOwnerOnly(Paths().usersFile));
  step(MakeOwnerOnly(Paths().chatroomsFile));
  return first;
}

}  // namespace velmorin
