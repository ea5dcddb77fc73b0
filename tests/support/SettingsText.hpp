#pragma once
// The keys a test gives config/server.cfg, in order: sections and keys as first set, a value
// set again replaces the earlier one.
//
//   SettingsText settings{{"General", {{"Port", "2000"}}}};
//   settings.Set("General", "MaxUserCount", "2");
//   dir.write("config/server.cfg", settings.Text());

#include <string>
#include <utility>
#include <vector>

namespace velmorin::testing {

class SettingsText {
 public:
  using Keys = std::vector<std::pair<std::string, std::string>>;
  using Sections = std::vector<std::pair<std::string, Keys>>;

  SettingsText(Sections sections = {}) : sections_(std::move(sections)) {}

  void Set(const std::string& section, const std::string& key, const std::string& value) {
    for (auto& [name, keys] : sections_) {
      if (name != section) continue;
      for (auto& [existing, text] : keys) {
        if (existing == key) {
          text = value;
          return;
        }
      }
      keys.emplace_back(key, value);
      return;
    }
    sections_.push_back({section, {{key, value}}});
  }

  // The file with CR LF line ends.
  std::string Text() const {
    std::string file;
    for (const auto& [section, keys] : sections_) {
      file += "[" + section + "]\r\n";
      for (const auto& [key, value] : keys) file += key + "=" + value + "\r\n";
    }
    return file;
  }

 private:
  Sections sections_;
};

}  // namespace velmorin::testing
