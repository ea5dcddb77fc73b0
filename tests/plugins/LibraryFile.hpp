#pragma once
// For test plugins installed under several component names: which file this library was
// installed as, and so which component it is. The server loads a private copy
// (<program directory>/run/plugins/<unique>/<component>.so, already removed); the installed
// file is <program directory>/plugins/<component>.so, where the tests put files beside it.

#include <dlfcn.h>

#include <string>

namespace {

std::string LibraryPath() {
  Dl_info info{};
  if (::dladdr(reinterpret_cast<void*>(&LibraryPath), &info) == 0 || info.dli_fname == nullptr) return {};
  const std::string loaded = info.dli_fname;
  const std::size_t copies = loaded.rfind("/run/plugins/");
  if (copies == std::string::npos) return loaded;
  return loaded.substr(0, copies) + "/plugins/" + loaded.substr(loaded.rfind('/') + 1);
}

// plugins/<component>.so -> <component>
std::string Component() {
  std::string path = LibraryPath();
  path = path.substr(path.rfind('/') + 1);
  return path.substr(0, path.size() - 3);
}

}  // namespace
