#include "config/WelcomeMessage.hpp"

#include <sys/stat.h>

#include <cerrno>
#include <cstdio>
#include <fstream>

#include "config/Settings.hpp"
#include "i18n/LanguageFile.hpp"
#include "platform/AtomicFile.hpp"
#include "platform/ProgramPaths.hpp"
#include "platform/Text.hpp"

namespace velmorin {

std::string WelcomeText;

namespace {

std::string TwoDigits(long long value) {
  char buffer[24];
  std::snprintf(buffer, sizeof buffer, "%02lld", value);
  return buffer;
}

std::string Join(const std::vector<std::string>& parts, std::string_view separator) {
  std::string joined;
  for (const std::string& part : parts) {
    if (!joined.empty()) joined += separator;
    joined += part;
  }
  return joined;
}

// The file's text as the load takes it: lines joined by CR LF, without the last line's end.
FileContent WelcomeFileOnDisk(const std::string& file) {
  struct stat info {};
  if (::stat(file.c_str(), &info) != 0) {
    return errno == ENOENT || errno == ENOTDIR ? FileContent::Missing() : FileContent::Unreadable();
  }
  if (!S_ISREG(info.st_mode)) return FileContent::Unreadable();
  std::ifstream in(file, std::ios::binary);
  if (!in) return FileContent::Unreadable();
  std::string text;
  std::string line;
  while (std::getline(in, line)) {
    if (!line.empty() && line.back() == '\r') line.pop_back();
    text += line;
    text += "\r\n";
  }
  if (in.bad()) return FileContent::Unreadable();
  if (text.size() >= 2) text.resize(text.size() - 2);
  return FileContent::Present(std::move(text));
}

StoreSnapshot snapshot;

// Why a file WelcomeFileOnDisk found unreadable cannot be read.
int WelcomeFileReadError(const std::string& file) {
  struct stat info {};
  if (::stat(file.c_str(), &info) != 0) return errno;
  if (S_ISDIR(info.st_mode)) return EISDIR;
  return S_ISREG(info.st_mode) ? EACCES : EINVAL;
}

int WriteWelcomeFile(const std::string& file) { return WriteFileAtomically(file, WelcomeText + "\r\n"); }

}  // namespace

void LoadWelcomeMessage() {
  FileContent disk = WelcomeFileOnDisk(Paths().welcomeFile);
  WelcomeText = disk.state == FileContent::State::Present ? disk.text : CurrentLanguage().Data("stdWelcomeMsg");
  snapshot = {WelcomeText, std::move(disk), Paths().welcomeFile};
}

int SaveWelcomeMessage() {
  const std::string& file = Paths().welcomeFile;
  const FileContent disk = WelcomeFileOnDisk(file);
  if (disk.state == FileContent::State::Unreadable) return WelcomeFileReadError(file);
  if (!MayOverwrite(snapshot, file, disk)) return kFileChangedOnDisk;
  const int error = WriteWelcomeFile(file);
  if (error == 0) snapshot = {WelcomeText, WelcomeFileOnDisk(file), file};
  return error;
}

ReloadRefusal CheckWelcomeFileForReload() {
  const std::string& file = Paths().welcomeFile;
  const FileContent disk = WelcomeFileOnDisk(file);
  if (disk.state == FileContent::State::Unreadable) return {ReloadRefusal::Why::Unreadable, WelcomeFileReadError(file)};
  // Gone since it was read or written: the standard text would replace the running one.
  if (disk.state == FileContent::State::Missing && snapshot.file == file &&
      snapshot.disk.state == FileContent::State::Present) {
    return {ReloadRefusal::Why::Missing, ENOENT};
  }
  return {};
}

ShutdownSave SaveWelcomeMessageAtShutdown() {
  const std::string& file = Paths().welcomeFile;
  return SaveStoreAtShutdown(snapshot, WelcomeText, file, WelcomeFileOnDisk(file),
                             {SaveWelcomeMessage, WriteWelcomeFile, false});
}

std::string BuildWelcomeText(const WelcomeFigures& figures, const WelcomeMessageEvent& event) {
  std::string text = event ? event(WelcomeText) : WelcomeText;
  const long long seconds = figures.onlineSeconds > 0 ? figures.onlineSeconds : 0;
  const GeneralSettings& general = ServerSettings.General;
  text = ReplaceAll(text, "%version", ServerSettings.Info.Version);
  text = ReplaceAll(text, "%users", std::to_string(figures.users));
  text = ReplaceAll(text, "%port", std::to_string(figures.port));
  text = ReplaceAll(text, "%maxusers", std::to_string(general.MaxUserCount));
  text = ReplaceAll(text, "%maxtextlen", std::to_string(general.MaxTextLength));
  text = ReplaceAll(text, "%ip", Join(figures.addresses, ", "));
  text = ReplaceAll(text, "%adminname", general.AdministratorName);
  text = ReplaceAll(text, "%adminmail", general.AdministratorEMail);
  text = ReplaceAll(text, "%ondays", std::to_string(seconds / 86400));
  text = ReplaceAll(text, "%onhours", TwoDigits(seconds % 86400 / 3600));
  return ReplaceAll(text, "%onminutes", TwoDigits(seconds % 3600 / 60));
}

}  // namespace velmorin
