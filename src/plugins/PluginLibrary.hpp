#pragma once
// One dlopen'ed plugin library, closed when the last owner lets go (LoadedPlugin keeps it open
// while an object made from it lives).

#include <memory>
#include <string>

namespace velmorin {

class PluginLibrary {
 public:
  // Nothing when the file cannot be loaded as a library.
  static std::shared_ptr<PluginLibrary> Open(const std::string& path);
  ~PluginLibrary();
  PluginLibrary(const PluginLibrary&) = delete;
  PluginLibrary& operator=(const PluginLibrary&) = delete;

  // The address of an exported symbol, or nullptr.
  void* Symbol(const char* name) const;

 private:
  explicit PluginLibrary(void* handle) : handle_(handle) {}
  void* handle_;
};

}  // namespace velmorin
