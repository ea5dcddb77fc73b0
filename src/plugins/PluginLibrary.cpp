#include "plugins/PluginLibrary.hpp"

#include <dlfcn.h>

namespace velmorin {

std::shared_ptr<PluginLibrary> PluginLibrary::Open(const std::string& path) {
  // A name without "/" would be searched for on the library path instead of taken as a file.
  const std::string file = path.find('/') == std::string::npos ? "./" + path : path;
  // Local binding: plugins built from the same helper header must not share each other's symbols.
  void* handle = ::dlopen(file.c_str(), RTLD_NOW | RTLD_LOCAL);
  if (handle == nullptr) return nullptr;
  return std::shared_ptr<PluginLibrary>(new PluginLibrary(handle));
}

PluginLibrary::~PluginLibrary() { ::dlclose(handle_); }

void* PluginLibrary::Symbol(const char* name) const { return ::dlsym(handle_, name); }

}  // namespace velmorin
