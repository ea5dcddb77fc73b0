#pragma once
// For test plugins installed under several component names: which file this library was
// loaded from, and so which component it is.

#include <dlfcn.h>

#include <string>

namespace {

std::string LibraryPath() {
  Dl_info info{};
  if (::dladdr(reinterpret_cast<void*>(&LibraryPath), &info) == 0 || info.dli_fname == nullptr) return {};
  return info.dli_fname;
}

// plugins/<component>.so -> <component>
std::string Component() {
  std::string path = LibraryPath();
  path = path.substr(path.rfind('/') + 1);
  return path.substr(0, path.size() - 3);
}

}  // namespace
