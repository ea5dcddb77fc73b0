// Language files loaded from the input: the information section, a window's control texts and
// its data texts. A control key may name an index range; the calls it causes must stay bounded
// by the file's size (a control array has at most 65536 elements per key).
//
// Input: the whole language file.

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>

#include "i18n/LanguageFile.hpp"
#include "support/FuzzCheck.hpp"
#include "support/TempProgramDir.hpp"

namespace {

// Takes every control text, and stops the input once it makes more calls than its lines allow.
class CountingWindow : public velmorin::LanguageTarget {
 public:
  explicit CountingWindow(std::size_t limit) : limit_(limit) {}
  bool SetControlProperty(const std::string&, const std::string&, std::optional<int>, const std::string&) override {
    FUZZ_CHECK(++calls_ <= limit_);
    return true;
  }

 private:
  std::size_t limit_;
  std::size_t calls_ = 0;
};

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  static velmorin::testing::TempProgramDir dir;
  const std::string file(reinterpret_cast<const char*>(data), size);
  dir.write("language/Fuzz.lng", file);
  const std::string path = dir.path("language/Fuzz.lng");

  std::size_t lines = 1;
  for (char c : file) lines += (c == '\n' || c == '\r') ? 1 : 0;
  CountingWindow window(lines * 65536);
  velmorin::LanguageFile language;
  language.SetLanguage("frmServer", path, &window);
  language.SetLanguage("frmSettings", path, &window);
  language.Data("stdChatroom");
  language.Data("msgPingTimeout", "frmServer");
  language.LanguageName();
  velmorin::LanguageFile::Info("languageIDs", path);
  velmorin::LanguageFile::EnumLanguages(dir.path("language/"));
  velmorin::DecodeLanguageText(file);
  return 0;
}
