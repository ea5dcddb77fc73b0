#include "config/StoreSnapshot.hpp"

#include <sys/stat.h>

#include <cerrno>
#include <cstring>
#include <fstream>
#include <iterator>

#include "codec/ProfileFile.hpp"
#include "i18n/LanguageFile.hpp"
#include "platform/AtomicFile.hpp"
#include "platform/Text.hpp"

namespace velmorin {

std::string SaveFailureText(const LanguageFile& language, const std::string& file, int error) {
  if (error == kFileChangedOnDisk) return ReplaceAll(language.Data("msgChangedOnDisk", "frmServer"), "%file", file);
  return ReplaceAll(ReplaceAll(language.Data("msgErrorSaving", "frmServer"), "%file", file), "%error",
                    std::strerror(error));
}

bool MayOverwrite(const StoreSnapshot& taken, const std::string& file, const FileContent& diskNow) {
  return taken.file != file || diskNow == taken.disk;
}

ShutdownChoice ChooseShutdownSave(const StoreSnapshot& taken, const std::string& memoryNow, const FileContent& diskNow) {
  const bool stillMissing = taken.disk.state == FileContent::State::Missing && diskNow == taken.disk;
  if (stillMissing) return ShutdownChoice::Write;
  if (memoryNow == taken.memory) return ShutdownChoice::Skip;
  if (diskNow == taken.disk) return ShutdownChoice::Write;
  if (diskNow == FileContent::Present(memoryNow)) return ShutdownChoice::Skip;
  return ShutdownChoice::WriteBeside;
}

std::string BesideName(const std::string& file) { return file + ".velmorin-new"; }

FileContent ProfileStoreOnDisk(const std::string& file, const std::function<std::string()>& readText) {
  if (profile::ReadError(file) != 0) return FileContent::Unreadable();
  struct stat info {};
  if (::stat(file.c_str(), &info) != 0) return FileContent::Missing();
  return FileContent::Present(readText());
}

namespace {

// Starts the file beside as a copy of the administrator's file (empty when it is missing or
// unreadable). 0 or errno.
int StartBesideCopy(const std::string& file, const std::string& beside) {
  std::string content;
  if (std::ifstream in{file, std::ios::binary}) {
    content.assign(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
  }
  const int error = WriteFileAtomically(beside, content);
  profile::Flush(beside);
  return error;
}

}  // namespace

ShutdownSave SaveStoreAtShutdown(const StoreSnapshot& taken, const std::string& memoryNow, const std::string& file,
                                 const FileContent& diskNow, const StoreWriters& writers) {
  ShutdownSave save;
  save.file = file;
  save.choice = ChooseShutdownSave(taken, memoryNow, diskNow);
  if (save.choice == ShutdownChoice::Write) {
    save.error = writers.save();
  } else if (save.choice == ShutdownChoice::WriteBeside) {
    save.besideFile = BesideName(file);
    if (writers.profileFile) save.error = StartBesideCopy(file, save.besideFile);
    if (save.error == 0) save.error = writers.saveTo(save.besideFile);
  }
  return save;
}

}  // namespace velmorin
