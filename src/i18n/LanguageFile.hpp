#pragma once
// Language files: listing the usable ones and looking up texts by key.
//
// A language file is an INI file "*.lng" with a "VM3SLF" information section, one section per
// window with the texts of its controls, and one section per window followed by ".Data" with the
// texts the code looks up. "<SP>" in a value stands for a space and "<BR>" for CR LF.

#include <optional>
#include <string>
#include <unordered_map>
#include <vector>

namespace velmorin {

// A window whose controls take their texts from a language file.
class LanguageTarget {
 public:
  virtual ~LanguageTarget() = default;
  // Sets the property of the control (of the control-array element when index is given).
  // Returns false when the window has no such control or property; the key is then skipped.
  virtual bool SetControlProperty(const std::string& control, const std::string& property,
                                  std::optional<int> index, const std::string& value) = 0;
};

class LanguageFile {
 public:
  // The highest index of a control array a language file may address.
  static constexpr long kMaxControlIndex = 1023;

  // The usable language file names of the directory in name order, each followed by CR LF.
  static std::string EnumLanguages(const std::string& directory);

  // The usable language file of the directory whose languageIDs list the locale identifier;
  // failing that the English one (the language of the C and POSIX locales), then the first;
  // empty when no file is usable.
  static std::string FileOfLocale(const std::string& directory, long localeId);

  // The decoded value of key in the information section of the file.
  static std::string Info(const std::string& key, const std::string& file);

  // Binds the instance to the file and window section on its first call (later calls keep the
  // first file), applies the window's control texts to `window` when given and adds the window's
  // data texts to the preloaded collection. A file without languageIDs is ignored.
  // Control keys with an index range ("lbl.Caption.2.5") apply to each index of the range; a
  // range outside 0..kMaxControlIndex is not applied. Returns those refused keys for the caller
  // to log.
  std::vector<std::string> SetLanguage(const std::string& windowName, const std::string& file,
                                       LanguageTarget* window = nullptr);

  // With an empty section, the preloaded data text; else the key of section + ".Data" of the
  // current file. Missing keys give "".
  std::string Data(const std::string& key, const std::string& section = "") const;

  // The display name of the current language.
  std::string LanguageName() const;

  const std::string& CurrentFile() const { return file_; }
  const std::string& CurrentLanguageId() const { return languageId_; }
  bool IsSet() const { return set_; }

 private:
  std::string file_;
  std::string section_;
  std::string languageId_;
  bool set_ = false;
  std::unordered_map<std::string, std::string> dataTexts_;  // keyed by lowercase key
};

// Decodes "<SP>" to a space and then "<BR>" to CR LF.
std::string DecodeLanguageText(const std::string& value);

// The process-wide language object.
LanguageFile& CurrentLanguage();

}  // namespace velmorin
