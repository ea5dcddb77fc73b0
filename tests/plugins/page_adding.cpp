// Test plugin "page_adding": adds settings pages when it is made for the settings dialog. One
// library installed under several component names gives several plugins.
//
// Its PluginIdent is the content of plugins/<component>.ident when that file exists, else
// "pages-" + its component name (so two components can share an identity).
//
// Initialised with the host word "settingsserver", it reads plugins/<component>.pages: pages
// separated by the byte 0x1E, each a window handle, the byte 0x1F and a title (any bytes). For
// each it calls "AddSettingsPage"(handle, title); then it asks "StopServer"("1"), which the
// settings dialog's callback must not carry out. When it later receives "ShowAbout", it adds
// the pages of plugins/<component>.later the same way.
//
// Everything is appended to plugins/<component>.received, one line per event, each starting
// with the host word the object was initialised with and a blank; control bytes and "|" are
// written as \xNN:
//   <host word> initialise|<host word>|
//   <host word> AddSettingsPage|<title>|<answer>
//   <host word> StopServer|1|<answer>
//   <host word> <word>|<first>|<second>          every call of command
//   <host word> Terminate|<host word>|

#include <cstdio>
#include <fstream>
#include <iterator>
#include <string>

#include <velmorin/plugin.hpp>

#include "LibraryFile.hpp"

namespace {

std::string PathBeside(const std::string& extension) {
  std::string path = LibraryPath();
  return path.substr(0, path.size() - 3) + extension;
}

std::string ReadBeside(const std::string& extension) {
  std::ifstream in(PathBeside(extension), std::ios::binary);
  return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

std::string Shown(const std::string& text) {
  std::string shown;
  for (const char c : text) {
    const auto byte = static_cast<unsigned char>(c);
    if (byte < 0x20 || byte == 0x7F || c == '|') {
      char escaped[8];
      std::snprintf(escaped, sizeof escaped, "\\x%02X", byte);
      shown += escaped;
    } else {
      shown += c;
    }
  }
  return shown;
}

class PageAdding : public velmorin::plugin::Plugin {
 public:
  std::string PluginAuthor() const override { return "Velmorin tests"; }
  std::string PluginIdent() const override {
    const std::string ident = ReadBeside(".ident");
    return ident.empty() ? "pages-" + Component() : ident;
  }
  std::string PluginName() const override { return "Page adding " + Component(); }

  void Initialise(std::int32_t, const std::string&, const std::string& hostWord, bool) override {
    hostWord_ = hostWord;
    Record("initialise", hostWord, "");
    if (hostWord != "settingsserver") return;
    AddPages(".pages");
    Record("StopServer", "1", host().Command("StopServer", "1"));
  }

  std::string Command(const std::string& word, std::string& first, std::string& second) override {
    Record(word, first, second);
    if (word == "ShowAbout" && hostWord_ == "settingsserver") AddPages(".later");
    return {};
  }

  void Terminate(const std::string& hostWord) override { Record("Terminate", hostWord, ""); }

 private:
  void Record(const std::string& word, const std::string& first, const std::string& second) const {
    std::ofstream(PathBeside(".received"), std::ios::app)
        << hostWord_ << ' ' << word << '|' << Shown(first) << '|' << Shown(second) << '\n';
  }

  void AddPages(const std::string& extension) {
    const std::string pages = ReadBeside(extension);
    std::size_t start = 0;
    while (start < pages.size()) {
      std::size_t end = pages.find('\x1e', start);
      if (end == std::string::npos) end = pages.size();
      const std::string page = pages.substr(start, end - start);
      const std::size_t split = page.find('\x1f');
      const std::string handle = page.substr(0, split);
      const std::string title = split == std::string::npos ? std::string() : page.substr(split + 1);
      Record("AddSettingsPage", title, host().Command("AddSettingsPage", handle, title));
      start = end + 1;
    }
  }

  std::string hostWord_;
};

}  // namespace

VELMORIN_PLUGIN(PageAdding)
