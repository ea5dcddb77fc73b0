#pragma once
// One dlopen'ed plugin library, closed when the last owner lets go (LoadedPlugin keeps it open
// while an object made from it lives).
//
// A library is never mapped from its installed file: Open copies it into a directory of its
// own under the program directory's run/plugins/, loads the copy and removes it at once. The
// mapping keeps the unlinked copy alive, so `cp` or a compiler writing over plugins/x.so while
// the server runs cannot change the code the server executes, and every load (a reload too)
// gets a path glibc has never seen, so it is never handed a stale library of the same name.
// The copy keeps the installed file's name: a plugin may take its component name from it.
//
// Before the loader sees it, the copy is checked through the descriptor it was written with
// (ElfImageCheck): a file cut short would make dlopen die of SIGBUS. Only this user can write
// the copy's directory, so what was checked is what is loaded.

#include <memory>
#include <string>

namespace velmorin {

// The largest plugin file copied; a bigger one is refused rather than filling the disk.
inline constexpr long long kMaxPluginFileSize = 256LL * 1024 * 1024;

class PluginLibrary {
 public:
  // Nothing when the file cannot be copied or loaded as a library; `error` (when given) then
  // says why, in words for the log.
  static std::shared_ptr<PluginLibrary> Open(const std::string& path, std::string* error = nullptr);
  ~PluginLibrary();
  PluginLibrary(const PluginLibrary&) = delete;
  PluginLibrary& operator=(const PluginLibrary&) = delete;

  // The address of an exported symbol, or nullptr.
  void* Symbol(const char* name) const;

 private:
  explicit PluginLibrary(void* handle) : handle_(handle) {}
  void* handle_;
};

// The directory private copies of the plugins of a program directory are made in.
std::string PrivateCopyDirectory(const std::string& programDirectory);

// Removes what an earlier process left in the private copy directory (a copy it had made but
// not yet removed when it died). Directories of processes still running are kept.
void RemoveStaleCopies(const std::string& programDirectory);

}  // namespace velmorin
