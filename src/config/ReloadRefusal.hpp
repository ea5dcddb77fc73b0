#pragma once
// Why a configuration file is not read again over the running configuration: reading it would
// replace what the server holds with defaults (a missing, empty or unreadable file, or one that
// holds none of the store's sections), so the reload is refused and everything stays.

#include <string>
#include <vector>

namespace velmorin {

class LanguageFile;

struct ReloadRefusal {
  enum class Why { None, Missing, Unreadable, Empty, NoSections };
  Why why = Why::None;
  int error = 0;  // the errno of Missing and Unreadable

  explicit operator bool() const { return why != Why::None; }
};

// A profile file (server.cfg, ban.cfg) as a reload would find it: missing, unreadable, empty
// (no byte at all), without any of `sections` (matched without regard to case), or fit to read.
ReloadRefusal CheckProfileFileForReload(const std::string& file, const std::vector<std::string>& sections);

// "[A], [B]": the sections a refusal names.
std::string SectionList(const std::vector<std::string>& sections);

// The log line and answer of a refused reload: the language's "msgReloadFailed" with the file
// and the reason ("reasonFileEmpty", "reasonFileHasNoSections" with `sections`, or the system's
// text of the error).
std::string ReloadRefusalText(const LanguageFile& language, const std::string& file, const ReloadRefusal& refusal,
                              const std::string& sections);

}  // namespace velmorin
