#include "plugins/PluginLibrary.hpp"

#include <dlfcn.h>
#include <fcntl.h>
#include <signal.h>
#include <stdlib.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <filesystem>
#include <string_view>
#include <system_error>

#include "i18n/LanguageFile.hpp"
#include "logging/LogWriter.hpp"
#include "platform/InstanceLock.hpp"
#include "plugins/ElfImageCheck.hpp"
#include "plugins/PluginAddressRanges.hpp"

namespace velmorin {
namespace {

std::string ErrnoText(const std::string& what, int error) { return what + ": " + std::strerror(error); }

// The program directory of an installed plugin: the parent of its plugins/ directory.
std::string ProgramDirectoryOf(const std::string& path) {
  std::filesystem::path directory = std::filesystem::path(path).parent_path().parent_path();
  std::string text = directory.empty() ? std::string(".") : directory.string();
  if (text.back() != '/') text += '/';
  return text;
}

// Closes a descriptor on every path out of a scope.
class Descriptor {
 public:
  explicit Descriptor(int fd) : fd_(fd) {}
  ~Descriptor() {
    if (fd_ >= 0) ::close(fd_);
  }
  Descriptor(const Descriptor&) = delete;
  Descriptor& operator=(const Descriptor&) = delete;
  int get() const { return fd_; }
  void reset(int fd) {
    if (fd_ >= 0) ::close(fd_);
    fd_ = fd;
  }
  // Closes now; 0 or the errno of close (a write the kernel could not finish).
  int close() {
    const int fd = fd_;
    fd_ = -1;
    return fd < 0 || ::close(fd) == 0 ? 0 : errno;
  }

 private:
  int fd_;
};

// Writes all of `length` bytes; 0 or the errno.
int WriteAll(int fd, const char* bytes, std::size_t length) {
  while (length > 0) {
    const ssize_t written = ::write(fd, bytes, length);
    if (written < 0) {
      if (errno == EINTR) continue;
      return errno;
    }
    bytes += written;
    length -= static_cast<std::size_t>(written);
  }
  return 0;
}

// Copies the regular file `from` to the new file `to` (mode 0600); 0 or the errno. The copy
// stays open in `target`, so it can be examined as written.
int CopyFile(const std::string& from, const std::string& to, Descriptor& target) {
  const Descriptor source(::open(from.c_str(), O_RDONLY | O_CLOEXEC));
  if (source.get() < 0) return errno;
  struct stat status {};
  if (::fstat(source.get(), &status) != 0) return errno;
  if (!S_ISREG(status.st_mode)) return EINVAL;
  if (status.st_size > kMaxPluginFileSize) return EFBIG;
  target.reset(::open(to.c_str(), O_RDWR | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0600));
  if (target.get() < 0) return errno;
  char buffer[64 * 1024];
  long long copied = 0;
  for (;;) {
    const ssize_t got = ::read(source.get(), buffer, sizeof buffer);
    if (got < 0) {
      if (errno == EINTR) continue;
      return errno;
    }
    if (got == 0) break;
    copied += got;
    if (copied > kMaxPluginFileSize) return EFBIG;  // it grew while being copied
    if (const int error = WriteAll(target.get(), buffer, static_cast<std::size_t>(got)); error != 0) return error;
  }
  return 0;
}

// Why a copied library must not be loaded, in the language's words; empty when it may be.
std::string RefusalOf(int copy) {
  const std::string problem = ElfFileProblem(copy);
  if (problem.empty()) return {};
  const std::string text = CurrentLanguage().Data("msgPluginFileRefused");
  return FillPlaceholders(text.empty() ? "%reason; loading it would end the server" : text,
                          {{"%reason", problem}});
}

// A directory of its own for one copy: run/plugins/<pid>-XXXXXX. Empty when none could be made.
std::string MakeCopyDirectory(const std::string& programDirectory, int& error) {
  const std::string base = PrivateCopyDirectory(programDirectory);
  for (const std::string& directory : {programDirectory + "run/", base}) {
    if ((error = MakePrivateDirectory(directory)) != 0) return {};
  }
  std::string pattern = base + std::to_string(::getpid()) + "-XXXXXX";
  if (::mkdtemp(pattern.data()) == nullptr) {
    error = errno;
    return {};
  }
  error = 0;
  return pattern + "/";
}

}  // namespace

std::string PrivateCopyDirectory(const std::string& programDirectory) { return programDirectory + "run/plugins/"; }

void RemoveStaleCopies(const std::string& programDirectory) {
  std::error_code error;
  for (std::filesystem::directory_iterator entry(PrivateCopyDirectory(programDirectory), error), end;
       !error && entry != end; entry.increment(error)) {
    const std::string name = entry->path().filename().string();
    const long pid = std::strtol(name.c_str(), nullptr, 10);
    // Only a process that no longer exists has left its copies for good.
    if (pid > 0 && ::kill(static_cast<pid_t>(pid), 0) != 0 && errno == ESRCH) {
      std::error_code ignored;
      std::filesystem::remove_all(entry->path(), ignored);
    }
  }
}

std::shared_ptr<PluginLibrary> PluginLibrary::Open(const std::string& path, std::string* error) {
  const auto fail = [&](const std::string& why) -> std::shared_ptr<PluginLibrary> {
    if (error != nullptr) *error = why;
    return nullptr;
  };
  int copyError = 0;
  const std::string directory = MakeCopyDirectory(ProgramDirectoryOf(path), copyError);
  if (directory.empty()) return fail(ErrnoText("no private copy could be made", copyError));
  const std::string copy = directory + std::filesystem::path(path).filename().string();
  Descriptor written(-1);
  copyError = CopyFile(path, copy, written);
  void* handle = nullptr;
  std::string loadError;
  // The copy is checked, not the installed file: the copy is the file the loader maps, and in a
  // directory only this user can write, nobody can change it between the check and the load.
  const std::string refusal = copyError == 0 ? RefusalOf(written.get()) : std::string();
  if (const int error = written.close(); copyError == 0) copyError = error;
  if (copyError == 0 && refusal.empty()) {
    // Local binding: plugins built from the same helper header must not share each other's symbols.
    handle = ::dlopen(copy.c_str(), RTLD_NOW | RTLD_LOCAL);
    if (handle == nullptr) {
      const char* text = ::dlerror();
      loadError = text != nullptr ? text : "not a loadable library";
    }
  }
  // The mapping holds the copy from here on; the file itself must not outlive this call.
  ::unlink(copy.c_str());
  ::rmdir(directory.c_str());
  if (copyError != 0) {
    return fail(copyError == ENOENT ? std::string("the file is gone") : ErrnoText("the file could not be copied", copyError));
  }
  if (!refusal.empty()) return fail(refusal);
  if (handle == nullptr) {
    // dlerror names the private copy; the administrator knows the installed file.
    if (const std::size_t at = loadError.find(copy); at != std::string::npos) loadError.replace(at, copy.size(), path);
    return fail("not a loadable library (" + loadError + ")");
  }
  NotePluginRange(handle, std::filesystem::path(path).filename().string());
  return std::shared_ptr<PluginLibrary>(new PluginLibrary(handle));
}

PluginLibrary::~PluginLibrary() {
  ForgetPluginRange(handle_);
  ::dlclose(handle_);
}

void* PluginLibrary::Symbol(const char* name) const { return ::dlsym(handle_, name); }

}  // namespace velmorin
