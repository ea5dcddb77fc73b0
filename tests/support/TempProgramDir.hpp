#pragma once
// A temporary program directory with config/ (and optionally language/) for tests that use
// real files. The process-wide paths point into it while it lives; the tree is removed after.

#include <stdlib.h>

#include <filesystem>
#include <fstream>
#include <string>

#include "codec/ProfileFile.hpp"
#include "platform/ProgramPaths.hpp"

namespace velmorin::testing {

class TempProgramDir {
 public:
  TempProgramDir() {
    std::string pattern = (std::filesystem::temp_directory_path() / "velmorin-test-XXXXXX").string();
    if (::mkdtemp(pattern.data()) == nullptr) throw std::runtime_error("mkdtemp failed");
    root_ = pattern + "/";
    std::filesystem::create_directories(root_ + "config");
    SetProgramDirectory(root_);
  }
  ~TempProgramDir() {
    std::error_code ignored;
    std::filesystem::permissions(root_ + "config", std::filesystem::perms::owner_all,
                                 std::filesystem::perm_options::add, ignored);
    std::filesystem::remove_all(root_, ignored);
  }
  TempProgramDir(const TempProgramDir&) = delete;
  TempProgramDir& operator=(const TempProgramDir&) = delete;

  const std::string& root() const { return root_; }
  std::string path(const std::string& relative) const { return root_ + relative; }

  // Writes a file below the directory (parents created), bypassing every cache.
  void write(const std::string& relative, const std::string& content) const {
    const std::filesystem::path file = root_ + relative;
    std::filesystem::create_directories(file.parent_path());
    std::ofstream(file, std::ios::binary) << content;
    profile::Flush(file.string());
  }

  // Copies a plugin library into plugins/ as <component>.so.
  void installPlugin(const std::string& libraryPath, const std::string& component) const {
    std::filesystem::create_directories(root_ + "plugins");
    std::filesystem::copy_file(libraryPath, root_ + "plugins/" + component + ".so",
                               std::filesystem::copy_options::overwrite_existing);
  }

  std::string read(const std::string& relative) const {
    std::ifstream in(root_ + relative, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
  }

  bool exists(const std::string& relative) const { return std::filesystem::exists(root_ + relative); }

 private:
  std::string root_;
};

}  // namespace velmorin::testing
